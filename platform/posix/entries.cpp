// Entries below the current folder, reached without following links: each folder on the
// way is opened relative to the one before it with O_NOFOLLOW, and the last component is
// handled relative to its folder's descriptor, so a link planted in the destination
// cannot send a member anywhere else.
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_handle.h"
#include "platform/posix/utf8.h"
#include "platform/system.h"

namespace {

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
        while (depth > i) ::close(fd[--depth]);
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

// Walks `path` (relative, slash-separated; empty components are skipped) from the current
// folder. False with errno set: ELOOP for a link on the way, ENOTDIR for a file.
bool Reach(const WideChar* path, Reached& at) {
    Utf8Text utf8(path);
    const char* rest = utf8.c_str();
    if (*rest == '/') {
        errno = EINVAL;  // only relative paths stay below the current folder
        return false;
    }
    for (int level = 0;; ++level) {
        while (*rest == '/') ++rest;
        size_t length = std::strcspn(rest, "/");
        if (length == 0) {
            errno = ENOENT;
            return false;
        }
        if (length > NAME_MAX) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::memcpy(at.name, rest, length);
        at.name[length] = 0;
        rest += length;
        while (*rest == '/') ++rest;
        if (std::strcmp(at.name, "..") == 0) {
            errno = EINVAL;
            return false;
        }
        const bool onChain = !at.owned && held.Holds(level, at.name, length);
        if (*rest == 0) {
            at.heldBelow = onChain;
            return true;
        }
        if (onChain) {
            at.folder = held.fd[level];
            continue;
        }
        int next = ::openat(at.folder, at.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            // With O_DIRECTORY a link is reported as "not a directory"; name it for what it is.
            int cause = errno;
            struct stat info;
            bool link = cause == ENOTDIR && ::fstatat(at.folder, at.name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISLNK(info.st_mode);
            errno = link ? ELOOP : cause;
            return false;
        }
        // Below a folder that is not held, nothing is held either.
        if (at.owned) {
            ::close(at.folder);
        } else {
            held.DropFrom(level);
        }
        at.folder = next;
        at.owned = at.owned || !held.Push(level, at.name, length, next);
    }
}

}  // namespace

void HoldReachedFolders(bool on) {
    held.DropFrom(0);
    held.on = on;
}

CreateFolderResult CreateFolder(const WideChar* path) {
    Reached at;
    if (!Reach(path, at)) return CreateFolderResult::Failed;
    if (at.heldBelow) return CreateFolderResult::AlreadyExists;
    if (::mkdirat(at.folder, at.name, 0755) == 0) return CreateFolderResult::Created;
    return errno == EEXIST ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

bool DeletePath(const WideChar* path) {
    Reached at;
    if (!Reach(path, at)) return errno == ENOENT;
    return ::unlinkat(at.folder, at.name, 0) == 0 || errno == ENOENT;
}

bool IsExistingFolder(const WideChar* path) {
    Reached at;
    struct stat info;
    if (!Reach(path, at) || ::fstatat(at.folder, at.name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISLNK(info.st_mode)) errno = ELOOP;  // a link is no folder, even one to a folder
    return S_ISDIR(info.st_mode);
}

bool SetFileTimes(const WideChar* path, int64_t unixSeconds) {
    Reached at;
    const struct timespec times[2] = {{static_cast<time_t>(unixSeconds), 0}, {static_cast<time_t>(unixSeconds), 0}};
    return Reach(path, at) && ::utimensat(at.folder, at.name, times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool PathExists(const WideChar* path) {
    Reached at;
    struct stat info;
    return Reach(path, at) && ::fstatat(at.folder, at.name, &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// fchmodat cannot leave a link alone on Linux: the entry is opened without following it.
bool SetFileMode(const WideChar* path, uint32_t mode) {
    Reached at;
    if (!Reach(path, at)) return false;
    int fd = ::openat(at.folder, at.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool changed = ::fchmod(fd, static_cast<mode_t>(mode & FilePermissionBits)) == 0;
    ::close(fd);
    return changed;
}

uint32_t LinkErrorCode() { return ELOOP; }

bool FileHandle::Create(const WideChar* path) {
    Close();
    Reached at;
    if (!Reach(path, at)) return false;
    int fd = ::openat(at.folder, at.name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    handle_ = fd;
    position_ = 0;
    size = 0;
    return true;
}
