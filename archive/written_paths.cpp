// Open addressing over one table sized for the run's members, at most half full. The
// hash is two 32-bit FNV-1a hashes with different primes: no 64-bit multiplication on
// 32-bit systems.
#include "archive/written_paths.h"

namespace {

constexpr uint32_t MaxCapacity = 1u << 22;  // a table of 64 MiB, for two million files

}  // namespace

uint64_t WrittenPaths::Hash(const WideString& comparablePath) {
    uint32_t low = 2166136261u, high = 2166136261u;
    for (const WideChar* unit = comparablePath.Text(); *unit; ++unit) {
        low = (low ^ *unit) * 16777619u;
        high = (high ^ *unit) * 0x5BD1E995u;
    }
    return uint64_t{high} << 32 | low;
}

uint64_t WrittenPaths::Find(uint64_t hash) const {
    for (uint32_t i = static_cast<uint32_t>(hash); capacity_; ++i) {
        const Slot& slot = slots_[i & (capacity_ - 1)];
        if (slot.headerAt == 0) break;
        if (slot.hash == hash) return slot.headerAt - 1;
    }
    return NoPosition;
}

void WrittenPaths::Reserve(uint32_t files) {
    if (slots_) return;
    capacity_ = 64;
    while (capacity_ < 2 * files && capacity_ < MaxCapacity) capacity_ *= 2;
    slots_ = new Slot[capacity_]();
}

void WrittenPaths::Add(uint64_t hash, uint64_t headerAt) {
    if (2 * (used_ + 1) > capacity_) return;
    uint32_t i = static_cast<uint32_t>(hash);
    while (slots_[i & (capacity_ - 1)].headerAt) ++i;
    slots_[i & (capacity_ - 1)] = {hash, headerAt + 1};
    ++used_;
}
