// FileHandle over POSIX file descriptors.
#include "platform/file_handle.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/utf8.h"

struct ReadAhead {
    static constexpr uint32_t Capacity = 64 << 10;
    static constexpr uint32_t DirectRead = 16 << 10;  // a request this large is read into place
    uint8_t data[Capacity];
    uint64_t start = 0;  // the file offset of data[0]
    uint32_t size = 0;
};

namespace {

// A large request (a decoder's input buffer) takes what the piece read ahead holds and reads
// the rest straight into place; a small one is copied out of the piece. Reads go by the
// handle's position (pread), so that a seek costs no call to the system either.
int64_t ReadThroughAhead(int fd, ReadAhead& ahead, uint64_t& position, uint32_t count, uint8_t* out) {
    uint64_t done = 0;
    while (done < count) {
        if (position >= ahead.start && position < ahead.start + ahead.size) {
            const uint64_t offset = position - ahead.start;
            const uint64_t piece = std::min<uint64_t>(ahead.size - offset, count - done);
            std::memcpy(out + done, ahead.data + offset, piece);
            done += piece;
            position += piece;
            continue;
        }
        const bool direct = count >= ReadAhead::DirectRead;
        uint8_t* into = direct ? out + done : ahead.data;
        const size_t want = direct ? count - done : ReadAhead::Capacity;
        const ssize_t got = ::pread(fd, into, want, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        if (direct) {
            done += static_cast<uint64_t>(got);
            position += static_cast<uint64_t>(got);
        } else {
            ahead.start = position;
            ahead.size = static_cast<uint32_t>(got);
        }
    }
    return static_cast<int64_t>(done);
}

// A regular file open for reading gets its piece read ahead.
ReadAhead* ReadAheadFor(const struct stat& info, bool reading) {
    return reading && S_ISREG(info.st_mode) ? new (std::nothrow) ReadAhead : nullptr;
}

}  // namespace

bool FileHandle::Open(const WideChar* path, FileAccess access, FileDisposition disposition) {
    Close();
    Utf8Text name(path);
    int flags = access == FileAccess::Read ? O_RDONLY : O_WRONLY;
    if (disposition == FileDisposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
    int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat info;
    const bool known = ::fstat(fd, &info) == 0;
    if (known && S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return false;
    }
    handle_ = fd;
    position_ = 0;
    size = known ? static_cast<uint64_t>(info.st_size) : 0;
    readAhead_ = known ? ReadAheadFor(info, access == FileAccess::Read) : nullptr;
    return true;
}

bool FileHandle::OpenDescriptor(int descriptor) {
    Close();
    int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

// The bytes of a handle opened in memory.
struct BytesInMemory {
    uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t capacity = 0;
    uint64_t expected = 0;
};

// A descriptor no system call takes: the handle of a file in memory.
constexpr intptr_t InMemoryHandle = -2;

bool FileHandle::OpenAgain(FileHandle& other) {
    Close();
    // Only a regular file: a pipe opened again would share its bytes between two readers.
    struct stat info;
    if (!other.IsOpen() || ::fstat(static_cast<int>(other.handle_), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    char name[32];
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", static_cast<int>(other.handle_));
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    handle_ = fd;
    position_ = 0;
    size = other.size;
    readAhead_ = ReadAheadFor(info, true);
    return true;
}

bool FileHandle::OpenInMemory(uint64_t expected, uint8_t* room, uint64_t roomSize) {
    Close();
    memory_ = new BytesInMemory;
    memory_->expected = expected;
    memory_->data = room;
    memory_->capacity = room ? roomSize : 0;
    handle_ = InMemoryHandle;
    position_ = 0;
    return true;
}

uint8_t* FileHandle::TakeWritten(uint64_t& count, uint64_t* memorySize) {
    count = 0;
    if (memorySize) *memorySize = 0;
    if (!memory_) return nullptr;
    uint8_t* data = memory_->data;
    count = memory_->size;
    if (memorySize) *memorySize = memory_->capacity;
    *memory_ = BytesInMemory{};
    position_ = 0;
    return data;
}

uint8_t* FileHandle::RoomInMemory(uint64_t count) {
    if (!memory_ || memory_->size != 0) return nullptr;
    if (memory_->capacity < count) {
        auto* data = new (std::nothrow) uint8_t[count];
        if (!data) return nullptr;
        delete[] memory_->data;
        memory_->data = data;
        memory_->capacity = count;
    }
    return memory_->data;
}

void FileHandle::KeepRoom(uint64_t count) {
    if (!memory_ || count > memory_->capacity) return;
    memory_->size = count;
    position_ = count;
}

// Grows by half again, so that a file written in window-sized pieces is copied a few times
// at most.
static bool KeepInMemory(BytesInMemory& memory, const void* bytes, uint32_t count) {
    if (count == 0) return true;  // no room taken: the handle may hold no memory yet
    if (count > memory.capacity - memory.size) {
        uint64_t capacity = memory.capacity + memory.capacity / 2;
        if (capacity < memory.expected) capacity = memory.expected;
        if (capacity < memory.size + count) capacity = memory.size + count;
        auto* data = new (std::nothrow) uint8_t[capacity];
        if (!data) {
            errno = ENOMEM;
            return false;
        }
        if (memory.size) std::memcpy(data, memory.data, memory.size);
        delete[] memory.data;
        memory.data = data;
        memory.capacity = capacity;
    }
    std::memcpy(memory.data + memory.size, bytes, count);
    memory.size += count;
    return true;
}

bool FileHandle::Close() {
    if (memory_) {
        delete[] memory_->data;
        delete memory_;
        memory_ = nullptr;
        handle_ = ClosedHandle;
    }
    delete readAhead_;
    readAhead_ = nullptr;
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
    if (readAhead_) {
        const int64_t from = origin == SeekOrigin::Begin ? 0 : static_cast<int64_t>(position_);
        if (distance < -from || (distance > 0 && from > INT64_MAX - distance)) {
            errno = EINVAL;
            return false;
        }
        position_ = static_cast<uint64_t>(from + distance);
        return true;
    }
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
    if (readAhead_)
        return ReadThroughAhead(static_cast<int>(handle_), *readAhead_, position_, count, static_cast<uint8_t*>(buffer));
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
    if (memory_) return KeepInMemory(*memory_, buffer, count);
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
