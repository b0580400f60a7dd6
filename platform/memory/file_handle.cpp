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

// The temporary is an ordinary file of the volume until it is renamed or erased; the
// volume has no folder handles, so both names are kept as paths.
bool FileHandle::CreateTemporary(const WideChar* path) {
    Discard();
    MemoryVolume& volume = TheMemoryVolume();
    std::u16string target;
    if (uint32_t code = ResolveMemoryPath(path, target)) return Fail(code);
    if (uint32_t code = CreateMemoryParents(target)) return Fail(code);
    if (volume.folders.count(target)) return Fail(EISDIR);
    const std::u16string folder = target.substr(0, target.rfind(u'/') + 1);
    WideChar name[TemporaryNameUnits + 1];
    for (uint32_t i = 0; i <= TemporaryNameUnits; ++i) name[i] = TemporaryNamePattern[i];
    std::u16string temporary;
    for (uint32_t serial = 0; temporary.empty() || volume.files.count(temporary) || volume.folders.count(temporary) ||
                              temporary == target;)
        WriteTemporarySerial(name, serial++), temporary = folder + name;
    volume.files.try_emplace(temporary);
    handle_ = volume.nextHandle++;
    volume.handles[handle_] = {&volume.files[temporary], 0, true};
    size = 0;
    temporary_.Assign(path);
    std::u16string given(path);
    const size_t cut = given.find_last_of(u"/\\");
    temporary_.Resize(cut == std::u16string::npos ? 1 : static_cast<uint32_t>(cut) + 2);
    temporary_.Append(name);
    return true;
}

bool FileHandle::PutInPlace(const WideChar* path, bool replace) {
    Close();
    MemoryVolume& volume = TheMemoryVolume();
    std::u16string from, to;
    if (!temporary_.HasText() || ResolveMemoryPath(temporary_.Text(), from) || ResolveMemoryPath(path, to)) {
        Discard();
        return Fail(ENOENT);
    }
    uint32_t code = volume.folders.count(to) ? EISDIR : !replace && volume.files.count(to) ? EEXIST : 0;
    if (code == 0 && !volume.files.count(from)) code = ENOENT;
    if (code == 0) {
        EraseMemoryFile(to);
        auto node = volume.files.extract(from);
        node.key() = to;
        volume.files.insert(std::move(node));
    } else {
        EraseMemoryFile(from);
    }
    temporary_.Clear();
    return code == 0 || Fail(code);
}

void FileHandle::Discard() {
    Close();
    std::u16string name;
    if (temporary_.HasText() && ResolveMemoryPath(temporary_.Text(), name) == 0) EraseMemoryFile(name);
    temporary_.Clear();
}

// A folder open for its stamps: the volume keeps none, so the handle holds no file.
bool FileHandle::OpenFolder(const WideChar* path) {
    Discard();
    if (!IsExistingFolder(path)) return Fail(ENOTDIR);
    MemoryVolume& volume = TheMemoryVolume();
    handle_ = volume.nextHandle++;
    volume.handles[handle_] = {nullptr, 0, true};
    return true;
}

bool FileHandle::IsAt(const WideChar* path) {
    OpenMemoryFile* entry = Entry(handle_);
    std::u16string name;
    if (!entry || !entry->file || ResolveMemoryPath(path, name)) return false;
    auto file = TheMemoryVolume().files.find(name);
    if (file == TheMemoryVolume().files.end() || &file->second != entry->file) return false;
    SetLastErrorCode(ETXTBSY);
    return true;
}

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

// Its files are written through Write alone.
uint8_t* FileHandle::RoomInMemory(uint64_t) { return nullptr; }
void FileHandle::KeepRoom(uint64_t) {}

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
