// The bit reader: the packed stream most significant bit first, through a 16-bit
// look-ahead (decodeState.bitBuffer). Past the member's packed bytes it yields zeros.
#pragma once
#include <cstdint>

#include "decode/decode_state.h"

class FileHandle;

// The input buffer holds at most this much of a member's packed data at a time and is
// refilled as the reader runs dry, so that a member takes the same memory whatever its
// size; reads this large cost next to nothing beside the decoding.
constexpr uint32_t InputBufferCapacity = 64 * 1024;

// Makes the input buffer for the member's packed data (decodeState.packedRemaining bytes,
// cut to what the file still holds), with room for `requestedSize` of them at a time, no
// more than there are nor than InputBufferCapacity; it is filled when the first byte is
// asked for.
// False when it cannot be allocated.
bool AllocInputBuffer(FileHandle& inputFile, uint64_t requestedSize);
void FreeInputBuffer();

// True when the stream has been taken further beyond the member's packed data than a
// sound stream's look-ahead reaches: it was cut short or is damaged, whatever its CRC
// says. The reader asking holds `heldBits` fetched bits it has not taken (the shared
// reader: bitBuffer and pendingBits), `unsyncedBytes` of them from the input buffer
// without decodeState knowing yet. The answer is kept in decodeState.packedDataRanOut.
bool StreamRanDry(uint32_t unsyncedBytes, uint32_t heldBits);
bool StreamRanDry();  // the shared reader

// The last answer for the member, cleared by AllocInputBuffer; for a stored member, whether
// its packed and original sizes differ (set by DecodeMember).
inline bool PackedDataRanOut() { return decodeState.packedDataRanOut; }

// The next packed byte of the member, refilling the buffer when it runs dry; 0 once the
// member's packed bytes are used up. The bit reader's only source of bytes.
uint8_t NextPackedByte();

void InitBitInput(FileHandle& inputFile);
void FillBits(uint32_t n);        // drops n bits, any count
uint16_t GetBits(uint32_t n);  // 0..16 bits
