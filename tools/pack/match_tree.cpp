#include "tools/pack/match_tree.h"

#include "tools/pack/lzh_format.h"

namespace {

constexpr int32_t None = -1;

}  // namespace

MatchTree::MatchTree(int windowBits, int hashBits, uint32_t niceLength)
    : head_(size_t(1) << hashBits, None),
      head3_(size_t(1) << Hash3Bits, None),
      children_(size_t(2) << windowBits, None),
      windowMask_((1u << windowBits) - 1),
      // One short of the window, as for the hash chains; it also keeps every node the
      // walk may reach in a slot that no newer position has taken over.
      maxDistance_((1u << windowBits) - 1),
      niceLength_(niceLength),
      hashBits_(hashBits) {}

int MatchTree::FindAll(const uint8_t* buffer, uint32_t position, uint32_t end, int maxDepth, MatchCandidate* out) {
    int count = Walk<true>(buffer, position, end, maxDepth, out);
    if (count && out[count - 1].length == niceLength_) {
        MatchCandidate& last = out[count - 1];
        const uint32_t limit = std::min<uint32_t>(MaxMatch, end - position);
        last.length = static_cast<uint16_t>(
            niceLength_ + CommonLength(buffer + position + niceLength_,
                                       buffer + position - last.distance + niceLength_, limit - niceLength_));
    }
    return count;
}

void MatchTree::Insert(const uint8_t* buffer, uint32_t position, uint32_t end, int maxDepth) {
    Walk<false>(buffer, position, end, maxDepth, nullptr);
}

template <bool Report>
int MatchTree::Walk(const uint8_t* buffer, uint32_t position, uint32_t end, int maxDepth, MatchCandidate* out) {
    const uint32_t limit = std::min<uint32_t>(niceLength_, end - position);
    if (limit < MinMatch) return 0;
    const uint8_t* here = buffer + position;
    int count = 0;
    uint32_t best = MinMatch - 1;
    int32_t& head3 = head3_[Hash3(here)];
    const int32_t three = head3;
    head3 = static_cast<int32_t>(position);
    // Positions older than this are out of reach; None (-1) is below it too.
    const int32_t oldest = static_cast<int32_t>(position > maxDistance_ ? position - maxDistance_ : 0);
    // The newest position with these three bytes gives the nearest match of three; if
    // it shares a fourth byte, it is the root of this position's tree and the walk
    // measures it.
    if (Report && three >= oldest && CommonLength(here, buffer + three, std::min<uint32_t>(limit, 4)) == MinMatch) {
        best = MinMatch;
        out[count++] = {MinMatch, static_cast<uint16_t>(position - uint32_t(three))};
    }
    const uint32_t slot = position & windowMask_;
    if (limit < 4) {
        children_[2 * slot] = children_[2 * slot + 1] = None;
        return count;
    }
    int32_t& head = head_[Hash4(here, hashBits_)];
    int32_t candidate = head;
    head = static_cast<int32_t>(position);
    // The new root splits the old tree: lesser strings hang below lessLink, greater
    // ones below moreLink; each side's strings share lessLength (moreLength) bytes
    // with this position, so the compare starts past the shorter of the two.
    int32_t* lessLink = &children_[2 * slot];
    int32_t* moreLink = &children_[2 * slot + 1];
    uint32_t lessLength = 0, moreLength = 0;
    for (int depth = maxDepth; candidate >= oldest && depth > 0; --depth) {
        const uint8_t* there = buffer + candidate;
        int32_t* node = &children_[2 * (uint32_t(candidate) & windowMask_)];
        uint32_t length = std::min(lessLength, moreLength);
        length += CommonLength(here + length, there + length, limit - length);
        if (Report && length > best) {
            best = length;
            out[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(position - uint32_t(candidate))};
        }
        if (length == limit) {
            // Equal as far as we look: the new position takes the old one's place.
            *lessLink = node[0];
            *moreLink = node[1];
            return count;
        }
        if (there[length] < here[length]) {
            *lessLink = candidate;
            lessLink = &node[1];
            candidate = *lessLink;
            lessLength = length;
        } else {
            *moreLink = candidate;
            moreLink = &node[0];
            candidate = *moreLink;
            moreLength = length;
        }
    }
    *lessLink = *moreLink = None;
    return count;
}

void MatchTree::Slide(uint32_t delta) {
    ShiftPositions(head_, delta);
    ShiftPositions(head3_, delta);
    ShiftPositions(children_, delta);
}
