// FileHandle over POSIX file descriptors.
#include "platform/file_handle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/utf8.h"

bool FileHandle::Open(const WideChar* path, FileAccess access, FileDisposition disposition) {
    Close();
    Utf8Text name(path);
    int flags = access == FileAccess::Read ? O_RDONLY : O_WRONLY;
    if (disposition == FileDisposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
    int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return false;
    }
    handle_ = fd;
    position_ = 0;
    size = Size();
    return true;
}

bool FileHandle::OpenDescriptor(int descriptor) {
    Close();
    int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool FileHandle::Close() {
    if (!IsOpen()) return true;
    const bool closed = ::close(static_cast<int>(handle_)) == 0;
    handle_ = ClosedHandle;
    position_ = UnknownPosition;
    size = 0;
    return closed;
}

uint64_t FileHandle::Size() {
    struct stat info;
    if (!IsOpen() || ::fstat(static_cast<int>(handle_), &info) != 0) return 0;
    return static_cast<uint64_t>(info.st_size);
}

bool FileHandle::Seek(int64_t distance, SeekOrigin origin) {
    if (!IsOpen()) return false;
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : SEEK_CUR;
    off_t at = ::lseek(static_cast<int>(handle_), distance, whence);
    if (at < 0) return false;
    position_ = static_cast<uint64_t>(at);
    return true;
}

uint64_t FileHandle::Tell() {
    if (!IsOpen()) return 0;
    if (position_ != UnknownPosition) return position_;
    off_t at = ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

int32_t FileHandle::ReadByte(uint8_t& byte) {
    int64_t got = Read(1, &byte);
    return got < 0 ? -1 : static_cast<int32_t>(got);
}

int64_t FileHandle::Read(uint32_t count, void* buffer) {
    if (!IsOpen()) return -1;
    auto* at = static_cast<uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < count) {
        ssize_t got = ::read(static_cast<int>(handle_), at + done, count - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            position_ = UnknownPosition;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<uint64_t>(got);
    }
    if (position_ != UnknownPosition) position_ += done;
    return static_cast<int64_t>(done);
}

bool FileHandle::Write(const void* buffer, uint32_t count) {
    if (!IsOpen()) return false;
    const auto* at = static_cast<const uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < count) {
        ssize_t put = ::write(static_cast<int>(handle_), at + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            position_ = UnknownPosition;
            return false;
        }
        done += static_cast<uint64_t>(put);
    }
    if (position_ != UnknownPosition) position_ += done;
    return true;
}

bool FileHandle::SetTimes(int64_t unixSeconds) {
    const struct timespec times[2] = {{static_cast<time_t>(unixSeconds), 0}, {static_cast<time_t>(unixSeconds), 0}};
    return IsOpen() && ::futimens(static_cast<int>(handle_), times) == 0;
}

bool FileHandle::SetMode(uint32_t mode) {
    return IsOpen() && ::fchmod(static_cast<int>(handle_), static_cast<mode_t>(mode & 0777)) == 0;
}
