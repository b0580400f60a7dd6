// Entries below the current folder on Windows: every component of the path, the last one
// included, is looked at first, and one that is a reparse point (symbolic link, junction,
// mount point) refuses the operation; output files are opened with
// FILE_FLAG_OPEN_REPARSE_POINT (file_handle.cpp), so that a link put there meanwhile is
// not followed either.
#include <windows.h>
#include <sys/utime.h>

#include "platform/file_handle.h"
#include "platform/system.h"

namespace {

constexpr DWORD StoppedOnLink = 681;  // ERROR_STOPPED_ON_SYMLINK

const wchar_t* Native(const WideChar* text) { return reinterpret_cast<const wchar_t*>(text); }

// Whether GetFileAttributesW found the entry and it has `attribute` (INVALID_FILE_ATTRIBUTES
// has every bit set, no real set has the top one).
bool Has(DWORD attributes, DWORD attribute) { return (attributes & (0x80000000u | attribute)) == attribute; }

// False, with StoppedOnLink as the last error, when a component of `path` is a reparse
// point; components that do not exist yet are none.
bool NoLinkOnTheWay(const WideChar* path) {
    WideString copy(path);
    wchar_t* text = reinterpret_cast<wchar_t*>(copy.Data());
    for (wchar_t* at = text;; ++at) {
        wchar_t unit = *at;
        if (unit == L'/' || unit == L'\\' || unit == 0) {
            *at = 0;
            DWORD attributes = GetFileAttributesW(text);
            *at = unit;
            if (Has(attributes, FILE_ATTRIBUTE_REPARSE_POINT)) {
                SetLastError(StoppedOnLink);
                return false;
            }
        }
        if (unit == 0) return true;
    }
}

}  // namespace

CreateFolderResult CreateFolder(const WideChar* path) {
    if (!NoLinkOnTheWay(path)) return CreateFolderResult::Failed;
    return CreateDestinationFolder(path);
}

bool DeletePath(const WideChar* path) {
    if (!NoLinkOnTheWay(path)) return false;
    if (DeleteFileW(Native(path))) return true;
    DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool IsExistingFolder(const WideChar* path) {
    return NoLinkOnTheWay(path) && Has(GetFileAttributesW(Native(path)), FILE_ATTRIBUTE_DIRECTORY);
}

bool SetFileTimes(const WideChar* path, int64_t unixSeconds) {
    __utimbuf64 times = {unixSeconds, unixSeconds};
    return NoLinkOnTheWay(path) && _wutime64(Native(path), &times) == 0;
}

bool PathExists(const WideChar* path) { return GetFileAttributesW(Native(path)) != INVALID_FILE_ATTRIBUTES; }

bool SetFileMode(const WideChar*, uint32_t) { return true; }

uint32_t LinkErrorCode() { return StoppedOnLink; }
void HoldReachedFolders(bool) {}

bool FileHandle::Create(const WideChar* path) {
    return NoLinkOnTheWay(path) && Open(path, FileAccess::Write, FileDisposition::CreateAlways);
}
