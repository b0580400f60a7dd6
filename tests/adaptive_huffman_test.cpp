// -lh1- and -lh2-: the fresh trees, the escape, the growing position tree, the tier
// bookkeeping through tens of thousands of updates and rebuilds, codes longer than the
// 16-bit look-ahead, and random streams.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decode/adaptive_tree.h"
#include "decode/bit_input.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"
#include "support/bit_writer.h"
#include "support/lh1_encoder.h"
#include "support/packed_member.h"

using packed_member::Bytes;
using packed_member::PackedStream;

namespace {

DecodeState& s = decodeState;

// The code of a leaf in the current tree, first bit first (0 takes treeChild, 1 the slot below).
std::string CodeOf(uint32_t symbol, int32_t root) {
    std::string bits;
    for (int32_t slot = s.leafOfSymbol[symbol]; slot != root;) {
        const int32_t parent = s.treeParent[slot];
        bits.insert(bits.begin(), slot == s.treeChild[parent] ? '0' : '1');
        slot = parent;
    }
    return bits;
}

Bytes RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

// Checks one tree in slots root .. last against every invariant the updates rely on, and
// collects the tier ids it uses.
testing::AssertionResult CheckTree(int32_t root, int32_t last, uint32_t symbolBase,
                                   uint32_t symbolCount, std::vector<uint8_t>& liveTiers) {
    const bool positionTree = root == PositionRootSlot;
    std::vector<int> references(last + 1, 0);
    std::vector<int> leaves(symbolCount, 0);
    for (int32_t slot = root; slot <= last; ++slot) {
        if (slot > root && s.treeWeight[slot] > s.treeWeight[slot - 1])
            return testing::AssertionFailure() << "weight rises at slot " << slot;
        const int32_t c = s.treeChild[slot];
        if (c < 0) {
            const uint32_t symbol = static_cast<uint32_t>(~c);
            if (symbol < symbolBase || symbol >= symbolBase + symbolCount)
                return testing::AssertionFailure() << "slot " << slot << " holds symbol " << symbol;
            if (s.leafOfSymbol[symbol] != slot)
                return testing::AssertionFailure() << "leafOfSymbol[" << symbol << "] is not " << slot;
            ++leaves[symbol - symbolBase];
            continue;
        }
        if (c - 1 <= slot || c > last)
            return testing::AssertionFailure() << "slot " << slot << " has children " << c;
        if (s.treeParent[c] != slot || s.treeParent[c - 1] != slot)
            return testing::AssertionFailure() << "children of slot " << slot << " do not point back";
        if (!(positionTree && slot == root) && s.treeWeight[slot] != s.treeWeight[c] + s.treeWeight[c - 1])
            return testing::AssertionFailure() << "slot " << slot << " is not the sum of its children";
        ++references[c];
        ++references[c - 1];
    }
    for (int32_t slot = root + 1; slot <= last; ++slot)
        if (references[slot] != 1) return testing::AssertionFailure() << "slot " << slot << " has "
                                                                       << references[slot] << " parents";
    for (uint32_t i = 0; i < symbolCount; ++i)
        if (leaves[i] != 1) return testing::AssertionFailure() << "symbol " << symbolBase + i << " has "
                                                               << leaves[i] << " leaves";
    // Once split, the position root stands apart with its saturated weight.
    const int32_t firstTiered = positionTree && last > root ? root + 1 : root;
    int32_t runStart = firstTiered;
    for (int32_t slot = firstTiered; slot <= last; ++slot) {
        const bool newRun = slot == firstTiered || s.treeWeight[slot] != s.treeWeight[slot - 1];
        if (newRun) runStart = slot;
        if (s.tierHead[s.tierOf[slot]] != runStart)
            return testing::AssertionFailure() << "slot " << slot << " has tier head "
                                               << s.tierHead[s.tierOf[slot]] << ", not " << runStart;
        if (slot > firstTiered && (s.tierOf[slot] == s.tierOf[slot - 1]) == newRun)
            return testing::AssertionFailure() << "tier ids of slots " << slot - 1 << " and " << slot;
        if (newRun && liveTiers[s.tierOf[slot]]++)
            return testing::AssertionFailure() << "tier id " << s.tierOf[slot] << " used twice";
    }
    if (firstTiered > root && s.tierHead[s.tierOf[root]] == root) ++liveTiers[s.tierOf[root]];
    return testing::AssertionSuccess();
}

// Both trees, and the stack of free tier ids: with the live ids and the reserved id 0 it
// must hold every id exactly once.
testing::AssertionResult CheckTrees(bool withPositionTree) {
    std::vector<uint8_t> live(AdaptiveSlotCount, 0);
    auto result = CheckTree(CharRootSlot, static_cast<int32_t>(2 * s.charSymbolCount - 2), 0,
                            s.charSymbolCount, live);
    if (!result) return result << " (literal/length tree)";
    if (withPositionTree) {
        const int32_t last = static_cast<int32_t>(s.lastPositionSlot);
        result = CheckTree(PositionRootSlot, last, PositionSymbolBase,
                           static_cast<uint32_t>(last - PositionRootSlot) / 2 + 1, live);
        if (!result) return result << " (position tree)";
    }
    uint32_t liveCount = 0;
    for (uint8_t uses : live) liveCount += uses;
    if (s.freeTierTop != liveCount + 1)
        return testing::AssertionFailure() << liveCount << " live tiers but freeTierTop " << s.freeTierTop;
    std::vector<uint8_t>& ids = live;
    ++ids[0];
    for (uint32_t i = s.freeTierTop; i < AdaptiveSlotCount; ++i) ++ids[s.freeTiers[i]];
    for (uint32_t id = 0; id < AdaptiveSlotCount; ++id)
        if (ids[id] != 1) return testing::AssertionFailure() << "tier id " << id << " appears "
                                                             << int(ids[id]) << " times";
    return testing::AssertionSuccess();
}

struct Method {
    const char* name;
    void (*start)(FileHandle&);
    uint16_t dictionaryBits;
    uint32_t symbols;
};
const Method Lh1{"-lh1-", StartLh1, 12, 314};
const Method Lh2{"-lh2-", StartLh2, 13, 286};

// Decodes one item as the window driver would, keeping decodedCount; returns the code.
uint16_t DecodeItem(const Method& method) {
    const uint16_t code = DecodeCharAdaptive();
    if (code < 256) {
        s.decodedCount += 1;
    } else {
        method.start == StartLh2 ? DecodePositionAdaptive() : DecodePositionGrouped();
        s.decodedCount += code - 253u;
    }
    return code;
}

TEST(AdaptiveHuffman, FreshTreesHaveTheKnownCodes) {
    struct Case {
        Method method;
        int eightBitCodes, nineBitCodes;
        uint32_t lastSymbol;
        const char* firstCode;
        const char* lastCode;
    };
    const Case cases[] = {
        {Lh1, 198, 116, 313, "110001100", "11000101"},
        {Lh2, 226, 60, 285, "111000100", "11100001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method.name);
        PackedStream stream(BitWriter().Put(c.firstCode).PutByte(0xA5).Bytes(), c.method.dictionaryBits);
        c.method.start(stream.Input());
        int lengths[10] = {};
        for (uint32_t symbol = 0; symbol < c.method.symbols; ++symbol) {
            const size_t length = CodeOf(symbol, CharRootSlot).size();
            ASSERT_TRUE(length == 8 || length == 9) << "symbol " << symbol;
            ++lengths[length];
        }
        EXPECT_EQ(lengths[8], c.eightBitCodes);
        EXPECT_EQ(lengths[9], c.nineBitCodes);
        EXPECT_EQ(CodeOf(0, CharRootSlot), c.firstCode);
        EXPECT_EQ(CodeOf(c.lastSymbol, CharRootSlot), c.lastCode);
        EXPECT_TRUE(CheckTrees(c.method.start == StartLh2));
        EXPECT_EQ(DecodeCharAdaptive(), 0);
        EXPECT_EQ(GetBits(8), 0xA5);
    }
}

TEST(AdaptiveHuffman, OnlyLh2HasAnEscape) {
    {
        PackedStream stream(BitWriter().Put("11100001").PutByte(0xFF).PutByte(0x3C).Bytes(), 13);
        StartLh2(stream.Input());
        EXPECT_EQ(DecodeCharAdaptive(), 540);  // a match of 287 bytes
        EXPECT_EQ(GetBits(8), 0x3C);
    }
    {
        PackedStream stream(BitWriter().Put("11000101").PutByte(0xFF).Bytes(), 12);
        StartLh1(stream.Input());
        EXPECT_EQ(DecodeCharAdaptive(), 313);  // the longest -lh1- match, no extra bits
        EXPECT_EQ(GetBits(8), 0xFF);
    }
}

TEST(AdaptiveHuffman, PositionTreeGrowsWithTheOutput) {
    // The first position is group 0 whatever follows: only the six raw bits are read.
    {
        PackedStream stream(BitWriter().Put("101101").PutByte(0xC3).Bytes(), 13);
        StartLh2(stream.Input());
        s.decodedCount = 3;
        EXPECT_EQ(DecodePositionAdaptive(), 0x2D);
        EXPECT_EQ(GetBits(8), 0xC3);
        s.decodedCount = 64;
        DecodePositionAdaptive();
        EXPECT_EQ(s.lastPositionSlot, 628u) << "no group yet at 64 bytes";
        s.decodedCount = 65;
        DecodePositionAdaptive();
        EXPECT_EQ(s.lastPositionSlot, 630u) << "group 1 at 65 bytes";
        EXPECT_EQ(s.treeWeight[PositionRootSlot], 0xFFFF);
        // A long match: groups 2 to 5 all appear before the next position.
        s.decodedCount = 5 * 64 + 1;
        DecodePositionAdaptive();
        EXPECT_EQ(s.lastPositionSlot, 628u + 2 * 5);
        EXPECT_TRUE(CheckTrees(true));
    }
    // The grown tree decodes any of its groups.
    const std::string code = CodeOf(PositionSymbolBase + 3, PositionRootSlot);
    PackedStream stream(BitWriter().Put(code.c_str()).Put(0x3F, 6).Bytes(), 13);
    InitBitInput(stream.Input());
    s.decodedCount = 5 * 64 + 1;
    EXPECT_EQ(DecodePositionAdaptive(), 3 * 64 + 0x3F);
    EXPECT_TRUE(CheckTrees(true));
}

// The full check after every update near the start and around a rebuild, and after
// every 37th elsewhere, which keeps the run short under the sanitizers.
bool CheckNow(int i, int rebuildNear) {
    return i < 3000 || (i > rebuildNear - 400 && i < rebuildNear + 400) || i % 37 == 0;
}

TEST(AdaptiveHuffman, TreesStayConsistentThroughUpdatesAndRebuilds) {
    for (const Method& method : {Lh1, Lh2}) {
        SCOPED_TRACE(method.name);
        PackedStream stream(RandomBytes(160000, method.symbols), method.dictionaryBits);
        method.start(stream.Input());
        int rebuilds = 0;
        for (int i = 0; i < 40000; ++i) {
            const uint16_t rootBefore = s.treeWeight[CharRootSlot];
            const uint16_t code = DecodeItem(method);
            ASSERT_LE(code, method.start == StartLh2 ? 540 : 313);
            if (s.treeWeight[CharRootSlot] < rootBefore) ++rebuilds;
            if (CheckNow(i, 32768 - static_cast<int>(method.symbols))) {
                ASSERT_TRUE(CheckTrees(method.start == StartLh2)) << "after code " << i;
            }
        }
        EXPECT_EQ(rebuilds, 1);
        EXPECT_TRUE(CheckTrees(method.start == StartLh2));
    }
}

TEST(AdaptiveHuffman, RebuildHalvesEveryLeafAtTheSetCode) {
    struct Case {
        Method method;
        int codesBeforeRebuild;
    };
    for (const Case& c : {Case{Lh1, 32454}, Case{Lh2, 32482}}) {
        SCOPED_TRACE(c.method.name);
        PackedStream stream(RandomBytes(120000, 7), c.method.dictionaryBits);
        c.method.start(stream.Input());
        for (int i = 0; i < c.codesBeforeRebuild; ++i) DecodeItem(c.method);
        ASSERT_EQ(s.treeWeight[CharRootSlot], 32768);
        std::vector<uint16_t> before(c.method.symbols);
        for (uint32_t symbol = 0; symbol < c.method.symbols; ++symbol)
            before[symbol] = s.treeWeight[s.leafOfSymbol[symbol]];
        const uint16_t code = DecodeCharAdaptive();
        const uint32_t symbol = code >= 285 && c.method.start == StartLh2 ? 285 : code;
        uint32_t total = 0;
        for (uint32_t t = 0; t < c.method.symbols; ++t) {
            const uint16_t expected = static_cast<uint16_t>((before[t] + 1) / 2 + (t == symbol));
            EXPECT_EQ(s.treeWeight[s.leafOfSymbol[t]], expected) << "symbol " << t;
            total += expected;
        }
        EXPECT_EQ(s.treeWeight[CharRootSlot], total);
        EXPECT_TRUE(CheckTrees(c.method.start == StartLh2));
    }
}

TEST(AdaptiveHuffman, RebuildPlacesLeavesAfterNodesOfEqualWeight) {
    PackedStream stream(Bytes{}, 13);
    StartLh2(stream.Input());
    s.decodedCount = 3 * 64 + 1;
    DecodePositionAdaptive();  // groups 1 to 3 appear
    const uint16_t target[4] = {8, 4, 2, 2};
    for (uint32_t g = 0; g < 4; ++g)
        while (s.treeWeight[s.leafOfSymbol[PositionSymbolBase + g]] < target[g]) UpdatePositionTree(g);
    RebuildTree(PositionRootSlot, static_cast<int32_t>(s.lastPositionSlot + 1));
    // Halved to 4, 2, 1, 1: node(1 + 1) = 2 and node(2 + 2) = 4 each go before the leaf
    // of their own weight.
    struct Slot {
        uint16_t weight;
        int16_t child;  // a node's first child, or ~symbol
    };
    const Slot expected[6] = {{4, 632}, {4, ~314}, {2, 634}, {2, ~315}, {1, 0}, {1, 0}};
    for (int i = 0; i < 6; ++i) {
        const int32_t slot = PositionRootSlot + 1 + i;
        EXPECT_EQ(s.treeWeight[slot], expected[i].weight) << "slot " << slot;
        if (expected[i].child != 0) {
            EXPECT_EQ(s.treeChild[slot], expected[i].child) << "slot " << slot;
        }
    }
    EXPECT_EQ(s.treeWeight[PositionRootSlot], 8);
    EXPECT_EQ(s.treeChild[PositionRootSlot], 630);
    s.treeWeight[PositionRootSlot] = 0xFFFF;
    EXPECT_TRUE(CheckTrees(true));
}

TEST(AdaptiveHuffman, PositionTreeRebuildsAfter32768Updates) {
    PackedStream stream(RandomBytes(200000, 11), 13);
    StartLh2(stream.Input());
    s.decodedCount = 20000;  // every group exists from the first position on
    int rebuilds = 0;
    for (int i = 0; i < 34000; ++i) {
        const bool rebuildDue = s.positionTotal == 32768;
        std::vector<uint16_t> before(PositionGroupLimit);
        if (rebuildDue)
            for (uint32_t g = 0; g < PositionGroupLimit; ++g)
                before[g] = s.treeWeight[s.leafOfSymbol[PositionSymbolBase + g]];
        const uint32_t group = DecodePositionAdaptive() / 64;
        ASSERT_LT(group, PositionGroupLimit);
        if (CheckNow(i, 32768 - 127)) {
            ASSERT_TRUE(CheckTrees(true)) << "after position " << i;
        }
        EXPECT_EQ(s.treeWeight[PositionRootSlot], 0xFFFF);
        if (!rebuildDue) continue;
        ++rebuilds;
        uint32_t total = 0;
        for (uint32_t g = 0; g < PositionGroupLimit; ++g) {
            const uint16_t expected = static_cast<uint16_t>((before[g] + 1) / 2 + (g == group));
            EXPECT_EQ(s.treeWeight[s.leafOfSymbol[PositionSymbolBase + g]], expected) << "group " << g;
            total += expected;
        }
        EXPECT_EQ(s.positionTotal, total) << "the rebuilt total, plus this update";
    }
    EXPECT_EQ(rebuilds, 1);
}

TEST(AdaptiveHuffman, CodesLongerThanTheLookAheadDecode) {
    {
        PackedStream empty(Bytes{}, 12);
        StartLh1(empty.Input());
    }
    // Fibonacci-like weights stack the rarely seen symbols deep below a chain of heavy ones.
    const uint32_t chain[] = {330, 330, 660, 990, 1650, 2640, 4290, 6930, 11220};
    for (uint32_t i = 0; i < 9; ++i)
        for (uint32_t k = 0; k < chain[i]; ++k) UpdateCharTree(300 + i);
    ASSERT_LT(s.treeWeight[CharRootSlot], 32768);
    uint32_t deepest = 0;
    for (uint32_t symbol = 0; symbol < 314; ++symbol)
        if (CodeOf(symbol, CharRootSlot).size() > CodeOf(deepest, CharRootSlot).size()) deepest = symbol;
    const std::string code = CodeOf(deepest, CharRootSlot);
    ASSERT_GT(code.size(), 16u);
    PackedStream stream(BitWriter().Put(code.c_str()).PutByte(0x96).Bytes(), 12);
    InitBitInput(stream.Input());
    EXPECT_EQ(DecodeCharAdaptive(), deepest);
    EXPECT_EQ(GetBits(8), 0x96);
}

TEST(AdaptiveHuffman, AnyStreamDecodesToItsFullSize) {
    packed_member::ExpectRandomStreamDecodes(MethodLh1, 4);
    packed_member::ExpectRandomStreamDecodes(MethodLh2, 5);
}

// The fast loop for -lh1- and the plain driver give back what was encoded: runs of
// words (long matches, across window flushes and window wraps) and random bytes (literal
// codes through several rebuilds).
TEST(AdaptiveHuffman, Lh1LoopsGiveBackTheEncodedBytes) {
    std::mt19937 random(5);
    const char* words[] = {"window ", "adaptive ", "tree ", "\n", "0123456789abcdef "};
    Bytes data;
    while (data.size() < 150000) {
        const std::string word = words[random() % 5];
        data.insert(data.end(), word.begin(), word.end());
    }
    const Bytes noise = RandomBytes(100000, 9);
    data.insert(data.end(), noise.begin(), noise.end());
    const Bytes packed = EncodeLh1(data);
    for (bool fast : {true, false}) {
        UseFastLoops(fast);
        EXPECT_EQ(packed_member::DecodeWhole(MethodLh1, packed, static_cast<uint32_t>(data.size())).bytes, data)
            << (fast ? "fast" : "plain");
    }
    UseFastLoops(true);
}

}  // namespace
