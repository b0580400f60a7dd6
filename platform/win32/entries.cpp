// Entries below the current folder on Windows, reached without following a reparse point
// (symbolic link, junction, mount point). Each component of a path is opened relative to
// the handle of the folder before it (NtCreateFile with RootDirectory), as the entry itself
// (FILE_OPEN_REPARSE_POINT), and what was opened is looked at before anything goes on from
// it; the folder stays open while its entry is created, opened, renamed or deleted through
// it. A folder swapped for a link meanwhile is either the folder we hold or refused.
// Folders are held without FILE_SHARE_DELETE: while we hold one, no one can rename it.
#include <windows.h>
#include <winternl.h>

#include "platform/file_handle.h"
#include "platform/system.h"

// Called through the import table, as the headers' own Win32 functions are, rather than
// through a jump of the linker's for each.
extern "C" {
__declspec(dllimport) NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK,
                                                          PVOID, ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                                          PUNICODE_STRING, BOOLEAN);
__declspec(dllimport) NTSTATUS NTAPI NtCreateFile(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                                  PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
__declspec(dllimport) NTSTATUS NTAPI NtQueryInformationFile(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                            FILE_INFORMATION_CLASS);
__declspec(dllimport) NTSTATUS NTAPI NtSetInformationFile(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                          FILE_INFORMATION_CLASS);
__declspec(dllimport) ULONG NTAPI RtlNtStatusToDosError(NTSTATUS);
}

namespace {

constexpr DWORD StoppedOnLink = 681;  // ERROR_STOPPED_ON_SYMLINK
constexpr ULONG FolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK FolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE;

bool IsSeparator(WideChar unit) { return unit == u'/' || unit == u'\\'; }

// One component of a path, not terminated, as the system takes names (its length in
// bytes); empty, it names the folder it is opened in.
using Name = UNICODE_STRING;

// True when the call succeeded; otherwise the system's error code becomes the last error.
bool Succeeded(NTSTATUS status) {
    if (status < 0) SetLastError(RtlNtStatusToDosError(status));
    return status >= 0;
}

// Opens `name` in `folder` as the entry itself, sharing all but deletion for folders;
// null when it cannot be. `created` tells whether FILE_OPEN_IF made it.
HANDLE OpenIn(HANDLE folder, Name& name, ACCESS_MASK access, ULONG disposition, ULONG options, bool* created = nullptr) {
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = folder;
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    IO_STATUS_BLOCK outcome;
    HANDLE opened;
    const ULONG share = options & FILE_DIRECTORY_FILE ? FolderShare : FolderShare | FILE_SHARE_DELETE;
    if (!Succeeded(NtCreateFile(&opened, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &outcome, nullptr,
                                FILE_ATTRIBUTE_NORMAL, share, disposition,
                                options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0)))
        return nullptr;
    if (created) *created = outcome.Information == FILE_CREATED;
    return opened;
}

// The fixed part of FILE_ID_FULL_DIR_INFORMATION, which the name follows.
struct ListedEntry {
    ULONG nextEntryOffset, fileIndex;
    LARGE_INTEGER times[4], endOfFile, allocationSize;
    ULONG attributes, nameLength, eaSize;
    LARGE_INTEGER fileId;
};

// Whether `opened`, just opened as `name` in `folder`, is that entry and no reparse point,
// by the folder's listing: there the entry must be no reparse point and have the file id
// of what was opened. Windows opens a reparse point itself, which the listing names;
// some systems (Wine) follow a link even so, and then the ids differ or the listing names
// it. A file system without file ids (0) has no reparse points. A listing keeps the
// pattern of its handle's first query: each folder handle is asked about one name only.
bool IsPlainEntry(HANDLE folder, Name& name, HANDLE opened) {
    LARGE_INTEGER openedId;
    union {
        ListedEntry entry;
        BYTE bytes[sizeof(ListedEntry) + 2 * MAX_PATH];
    } listed;
    IO_STATUS_BLOCK outcome;
    if (NtQueryInformationFile(opened, &outcome, &openedId, sizeof openedId, FileInternalInformation) < 0 ||
        NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &outcome, &listed, sizeof listed,
                             FileIdFullDirectoryInformation, TRUE, &name, TRUE) < 0)
        return false;
    const LONGLONG id = listed.entry.fileId.QuadPart;
    return !(listed.entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (id == 0 || id == openedId.QuadPart);
}

// Opens `name` in `folder` and makes sure it is what the name stands for; null, with
// StoppedOnLink as the last error for a reparse point.
HANDLE OpenPlainIn(HANDLE folder, Name& name, ACCESS_MASK access, ULONG disposition, ULONG options,
                   bool* created = nullptr) {
    HANDLE opened = OpenIn(folder, name, access, disposition, options, created);
    if (opened && !IsPlainEntry(folder, name, opened)) {
        CloseHandle(opened);
        SetLastError(StoppedOnLink);
        return nullptr;
    }
    return opened;
}


// The folder that holds an entry, held open, and the entry's name.
struct Reached {
    HANDLE folder = nullptr;
    Name name;
    ~Reached() {
        if (folder) CloseHandle(folder);
    }
};

// The next component of `rest`, and `rest` past its separator. Paths come sanitised: no
// empty components, and member names without the trailing dots and spaces that Windows
// drops from a name by itself (the system takes such a name as it stands here); the
// system refuses "." and "..". An empty component, or one longer than MAX_PATH, comes
// back empty, which no caller takes.
Name NextComponent(const WideChar*& rest) {
    const WideChar* start = rest;
    while (*rest && !IsSeparator(*rest)) ++rest;
    const size_t units = static_cast<size_t>(rest - start);
    Name name;
    name.Buffer = reinterpret_cast<PWSTR>(const_cast<WideChar*>(start));
    name.Length = name.MaximumLength = units > MAX_PATH ? 0 : static_cast<USHORT>(units * 2);
    if (*rest) ++rest;
    return name;
}

// Walks `path` (relative; slashes or backslashes) from the current folder, which is the
// user's choice and opened by name. With `create`, the folders that are missing on the way
// are made, top-down. False, with the last error set, when a folder on the way cannot be
// opened or is a reparse point, or the path names none.
bool Reach(const WideChar* path, Reached& at, bool create = false) {
    at.folder = CreateFileW(L".", FolderAccess, FolderShare, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (at.folder == INVALID_HANDLE_VALUE) {
        at.folder = nullptr;
        return false;
    }
    for (const WideChar* rest = path;;) {
        at.name = NextComponent(rest);
        if (at.name.Length == 0) {  // empty or too long
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
        if (*rest == 0) return true;
        HANDLE next = OpenPlainIn(at.folder, at.name, FolderAccess, create ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE);
        if (!next) return false;
        CloseHandle(at.folder);
        at.folder = next;
    }
}

Name LastName(const WideChar* path) {
    Name name = {};
    while (*path) name = NextComponent(path);
    return name;
}

// The file `name` in `folder` renamed or deleted (`kind`, `information`), never through a
// reparse point.
bool MoveIn(HANDLE folder, Name name, void* information, ULONG size, FILE_INFORMATION_CLASS kind) {
    HANDLE file = OpenPlainIn(folder, name, DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
    if (!file) return false;
    IO_STATUS_BLOCK outcome;
    const NTSTATUS status = NtSetInformationFile(file, &outcome, information, size, kind);
    CloseHandle(file);
    return Succeeded(status);
}

bool DeleteIn(HANDLE folder, Name name) {
    BOOLEAN deleteFile = TRUE;
    return MoveIn(folder, name, &deleteFile, sizeof deleteFile, FileDispositionInformation);
}

// Reaches `path` and opens its last component, which must be what the name stands for;
// with FILE_OPEN_IF, what is missing of it and of the folders on the way is made.
HANDLE OpenAt(const WideChar* path, ACCESS_MASK access, ULONG disposition, ULONG options, bool* created = nullptr) {
    Reached at;
    return Reach(path, at, disposition == FILE_OPEN_IF) ? OpenPlainIn(at.folder, at.name, access, disposition, options, created)
                                                        : nullptr;
}

bool CloseOpened(HANDLE opened) {
    if (opened) CloseHandle(opened);
    return opened != nullptr;
}

// Where the temporary names of this process start.
uint32_t serial = 0;

}  // namespace

CreateFolderResult CreateFolder(const WideChar* path) {
    bool created = false;
    if (CloseOpened(OpenAt(path, FolderAccess, FILE_OPEN_IF, FILE_DIRECTORY_FILE, &created)))
        return created ? CreateFolderResult::Created : CreateFolderResult::AlreadyExists;
    // A file of that name: the caller finds out what stands there.
    return GetLastError() == ERROR_DIRECTORY ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

bool DeletePath(const WideChar* path) {
    Reached at;
    if (Reach(path, at) && DeleteIn(at.folder, at.name)) return true;
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool IsExistingFolder(const WideChar* path) { return CloseOpened(OpenAt(path, FolderAccess, FILE_OPEN, FILE_DIRECTORY_FILE)); }

bool PathExists(const WideChar* path) {
    return GetFileAttributesW(reinterpret_cast<const wchar_t*>(path)) != INVALID_FILE_ATTRIBUTES;
}

bool ExistingEntryTime(const WideChar* path, int64_t& unixSeconds) {
    HANDLE entry = OpenAt(path, 0, FILE_OPEN, 0);
    FILE_BASIC_INFORMATION info;
    IO_STATUS_BLOCK outcome;
    const bool known = entry && Succeeded(NtQueryInformationFile(entry, &outcome, &info, sizeof info, FileBasicInformation));
    CloseOpened(entry);
    if (known) unixSeconds = info.LastWriteTime.QuadPart / 10000000 - 11644473600;
    return known;
}

uint32_t LinkErrorCode() { return StoppedOnLink; }
void DiscardTemporaryInHand() {}
void HoldReachedFolders(bool) {}

void FoldNameCase(WideChar* text, uint32_t length) { CharUpperBuffW(reinterpret_cast<wchar_t*>(text), length); }

// Made in the folder that `path` names, which the handle holds until the file is put in
// place or discarded; exclusively, so a name in use (from another run, or one that ended
// without clearing up) is passed over. Others may delete it: an abort does so from another
// thread.
bool FileHandle::CreateTemporary(const WideChar* path) {
    Discard();
    Reached at;
    if (!Reach(path, at, true)) return false;
    temporary_.Assign(path);
    temporary_.Resize(static_cast<uint32_t>(reinterpret_cast<const WideChar*>(at.name.Buffer) - path) + 1);
    temporary_.Append(TemporaryNamePattern);
    WideChar* name = temporary_.Data() + temporary_.Length() - TemporaryNameUnits;
    Name temporary;
    temporary.Buffer = reinterpret_cast<PWSTR>(name);
    temporary.Length = temporary.MaximumLength = TemporaryNameUnits * 2;
    HANDLE created = nullptr;
    for (int tries = 0; tries < 64 && !created; ++tries) {
        WriteTemporarySerial(name, serial++);
        created = OpenIn(at.folder, temporary, GENERIC_WRITE, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
        if (!created && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!created) {
        temporary_.Clear();
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(created);
    folder_ = reinterpret_cast<intptr_t>(at.folder);
    at.folder = nullptr;
    return true;
}

// Renamed in the folder held since it was made, to the last component of `path` (no longer
// than MAX_PATH: CreateTemporary reached it).
bool FileHandle::PutInPlace(const WideChar* path, bool replace) {
    Close();
    const Name target = LastName(path);
    union {
        FILE_RENAME_INFO info;
        BYTE bytes[sizeof(FILE_RENAME_INFO) + 2 * MAX_PATH];
    } rename;
    rename.info.ReplaceIfExists = replace;
    rename.info.RootDirectory = reinterpret_cast<HANDLE>(folder_);
    rename.info.FileNameLength = target.Length;
    CopyMemory(rename.info.FileName, target.Buffer, target.Length);
    const bool moved = temporary_.HasText() &&
                       MoveIn(rename.info.RootDirectory, LastName(temporary_.Text()), &rename, sizeof rename, FileRenameInformation);
    const DWORD cause = GetLastError();
    if (moved) temporary_.Clear();
    Discard();
    SetLastError(cause);
    return moved;
}

void FileHandle::Discard() {
    Close();
    if (folder_ != ClosedHandle) {
        if (temporary_.HasText()) DeleteIn(reinterpret_cast<HANDLE>(folder_), LastName(temporary_.Text()));
        CloseHandle(reinterpret_cast<HANDLE>(folder_));
        folder_ = ClosedHandle;
    }
    temporary_.Clear();
}

bool FileHandle::OpenFolder(const WideChar* path) {
    Discard();
    HANDLE folder = OpenAt(path, FILE_WRITE_ATTRIBUTES, FILE_OPEN, FILE_DIRECTORY_FILE);
    if (!folder) return false;
    handle_ = reinterpret_cast<intptr_t>(folder);
    return true;
}

// The running package cannot be replaced: Windows refuses it by itself.
bool FileHandle::IsAt(const WideChar*) { return false; }
