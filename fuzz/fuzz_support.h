// What the fuzz targets share: a private scratch folder in memory-backed storage, files
// written into it, a front end that swallows every message, and path checks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/wide_string.h"

namespace fuzz {

// A folder of this process, made once (in /dev/shm when there is one) and removed at exit.
const std::string& ScratchRoot();

std::u16string WidePath(const std::string& path);
bool WriteBytes(const std::string& path, const uint8_t* data, size_t size);
bool RemoveTree(const std::string& path);  // the folder's contents and the folder

// Installs a front end that shows nothing and counts messages; `memberName`, when
// given, receives each member path the worker announces.
void InstallSilentFrontEnd(void (*memberName)(void* context, const WideChar* path) = nullptr);
uint32_t MessagesShown();

// A sanitised member path that could leave the destination folder, or that Windows
// would read as something else (drive, stream, device path, a component of dots).
bool IsSafeRelativePath(const WideString& path);

}  // namespace fuzz
