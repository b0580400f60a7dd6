// Long blocks of CRC-16 by carry-less multiplication where the processor has it.
#pragma once
#include <cstdint>

// Takes the CRC `crc` over a whole number of 16-byte blocks at the front of `bytes`, as
// many as it handles (none on processors without a carry-less multiply, or for blocks
// shorter than 64 bytes); returns how many bytes it took, `crc` updated over them.
uint32_t FoldCrc(uint32_t& crc, const uint8_t* bytes, uint32_t length);
