// CRC-16/ARC over everything written for a member, and the write that feeds it.
//
// Long blocks go through FoldCrc where the processor can, else eight bytes per step through eight tables (slicing): sliceTables[k][b]
// is the CRC of byte b followed by k zero bytes, so the eight look-ups of a step are
// independent of each other.
#include "decode/crc16.h"

#include "decode/crc16_fold.h"

#include "platform/file_handle.h"
#include "decode/decode_state.h"
#include "platform/system.h"

namespace {

constexpr uint32_t SliceCount = 8;
// [0] is a copy of decodeState.crcTable; per thread, as that is (MakeCrcTable fills both).
KAVI_DECODE_STATE_STORAGE uint16_t sliceTables[SliceCount][256];

}  // namespace

void MakeCrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
        decodeState.crcTable[i] = static_cast<uint16_t>(r);
        sliceTables[0][i] = static_cast<uint16_t>(r);
    }
    for (uint32_t k = 1; k < SliceCount; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t previous = sliceTables[k - 1][i];
            sliceTables[k][i] = static_cast<uint16_t>((previous >> 8) ^ sliceTables[0][previous & 0xFF]);
        }
    }
}

void UpdateCrc(const uint8_t* bytes, uint32_t length) {
    uint32_t crc = decodeState.crc;
    uint32_t folded = FoldCrc(crc, bytes, length);
    bytes += folded;
    length -= folded;
    const uint16_t(*t)[256] = sliceTables;
    for (; length >= SliceCount; length -= SliceCount, bytes += SliceCount) {
        crc ^= bytes[0] | bytes[1] << 8;
        crc = t[7][crc & 0xFF] ^ t[6][crc >> 8] ^ t[5][bytes[2]] ^ t[4][bytes[3]] ^ t[3][bytes[4]] ^
              t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
    }
    const uint16_t* table = decodeState.crcTable;
    for (uint32_t i = 0; i < length; ++i) crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    decodeState.crc = static_cast<uint16_t>(crc);
}

bool WriteWithCrc(const uint8_t* bytes, uint32_t length, FileHandle& output) {
    UpdateCrc(bytes, length);
    if (output.Write(bytes, length)) return true;
    decodeState.failure = DecodeFailure::WriteFailed;
    decodeState.failureCode = LastErrorCode();
    return false;
}
