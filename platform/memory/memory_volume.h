// The fuzz build's file system: files and folders held in this process's memory, behind
// the same FileHandle and platform/system.h calls the stub and the host tool use, so that
// a fuzz input costs no system calls. Paths take '/' and '\\' as separators and resolve
// "." and ".." against the current folder as a real system does; there are no links,
// drives, devices or time zones. A new platform call gets its version here.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/wide_string.h"

struct MemoryFile {
    std::vector<uint8_t> bytes;
    int64_t modifiedTime = 0;
};

struct OpenMemoryFile {
    MemoryFile* file = nullptr;                   // null once the file is deleted
    uint64_t position = 0;
    bool writable = false;
};

struct MemoryVolume {
    std::map<std::u16string, MemoryFile> files;   // by absolute path: "/a/b"; nodes stay put
    std::set<std::u16string> folders{u"/"};
    std::u16string current = u"/";
    uint64_t capacity = UINT64_MAX;               // bytes all files together may hold
    uint64_t used = 0;
    std::map<intptr_t, OpenMemoryFile> handles;
    intptr_t nextHandle = 1;
};

MemoryVolume& TheMemoryVolume();
void ResetMemoryVolume(uint64_t capacity = UINT64_MAX);  // the root folder alone, current

// `path` as an absolute path with '/' separators: 0, or the error code (errno values)
// of an empty path or of a ".." that leaves something other than a folder.
uint32_t ResolveMemoryPath(const WideChar* path, std::u16string& out);
// 0 when the folder holding `path` exists, else why not.
uint32_t CheckMemoryParent(const std::u16string& path);
// Creates the folders above `path` that are missing, top-down; 0, or ENOTDIR when a
// file stands in the way.
uint32_t CreateMemoryParents(const std::u16string& path);
// Counts a file's new size against the volume's capacity (the caller then resizes its
// bytes); false (ENOSPC) when it does not fit.
bool ClaimMemorySize(const MemoryFile& file, uint64_t size);
// Deletes a file; handles still open on it fail from then on.
void EraseMemoryFile(const std::u16string& path);
// Creates or replaces the file at an absolute path without opening it (what a test
// places on the volume); false beyond the capacity.
bool PutMemoryFile(const std::u16string& path, const uint8_t* bytes, size_t size);
