// Input buffer and bit reader.
//
// bitBuffer always holds the next 16 bits of the packed stream, the next bit on top;
// pendingByte holds the pendingBits bits fetched but not yet shifted in, at its top.
// Bytes come from inputBuffer in file order; once packedRemaining reaches 0 every
// further byte is 0, so no decoder can read past its member's data or the buffer.
#include "decode/bit_input.h"

#include <cstdlib>
#include <cstring>

#include "platform/file_handle.h"
#include "decode/decode_state.h"

namespace {

// Bytes the shared reader may fetch beyond the member's packed data for a sound stream:
// its 16-bit look-ahead and what a decoder peeks at without taking it.
constexpr uint32_t MaxLookAheadBytes = 8;

// Never more than the member's packed data still holds, so that the file is read no
// further than the member. A short or failed read leaves zeros behind the bytes that
// arrived, never stale data.
void RefillInputBuffer(FileHandle& file) {
    DecodeState& s = decodeState;
    uint32_t size = s.packedRemaining < s.inputBufferCapacity ? static_cast<uint32_t>(s.packedRemaining)
                                                               : s.inputBufferCapacity;
    int64_t got = file.Read(size, s.inputBuffer);
    uint32_t filled = got < 0 ? 0 : static_cast<uint32_t>(got);
    if (filled < size) memset(s.inputBuffer + filled, 0, size - filled);
    s.inputBufferSize = size;
    s.inputPosition = 0;
}

}  // namespace

bool AllocInputBuffer(FileHandle& inputFile, uint64_t requestedSize) {
    DecodeState& s = decodeState;
    // What the file does not hold is no packed data either (a damaged header may claim
    // gigabytes): the stream ends there.
    const uint64_t position = inputFile.Tell();
    const uint64_t left = inputFile.size > position ? inputFile.size - position : 0;
    if (left < s.packedRemaining) s.packedRemaining = left;
    uint64_t room = requestedSize < s.packedRemaining ? requestedSize : s.packedRemaining;
    if (room > InputBufferCapacity) room = InputBufferCapacity;
    s.inputBufferCapacity = room ? static_cast<uint32_t>(room) : 1;  // malloc may answer 0 bytes with null
    s.inputBuffer = static_cast<uint8_t*>(malloc(s.inputBufferCapacity));
    if (!s.inputBuffer) {
        s.failure = DecodeFailure::NoInputBuffer;
        return false;
    }
    s.inputFile = &inputFile;
    s.inputBufferSize = 0;  // read when the first byte is asked for
    s.inputPosition = 0;
    s.bytesPastEnd = 0;
    s.packedDataRanOut = false;
    return true;
}

void FreeInputBuffer() {
    free(decodeState.inputBuffer);
    decodeState.inputBuffer = nullptr;
    decodeState.inputBufferCapacity = 0;
    decodeState.inputBufferSize = 0;
    decodeState.inputPosition = 0;
}

// Judged by the bits taken, not by the bytes fetched, so that readers of any look-ahead
// agree: the stream has run dry once the shared reader, holding 16 bits ahead, would have
// fetched more than MaxLookAheadBytes beyond the packed data. While packed bytes are left
// to fetch, fewer bits than the packed data holds have been taken.
bool StreamRanDry(uint32_t unsyncedBytes, uint32_t heldBits) {
    DecodeState& s = decodeState;
    s.packedDataRanOut =
        s.packedRemaining == unsyncedBytes && s.bytesPastEnd > (heldBits + 8 * MaxLookAheadBytes - 16) / 8;
    return s.packedDataRanOut;
}

bool StreamRanDry() { return StreamRanDry(0, 16u + decodeState.pendingBits); }

uint8_t NextPackedByte() {
    DecodeState& s = decodeState;
    if (s.packedRemaining == 0) {
        ++s.bytesPastEnd;  // bounded: the window loops stop at the next flush once dry
        return 0;
    }
    if (s.inputPosition == s.inputBufferSize) RefillInputBuffer(*s.inputFile);
    --s.packedRemaining;
    return s.inputBuffer[s.inputPosition++];
}

void InitBitInput(FileHandle& inputFile) {
    decodeState.inputFile = &inputFile;
    decodeState.bitBuffer = 0;
    decodeState.pendingByte = 0;
    decodeState.pendingBits = 0;
    FillBits(16);
}

void FillBits(uint32_t n) {
    DecodeState& s = decodeState;
    // Whole bytes beyond the look-ahead can be skipped without shifting them through.
    while (n > s.pendingBits + 16u + 8u) {
        NextPackedByte();
        n -= 8;
    }
    uint32_t buffer = s.bitBuffer;
    uint32_t pending = s.pendingByte;
    uint32_t pendingBits = s.pendingBits;
    while (n > pendingBits) {
        n -= pendingBits;
        buffer = ((buffer << pendingBits) + (pending >> (8 - pendingBits))) & 0xFFFF;
        pending = NextPackedByte();
        pendingBits = 8;
    }
    pendingBits -= n;
    s.bitBuffer = static_cast<uint16_t>((buffer << n) + (pending >> (8 - n)));
    s.pendingByte = static_cast<uint8_t>(pending << n);
    s.pendingBits = static_cast<uint8_t>(pendingBits);
}

uint16_t GetBits(uint32_t n) {
    if (n == 0) return 0;
    uint16_t x = static_cast<uint16_t>(decodeState.bitBuffer >> (16 - n));
    FillBits(n);
    return x;
}
