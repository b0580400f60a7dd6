#include "tools/pack/crc16.h"

namespace {

// Four tables: entry[k][b] is the CRC of byte b followed by k zero bytes, so that four
// input bytes take four look-ups instead of four dependent steps.
struct Crc16Table {
    uint16_t entry[4][256];
    Crc16Table() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i;
            for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
            entry[0][i] = static_cast<uint16_t>(r);
        }
        for (int k = 1; k < 4; ++k)
            for (uint32_t i = 0; i < 256; ++i)
                entry[k][i] = static_cast<uint16_t>((entry[k - 1][i] >> 8) ^ entry[0][entry[k - 1][i] & 0xFF]);
    }
};

const Crc16Table table;

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* bytes, size_t length) {
    size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        const uint32_t v = crc ^ (bytes[i] | bytes[i + 1] << 8 | uint32_t(bytes[i + 2]) << 16 | uint32_t(bytes[i + 3]) << 24);
        crc = table.entry[3][v & 0xFF] ^ table.entry[2][(v >> 8) & 0xFF] ^ table.entry[1][(v >> 16) & 0xFF] ^
              table.entry[0][v >> 24];
    }
    for (; i < length; ++i) crc = (crc >> 8) ^ table.entry[0][(crc ^ bytes[i]) & 0xFF];
    return crc;
}
