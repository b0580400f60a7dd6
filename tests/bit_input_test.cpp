// The bit readers: the next 16 bits always in view, zeros past the packed data, and the
// same bits whatever the size of the steps.
#include <gtest/gtest.h>

#include <random>
#include <type_traits>
#include <vector>

#include "decode/bit_access.h"
#include "support/packed_member.h"

namespace {

using packed_member::Bytes;
using Stream = packed_member::LoadedStream;  // file, packed size, buffer size

// `n` bits of `bytes` from bit `at`, most significant first; zeros past the end.
uint32_t BitsAt(const Bytes& bytes, size_t at, uint32_t n) {
    uint32_t value = 0;
    for (size_t i = at; i < at + n; ++i) value = value << 1 | (i / 8 < bytes.size() ? (bytes[i / 8] >> (7 - i % 8)) & 1 : 0);
    return value;
}

TEST(BitInput, LooksAheadSixteenBitsAndYieldsZerosPastThePackedData) {
    {
        Stream stream(Bytes{0xA5, 0x0F, 0xE0});
        EXPECT_EQ(decodeState.bitBuffer, 0xA50F);
        EXPECT_EQ(GetBits(3), 5);
        EXPECT_EQ(decodeState.bitBuffer, 0x2878 + 7);  // the top three bits of 0xE0 come in
        EXPECT_EQ(GetBits(0), 0);
        EXPECT_EQ(decodeState.bitBuffer, 0x2878 + 7);
    }
    {
        Stream empty(Bytes{}, 0);
        EXPECT_EQ(GetBits(16), 0);
    }
    {
        Stream cut(Bytes{0xFF, 0xFF, 0xFF, 0xFF}, 2);  // the file goes on, the member ends
        EXPECT_EQ(GetBits(12), 0xFFF);
        EXPECT_EQ(GetBits(8), 0xF0);
        EXPECT_EQ(GetBits(16), 0);
    }
    Stream shortRead(Bytes{0x12, 0x34}, 6);  // the header claims six bytes, the file holds two
    EXPECT_EQ(GetBits(16), 0x1234);
    EXPECT_EQ(decodeState.packedRemaining, 0u) << "the packed data ends where the file does";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GetBits(8), 0) << "stale bytes after a short read";
}

// Random step sizes (huge drops too, for the shared reader) through a buffer far smaller
// than the member, refilled from the file as it runs dry, against the bits as they lie in
// the file, which is read no further than the member: for the shared reader and for the
// hot loop's 64-bit one, which takes over in the middle of a byte.
TEST(BitInput, AnyStepSizesReadTheStreamInOrder) {
    std::mt19937 random(7);
    Bytes file(3000);
    for (auto& b : file) b = static_cast<uint8_t>(random());
    const Bytes member(file.begin(), file.begin() + 2500);
    auto run = [&](auto* type, uint32_t bufferSize) {
        Stream stream(file, 2500, bufferSize);
        GetBits(5);
        std::remove_pointer_t<decltype(type)> in;
        const bool wide = !std::is_same_v<decltype(type), PlainBits*>;
        for (size_t at = 5, i = 0; at < 2600 * 8; ++i) {
            if (i % 2 == 0) in.Refill();
            ASSERT_EQ(in.Peek16(), BitsAt(member, at, 16)) << at;
            const uint32_t n = !wide && random() % 4 == 0 ? random() % 120 : random() % 21;
            if (n <= 16 && random() % 2) EXPECT_EQ(in.Get(n), BitsAt(member, at, n)) << at;
            else in.Drop(n);
            at += n;
        }
        EXPECT_EQ(stream.Input().Tell(), member.size()) << "the file is read no further than the member";
    };
    for (uint32_t bufferSize : {3000u, 64u, 7u}) {
        SCOPED_TRACE(bufferSize);
        run(static_cast<PlainBits*>(nullptr), bufferSize);
        run(static_cast<WideBits*>(nullptr), bufferSize);
    }
}

}  // namespace
