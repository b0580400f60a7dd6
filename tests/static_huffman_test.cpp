// -lh4- to -lh7-: block headers (pre-tree, char and position lengths), single-symbol
// codes, deep codes, damaged headers, and both window loops alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "decode/decode_state.h"
#include "decode/method_table.h"
#include "decode/static_huffman.h"
#include "support/bit_writer.h"
#include "support/packed_member.h"
#include "support/static_block_writer.h"

namespace {

using packed_member::Bytes;
using packed_member::DecodeWhole;
using packed_member::LoadedStream;
using static_stream::Item;

constexpr MethodId StaticMethods[] = {MethodLh4, MethodLh5, MethodLh6, MethodLh7};

struct MethodShape {
    uint32_t dictionaryBits, positionCount;
    int countBits;
};
MethodShape ShapeOf(MethodId method) {
    switch (method) {
        case MethodLh4: return {12, 14, 4};
        case MethodLh5: return {13, 14, 4};
        case MethodLh6: return {15, 16, 5};
        default: return {16, 17, 5};
    }
}

// Starts a static method on `packed` as DecodeMember would.
struct StaticStream : LoadedStream {
    StaticStream(const Bytes& packed, uint16_t dictionaryBits = 13) : LoadedStream(packed, UINT32_MAX, UINT32_MAX, false) {
        decodeState.dictionaryBits = dictionaryBits;
        StartStatic(Input());
    }
};

// A block header whose three codes each have a single symbol: they cost no bits.
void PutConstantHeader(BitWriter& out, uint32_t blockSize, uint32_t preTreeSymbol, uint32_t charSymbol,
                       uint32_t positionSymbol, int positionCountBits = 4) {
    out.Put(blockSize, 16).Put(0, 5).Put(preTreeSymbol, 5).Put(0, 9).Put(charSymbol, 9);
    out.Put(0, positionCountBits).Put(positionSymbol, positionCountBits);
}

// Blocks of random items (literals, far matches and short-distance runs) with random
// complete codes; `all` receives the items. With `oneItemFirst` the first block holds one.
Bytes RandomBlocks(MethodId method, std::mt19937& random, int blocks, double skew, std::vector<Item>& all,
                   bool oneItemFirst = false) {
    const MethodShape shape = ShapeOf(method);
    const uint32_t window = 1u << shape.dictionaryBits;
    BitWriter out;
    for (int b = 0; b < blocks; ++b) {
        std::vector<Item> items;
        const size_t count = b == 0 && oneItemFirst ? 1 : 1 + random() % 3000;
        for (size_t i = 0; i < count; ++i) {
            if (random() % 3 == 0) {
                items.push_back(Item::Literal(static_cast<uint8_t>(random())));
            } else {
                uint32_t distance = random() % 4 == 0 ? 1 + random() % 4 : 1 + random() % window;
                items.push_back(Item::Match(3 + random() % 254, distance));
            }
        }
        static_stream::PutBlock(out, static_stream::RandomCodes(shape.positionCount, random, skew), shape.countBits,
                                items);
        all.insert(all.end(), items.begin(), items.end());
    }
    return out.Bytes();
}

// Random symbol streams over several blocks with random complete codes (deep ones
// included), through both window loops, against what the items expand to.
TEST(StaticHuffman, RandomBlocksRoundTrip) {
    std::mt19937 random(5);
    for (MethodId method : StaticMethods) {
        for (int round = 0; round < 5; ++round) {
            SCOPED_TRACE(testing::Message() << MethodNames[method] << " round " << round);
            std::vector<Item> all;
            const Bytes packed = RandomBlocks(method, random, 1 + round % 4, 0.2 * round, all, round == 1);
            const Bytes expected = static_stream::Expand(all);
            for (bool fast : {true, false}) {
                UseFastLoops(fast);
                auto decoded = DecodeWhole(method, packed, static_cast<uint32_t>(expected.size()));
                ASSERT_EQ(decoded.bytes, expected) << (fast ? "fast" : "plain");
                EXPECT_EQ(decoded.crc, packed_member::CrcOf(expected));
            }
            UseFastLoops(true);
        }
    }
}

TEST(StaticHuffman, BlockSizeZeroMeans65536Symbols) {
    BitWriter out;
    PutConstantHeader(out, 0, 3, 'A', 0);
    PutConstantHeader(out, 1, 3, 'B', 0);
    Bytes expected(65536, 'A');
    expected.push_back('B');
    for (bool fast : {true, false}) {
        UseFastLoops(fast);
        EXPECT_EQ(DecodeWhole(MethodLh5, out.Bytes(), 65537).bytes, expected);
    }
    UseFastLoops(true);
}

TEST(StaticHuffman, SingleSymbolCodesCostNoBits) {
    // Pre-tree with the one symbol 4 (length 2): four char lengths of 2 read no bits, so
    // chars 0-3 get the codes 00, 01, 10, 11.
    BitWriter out;
    out.Put(5, 16).Put(0, 5).Put(4, 5).Put(4, 9).Put(0, 4).Put(0, 4);
    out.Put("11 00 10 01 11 1");
    StaticStream stream(out.Bytes());
    EXPECT_EQ(DecodeCharStatic(), 3);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(decodeState.charLengths[i], 2);
    EXPECT_EQ(decodeState.charLengths[4], 0);
    EXPECT_EQ(DecodeCharStatic(), 0);
    EXPECT_EQ(DecodeCharStatic(), 2);
    EXPECT_EQ(DecodeCharStatic(), 1);
    EXPECT_EQ(DecodeCharStatic(), 3);
    EXPECT_EQ(decodeState.bitBuffer, 0x8000);

    BitWriter constant;
    PutConstantHeader(constant, 3, 3, 'A', 0);
    constant.Put("1010");
    StaticStream again(constant.Bytes());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(DecodeCharStatic(), 'A');
    EXPECT_EQ(DecodeCharStatic() , 0) << "the fourth symbol reads a new header";
}

TEST(StaticHuffman, PreTreeLengthsAndTheSkipField) {
    // Lengths 0, 5, 7, then the skip field 10: two zeros; the next length is symbol 5's.
    BitWriter out;
    out.Put(8, 5).Put("000 101 1110 10 001 010 011");
    StaticStream stream(out.Bytes());
    ReadPtLengths(19, 5, 3);
    const uint8_t expected[19] = {0, 5, 7, 0, 0, 1, 2, 3};
    for (int i = 0; i < 19; ++i) EXPECT_EQ(decodeState.ptLengths[i], expected[i]) << i;

    // A count of 2 ends before the skip field, which is then not read.
    BitWriter two;
    two.Put(2, 5).Put("001 001").Put("1011 0000 1111 0000");
    StaticStream again(two.Bytes());
    ReadPtLengths(19, 5, 3);
    EXPECT_EQ(decodeState.bitBuffer, 0xB0F0);
}

// Pre-tree for the char-length tests: zero runs 0, 1, 2 and lengths 1, 2 (symbols 3, 4).
void PutRunPreTree(BitWriter& out) {
    out.Put(5, 5).Put("010 010 010").Put("00").Put("011 011");  // codes 00, 01, 10, 110, 111
}

TEST(StaticHuffman, CharLengthRuns) {
    BitWriter out;
    PutRunPreTree(out);
    out.Put(27, 9);
    out.Put("110");              // char 0: length 1
    out.Put("01").Put(0, 4);     // 3 zeros: 1-3
    out.Put("111");              // char 4: length 2
    out.Put("01").Put(15, 4);    // 18 zeros: 5-22
    out.Put("00");               // one zero: 23
    out.Put("111 111 111");      // chars 24-26: length 2
    StaticStream stream(out.Bytes());
    ReadPtLengths(19, 5, 3);
    ReadCharLengths();
    std::vector<uint8_t> expected(510, 0);
    expected[0] = 1;
    expected[4] = expected[24] = expected[25] = expected[26] = 2;
    EXPECT_EQ(std::vector<uint8_t>(decodeState.charLengths, decodeState.charLengths + 510), expected);
}

// Counts and runs that carry the index past 510, and single symbols outside their
// alphabet: stay in bounds (address sanitizer), decode as symbol 0.
TEST(StaticHuffman, DamagedHeadersStayInBounds) {
    BitWriter runs;
    PutRunPreTree(runs);
    runs.Put(511, 9).Put("10").Put(511, 9);  // 531 zeros
    runs.Put("1010 1010");
    StaticStream stream(runs.Bytes());
    ReadPtLengths(19, 5, 3);
    ReadCharLengths();
    for (int i = 0; i < 510; ++i) ASSERT_EQ(decodeState.charLengths[i], 0);
    EXPECT_EQ(decodeState.bitBuffer, 0xAA00) << "the run's 9 bits were read, nothing more";

    BitWriter outside;
    outside.Put(4, 16).Put(0, 5).Put(25, 5).Put(1, 9);  // pre-tree symbol 25, one char length
    outside.Put(0, 4).Put(0, 4);
    BitWriter noChar;
    PutConstantHeader(noChar, 4, 3, 511, 0);
    BitWriter noPosition;
    PutConstantHeader(noPosition, 4, 3, 300, 15);
    for (BitWriter* writer : {&outside, &noChar, &noPosition}) {
        writer->Put("1111111111111111");
        StaticStream damaged(writer->Bytes());
        uint16_t c = DecodeCharStatic();
        EXPECT_LT(c, 510);
        if (c >= 256) {
            EXPECT_EQ(DecodePositionStatic(), 0);
        }
    }
    EXPECT_EQ(decodeState.ptTable[0], 0);
}

// Damaged streams (valid ones with a few bits flipped, and plain garbage): both loops
// must agree byte for byte, and stay in bounds.
TEST(StaticHuffman, DamagedStreamsDecodeAlikeInBothLoops) {
    std::mt19937 random(13);
    for (int round = 0; round < 30; ++round) {
        MethodId method = StaticMethods[round % 4];
        std::vector<Item> all;
        Bytes packed = RandomBlocks(method, random, 3, 0.5, all);
        for (int flips = 1 + random() % 4; flips > 0; --flips) packed[random() % packed.size()] ^= 1 << (random() % 8);
        if (round % 3 == 0) {
            for (auto& b : packed) b = static_cast<uint8_t>(random());
        }
        uint32_t size = static_cast<uint32_t>(static_stream::Expand(all).size());
        // A header whose lengths are all 0 keeps the tables it finds: start both alike.
        auto decode = [&](bool fast) {
            std::fill(std::begin(decodeState.charTable), std::end(decodeState.charTable), 0);
            std::fill(std::begin(decodeState.ptTable), std::end(decodeState.ptTable), 0);
            UseFastLoops(fast);
            return DecodeWhole(method, packed, size).bytes;
        };
        ASSERT_EQ(decode(false), decode(true)) << "round " << round;
        UseFastLoops(true);
    }
}

}  // namespace
