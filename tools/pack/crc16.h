// CRC-16/ARC of member data: reflected 0x8005, initial 0, no final inversion.
#pragma once
#include <cstddef>
#include <cstdint>

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* bytes, size_t length);
