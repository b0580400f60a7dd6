// Code lengths for the static Huffman blocks: optimal prefix codes limited to a
// maximum length, and the canonical codes the decoders expect.
#pragma once
#include <cstdint>

// Fills lengths[0..count) (count at most 512) from the frequencies. Unused symbols get 0. Returns the number
// of used symbols; with fewer than two, every length is 0 (the block then sends that
// code in its single-symbol form). The code is always complete.
int BuildCodeLengths(const uint32_t* freqs, int count, int maxLength, uint8_t* lengths);

// Canonical codes: shorter codes first, codes of one length in symbol order, the first
// code all zeros.
void MakeCanonicalCodes(const uint8_t* lengths, int count, uint16_t* codes);
