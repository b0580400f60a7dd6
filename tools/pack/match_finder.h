// Hash chains over the sliding window for the lazy parser: every position is linked to
// the previous one with the same four-byte hash, so the candidates of a position are
// walked newest first.
// A second table remembers the latest position of each three-byte hash, the one
// candidate for matches of exactly three bytes.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

struct MatchCandidate {
    uint16_t length;
    uint16_t distance;
};

// Hashes and the byte compare, shared with the match tree.
constexpr int Hash3Bits = 16;

inline uint32_t Hash4(const uint8_t* at, int hashBits) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return (v * 2654435761u) >> (32 - hashBits);
}

inline uint32_t Hash3(const uint8_t* at) {
    uint32_t v = at[0] | (at[1] << 8) | (at[2] << 16);
    return (v * 2654435761u) >> (32 - Hash3Bits);
}

// Bytes equal at a and b, up to limit, compared a word at a time.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t length = 0;
    while (length < limit) {
        uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (uint64_t diff = x ^ y) {
            length += static_cast<uint32_t>(__builtin_ctzll(diff)) >> 3;
            return std::min(length, limit);
        }
        length += 8;
    }
    return limit;
}

// Positions after the buffer moved down by delta bytes: -1 (none) for those that left it.
inline void ShiftPositions(std::vector<int32_t>& positions, uint32_t delta) {
    for (int32_t& p : positions) p = (p >= 0 && static_cast<uint32_t>(p) >= delta) ? p - int32_t(delta) : -1;
}

class MatchFinder {
public:
    // Distances stay below 2^windowBits.
    MatchFinder(int windowBits, int hashBits);

    // Positions are indices into the caller's buffer; the buffer must hold 8 readable
    // bytes past `end` for the word-wise compare.
    void Insert(const uint8_t* buffer, uint32_t position, uint32_t end);

    // Links `position` and returns its longest match of at least `minLength`
    // (length 0 when none), walking at most maxChain candidates and stopping at
    // niceLength. `end` is the end of the buffered data; matches are no longer than
    // lengthLimit.
    MatchCandidate FindLongest(const uint8_t* buffer, uint32_t position, uint32_t end, uint32_t lengthLimit,
                               int maxChain, uint32_t niceLength, uint32_t minLength);

    // The caller moved its buffer down by `delta` bytes.
    void Slide(uint32_t delta);

    uint32_t MaxDistance() const { return maxDistance_; }

private:
    // Links the position; returns the newest earlier position of its four-byte hash
    // and, in `three`, that of its three-byte hash.
    int32_t Link(const uint8_t* buffer, uint32_t position, uint32_t end, int32_t& three);

    std::vector<int32_t> head_;
    std::vector<int32_t> head3_;
    std::vector<int32_t> previous_;
    uint32_t windowMask_;
    uint32_t maxDistance_;
    int hashBits_;
};
