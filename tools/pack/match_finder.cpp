#include "tools/pack/match_finder.h"

#include <algorithm>
#include <cstring>

#include "tools/pack/lzh_format.h"

namespace {

constexpr int32_t None = -1;

}  // namespace

MatchFinder::MatchFinder(int windowBits, int hashBits)
    : head_(size_t(1) << hashBits, None),
      head3_(size_t(1) << Hash3Bits, None),
      previous_(size_t(1) << windowBits, None),
      windowMask_((1u << windowBits) - 1),
      // One short of the window: a match never reads the byte it is about to replace.
      maxDistance_((1u << windowBits) - 1),
      hashBits_(hashBits) {}

int32_t MatchFinder::Link(const uint8_t* buffer, uint32_t position, uint32_t end, int32_t& three) {
    three = None;
    if (position + MinMatch > end) return None;
    int32_t& head3 = head3_[Hash3(buffer + position)];
    three = head3;
    head3 = static_cast<int32_t>(position);
    // The last three positions have no four-byte hash: they keep an empty chain.
    int32_t first = None;
    if (position + 4 <= end) {
        int32_t& head = head_[Hash4(buffer + position, hashBits_)];
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

void MatchFinder::Slide(uint32_t delta) {
    ShiftPositions(head_, delta);
    ShiftPositions(head3_, delta);
    ShiftPositions(previous_, delta);
}
