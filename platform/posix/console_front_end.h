// The host side of the worker's front end: whoever runs the worker outside Windows
// (the host tool, the tests) installs one of these to receive what it says.
#pragma once
#include <cstdint>

#include "platform/front_end.h"

struct FrontEnd {
    void* context = nullptr;
    void (*showMessage)(void* context, const WideChar* text, const WideChar* caption, MessageIcon icon) = nullptr;
    void (*memberName)(void* context, const WideChar* path) = nullptr;
    void (*progress)(void* context, uint32_t percent) = nullptr;
    void (*workerEnd)(void* context, bool aborted) = nullptr;
};

// Installs `frontEnd` (kept by pointer) for the calls of platform/front_end.h; null
// restores the default, which prints messages to standard error and ignores the rest.
void InstallFrontEnd(const FrontEnd* frontEnd);
