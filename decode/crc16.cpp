// CRC-16/ARC over everything written for a member, and the write that feeds it.
#include "decode/crc16.h"

#include "archive/file_handle.h"
#include "decode/decode_state.h"
#include "platform/system.h"

void MakeCrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
        decodeState.crcTable[i] = static_cast<uint16_t>(r);
    }
}

void UpdateCrc(const uint8_t* bytes, uint32_t length) {
    uint32_t crc = decodeState.crc;
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
