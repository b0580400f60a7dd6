// Canonical Huffman lookup tables with overflow trees for codes longer than the table.
#pragma once
#include <cstdint>

// Builds `table` (2^tableBits entries) and the overflow trees in decodeState.zeroChild /
// oneChild from `count` code lengths. Stays inside every array whatever the lengths.
void MakeDecodeTable(int32_t count, const uint8_t* lengths, uint32_t tableBits, uint16_t* table);
