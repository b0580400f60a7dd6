// -lzs- (2048-byte window): items packed bit by bit. Flag 1: an 8-bit literal. Flag 0: an
// 11-bit window address and a 4-bit length n, a match of n + 2 bytes that starts at
// window index (address + 17) mod 2048; the first output byte is at address 2031.
#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"

constexpr uint32_t LzsWindowMask = 0x7FF;

void StartLzs(FileHandle& input) {
    InitBitInput(input);
}

uint16_t DecodeCharLzs() {
    if (GetBits(1)) return GetBits(8);
    decodeState.matchAddress = GetBits(11);
    return static_cast<uint16_t>(GetBits(4) + 256);
}

// The driver copies from windowPosition - p - 1; this makes that (address + 17) mod 2048.
uint16_t DecodePositionLzs() {
    const DecodeState& s = decodeState;
    return static_cast<uint16_t>((s.windowPosition - s.matchAddress - 18) & LzsWindowMask);
}
