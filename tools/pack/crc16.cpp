#include "tools/pack/crc16.h"

namespace {

struct Crc16Table {
    uint16_t entry[256];
    Crc16Table() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i;
            for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
            entry[i] = static_cast<uint16_t>(r);
        }
    }
};

const Crc16Table table;

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ table.entry[(crc ^ bytes[i]) & 0xFF];
    return crc;
}
