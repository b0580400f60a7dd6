// The worker's front end in the stub: the progress window's messages and message boxes.
#include "platform/front_end.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/system.h"

static HWND AsWindow(WindowHandle window) { return static_cast<HWND>(window); }

// Not inlined: every message box of the stub goes through this one call of MessageBoxW.
__attribute__((noinline)) void ShowMessage(WindowHandle owner, const WideChar* text, const WideChar* caption, MessageIcon icon) {
    UINT style = MB_OK | (icon == MessageIcon::Stop ? MB_ICONSTOP : MB_ICONEXCLAMATION);
    MessageBoxW(AsWindow(owner), reinterpret_cast<const wchar_t*>(text),
                reinterpret_cast<const wchar_t*>(caption), style);
}

void ShowSystemError(uint32_t code, MessageIcon icon) {
    WideString text = SystemErrorText(code);
    ShowMessage(nullptr, text.Text(), nullptr, icon);
}

void ShowLastError() { ShowSystemError(GetLastError(), MessageIcon::Exclamation); }

void SendMemberName(WindowHandle window, const WideChar* path) {
    SendMessageW(AsWindow(window), WM_SFX_MEMBER, 0, reinterpret_cast<LPARAM>(path));
}

void SendProgressPercent(WindowHandle progressBar, uint32_t percent) {
    SendMessageW(AsWindow(progressBar), PBM_SETPOS, percent, 0);
}

void PostWorkerEnd(WindowHandle window, bool aborted) {
    PostMessageW(AsWindow(window), aborted ? WM_SFX_ABORTED : WM_SFX_DONE, 0, 0);
}
