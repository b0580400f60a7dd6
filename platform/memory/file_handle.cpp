// FileHandle over the memory volume (platform/memory/memory_volume.h).
#include "platform/file_handle.h"

#include <cerrno>
#include <cstring>

#include "platform/memory/memory_volume.h"
#include "platform/system.h"

namespace {

bool Fail(uint32_t code) {
    SetLastErrorCode(code);
    return false;
}

OpenMemoryFile* Entry(intptr_t handle) {
    auto open = TheMemoryVolume().handles.find(handle);
    return open == TheMemoryVolume().handles.end() ? nullptr : &open->second;
}

// The entry of a handle open that way on a file that still exists; null (EBADF) otherwise.
OpenMemoryFile* Usable(intptr_t handle, bool forWriting) {
    OpenMemoryFile* entry = Entry(handle);
    if (entry && entry->file && entry->writable == forWriting) return entry;
    Fail(EBADF);
    return nullptr;
}

// Bytes from the position on, at most `wanted`.
uint64_t Readable(const OpenMemoryFile& entry, uint64_t wanted) {
    uint64_t size = entry.file->bytes.size();
    uint64_t left = size > entry.position ? size - entry.position : 0;
    return left < wanted ? left : wanted;
}

}  // namespace

bool FileHandle::Create(const WideChar* path) { return Open(path, FileAccess::Write, FileDisposition::CreateAlways); }

bool FileHandle::Open(const WideChar* path, FileAccess access, FileDisposition disposition) {
    Close();
    MemoryVolume& volume = TheMemoryVolume();
    std::u16string name;
    if (uint32_t code = ResolveMemoryPath(path, name)) return Fail(code);
    if (volume.folders.count(name)) return Fail(EISDIR);
    auto file = volume.files.find(name);
    if (disposition == FileDisposition::CreateAlways) {
        if (uint32_t code = CheckMemoryParent(name)) return Fail(code);
        file = volume.files.try_emplace(name).first;
        ClaimMemorySize(file->second, 0);
        file->second.bytes.clear();
    } else if (file == volume.files.end()) {
        return Fail(ENOENT);
    }
    handle_ = volume.nextHandle++;
    volume.handles[handle_] = {&file->second, 0, access == FileAccess::Write};
    size = file->second.bytes.size();
    return true;
}

bool FileHandle::Close() {
    if (!IsOpen()) return true;
    TheMemoryVolume().handles.erase(handle_);
    handle_ = ClosedHandle;
    size = 0;
    return true;
}

uint64_t FileHandle::Size() {
    OpenMemoryFile* entry = Entry(handle_);
    return entry && entry->file ? entry->file->bytes.size() : 0;
}

bool FileHandle::Seek(int64_t distance, SeekOrigin origin) {
    OpenMemoryFile* entry = Entry(handle_);
    if (!entry) return Fail(EBADF);
    int64_t from = origin == SeekOrigin::Begin ? 0 : static_cast<int64_t>(entry->position);
    if (distance < -from) return Fail(EINVAL);
    entry->position = static_cast<uint64_t>(from + distance);
    return true;
}

uint64_t FileHandle::Tell() {
    OpenMemoryFile* entry = Entry(handle_);
    return entry ? entry->position : 0;
}

int32_t FileHandle::ReadByte(uint8_t& byte) {
    int64_t got = Read(1, &byte);
    return got < 0 ? -1 : static_cast<int32_t>(got);
}

int64_t FileHandle::Read(uint32_t count, void* buffer) {
    OpenMemoryFile* entry = Usable(handle_, false);
    if (!entry) return -1;
    uint64_t got = Readable(*entry, count);
    if (got) std::memcpy(buffer, entry->file->bytes.data() + entry->position, got);
    entry->position += got;
    return static_cast<int64_t>(got);
}

bool FileHandle::Write(const void* buffer, uint32_t count) {
    OpenMemoryFile* entry = Usable(handle_, true);
    if (!entry) return false;
    std::vector<uint8_t>& bytes = entry->file->bytes;
    const auto* from = static_cast<const uint8_t*>(buffer);
    uint64_t end = entry->position + count;
    if (end > bytes.size() && !ClaimMemorySize(*entry->file, end)) return false;
    if (entry->position > bytes.size()) bytes.resize(entry->position);  // a gap reads as zeros
    uint64_t overwritten = Readable(*entry, count);
    if (overwritten) std::memcpy(bytes.data() + entry->position, from, overwritten);
    bytes.insert(bytes.end(), from + overwritten, from + count);
    entry->position = end;
    return true;
}

bool FileHandle::SetTimes(int64_t unixSeconds) {
    OpenMemoryFile* entry = Usable(handle_, true);
    if (entry) entry->file->modifiedTime = unixSeconds;
    return entry != nullptr;
}

bool FileHandle::SetMode(uint32_t) { return Usable(handle_, true) != nullptr; }
