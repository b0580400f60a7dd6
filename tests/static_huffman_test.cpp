// -lh4- to -lh7- block headers: the pre-tree's skip field, a single position symbol outside
// its alphabet, zero runs in the char lengths (also past the alphabet).
// (Single-symbol codes and whole streams: decode_driver_test; damaged streams through both
// window loops: the decoder fuzz target and its replay.)
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "decode/static_huffman.h"
#include "support/bit_writer.h"
#include "support/packed_member.h"

namespace {

using packed_member::Bytes;
using packed_member::LoadedStream;

TEST(StaticHuffman, PreTreeLengthsAndTheSkipField) {
    // Lengths 0, 5, 7, then the skip field 10: two zeros; the next length is symbol 5's.
    LoadedStream stream(BitWriter().Put(8, 5).Put("000 101 1110 10 001 010 011").Bytes());
    ReadPtLengths(19, 5, 3);
    const uint8_t expected[19] = {0, 5, 7, 0, 0, 1, 2, 3};
    EXPECT_TRUE(std::equal(expected, expected + 19, decodeState.ptLengths));
    // A count of 2 ends before the skip field, which is then not read.
    LoadedStream two(BitWriter().Put(2, 5).Put("001 001 1011 0000 1111 0000").Bytes());
    ReadPtLengths(19, 5, 3);
    EXPECT_EQ(decodeState.bitBuffer, 0xB0F0);
}

// A single position symbol outside its alphabet fills the table with symbol 0, not with
// a node number that the tree walk would follow into whatever the arrays hold.
TEST(StaticHuffman, SinglePositionSymbolOutsideItsAlphabetIsZero) {
    packed_member::ExpectScript(MethodLh5, "000400c012c0fffff0", "c300 p0");
    EXPECT_EQ(std::count(std::begin(decodeState.ptTable), std::end(decodeState.ptTable), 0), 256);
}

// Zero runs of one, 3-18 and 20 and more; a run that carries the index past 510 stays in
// bounds (address sanitizer) and reads its 9 bits, nothing more.
TEST(StaticHuffman, CharLengthRuns) {
    // Pre-tree: zero runs 0, 1, 2 and lengths 1, 2 (symbols 3, 4): codes 00, 01, 10, 110, 111.
    const char* preTree = "00101 010 010 010 00 011 011";
    BitWriter runs;
    runs.Put(preTree).Put(27, 9).Put("110 01 0000 111 01 1111 00 111 111 111");
    LoadedStream stream(runs.Bytes());
    ReadPtLengths(19, 5, 3);
    ReadCharLengths();
    std::vector<uint8_t> expected(510, 0);
    expected[0] = 1;
    expected[4] = expected[24] = expected[25] = expected[26] = 2;
    EXPECT_EQ(std::vector<uint8_t>(decodeState.charLengths, decodeState.charLengths + 510), expected);

    LoadedStream past(BitWriter().Put(preTree).Put(511, 9).Put("10").Put(511, 9).Put("1010 1010").Bytes());
    ReadPtLengths(19, 5, 3);
    ReadCharLengths();
    EXPECT_EQ(std::count(decodeState.charLengths, decodeState.charLengths + 510, 0), 510);
    EXPECT_EQ(decodeState.bitBuffer, 0xAA00);
}

}  // namespace
