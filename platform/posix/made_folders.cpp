// Open addressing over 64-bit FNV-1a hashes of the paths, doubled when half full.
#include "platform/posix/made_folders.h"

#include <cstring>
#include <new>

namespace {

constexpr uint64_t FnvBasis = 14695981039346656037u;
constexpr uint64_t FnvPrime = 1099511628211u;

uint64_t Stored(uint64_t hash) { return hash ? hash : 1; }

}  // namespace

PathHashes HashPath(const char* path, size_t length) {
    const char* const end = path + length;
    uint64_t hash = FnvBasis, folder = FnvBasis;
    for (const char* at = path; at < end;) {
        while (at < end && *at == '/') ++at;
        if (at == end) break;
        folder = hash;
        for (; at < end && *at != '/'; ++at) hash = (hash ^ static_cast<uint8_t>(*at)) * FnvPrime;
        hash = (hash ^ '/') * FnvPrime;
    }
    return {folder, hash};
}

PathHashes HashPath(const char* path) { return HashPath(path, std::strlen(path)); }

void MadeFolders::Clear() {
    delete[] slots_;
    slots_ = nullptr;
    capacity_ = used_ = 0;
    whole_ = true;
}

void MadeFolders::Add(uint64_t pathHash) {
    if (2 * (used_ + 1) > capacity_ && !Grow()) {
        whole_ = false;
        return;
    }
    uint64_t* slot = Find(Stored(pathHash));
    if (*slot == 0) ++used_;
    *slot = Stored(pathHash);
}

bool MadeFolders::Has(uint64_t hash) const { return *Find(Stored(hash)) != 0; }

uint64_t* MadeFolders::Find(uint64_t hash) const {
    const uint32_t mask = capacity_ - 1;
    uint32_t i = static_cast<uint32_t>(hash);
    while (slots_[i & mask] && slots_[i & mask] != hash) ++i;
    return &slots_[i & mask];
}

bool MadeFolders::Grow() {
    const uint32_t capacity = capacity_ ? 2 * capacity_ : 64;
    if (capacity == 0) return false;
    uint64_t* const slots = new (std::nothrow) uint64_t[capacity]();
    if (!slots) return false;
    uint64_t* const old = slots_;
    const uint32_t oldCapacity = capacity_;
    slots_ = slots;
    capacity_ = capacity;
    for (uint32_t i = 0; i < oldCapacity; ++i)
        if (old[i]) *Find(old[i]) = old[i];
    delete[] old;
    return true;
}
