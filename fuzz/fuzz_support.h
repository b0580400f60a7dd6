// What the fuzz targets share: a front end that swallows every message and path checks.
// Their files live on the memory volume (platform/memory/memory_volume.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/wide_string.h"

namespace fuzz {

// Installs a front end that shows nothing and counts messages; `memberName`, when
// given, receives each member path the worker announces.
void InstallSilentFrontEnd(void (*memberName)(void* context, const WideChar* path) = nullptr);

// A sanitised member path that could leave the destination folder, or that Windows
// would read as something else (drive, stream, device path, a component of dots).
bool IsSafeRelativePath(const WideString& path);

}  // namespace fuzz
