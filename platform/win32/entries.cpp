// Entries below the current folder on Windows, by name: every component of the path, the
// last one included, is looked at first, and one that is a reparse point (symbolic link,
// junction, mount point) refuses the operation; files and folders are opened with
// FILE_FLAG_OPEN_REPARSE_POINT, so that a link put there meanwhile is not followed either.
#include <windows.h>

#include "platform/file_handle.h"
#include "platform/system.h"

namespace {

constexpr DWORD StoppedOnLink = 681;  // ERROR_STOPPED_ON_SYMLINK

const wchar_t* Native(const WideChar* text) { return reinterpret_cast<const wchar_t*>(text); }

// Whether GetFileAttributesW found the entry and it has `attribute` (INVALID_FILE_ATTRIBUTES
// has every bit set, no real set has the top one).
bool Has(DWORD attributes, DWORD attribute) { return (attributes & (0x80000000u | attribute)) == attribute; }

// False, with StoppedOnLink as the last error, when a component of `path` is a reparse
// point; components that do not exist yet are none. With `create`, the missing folders
// before the last component are made on the way, top-down.
bool NoLinkOnTheWay(const WideChar* path, bool create = false) {
    WideString copy(path);
    wchar_t* text = reinterpret_cast<wchar_t*>(copy.Data());
    for (wchar_t* at = text;; ++at) {
        wchar_t unit = *at;
        if (unit == L'/' || unit == L'\\' || unit == 0) {
            *at = 0;
            DWORD attributes = GetFileAttributesW(text);
            if (create && unit && attributes == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(text, nullptr);
            *at = unit;
            if (Has(attributes, FILE_ATTRIBUTE_REPARSE_POINT)) {
                SetLastError(StoppedOnLink);
                return false;
            }
        }
        if (unit == 0) return true;
    }
}

// The length of the folder part of a path, its last separator included.
uint32_t FolderPartLength(const WideString& path) {
    uint32_t length = path.Length();
    const WideChar* text = path.Text();
    while (length > 0 && text[length - 1] != u'/' && text[length - 1] != u'\\') --length;
    return length;
}

}  // namespace

CreateFolderResult CreateFolder(const WideChar* path) {
    if (!NoLinkOnTheWay(path, true)) return CreateFolderResult::Failed;
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

bool PathExists(const WideChar* path) { return GetFileAttributesW(Native(path)) != INVALID_FILE_ATTRIBUTES; }

bool ExistingEntryTime(const WideChar* path, int64_t& unixSeconds) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!NoLinkOnTheWay(path) || !GetFileAttributesExW(Native(path), GetFileExInfoStandard, &data)) return false;
    const uint64_t ticks = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    unixSeconds = static_cast<int64_t>(ticks / 10000000u) - 11644473600;
    return true;
}

uint32_t LinkErrorCode() { return StoppedOnLink; }
void DiscardTemporaryInHand() {}
void HoldReachedFolders(bool) {}

void FoldNameCase(WideChar* text, uint32_t length) { CharUpperBuffW(reinterpret_cast<wchar_t*>(text), length); }

// The temporary names of one run follow one another from the first; a name in use (from
// another run in the same folder, or one that ended without clearing up) is passed over.
static uint32_t serial = 0;

bool FileHandle::CreateTemporary(const WideChar* path) {
    Discard();
    if (!NoLinkOnTheWay(path, true)) return false;
    temporary_.Assign(path);
    temporary_.Resize(FolderPartLength(temporary_) + 1);
    temporary_.Append(TemporaryNamePattern);
    WideChar* name = temporary_.Data() + temporary_.Length() - TemporaryNameUnits;
    for (int tries = 0; tries < 64; ++tries) {
        WriteTemporarySerial(name, serial++);
        HANDLE created = CreateFileW(Native(temporary_.Text()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<intptr_t>(created);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    temporary_.Clear();
    return false;
}

// The error a caller reports is that of the move: the deletion after a failed one
// succeeds or changes nothing worth telling.
bool FileHandle::PutInPlace(const WideChar* path, bool replace) {
    Close();
    bool moved = MoveFileExW(Native(temporary_.Text()), Native(path), replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (moved) temporary_.Clear();
    Discard();
    return moved;
}

void FileHandle::Discard() {
    Close();
    if (temporary_.HasText()) DeleteFileW(Native(temporary_.Text()));
    temporary_.Clear();
}

// Folders are opened with backup semantics, which also opens a file: what stands there is
// looked at first.
bool FileHandle::OpenFolder(const WideChar* path) {
    Discard();
    if (!NoLinkOnTheWay(path) || !Has(GetFileAttributesW(Native(path)), FILE_ATTRIBUTE_DIRECTORY)) return false;
    HANDLE opened = CreateFileW(Native(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(opened);
    return true;
}

// The running package cannot be replaced: Windows refuses it by itself.
bool FileHandle::IsAt(const WideChar*) { return false; }
