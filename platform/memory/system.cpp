// The core's system services in the fuzz build: files and folders on the memory volume,
// fixed answers where a real system would be asked (time zone, shell).
#include "platform/system.h"

#include <cerrno>
#include <cstring>

#include "platform/memory/memory_volume.h"
#include "platform/posix/utf8.h"

namespace {

thread_local uint32_t lastError = 0;

// Japan (UTC+9), where most archives come from; fixed so that every run converts alike.
constexpr int32_t JapanTimeZoneOffset = -9 * 3600;

}  // namespace

// The missing folders on the way are made first, top-down.
CreateFolderResult CreateFolder(const WideChar* path) {
    MemoryVolume& volume = TheMemoryVolume();
    std::u16string name;
    uint32_t code = ResolveMemoryPath(path, name);
    if (code == 0) code = CreateMemoryParents(name);
    if (code == 0 && (volume.folders.count(name) || volume.files.count(name))) code = EEXIST;
    if (code == 0) {
        volume.folders.insert(name);
        return CreateFolderResult::Created;
    }
    SetLastErrorCode(code);
    return code == EEXIST ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

bool DeletePath(const WideChar* path) {
    MemoryVolume& volume = TheMemoryVolume();
    std::u16string name;
    uint32_t code = ResolveMemoryPath(path, name);
    if (code == 0 && volume.folders.count(name)) code = EISDIR;
    if (code == 0) {
        EraseMemoryFile(name);
        return true;
    }
    SetLastErrorCode(code);
    return code == ENOENT;
}

// The memory volume holds no links: nothing on the way can be one.
CreateFolderResult CreateDestinationFolder(const WideChar* path) { return CreateFolder(path); }
uint32_t LinkErrorCode() { return ELOOP; }
void DiscardTemporaryInHand() {}
void HoldReachedFolders(bool) {}

bool PathExists(const WideChar* path) {
    std::u16string name;
    return ResolveMemoryPath(path, name) == 0 &&
           (TheMemoryVolume().folders.count(name) || TheMemoryVolume().files.count(name));
}

bool ExistingEntryTime(const WideChar* path, int64_t& unixSeconds) {
    std::u16string name;
    if (ResolveMemoryPath(path, name) != 0) return false;
    auto file = TheMemoryVolume().files.find(name);
    unixSeconds = file == TheMemoryVolume().files.end() ? 0 : file->second.modifiedTime;
    return file != TheMemoryVolume().files.end() || TheMemoryVolume().folders.count(name);
}

void FoldNameCase(WideChar*, uint32_t) {}

bool IsExistingFolder(const WideChar* path) {
    std::u16string name;
    return ResolveMemoryPath(path, name) == 0 && TheMemoryVolume().folders.count(name);
}

WideString CurrentDirectoryPath() { return WideString(TheMemoryVolume().current.c_str()); }

bool SetCurrentFolder(const WideChar* path) {
    std::u16string name;
    uint32_t code = ResolveMemoryPath(path, name);
    if (code == 0 && !TheMemoryVolume().folders.count(name)) code = ENOENT;
    if (code == 0) TheMemoryVolume().current = name;
    else SetLastErrorCode(code);
    return code == 0;
}

uint32_t LastErrorCode() { return lastError; }
void SetLastErrorCode(uint32_t code) { lastError = code; }

WideString SystemErrorText(uint32_t code) {
    WideString out;
    AssignFromUtf8(out, std::strerror(static_cast<int>(code)));
    return out;
}

uint32_t OutOfMemoryErrorCode() { return ENOMEM; }

int32_t TimeZoneOffset() { return JapanTimeZoneOffset; }

void ExpandEnvironmentVariables(WideString&) {}

WideString SpecialFolderPath(int) { return WideString(u""); }

bool ShellTakesNotices() { return false; }
void NotifyShellOfCreate(const WideChar*) {}
