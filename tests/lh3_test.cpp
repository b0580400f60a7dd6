// -lh3-: block headers (explicit lengths, the constant-symbol marker, the fixed position
// code), block boundaries, the escape, long codes through the overflow tree, damaged
// headers that must stay inside the tables, and random streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"
#include "support/bit_writer.h"
#include "support/packed_member.h"

using packed_member::Bytes;
using packed_member::PackedStream;

namespace {

constexpr int CharCount = 286;

// Per literal/length symbol: 0 for no code, else a flag bit and 4 bits of length - 1.
void PutCharLengths(BitWriter& out, const std::vector<int>& lengths) {
    for (int length : lengths) {
        if (length == 0) out.Put("0");
        else out.Put("1").Put(length - 1, 4);
    }
}

// Lengths 1, 1, 1 announce a constant: 9 bits for a literal/length symbol.
void PutConstantChar(BitWriter& out, int symbol) {
    out.Put("1 0000 1 0000 1 0000").Put(symbol, 9);
}

// A block whose every literal/length code is `symbol` at no cost, with the fixed position code.
void PutConstantBlock(BitWriter& out, int count, int symbol) {
    out.Put(count, 16);
    PutConstantChar(out, symbol);
    out.Put("0");
}

TEST(Lh3, ConstantSymbolReadsNoFurtherLengths) {
    BitWriter out;
    PutConstantBlock(out, 2, 'A');
    out.PutByte(0xA5);
    PackedStream stream(out.Bytes(), 13);
    StartLh3(stream.Input());
    EXPECT_EQ(DecodeCharLh3(), 'A');
    EXPECT_EQ(GetBits(8), 0xA5) << "3 lengths, 9 bits of symbol and the choice bit, nothing more";
}

TEST(Lh3, BlocksEndAfterTheirCount) {
    BitWriter out;
    PutConstantBlock(out, 1, 'A');
    PutConstantBlock(out, 1, 'B');
    PutConstantBlock(out, 0, 'C');  // 0 stands for 65536 codes
    PackedStream stream(out.Bytes(), 13);
    StartLh3(stream.Input());
    EXPECT_EQ(DecodeCharLh3(), 'A');
    EXPECT_EQ(DecodeCharLh3(), 'B');
    EXPECT_EQ(DecodeCharLh3(), 'C');
    EXPECT_EQ(decodeState.lh3BlockRemaining, 65535);
}

TEST(Lh3, FixedPositionCode) {
    // Group 0 is 00, group 78 the first and group 127 the last nine-bit code; nine bits
    // go past the 8-bit table into the overflow tree.
    BitWriter out;
    PutConstantBlock(out, 10, 256);
    out.Put("00").Put(0x11, 6);
    out.Put("0100").Put(0x01, 6);
    out.Put("111001110").Put(0x22, 6);
    out.Put("111111111").Put(0x3F, 6);
    out.PutByte(0x5A);
    PackedStream stream(out.Bytes(), 13);
    StartLh3(stream.Input());
    EXPECT_EQ(DecodeCharLh3(), 256);
    EXPECT_EQ(DecodePositionGrouped(), 0x11);
    EXPECT_EQ(DecodePositionGrouped(), 64 + 0x01);
    EXPECT_EQ(DecodePositionGrouped(), 78 * 64 + 0x22);
    EXPECT_EQ(DecodePositionGrouped(), 127 * 64 + 0x3F);
    EXPECT_EQ(GetBits(8), 0x5A);
}

TEST(Lh3, ExplicitPositionLengths) {
    // Groups 2 and 5 with one bit each: 2 is 0, 5 is 1.
    BitWriter out;
    out.Put(3, 16);
    PutConstantChar(out, 256);
    out.Put("1");
    for (int group = 0; group < 128; ++group) out.Put(group == 2 || group == 5 ? 1 : 0, 4);
    out.Put("1").Put(0x07, 6).Put("0").Put(0x3F, 6).PutByte(0xE1);
    PackedStream stream(out.Bytes(), 13);
    StartLh3(stream.Input());
    EXPECT_EQ(DecodeCharLh3(), 256);
    EXPECT_EQ(DecodePositionGrouped(), 5 * 64 + 0x07);
    EXPECT_EQ(DecodePositionGrouped(), 2 * 64 + 0x3F);
    EXPECT_EQ(GetBits(8), 0xE1);
}

TEST(Lh3, EscapeTakesEightMoreBits) {
    // 'a' (code 0) and the escape 285 (code 1); then 'a' and a match of 32 at distance 1.
    std::vector<int> lengths(CharCount, 0);
    lengths['a'] = 1;
    lengths[285] = 1;
    BitWriter out;
    out.Put(2, 16);
    PutCharLengths(out, lengths);
    out.Put("0");
    out.Put("0").Put("1").PutByte(0x00).Put("00").Put(0, 6);
    const auto decoded = packed_member::DecodeWhole(MethodLh3, out.Bytes(), 33);
    EXPECT_EQ(decoded.bytes, Bytes(33, 'a'));

    BitWriter most;
    most.Put(1, 16);
    PutCharLengths(most, lengths);
    most.Put("0").Put("1").PutByte(0xFF);
    PackedStream stream(most.Bytes(), 13);
    StartLh3(stream.Input());
    EXPECT_EQ(DecodeCharLh3(), 540);  // a match of 287 bytes
}

TEST(Lh3, CodesLongerThanTheTable) {
    // Lengths 1, 2, ..., 14, 14 for symbols 0 to 14: symbol 14 is fourteen 1 bits.
    std::vector<int> lengths(CharCount, 0);
    for (int symbol = 0; symbol < 14; ++symbol) lengths[symbol] = symbol + 1;
    lengths[14] = 14;
    BitWriter out;
    out.Put(3, 16);
    PutCharLengths(out, lengths);
    out.Put("0");
    out.Put("11111111111111").Put("11111111111110").Put("110").PutByte(0xC3);
    PackedStream stream(out.Bytes(), 13);
    StartLh3(stream.Input());
    EXPECT_EQ(DecodeCharLh3(), 14);
    EXPECT_EQ(DecodeCharLh3(), 13);
    EXPECT_EQ(DecodeCharLh3(), 2);
    EXPECT_EQ(GetBits(8), 0xC3);
}

TEST(Lh3, DamagedHeadersStayInsideTheTables) {
    {
        // Constants beyond the alphabets (9 bits reach 511, 10 bits 1023) read as 0.
        BitWriter out;
        out.Put(4, 16);
        PutConstantChar(out, 511);
        out.Put("1").Put("0001 0001 0001").Put(1023, 10);
        out.Put(0x2A, 6).PutByte(0x96);
        PackedStream stream(out.Bytes(), 13);
        StartLh3(stream.Input());
        EXPECT_EQ(DecodeCharLh3(), 0);
        EXPECT_EQ(DecodePositionGrouped(), 0x2A);
        EXPECT_EQ(GetBits(8), 0x96);
    }
    {
        // An over-full literal/length code and over-full position lengths.
        std::vector<int> lengths(CharCount, 1);
        lengths[0] = 2;
        BitWriter out;
        out.Put(4, 16);
        PutCharLengths(out, lengths);
        out.Put("1");
        for (int group = 0; group < 128; ++group) out.Put(group == 0 ? 2 : 1, 4);
        PackedStream stream(out.Bytes(), 13);
        StartLh3(stream.Input());
        for (int i = 0; i < 4; ++i) {
            EXPECT_LT(DecodeCharLh3(), 541);
            EXPECT_LT(DecodePositionGrouped(), 8192);
        }
    }
}

TEST(Lh3, AnyStreamDecodesToItsFullSize) {
    packed_member::ExpectRandomStreamDecodes(MethodLh3, 3);
}

}  // namespace
