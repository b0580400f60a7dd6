// The progress window: starts the run, shows the member in hand, reacts to the
// worker's closing message and to the abort button.
#include <windows.h>
#include <process.h>

#include "app/stub.h"
#include "archive/extraction_worker.h"
#include "decode/decode_state.h"
#include "platform/system.h"
#include "resources/resource.h"

static Extractor* windowExtractor = nullptr;
// True from the start of the worker until its closing message: the Extractor it
// works on must outlive it, so the window stays until then.
static bool workerRunning = false;

// The status control shortens a name too long for it in the middle, as a path
// (SS_PATHELLIPSIS), when it draws it.
void ShowCompactedName(Extractor& extractor, const WideChar* name) {
    SetWindowTextW(static_cast<HWND>(extractor.statusText), Native(name));
}

bool StartExtraction(Extractor& extractor) {
    if (!PrepareDestination(extractor, extractor.destination)) return false;
    if (_beginthread(ExtractionWorker, 0, &extractor) == static_cast<uintptr_t>(-1)) {
        extractor.exitCode = ExitNoWindow;
        return false;
    }
    workerRunning = true;
    return true;
}

static void OnStart(Extractor& extractor) {
    HWND window = static_cast<HWND>(extractor.mainWindow);
    // The dialog sets the exit code when it is cancelled or the folder cannot be made; one
    // that cannot be shown leaves ExitNoWindow.
    if (extractor.config.present &&
        DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_DESTINATION), window, DestinationDialogProc,
                        reinterpret_cast<LPARAM>(&extractor)) != 0) {
        DestroyWindow(window);
        return;
    }
    SetWindowTextW(window, Native(extractor.config.caption.Text()));
    ShowWindow(window, SW_SHOW);
    if (!StartExtraction(extractor)) DestroyWindow(window);
}

// The worker's closing message: after a whole run the shortcuts and the launch, after an
// abort the removal of the member's partial file; the window goes in both cases, and
// before the launched program starts, so that it is not left in front of it.
static void OnWorkerEnd(Extractor& extractor, bool aborted) {
    HWND window = static_cast<HWND>(extractor.mainWindow);
    workerRunning = false;
    ShowWindow(window, SW_HIDE);
    if (aborted) {
        extractor.exitCode = ExitCancelled;
        if (extractor.currentOutputPath.HasText()) DeletePath(extractor.currentOutputPath.Text());
    } else {
        extractor.exitCode = extractor.failed ? ExitExtractionFailed : RunCompletionActions(extractor);
    }
    DestroyWindow(window);
}

// Closing the window while the worker writes counts as the abort button: the window
// goes when the worker has stopped and its member's file is gone.
static void OnClose(HWND window) {
    if (workerRunning)
        keepRunning.store(0);
    else
        DestroyWindow(window);
}

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Extractor* extractor = windowExtractor;  // read once here; null until WM_CREATE
    switch (message) {
    case WM_CREATE:
        windowExtractor = static_cast<Extractor*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        return 0;
    case WM_SFX_START:
        OnStart(*extractor);
        return 0;
    case WM_SFX_MEMBER:
        ShowCompactedName(*extractor, reinterpret_cast<const WideChar*>(lParam));
        return 0;
    case WM_SFX_DONE:
    case WM_SFX_ABORTED:
        OnWorkerEnd(*extractor, message == WM_SFX_ABORTED);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABORT) keepRunning.store(0);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(extractor->exitCode);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
