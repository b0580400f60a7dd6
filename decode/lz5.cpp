// -lz5- (4096-byte window): items in whole bytes, a flag byte before every eight of them,
// its bits used from bit 0 up. Flag 1: one literal byte. Flag 0: bytes b1, b2 give the
// address b1 + (b2 >> 4) * 256 and the length (b2 & 15) + 3, copied from window index
// (address + 18) mod 4096. The window starts out with a fixed pattern that matches may copy.
#include <cstring>

#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"

constexpr uint32_t Lz5WindowMask = 0xFFF;

// 13 copies of every byte value, the values rising, the values falling, 128 zeros and
// 110 spaces (addresses 0 to 4077), then 18 zeros at addresses 4078-4095, where the first
// output byte lands. Those 18 must be zeros, not the driver's spaces: LArc's encoder
// assumes zeros there and its archives copy them (a match into them would otherwise
// decode wrongly and fail its CRC check).
static void FillInitialWindow(uint8_t* window) {
    memset(window, 0, 18);
    uint8_t* at = window + 18;
    for (uint32_t value = 0; value < 256; ++value, at += 13) memset(at, static_cast<int>(value), 13);
    for (uint32_t value = 0; value < 256; ++value) *at++ = static_cast<uint8_t>(value);
    for (uint32_t value = 256; value-- > 0;) *at++ = static_cast<uint8_t>(value);
    memset(at, 0, 128);
    at += 128;
    memset(at, ' ', static_cast<size_t>(window + Lz5WindowMask + 1 - at));
}

void StartLz5(FileHandle& input) {
    DecodeState& s = decodeState;
    InitBitInput(input);
    s.flagBitsLeft = 0;
    FillInitialWindow(s.window);
}

uint16_t DecodeCharLz5() {
    DecodeState& s = decodeState;
    if (s.flagBitsLeft == 0) {
        s.flagByte = GetBits(8);
        s.flagBitsLeft = 8;
    }
    --s.flagBitsLeft;
    uint32_t code = GetBits(8);
    if ((s.flagByte & 1) == 0) {
        const uint32_t high = GetBits(8);
        s.matchAddress = code + (high & 0xF0) * 16;
        code = (high & 0x0F) + 256;
    }
    s.flagByte >>= 1;
    return static_cast<uint16_t>(code);
}

// The driver copies from windowPosition - p - 1; this makes that (address + 18) mod 4096.
uint16_t DecodePositionLz5() {
    const DecodeState& s = decodeState;
    return static_cast<uint16_t>((s.windowPosition - s.matchAddress - 19) & Lz5WindowMask);
}
