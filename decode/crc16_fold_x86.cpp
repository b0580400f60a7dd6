// CRC-16/ARC by carry-less multiplication (PCLMULQDQ), for x86-64 hosts that have it.
//
// The bytes are a polynomial over GF(2), the first bit the highest power; the CRC is its
// remainder (times x^16) by P = x^16 + x^15 + x^2 + 1. A 16-byte block A followed by n more
// bits contributes A * x^n; A = Ahi * x^64 + Alo splits it at its 8th byte, and
// Ahi * (x^(n+64) mod P) + Alo * (x^n mod P), 80 bits wide, leaves the same remainder, so
// adding it into the block n bits further on keeps the remainder of the whole. Four lanes
// fold 64 bytes apart, then into one another, and the 16 bytes left have the remainder of
// everything folded into them: the byte tables finish from there.
//
// Registers hold the bytes as loaded: bit j of a 64-bit half is the power 63 - j of that
// half (the order the CRC reads its bits). A product of two such halves then stands one
// power low in the 128-bit result, which the constant makes good: it is x^(e - 1) mod P
// for a shift by e, written the same way.
#include "decode/crc16_fold.h"

#include <immintrin.h>

#include "decode/decode_state.h"

namespace {

constexpr uint32_t Polynomial = 0x8005;  // P without x^16, highest power first

// x^e mod P, as a 64-bit half: the power d at bit 63 - d.
uint64_t PowerHalf(uint32_t e) {
    uint32_t r = 1;  // x^0
    for (uint32_t i = 0; i < e; ++i) r = (r << 1) ^ ((r & 0x8000) ? (0x10000 | Polynomial) : 0);
    uint64_t half = 0;
    for (uint32_t d = 0; d < 16; ++d)
        if (r >> d & 1) half |= uint64_t{1} << (63 - d);
    return half;
}

// Folding by n bits: Alo (the low half, the first 8 bytes) times x^(n+64), Ahi times x^n.
struct FoldBy {
    uint64_t low, high;
    explicit FoldBy(uint32_t n) : low(PowerHalf(n + 64 - 1)), high(PowerHalf(n - 1)) {}
};

[[gnu::target("pclmul,sse2")]] inline __m128i Fold(__m128i a, __m128i k, __m128i into) {
    __m128i low = _mm_clmulepi64_si128(a, k, 0x00);
    __m128i high = _mm_clmulepi64_si128(a, k, 0x11);
    return _mm_xor_si128(into, _mm_xor_si128(low, high));
}

[[gnu::target("pclmul,sse2")]] uint32_t FoldWithClmul(uint32_t& crc, const uint8_t* bytes, uint32_t length) {
    static const FoldBy by512(512), by128(128);
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(by512.high), static_cast<long long>(by512.low));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(by128.high), static_cast<long long>(by128.low));
    auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };

    // A CRC so far of c is the same as c added into the first two bytes.
    __m128i lane[4] = {_mm_xor_si128(load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc))), load(bytes + 16),
                       load(bytes + 32), load(bytes + 48)};
    uint32_t done = 64;
    for (; length - done >= 64; done += 64)
        for (int i = 0; i < 4; ++i) lane[i] = Fold(lane[i], k512, load(bytes + done + 16 * i));
    __m128i x = Fold(Fold(Fold(lane[0], k128, lane[1]), k128, lane[2]), k128, lane[3]);
    for (; length - done >= 16; done += 16) x = Fold(x, k128, load(bytes + done));

    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
    uint32_t r = 0;
    for (uint8_t byte : rest) r = (r >> 8) ^ decodeState.crcTable[(r ^ byte) & 0xFF];
    crc = r;
    return done;
}

}  // namespace

uint32_t FoldCrc(uint32_t& crc, const uint8_t* bytes, uint32_t length) {
    static const bool available = __builtin_cpu_supports("pclmul");
    if (!available || length < 64) return 0;
    return FoldWithClmul(crc, bytes, length);
}
