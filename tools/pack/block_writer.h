// One static Huffman block: its three code-length tables, then the symbols.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/pack/bit_sink.h"
#include "tools/pack/lzh_format.h"

struct BlockCodes {
    uint8_t charLengths[CharCodeCount] = {};
    uint8_t positionLengths[32] = {};
    int singleChar = -1;       // the one char code when only one occurs, else -1
    int singlePosition = -1;
};

// Builds the block's codes from its symbols.
BlockCodes BuildBlockCodes(const LzSymbol* symbols, size_t count, const MethodShape& shape);

// Exact size in bits of the block written with its own codes.
uint64_t BlockBits(const LzSymbol* symbols, size_t count, const MethodShape& shape);

// Writes one block of 1 to MaxBlockSymbols symbols.
void WriteBlock(BitSink& out, const LzSymbol* symbols, size_t count, const MethodShape& shape);
