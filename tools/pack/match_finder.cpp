#include "tools/pack/match_finder.h"

#include <algorithm>
#include <cstring>

#include "tools/pack/lzh_format.h"

namespace {

constexpr int32_t None = -1;
constexpr int Hash3Bits = 16;

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

}  // namespace

MatchFinder::MatchFinder(int windowBits, int hashBits)
    : head_(size_t(1) << hashBits, None),
      head3_(size_t(1) << Hash3Bits, None),
      previous_(size_t(1) << windowBits, None),
      windowMask_((1u << windowBits) - 1),
      // One short of the window: a match never reads the byte it is about to replace.
      maxDistance_((1u << windowBits) - 1),
      hashBits_(hashBits) {}

uint32_t MatchFinder::Hash4(const uint8_t* at) const {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return (v * 2654435761u) >> (32 - hashBits_);
}

uint32_t MatchFinder::Hash3(const uint8_t* at) const {
    uint32_t v = at[0] | (at[1] << 8) | (at[2] << 16);
    return (v * 2654435761u) >> (32 - Hash3Bits);
}

int32_t MatchFinder::Link(const uint8_t* buffer, uint32_t position, uint32_t end, int32_t& three) {
    three = None;
    if (position + MinMatch > end) return None;
    int32_t& head3 = head3_[Hash3(buffer + position)];
    three = head3;
    head3 = static_cast<int32_t>(position);
    // The last three positions have no four-byte hash: they keep an empty chain.
    int32_t first = None;
    if (position + 4 <= end) {
        int32_t& head = head_[Hash4(buffer + position)];
        first = head;
        head = static_cast<int32_t>(position);
    }
    previous_[position & windowMask_] = first;
    return first;
}

void MatchFinder::Insert(const uint8_t* buffer, uint32_t position, uint32_t end) {
    int32_t three;
    Link(buffer, position, end, three);
}

MatchCandidate MatchFinder::FindLongest(const uint8_t* buffer, uint32_t position, uint32_t end,
                                        uint32_t lengthLimit, int maxChain, uint32_t niceLength,
                                        uint32_t minLength) {
    MatchCandidate best{0, 0};
    int32_t three;
    int32_t candidate = Link(buffer, position, end, three);
    const uint32_t limit = std::min<uint32_t>({uint32_t(MaxMatch), end - position, lengthLimit});
    if (limit < MinMatch) return best;
    niceLength = std::min(niceLength, limit);
    uint32_t bestLength = std::max<uint32_t>(minLength, MinMatch) - 1;
    const uint8_t* here = buffer + position;
    if (three != None && bestLength < MinMatch && position - uint32_t(three) <= maxDistance_) {
        uint32_t length = CommonLength(here, buffer + three, limit);
        if (length >= MinMatch) {
            bestLength = length;
            best = {static_cast<uint16_t>(length), static_cast<uint16_t>(position - uint32_t(three))};
            if (length >= niceLength) return best;
        }
    }
    for (int chain = maxChain; candidate != None && chain > 0; --chain) {
        uint32_t distance = position - static_cast<uint32_t>(candidate);
        if (distance > maxDistance_) break;
        const uint8_t* there = buffer + candidate;
        if (there[bestLength] == here[bestLength] && there[0] == here[0]) {
            uint32_t length = CommonLength(here, there, limit);
            if (length > bestLength) {
                bestLength = length;
                best = {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
                if (length >= niceLength) break;
            }
        }
        candidate = previous_[candidate & windowMask_];
    }
    return best;
}

int MatchFinder::FindAll(const uint8_t* buffer, uint32_t position, uint32_t end, uint32_t lengthLimit,
                         int maxChain, uint32_t niceLength, uint32_t goodLength, MatchCandidate* out) {
    int count = 0;
    int32_t three;
    int32_t candidate = Link(buffer, position, end, three);
    const uint32_t limit = std::min<uint32_t>({uint32_t(MaxMatch), end - position, lengthLimit});
    if (limit < MinMatch) return 0;
    niceLength = std::min(niceLength, limit);
    uint32_t bestLength = MinMatch - 1;
    bool shortened = false;
    const uint8_t* here = buffer + position;
    if (three != None && position - uint32_t(three) <= maxDistance_) {
        uint32_t length = CommonLength(here, buffer + three, limit);
        if (length >= MinMatch) {
            bestLength = length;
            out[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(position - uint32_t(three))};
            if (length >= niceLength) return count;
        }
    }
    for (int chain = maxChain; candidate != None && chain > 0; --chain) {
        uint32_t distance = position - static_cast<uint32_t>(candidate);
        if (distance > maxDistance_) break;
        const uint8_t* there = buffer + candidate;
        if (there[bestLength] == here[bestLength] && there[0] == here[0]) {
            uint32_t length = CommonLength(here, there, limit);
            if (length > bestLength) {
                bestLength = length;
                out[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
                if (length >= niceLength) break;
                // A good match found: the rest of the chain rarely pays for a full walk.
                if (length >= goodLength && !shortened) {
                    shortened = true;
                    chain = std::min(chain, maxChain / 4 + 1);
                }
            }
        }
        candidate = previous_[candidate & windowMask_];
    }
    return count;
}

void MatchFinder::Slide(uint32_t delta) {
    auto shift = [delta](int32_t& p) { p = (p != None && static_cast<uint32_t>(p) >= delta) ? p - int32_t(delta) : None; };
    for (int32_t& p : head_) shift(p);
    for (int32_t& p : head3_) shift(p);
    for (int32_t& p : previous_) shift(p);
}
