// The worker's front end outside Windows: forwards to the installed FrontEnd.
#include "platform/front_end.h"

#include <cstdio>

#include "platform/posix/console_front_end.h"
#include "platform/posix/utf8.h"
#include "platform/system.h"

static const FrontEnd* installed = nullptr;

void InstallFrontEnd(const FrontEnd* frontEnd) { installed = frontEnd; }

void ShowMessage(WindowHandle, const WideChar* text, const WideChar* caption, MessageIcon icon) {
    if (installed && installed->showMessage) {
        installed->showMessage(installed->context, text, caption, icon);
        return;
    }
    Utf8Text line(text);
    std::fprintf(stderr, "%s\n", line.c_str());
}

void ShowSystemError(uint32_t code, MessageIcon icon) {
    WideString text = SystemErrorText(code);
    ShowMessage(nullptr, text.Text(), nullptr, icon);
}

void ShowLastError() { ShowSystemError(LastErrorCode(), MessageIcon::Exclamation); }

void SendMemberName(WindowHandle, const WideChar* path) {
    if (installed && installed->memberName) installed->memberName(installed->context, path);
}

void SendProgressPercent(WindowHandle, uint32_t percent) {
    if (installed && installed->progress) installed->progress(installed->context, percent);
}

void PostWorkerEnd(WindowHandle, bool aborted) {
    if (installed && installed->workerEnd) installed->workerEnd(installed->context, aborted);
}
