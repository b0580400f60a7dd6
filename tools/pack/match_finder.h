// Hash chains over the sliding window: every position is linked to the previous one
// with the same four-byte hash, so the candidates of a position are walked newest first.
// A second table remembers the latest position of each three-byte hash, the one
// candidate for matches of exactly three bytes.
#pragma once
#include <cstdint>
#include <vector>

struct MatchCandidate {
    uint16_t length;
    uint16_t distance;
};

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

    // Links `position` and writes its matches of rising length, each with the nearest
    // distance found for that length, into `out`; returns how many. Once a match reaches
    // goodLength, at most a quarter of maxChain further candidates are walked.
    int FindAll(const uint8_t* buffer, uint32_t position, uint32_t end, uint32_t lengthLimit, int maxChain,
                uint32_t niceLength, uint32_t goodLength, MatchCandidate* out);

    // The caller moved its buffer down by `delta` bytes.
    void Slide(uint32_t delta);

    uint32_t MaxDistance() const { return maxDistance_; }

private:
    uint32_t Hash4(const uint8_t* at) const;
    uint32_t Hash3(const uint8_t* at) const;
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
