// The one memory volume of the process, and how its paths resolve.
#include "platform/memory/memory_volume.h"

#include <cerrno>

#include "platform/system.h"

namespace {

MemoryVolume volume;

bool IsSeparator(char16_t unit) { return unit == u'/' || unit == u'\\'; }

void DropLastComponent(std::u16string& path) {
    path.resize(path.rfind(u'/'));
    if (path.empty()) path = u"/";
}

}  // namespace

MemoryVolume& TheMemoryVolume() { return volume; }

void ResetMemoryVolume(uint64_t capacity) {
    volume = MemoryVolume{};
    volume.capacity = capacity;
}

uint32_t ResolveMemoryPath(const WideChar* path, std::u16string& out) {
    if (!path || !*path) return ENOENT;
    out = IsSeparator(path[0]) ? u"/" : volume.current;
    for (const WideChar* at = path; *at;) {
        while (IsSeparator(*at)) ++at;
        const WideChar* end = at;
        while (*end && !IsSeparator(*end)) ++end;
        std::u16string name(at, end);
        at = end;
        if (name.empty() || name == u".") continue;
        if (name == u"..") {
            // The system walks into each component, so ".." needs a folder to leave.
            if (!volume.folders.count(out)) return volume.files.count(out) ? ENOTDIR : ENOENT;
            DropLastComponent(out);
            continue;
        }
        if (out.size() > 1) out += u'/';
        out += name;
    }
    return 0;
}

uint32_t CheckMemoryParent(const std::u16string& path) {
    std::u16string parent = path;
    DropLastComponent(parent);
    if (volume.folders.count(parent)) return 0;
    return volume.files.count(parent) ? ENOTDIR : ENOENT;
}

uint32_t CreateMemoryParents(const std::u16string& path) {
    for (size_t cut = path.find(u'/', 1); cut != std::u16string::npos; cut = path.find(u'/', cut + 1)) {
        const std::u16string folder = path.substr(0, cut);
        if (volume.files.count(folder)) return ENOTDIR;
        volume.folders.insert(folder);
    }
    return 0;
}

bool ClaimMemorySize(const MemoryFile& file, uint64_t size) {
    uint64_t others = volume.used - file.bytes.size();
    if (size > volume.capacity || others > volume.capacity - size) {
        SetLastErrorCode(ENOSPC);
        return false;
    }
    volume.used = others + size;
    return true;
}

void EraseMemoryFile(const std::u16string& path) {
    auto file = volume.files.find(path);
    if (file == volume.files.end()) return;
    for (auto& [handle, open] : volume.handles)
        if (open.file == &file->second) open.file = nullptr;
    volume.used -= file->second.bytes.size();
    volume.files.erase(file);
}

bool PutMemoryFile(const std::u16string& path, const uint8_t* bytes, size_t size) {
    MemoryFile& file = volume.files[path];
    if (!ClaimMemorySize(file, size)) return false;
    file.bytes.assign(bytes, bytes + size);
    return true;
}
