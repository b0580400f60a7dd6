// -lh1- and -lh2-: codes longer than the 16-bit look-ahead. (The fresh trees, the escape,
// streams through tens of thousands of updates and rebuilds, and the -lh1- fast loop
// against the plain one: decode_driver_test.)
#include <gtest/gtest.h>

#include <string>

#include "decode/adaptive_tree.h"
#include "support/bit_writer.h"
#include "support/packed_member.h"

namespace {

using packed_member::LoadedStream;

// The code of a leaf in the current tree, first bit first (0 takes treeChild, 1 the slot below).
std::string CodeOf(uint32_t symbol) {
    std::string bits;
    for (int32_t slot = decodeState.leafOfSymbol[symbol]; slot != CharRootSlot;) {
        const int32_t parent = decodeState.treeParent[slot];
        bits.insert(bits.begin(), slot == decodeState.treeChild[parent] ? '0' : '1');
        slot = parent;
    }
    return bits;
}

TEST(AdaptiveHuffman, CodesLongerThanTheLookAheadDecode) {
    {
        LoadedStream empty(packed_member::Bytes{}, UINT32_MAX, UINT32_MAX, false);
        StartLh1(empty.Input());
    }
    // Fibonacci-like weights stack the rarely seen symbols deep below a chain of heavy ones.
    const uint32_t chain[] = {330, 330, 660, 990, 1650, 2640, 4290, 6930, 11220};
    for (uint32_t i = 0; i < 9; ++i)
        for (uint32_t k = 0; k < chain[i]; ++k) UpdateCharTree(300 + i);
    ASSERT_LT(decodeState.treeWeight[CharRootSlot], 32768);
    uint32_t deepest = 0;
    for (uint32_t symbol = 0; symbol < 314; ++symbol)
        if (CodeOf(symbol).size() > CodeOf(deepest).size()) deepest = symbol;
    const std::string code = CodeOf(deepest);
    ASSERT_GT(code.size(), 16u);
    LoadedStream stream(BitWriter().Put(code.c_str()).PutByte(0x96).Bytes());
    EXPECT_EQ(DecodeCharAdaptive(), deepest);
    EXPECT_EQ(GetBits(8), 0x96);
}

}  // namespace
