// The stub's window side: start-up, progress window, destination dialog and the
// actions that follow a finished run. All of it runs on the main thread.
#pragma once
#include <windows.h>

#include "archive/extractor.h"

// The program's exit status, which tells a caller what became of the run (README).
enum ExitCode : int {
    ExitDone = 0,              // every member extracted, every completion action done
    ExitExtractionFailed = 1,  // a member failed, the archive is damaged, or a write failed
    ExitActionsNotDone = 2,    // extracted, but a shortcut or the launch was not done
    ExitPackageDamaged = 3,    // no whole configuration block, or no archive behind it
    ExitPackageUnreadable = 4, // the program cannot open its own file
    ExitNoWindow = 5,          // a window, the dialog or the worker thread cannot be made
    ExitNoDestination = 6,     // the destination folder cannot be created or entered
    ExitCancelled = 1223,      // ERROR_CANCELLED: the dialog cancelled or the run aborted
};
// Kept in the Extractor's exitCode, set by whatever ends the run: the message loop's
// result when the window goes.

// Builds the window side of the Extractor: runs InitializeApplication once, creates the
// hidden progress window and its controls and posts WM_SFX_START. False: the program ends.
bool ConstructExtractor(Extractor& extractor, HINSTANCE instance);
bool InitializeApplication(Extractor& extractor, HINSTANCE instance);
int RunMessageLoop();

extern HINSTANCE appInstance;
extern const wchar_t ProgressWindowClass[];

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool StartExtraction(Extractor& extractor);
void ShowCompactedName(Extractor& extractor, const WideChar* name);

// The destination dialog: result 0 when the destination is ready and the choices are
// stored, 1 when the user cancelled or the folder cannot be made.
INT_PTR CALLBACK DestinationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Creates the folder when needed and makes it the current directory; false after
// telling the user.
bool PrepareDestination(Extractor& extractor, const WideString& path);

// After a whole run: the shortcuts, then the launch; what could not be done is named in one
// message at the end. Returns the exit code.
int RunCompletionActions(Extractor& extractor);

inline const wchar_t* Native(const WideChar* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Native(WideChar* text) { return reinterpret_cast<wchar_t*>(text); }
