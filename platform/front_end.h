// How the extraction worker talks to whoever shows it: the stub's progress window
// (window messages and message boxes) or the host tool's console. The stub links
// platform/win32/front_end.cpp; the host tool and the tests install a FrontEnd.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

using WindowHandle = void*;

// The private window messages between the worker and the progress window (WM_APP + n).
enum : uint32_t {
    WM_SFX_START = 0x8000,
    WM_SFX_MEMBER = 0x8001,
    WM_SFX_DONE = 0x8003,
    WM_SFX_ABORTED = 0x8004,
};

enum class MessageIcon { Stop, Exclamation };

// A message box owned by `owner`; a null caption means the system's default caption.
void ShowMessage(WindowHandle owner, const WideChar* text, const WideChar* caption, MessageIcon icon);
// The system's text for an error code, in a box without owner.
void ShowSystemError(uint32_t code, MessageIcon icon);
void ShowLastError();                              // ShowSystemError(LastErrorCode(), Exclamation)

void SendMemberName(WindowHandle window, const WideChar* path);       // WM_SFX_MEMBER
void SendProgressPercent(WindowHandle progressBar, uint32_t percent); // PBM_SETPOS
void PostWorkerEnd(WindowHandle window, bool aborted);                // WM_SFX_DONE / WM_SFX_ABORTED
