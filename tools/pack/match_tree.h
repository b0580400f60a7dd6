// Binary trees over the sliding window for the optimal parser: the positions of one
// four-byte hash form a tree ordered by the bytes that follow them, newest at the
// root. One walk down from the root both finds a position's matches and links the
// position in as the new root, and it meets the nearest position for every match
// length, which a hash chain only finds by walking all of its older entries.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/pack/match_finder.h"

class MatchTree {
public:
    // Distances stay below 2^windowBits. The walks compare up to niceLength
    // (MinMatch..MaxMatch) bytes; only the longest match found is followed further.
    // It is fixed for the tree's life: the walk skips bytes that the nodes it passed
    // guarantee equal, which holds only while every node was placed by as long a compare.
    MatchTree(int windowBits, int hashBits, uint32_t niceLength);

    // Links `position` and writes its matches of rising length, each with the nearest
    // distance the walk meets for that length, into `out` (room for MaxMatch entries);
    // returns how many. The walk visits at most maxDepth tree nodes. `end` is the end of
    // the buffered data: until the input has ended, niceLength bytes must stand between
    // it and the position (the walk would compare less). The buffer must hold 8
    // readable bytes past `end`.
    int FindAll(const uint8_t* buffer, uint32_t position, uint32_t end, int maxDepth, MatchCandidate* out);

    // Asks for the hash heads of `position` ahead of its walk, which otherwise waits
    // for them: the tables are far larger than the caches. `position` + 4 must not
    // pass the buffer.
    void Prefetch(const uint8_t* buffer, uint32_t position) const {
        __builtin_prefetch(&head_[Hash4(buffer + position, hashBits_)], 1);
        __builtin_prefetch(&head3_[Hash3(buffer + position)], 1);
    }

    // Links `position` without reporting matches.
    void Insert(const uint8_t* buffer, uint32_t position, uint32_t end, int maxDepth);

    // The caller moved its buffer down by `delta` bytes, a multiple of the window size.
    void Slide(uint32_t delta);

private:
    template <bool Report>
    int Walk(const uint8_t* buffer, uint32_t position, uint32_t end, int maxDepth, MatchCandidate* out);

    std::vector<int32_t> head_;
    std::vector<int32_t> head3_;
    // Per window slot, two links: the subtree of lesser strings, then that of greater ones.
    std::vector<int32_t> children_;
    uint32_t windowMask_;
    uint32_t maxDistance_;
    uint32_t niceLength_;
    int hashBits_;
};
