// Blocks are priced exactly, tables included, from symbol counts (BlockBits), so every
// merge is decided by what would be written.
#include "tools/pack/block_cutter.h"

#include <algorithm>

namespace {

struct Piece {
    size_t size;
    SymbolCounts counts;
    uint64_t bits;
};

// The pieces, merged while a merge saves bits. Merged pieces stay in place, linked to
// the next live one: no piece moves.
std::vector<Piece> MergedPieces(const LzSymbol* symbols, size_t count, const MethodShape& shape, size_t step) {
    std::vector<Piece> pieces;
    for (size_t at = 0; at < count;) {
        size_t size = std::min(step, count - at);
        if (count - at - size < step / 2) size = std::min<size_t>(count - at, MaxBlockSymbols);
        SymbolCounts counts = CountSymbols(symbols + at, size);
        pieces.push_back({size, counts, BlockBits(counts, shape)});
        at += size;
    }
    std::vector<size_t> next(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) next[i] = i + 1;
    const size_t last = pieces.size();
    auto saving = [&](size_t i, SymbolCounts& merged) -> int64_t {
        const size_t j = next[i];
        if (j == last || pieces[i].size + pieces[j].size > MaxBlockSymbols) return 0;
        merged = pieces[i].counts;
        merged.Add(pieces[j].counts);
        return int64_t(pieces[i].bits + pieces[j].bits) - int64_t(BlockBits(merged, shape));
    };
    std::vector<int64_t> savings(pieces.size(), 0);
    std::vector<size_t> previous(pieces.size(), last);
    SymbolCounts merged;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        savings[i] = saving(i, merged);
        previous[i + 1] = i;
    }
    for (;;) {
        size_t best = 0;
        for (size_t i = next[0]; i < last; i = next[i])
            if (savings[i] > savings[best]) best = i;
        if (savings[best] <= 0) break;
        const size_t gone = next[best];
        const int64_t saved = saving(best, merged);
        pieces[best] = {pieces[best].size + pieces[gone].size, merged,
                        static_cast<uint64_t>(int64_t(pieces[best].bits + pieces[gone].bits) - saved)};
        next[best] = next[gone];
        if (next[best] < last) previous[next[best]] = best;
        savings[best] = saving(best, merged);
        if (previous[best] < last) savings[previous[best]] = saving(previous[best], merged);
    }
    std::vector<Piece> blocks;
    for (size_t i = 0; i < last; i = next[i]) blocks.push_back(pieces[i]);
    return blocks;
}

}  // namespace

void CutBlocks(const LzSymbol* symbols, size_t count, const MethodShape& shape, bool split, size_t pieceSymbols,
               std::vector<size_t>& sizes) {
    if (count == 0) return;
    std::vector<Piece> blocks = MergedPieces(symbols, count, shape, split ? pieceSymbols : MaxBlockSymbols);
    for (const Piece& block : blocks) sizes.push_back(block.size);
}
