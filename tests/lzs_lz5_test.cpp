// -lzs- and -lz5-: match addresses against the window (its initial contents and the bytes
// just produced), match lengths, the -lz5- flag bytes, and random streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"
#include "support/bit_writer.h"
#include "support/packed_member.h"

using packed_member::Bytes;
using packed_member::DecodeWhole;

namespace {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Range(int from, int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(from + i));
    return bytes;
}

// -lz5- match bytes: the low eight address bits, then the high four and the length - 3.
void PutLz5Match(Bytes& out, uint32_t address, uint32_t length) {
    out.push_back(static_cast<uint8_t>(address));
    out.push_back(static_cast<uint8_t>((address >> 8) << 4 | (length - 3)));
}

// -lzs- items.
void PutLzsLiteral(BitWriter& out, char byte) { out.Put("1").PutByte(static_cast<uint8_t>(byte)); }
void PutLzsMatch(BitWriter& out, uint32_t address, uint32_t length) {
    out.Put("0").Put(address, 11).Put(length - 2, 4);
}

TEST(Lz5, MatchesReadTheInitialWindow) {
    struct Case {
        const char* what;
        uint32_t address, length;
        Bytes expected;
    };
    const Case cases[] = {
        {"the runs start with 0x00", 0, 3, Bytes(3, 0x00)},
        {"the run of 0x41", 13 * 0x41 + 10, 5, Bytes{0x41, 0x41, 0x41, 0x42, 0x42}},
        {"the rising values", 3328, 18, Range(0, 18)},
        {"the falling values", 3584, 4, Bytes{0xFF, 0xFE, 0xFD, 0xFC}},
        {"the zeros, then the spaces", 3966, 4, Bytes{0x00, 0x00, 0x20, 0x20}},
        // Addresses 4078-4095, where the output starts, hold 0x00 until written: LArc's
        // archives depend on it (larc333_initial.lzs starts by copying them).
        {"the addresses of the first output, read before they are written", 4078, 18, Bytes(18, 0x00)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes packed{0x00};  // flag byte: a match
        PutLz5Match(packed, c.address, c.length);
        EXPECT_EQ(DecodeWhole(MethodLz5, packed, c.length).bytes, c.expected);
    }
}

TEST(Lz5, Address4078IsTheFirstByteProduced) {
    Bytes packed{0x07, 'a', 'b', 'c'};  // three literals, then a match
    PutLz5Match(packed, 4078, 5);     // overlaps what it produces
    EXPECT_EQ(DecodeWhole(MethodLz5, packed, 8).bytes, Text("abcabcab"));
}

TEST(Lz5, EveryEighthItemIsFollowedByAFlagByte) {
    Bytes packed{0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xFE};
    PutLz5Match(packed, 4078, 3);  // ninth item: bit 0 of the new flag byte
    packed.push_back('z');         // tenth: bit 1
    EXPECT_EQ(DecodeWhole(MethodLz5, packed, 12).bytes, Text("abcdefghabcz"));
}

TEST(Lzs, MatchesAddressTheWindow) {
    BitWriter shortMatch, firstByte, spaces;
    PutLzsLiteral(shortMatch, 'x');
    PutLzsLiteral(shortMatch, 'y');
    PutLzsMatch(shortMatch, 2031 + 1, 2);  // the second byte produced, twice over itself
    EXPECT_EQ(DecodeWhole(MethodLzs, shortMatch.Bytes(), 4).bytes, Text("xyyy"));

    PutLzsLiteral(firstByte, 'q');
    PutLzsLiteral(firstByte, 'r');
    PutLzsMatch(firstByte, 2031, 17);  // window index 0, overlapping
    EXPECT_EQ(DecodeWhole(MethodLzs, firstByte.Bytes(), 19).bytes, Text("qrqrqrqrqrqrqrqrqrq"));

    PutLzsMatch(spaces, 100, 5);  // nothing written there yet
    PutLzsLiteral(spaces, '!');
    EXPECT_EQ(DecodeWhole(MethodLzs, spaces.Bytes(), 6).bytes, Text("     !"));
}

TEST(LzsLz5, AnyStreamDecodesToItsFullSize) {
    packed_member::ExpectRandomStreamDecodes(MethodLzs, 1);
    packed_member::ExpectRandomStreamDecodes(MethodLz5, 2);
}

}  // namespace
