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

// How often each char and position code occurs in a run of symbols, and the position
// extra bits they carry: enough to price the run as one block.
struct SymbolCounts {
    uint32_t charFreqs[CharCodeCount] = {};
    uint32_t positionFreqs[32] = {};
    uint64_t extraBits = 0;
    uint64_t symbols = 0;

    void Add(const SymbolCounts& other);
};

SymbolCounts CountSymbols(const LzSymbol* symbols, size_t count);

// Builds the block's codes from its symbols.
BlockCodes BuildBlockCodes(const LzSymbol* symbols, size_t count, const MethodShape& shape);
BlockCodes BuildBlockCodes(const SymbolCounts& counts, const MethodShape& shape);

// Exact size in bits of the block written with its own codes.
uint64_t BlockBits(const LzSymbol* symbols, size_t count, const MethodShape& shape);
uint64_t BlockBits(const SymbolCounts& counts, const MethodShape& shape);

// Writes one block of 1 to MaxBlockSymbols symbols.
void WriteBlock(BitSink& out, const LzSymbol* symbols, size_t count, const MethodShape& shape);
