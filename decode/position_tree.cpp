// The -lh2- position code: the upper seven bits of a position (its group, position / 64)
// through a second adaptive tree, then six raw bits. The tree starts as one leaf, group 0,
// and gains the leaf of group g once more than 64 * g bytes have been output, so a match
// can only name groups that lie inside what exists.
#include "decode/adaptive_tree.h"
#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"

void InitPositionTree() {
    DecodeState& s = decodeState;
    s.treeWeight[PositionRootSlot] = 1;
    s.treeChild[PositionRootSlot] = static_cast<int16_t>(~PositionSymbolBase);
    s.leafOfSymbol[PositionSymbolBase] = PositionRootSlot;
    s.tierOf[PositionRootSlot] = TakeTier();
    s.tierHead[s.tierOf[PositionRootSlot]] = PositionRootSlot;
    s.positionTotal = 0;
    s.lastPositionSlot = PositionRootSlot;
    // Capped at 128 groups, which is all the slots and symbols there are.
    const uint32_t windowSize = 1u << s.dictionaryBits;
    const uint32_t groupLimit = PositionGroupLimit * PositionGroupBytes;
    s.positionLimit = windowSize < groupLimit ? windowSize : groupLimit;
    s.nextGrowthAt = PositionGroupBytes;
}

// Splits the lightest leaf (the highest slot L) into a node whose 1 bit keeps the old
// leaf (L + 1) and whose 0 bit reaches the new one (L + 2), then counts the new group once.
void AddPositionLeaf(uint32_t group) {
    DecodeState& s = decodeState;
    const int32_t last = static_cast<int32_t>(s.lastPositionSlot);
    s.treeChild[last + 1] = s.treeChild[last];
    s.treeWeight[last + 1] = s.treeWeight[last];
    s.tierOf[last + 1] = s.tierOf[last];
    s.leafOfSymbol[~s.treeChild[last + 1]] = static_cast<int16_t>(last + 1);

    s.treeChild[last + 2] = static_cast<int16_t>(~(PositionSymbolBase + group));
    s.treeWeight[last + 2] = 0;
    s.treeChild[last] = static_cast<int16_t>(last + 2);
    if (last == PositionRootSlot) {
        s.treeWeight[PositionRootSlot] = SaturatedRootWeight;
        const uint16_t tier = s.tierOf[PositionRootSlot];
        s.tierHead[tier] = static_cast<int16_t>(s.tierHead[tier] + 1);
    }
    s.treeParent[last + 1] = static_cast<int16_t>(last);
    s.treeParent[last + 2] = static_cast<int16_t>(last);
    s.tierOf[last + 2] = TakeTier();
    s.tierHead[s.tierOf[last + 2]] = static_cast<int16_t>(last + 2);
    s.leafOfSymbol[PositionSymbolBase + group] = static_cast<int16_t>(last + 2);
    s.lastPositionSlot = static_cast<uint32_t>(last + 2);
    UpdatePositionTree(group);
}

void UpdatePositionTree(uint32_t group) {
    DecodeState& s = decodeState;
    if (s.positionTotal == RebuildWeight) {
        RebuildTree(PositionRootSlot, static_cast<int32_t>(s.lastPositionSlot + 1));
        s.positionTotal = s.treeWeight[PositionRootSlot];
        s.treeWeight[PositionRootSlot] = SaturatedRootWeight;
    }
    int32_t q = s.leafOfSymbol[PositionSymbolBase + group];
    while (q != PositionRootSlot) q = IncrementNode(q);
    s.positionTotal = static_cast<uint16_t>(s.positionTotal + 1);
}

uint16_t DecodePositionAdaptive() {
    DecodeState& s = decodeState;
    // decodedCount does not yet include the match whose position this is.
    while (s.decodedCount > s.nextGrowthAt) {
        AddPositionLeaf(s.nextGrowthAt / PositionGroupBytes);
        s.nextGrowthAt += PositionGroupBytes;
        if (s.nextGrowthAt >= s.positionLimit) s.nextGrowthAt = 0xFFFFFFFF;
    }
    const uint32_t group = WalkAdaptiveTree(PositionRootSlot) - PositionSymbolBase;
    UpdatePositionTree(group);
    return static_cast<uint16_t>(group * PositionGroupBytes + GetBits(PositionRawBits));
}
