// Where one static Huffman block ends and the next begins: a new block costs its
// tables, and pays where its own codes fit its symbols better than one code for both.
#pragma once
#include <cstddef>
#include <vector>

#include "tools/pack/block_writer.h"
#include "tools/pack/lzh_format.h"

// Cuts `count` symbols into blocks and appends their sizes, each 1 to MaxBlockSymbols.
// With `split`, the run starts as pieces of pieceSymbols; neighbours are merged, the
// best saving first, while one code for both costs fewer bits than a code for each.
// Without it, blocks are as large as a block may be.
void CutBlocks(const LzSymbol* symbols, size_t count, const MethodShape& shape, bool split, size_t pieceSymbols,
               std::vector<size_t>& sizes);
