// The files one run has written, to tell when a member would land on one of them: names
// that sanitise alike ("a:b" and "a_b") or that the system takes for one entry (letter
// case on Windows). Each is kept as a 64-bit hash of its output path, as the system
// compares names, and the position of its member's header, which the worker reads again
// to name that member: 16 bytes a file. Two paths of one hash are taken for one; with
// 64 bits that takes some four billion files written in one run to be likely.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

class WrittenPaths {
public:
    static constexpr uint64_t NoPosition = UINT64_MAX;

    WrittenPaths() = default;
    WrittenPaths(const WrittenPaths&) = delete;
    WrittenPaths& operator=(const WrittenPaths&) = delete;
    ~WrittenPaths() { delete[] slots_; }

    static uint64_t Hash(const WideString& comparablePath);
    // The header position of the file written with this hash; NoPosition when none was.
    uint64_t Find(uint64_t hash) const;
    // Room for `files` (the members the pre-scan counted), once a run; beyond two million,
    // or beyond that room, files are not added and are then not looked for.
    void Reserve(uint32_t files);
    void Add(uint64_t hash, uint64_t headerAt);

private:
    struct Slot {
        uint64_t hash;
        uint64_t headerAt;  // plus 1: 0 marks a free slot
    };
    Slot* slots_ = nullptr;
    uint32_t capacity_ = 0;  // 0 or a power of two, at most half used
    uint32_t used_ = 0;
};
