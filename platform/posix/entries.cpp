// Entries below the current folder, reached without following links: each folder on the
// way is opened relative to the one before it with O_NOFOLLOW, and the last component is
// handled relative to its folder's descriptor, so a link planted in the destination
// cannot send a member anywhere else. Missing folders are made on the same walk, top-down.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_handle.h"
#include "platform/posix/made_folders.h"
#include "platform/posix/utf8.h"
#include "platform/system.h"

namespace {

// The entry last found missing in a held folder, and nothing done since: a member's checks
// ask twice about the same name in a row (is a folder there, is the package there), and
// the second answer is the first (the file system changes no faster between the two
// questions than just after the second).
struct Missing {
    int folder = -1;
    char name[NAME_MAX + 1] = {};
    bool Is(int at, const char* entry) const { return folder >= 0 && folder == at && std::strcmp(name, entry) == 0; }
    void Note(int at, bool owned, const char (&entry)[NAME_MAX + 1]) {
        folder = owned ? -1 : at;  // a folder closed after the call may come back under its number
        std::memcpy(name, entry, sizeof name);
    }
    void Forget() { folder = -1; }
} missing;

// The held folder the temporary in hand was made in: the handle works through the walk's
// own descriptor rather than a copy, and the walk, should it let go of that folder first,
// leaves the descriptor to the handle to close.
struct Lent {
    int fd = -1;
    bool left = false;  // the walk has let go: the handle closes it
} lent;

void CloseHeld(int fd) {
    if (fd == lent.fd)
        lent.left = true;
    else
        ::close(fd);
}

// The handle is done with its folder's descriptor.
void CloseHandleFolder(int fd) {
    if (fd != lent.fd) {
        ::close(fd);
        return;
    }
    if (lent.left) ::close(fd);
    lent = Lent{};
}

// The folders the worker's run has made: what may stand in one of them is looked at on disk
// only where it may be a folder the run made.
MadeFolders made;

// While the worker runs, the chain of folders reached last stays open: members mostly
// share their folder, so each walks only the components that differ from the one before,
// and a folder held open is known to exist. A descriptor names the folder itself, not its
// path: were a held folder moved and a link put in its place, members still land in that
// folder and never pass through the link.
constexpr int HeldDepth = 32;
struct HeldFolders {
    bool on = false;
    int depth = 0;
    int fd[HeldDepth];
    uint32_t end[HeldDepth];  // fd[i] is the folder path[0, end[i])
    char path[PATH_MAX];      // the held folders' components joined by '/'

    // Whether component `i` of the held chain is the `length` bytes at `name`.
    bool Holds(int i, const char* name, size_t length) const {
        uint32_t start = i == 0 ? 0 : end[i - 1] + 1;
        return i < depth && end[i] - start == length && std::memcmp(path + start, name, length) == 0;
    }
    void DropFrom(int i) {
        if (depth > i) missing.Forget();
        while (depth > i) CloseHeld(fd[--depth]);
    }
    // Beyond the chain, the folder that held the entry reached last stays open as well, with
    // its path: members one after another in a folder deeper than the chain walk nothing.
    int lastFd = -1;
    char* lastPath = nullptr;
    size_t lastLength = 0;
    void DropLast() {
        if (lastFd >= 0) {
            missing.Forget();
            CloseHeld(lastFd);
        }
        delete[] lastPath;
        lastFd = -1;
        lastPath = nullptr;
    }
    void KeepLast(int folder, const char* folderPath, size_t length) {
        DropLast();
        lastPath = new char[length];
        std::memcpy(lastPath, folderPath, length);
        lastLength = length;
        lastFd = folder;
    }
    // Whether `path` lies below the last folder.
    bool BelowLast(const char* path) const {
        return lastFd >= 0 && std::strncmp(path, lastPath, lastLength) == 0 && path[lastLength] == '/';
    }
    // Takes `folder`, reached by `name` from the held folder i - 1, as component i.
    bool Push(int i, const char* name, size_t length, int folder) {
        if (!on || i != depth || i == HeldDepth) return false;
        uint32_t start = i == 0 ? 0 : end[i - 1] + 1;
        if (start + length + 1 > sizeof path) return false;
        if (i > 0) path[start - 1] = '/';
        std::memcpy(path + start, name, length);
        fd[i] = folder;
        end[i] = static_cast<uint32_t>(start + length);
        ++depth;
        return true;
    }
} held;

// The folder that holds an entry, open without following links, and the entry's name.
// `heldBelow` tells whether the entry itself is the next folder of the held chain.
struct Reached {
    int folder = AT_FDCWD;
    bool owned = false;
    bool heldBelow = false;
    char name[NAME_MAX + 1] = {};
    ~Reached() {
        if (owned) ::close(folder);
    }
};

bool TakeName(Reached& at, const char* name, size_t length) {
    if (length == 0 || length > NAME_MAX) {
        errno = length ? ENAMETOOLONG : ENOENT;
        return false;
    }
    std::memcpy(at.name, name, length);
    at.name[length] = 0;
    if (std::strcmp(at.name, "..") != 0) return true;
    errno = EINVAL;
    return false;
}

// The folder `name` in `folder`, opened without following a link; with `create`, made first
// when it is missing (`madeNow` tells). -1 with errno set: ELOOP for a link, ENOTDIR for a
// file.
int OpenFolderIn(int folder, const char* name, bool create, bool* madeNow = nullptr) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int next = ::openat(folder, name, flags);
    if (next < 0 && errno == ENOENT && create) {
        const bool madeHere = ::mkdirat(folder, name, 0755) == 0;
        if (madeNow) *madeNow = madeHere;
        if (madeHere || errno == EEXIST) next = ::openat(folder, name, flags);
    }
    if (next >= 0) return next;
    // With O_DIRECTORY a link is reported as "not a directory"; name it for what it is.
    int cause = errno;
    struct stat info;
    bool link = cause == ENOTDIR && ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
    errno = link ? ELOOP : cause;
    return -1;
}

// Walks `path` (relative, slash-separated; empty components are skipped) from the current
// folder, making the folders on the way that are missing when `create`. False with errno
// set: ELOOP for a link on the way, ENOTDIR for a file.
bool Reach(const WideChar* path, Reached& at, bool create = false) {
    Utf8Text utf8(path);
    const char* const whole = utf8.c_str();
    const char* rest = whole;
    if (*rest == '/') {
        errno = EINVAL;  // only relative paths stay below the current folder
        return false;
    }
    // Below the last folder the walk goes on from there, beside the chain.
    const bool fromLast = held.BelowLast(whole);
    if (fromLast) {
        at.folder = held.lastFd;
        rest += held.lastLength + 1;
    }
    for (int level = 0;; ++level) {
        while (*rest == '/') ++rest;
        const char* component = rest;
        size_t length = std::strcspn(rest, "/");
        if (!TakeName(at, rest, length)) return false;
        rest += length;
        while (*rest == '/') ++rest;
        const bool onChain = !fromLast && !at.owned && held.Holds(level, at.name, length);
        if (*rest == 0) {
            at.heldBelow = onChain;
            // A folder deeper than the chain is kept for the members that follow in it.
            if (at.owned && held.on) {
                held.KeepLast(at.folder, whole, static_cast<size_t>(component - 1 - whole));
                at.owned = false;
            }
            return true;
        }
        if (onChain) {
            at.folder = held.fd[level];
            continue;
        }
        bool madeNow = false;
        int next = OpenFolderIn(at.folder, at.name, create, &madeNow);
        if (madeNow && held.on) made.Add(HashPath(whole, static_cast<size_t>(rest - whole)).entry);
        if (next < 0) return false;
        // Below a folder that is not held, nothing is held either.
        if (at.owned) {
            ::close(at.folder);
        } else if (!fromLast) {
            held.DropFrom(level);
        }
        at.folder = next;
        at.owned = at.owned || fromLast || !held.Push(level, at.name, length, next);
    }
}

// The last component of a path (the part behind its last separator).
const WideChar* LastComponent(const WideString& path) {
    const WideChar* text = path.Text();
    const WideChar* name = text;
    for (const WideChar* at = text; *at; ++at)
        if (*at == u'/') name = at + 1;
    return name;
}

// Where the temporary names of this process start: a run elsewhere, or one before it that
// ended without clearing up, is unlikely to have used the same.
uint32_t serial = 0;
uint32_t NextSerial() {
    if (serial == 0) serial = static_cast<uint32_t>(::getpid()) * 2654435761u ^ static_cast<uint32_t>(::time(nullptr));
    return serial++;
}

constexpr int TemporaryNameTries = 64;

// A descriptor of the folder that holds the entry, for a handle to keep until it is done
// with the folder: the walk's own when the walk owns it or holds it (lent, when no other
// handle has it), else a copy, since the walk may close or reuse its own meanwhile.
int TakeFolder(Reached& at) {
    if (at.folder == AT_FDCWD) return ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at.owned) {
        at.owned = false;
        return at.folder;
    }
    if (lent.fd >= 0) return ::fcntl(at.folder, F_DUPFD_CLOEXEC, 0);
    lent.fd = at.folder;
    return at.folder;
}

// The temporary being written, for DiscardTemporaryInHand: its name is set before its
// folder, and the folder taken away before the name changes.
volatile sig_atomic_t inHandFolder = -1;
char inHandName[TemporaryNameUnits + 1];

void ForgetInHand() { inHandFolder = -1; }

// The entry at `at`, as fstatat sees it without following a link; false with errno set.
bool StatEntry(const Reached& at, struct stat& info) {
    if (missing.Is(at.folder, at.name)) {
        errno = ENOENT;
        return false;
    }
    if (::fstatat(at.folder, at.name, &info, AT_SYMLINK_NOFOLLOW) == 0) return true;
    if (errno == ENOENT) missing.Note(at.folder, at.owned, at.name);
    return false;
}

}  // namespace

void HoldReachedFolders(bool on) {
    held.DropFrom(0);
    held.DropLast();
    held.on = on;
    made.Clear();
}

CreateFolderResult CreateFolder(const WideChar* path) {
    missing.Forget();
    Reached at;
    if (!Reach(path, at, true)) return CreateFolderResult::Failed;
    if (at.heldBelow) return CreateFolderResult::AlreadyExists;
    if (::mkdirat(at.folder, at.name, 0755) != 0)
        return errno == EEXIST ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
    if (held.on) {
        Utf8Text utf8(path);
        made.Add(HashPath(utf8.c_str()).entry);
    }
    return CreateFolderResult::Created;
}

bool DeletePath(const WideChar* path) {
    missing.Forget();
    Reached at;
    if (!Reach(path, at)) return errno == ENOENT;
    return ::unlinkat(at.folder, at.name, 0) == 0 || errno == ENOENT;
}

// Whether the path lies in a folder this run made, at no folder it made there.
bool KnownToHoldNoFolder(const WideChar* path) {
    if (!made.Knows()) return false;
    Utf8Text utf8(path);
    return made.HoldsNoFolderAt(HashPath(utf8.c_str()));
}

bool IsExistingFolder(const WideChar* path) {
    if (KnownToHoldNoFolder(path)) return false;
    Reached at;
    struct stat info;
    if (!Reach(path, at) || !StatEntry(at, info)) return false;
    if (S_ISLNK(info.st_mode)) errno = ELOOP;  // a link is no folder, even one to a folder
    return S_ISDIR(info.st_mode);
}

bool PathExists(const WideChar* path) {
    int64_t unused;
    return ExistingEntryTime(path, unused);
}

bool ExistingEntryTime(const WideChar* path, int64_t& unixSeconds) {
    Reached at;
    struct stat info;
    if (!Reach(path, at) || ::fstatat(at.folder, at.name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    unixSeconds = info.st_mtime;
    return true;
}

uint32_t LinkErrorCode() { return ELOOP; }

void DiscardTemporaryInHand() {
    const int folder = inHandFolder;
    if (folder >= 0) ::unlinkat(folder, inHandName, 0);
}

void FoldNameCase(WideChar*, uint32_t) {}

bool FileHandle::CreateTemporary(const WideChar* path) {
    Discard();
    missing.Forget();
    Reached at;
    if (!Reach(path, at, true)) return false;
    const int folder = TakeFolder(at);
    if (folder < 0) return false;
    WideChar name[TemporaryNameUnits + 1];
    for (uint32_t j = 0; j <= TemporaryNameUnits; ++j) name[j] = TemporaryNamePattern[j];
    char utf8[TemporaryNameUnits + 1];
    int fd = -1;
    errno = EEXIST;
    for (int i = 0; i < TemporaryNameTries && fd < 0 && errno == EEXIST; ++i) {
        WriteTemporarySerial(name, NextSerial());
        for (uint32_t j = 0; j <= TemporaryNameUnits; ++j) utf8[j] = static_cast<char>(name[j]);
        if (std::strcmp(utf8, at.name) == 0) continue;  // errno stays EEXIST
        fd = ::openat(folder, utf8, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
    if (fd < 0) {
        const int cause = errno;
        CloseHandleFolder(folder);
        errno = cause;
        return false;
    }
    handle_ = fd;
    folder_ = folder;
    position_ = 0;
    size = 0;
    std::memcpy(inHandName, utf8, sizeof inHandName);
    inHandFolder = folder;
    temporary_.Assign(path);
    temporary_.Resize(static_cast<uint32_t>(LastComponent(temporary_) - temporary_.Text()) + 1);
    temporary_.Append(name);
    return true;
}

// Without `replace`, the name is taken only when free: renameat2 where the file system
// knows RENAME_NOREPLACE, else a hard link, which never replaces either.
static bool RenameIn(int folder, const char* from, const char* to, bool replace) {
    if (replace) return ::renameat(folder, from, folder, to) == 0;
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    return ::linkat(folder, from, folder, to, 0) == 0 && ::unlinkat(folder, from, 0) == 0;
}

bool FileHandle::PutInPlace(const WideChar* path, bool replace) {
    missing.Forget();
    Close();
    if (folder_ == ClosedHandle) return false;
    ForgetInHand();
    const WideString target(path);
    Utf8Text from(LastComponent(temporary_)), to(LastComponent(target));
    const bool renamed = RenameIn(static_cast<int>(folder_), from.c_str(), to.c_str(), replace);
    const int cause = errno;
    if (!renamed) ::unlinkat(static_cast<int>(folder_), from.c_str(), 0);
    CloseHandleFolder(static_cast<int>(folder_));
    folder_ = ClosedHandle;
    temporary_.Clear();
    errno = cause;
    return renamed;
}

void FileHandle::Discard() {
    const int cause = errno;
    Close();
    if (folder_ != ClosedHandle) {
        ForgetInHand();
        ::unlinkat(static_cast<int>(folder_), Utf8Text(LastComponent(temporary_)).c_str(), 0);
        CloseHandleFolder(static_cast<int>(folder_));
        folder_ = ClosedHandle;
    }
    temporary_.Clear();
    errno = cause;
}

bool FileHandle::OpenFolder(const WideChar* path) {
    Discard();
    Reached at;
    if (!Reach(path, at)) return false;
    int fd = OpenFolderIn(at.folder, at.name, false);
    if (fd < 0) return false;
    handle_ = fd;
    position_ = 0;
    size = 0;
    return true;
}

bool FileHandle::IsAt(const WideChar* path) {
    if (KnownToHoldNoFolder(path)) return false;
    Reached at;
    struct stat entry, mine;
    if (!IsOpen() || !Reach(path, at) || !StatEntry(at, entry) ||
        ::fstat(static_cast<int>(handle_), &mine) != 0)
        return false;
    if (entry.st_dev != mine.st_dev || entry.st_ino != mine.st_ino) return false;
    errno = ETXTBSY;
    return true;
}
