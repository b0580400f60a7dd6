// Parsers: turn a stretch of the window into literals and matches. The lazy parser
// takes the longest match unless the next position offers a longer one; the optimal
// parser finds the cheapest path through every match under a bit-cost model taken
// from the codes of the previous pass.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/pack/block_writer.h"
#include "tools/pack/lzh_format.h"
#include "tools/pack/match_finder.h"
#include "tools/pack/match_tree.h"

struct ParserSettings {
    bool optimal;
    int maxChain;            // hash chain entries, or match tree nodes, visited per search
    uint32_t niceLength;     // stop searching at a match this long
    uint32_t skipLength;     // optimal: no search inside a match this long
    uint32_t lazyLength;     // lazy: no second look after a match this long
    uint32_t farThree;       // a match of 3 farther than this is not worth its bits
    int passes;              // optimal: parses per stretch, each with the last one's costs
};

// Bit costs of literals, match lengths and position slots (extra bits included).
struct CostModel {
    uint32_t literal[256];
    uint32_t length[MaxMatch + 1];
    uint32_t slot[32];

    void SetDefaults();
    void SetFromCodes(const BlockCodes& codes, int positionCodeCount);
};

// Parses [position, stretchEnd) of `buffer` (data up to `end`) and appends the symbols.
// Returns where the next stretch begins: the lazy parser may finish a match past
// stretchEnd; the optimal one stops exactly there.
uint32_t ParseLazy(MatchFinder& finder, const uint8_t* buffer, uint32_t position, uint32_t stretchEnd,
                   uint32_t end, const ParserSettings& settings, std::vector<LzSymbol>& out);

class OptimalParser {
public:
    explicit OptimalParser(const MethodShape& shape) : shape_(shape) { model_.SetDefaults(); }
    uint32_t Parse(MatchTree& finder, const uint8_t* buffer, uint32_t position, uint32_t stretchEnd,
                   uint32_t end, const ParserSettings& settings, std::vector<LzSymbol>& out);

    // Parses [from, to) of the stretch last parsed (offsets from its start) again, priced
    // by the codes of the block that covers it, and appends the symbols.
    void Reparse(const uint8_t* buffer, uint32_t position, uint32_t from, uint32_t to, const BlockCodes& codes,
                 std::vector<LzSymbol>& out);

private:
    void FindMatches(MatchTree& finder, const uint8_t* buffer, uint32_t position, uint32_t count,
                     uint32_t end, const ParserSettings& settings);
    void CheapestPath(const uint8_t* buffer, uint32_t position, uint32_t from, uint32_t to, const CostModel& model);
    void Emit(const uint8_t* buffer, uint32_t position, uint32_t from, uint32_t to, std::vector<LzSymbol>& out) const;

    MethodShape shape_;
    CostModel model_;
    bool modelFromData_ = false;
    std::vector<uint32_t> matchStart_;       // per position, index into matches_
    std::vector<MatchCandidate> matches_;
    std::vector<uint32_t> cost_;             // bits from a position to the stretch end
    std::vector<MatchCandidate> choice_;     // length 1: literal
};
