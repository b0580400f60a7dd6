#include "tools/pack/lz_parser.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr uint32_t UnusedCharCost = 14;
constexpr uint32_t UnusedSlotCost = 9;
// How far ahead of the walks their hash heads are fetched.
constexpr uint32_t PrefetchAhead = 8;

uint32_t BitLength(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }
uint32_t ExtraBits(int slot) { return slot > 1 ? slot - 1 : 0; }

}  // namespace

void CostModel::SetDefaults() {
    for (uint32_t& c : literal) c = 8;
    for (int len = 0; len <= MaxMatch; ++len) length[len] = 4 + BitLength(len > 2 ? len - 2 : 1);
    for (int slot = 0; slot < 32; ++slot) this->slot[slot] = 4 + ExtraBits(slot);
}

void CostModel::SetFromCodes(const BlockCodes& codes, int positionCodeCount) {
    auto charCost = [&](int code) -> uint32_t {
        if (codes.singleChar >= 0) return code == codes.singleChar ? 1 : UnusedCharCost;
        return codes.charLengths[code] ? codes.charLengths[code] : UnusedCharCost;
    };
    for (int c = 0; c < 256; ++c) literal[c] = charCost(c);
    for (int len = MinMatch; len <= MaxMatch; ++len) length[len] = charCost(len + MatchCodeBase);
    for (int s = 0; s < 32; ++s) {
        uint32_t bits = UnusedSlotCost;
        if (s < positionCodeCount) {
            if (codes.singlePosition >= 0)
                bits = s == codes.singlePosition ? 0 : UnusedSlotCost;
            else if (codes.positionLengths[s])
                bits = codes.positionLengths[s];
        }
        slot[s] = bits + ExtraBits(s);
    }
}

uint32_t ParseLazy(MatchFinder& finder, const uint8_t* buffer, uint32_t position, uint32_t stretchEnd,
                   uint32_t end, const ParserSettings& settings, std::vector<LzSymbol>& out) {
    auto worthIt = [&](const MatchCandidate& m) {
        return m.length > MinMatch || (m.length == MinMatch && m.distance <= settings.farThree);
    };
    auto find = [&](uint32_t at, uint32_t minLength) {
        MatchCandidate m = finder.FindLongest(buffer, at, end, MaxMatch, settings.maxChain,
                                              settings.niceLength, minLength);
        return worthIt(m) ? m : MatchCandidate{0, 0};
    };
    auto emitMatch = [&](uint32_t at, const MatchCandidate& m, uint32_t linkedUpTo) {
        out.push_back(Match(m.length, m.distance));
        for (uint32_t q = linkedUpTo; q < at + m.length; ++q) finder.Insert(buffer, q, end);
        return at + m.length;
    };

    uint32_t p = position;
    while (p < stretchEnd) {
        MatchCandidate current = find(p, MinMatch);
        if (current.length == 0) {
            out.push_back(Literal(buffer[p++]));
            continue;
        }
        // One step of lazy evaluation, repeated while the next position keeps winning.
        while (current.length < settings.lazyLength && p + 1 < end) {
            MatchCandidate next = find(p + 1, current.length + 1);
            if (next.length <= current.length) {
                p = emitMatch(p, current, p + 2);
                current.length = 0;
                break;
            }
            out.push_back(Literal(buffer[p++]));
            current = next;
        }
        if (current.length) p = emitMatch(p, current, p + 1);
    }
    return p;
}

uint32_t OptimalParser::Parse(MatchTree& finder, const uint8_t* buffer, uint32_t position, uint32_t stretchEnd,
                              uint32_t end, const ParserSettings& settings, std::vector<LzSymbol>& out) {
    const uint32_t count = stretchEnd - position;
    FindMatches(finder, buffer, position, count, end, settings);
    std::vector<LzSymbol> trial;
    // The first stretch has only guessed costs to start from: one more pass for it.
    const int passes = settings.passes + (modelFromData_ ? 0 : 1);
    modelFromData_ = true;
    for (int pass = 0; pass < passes; ++pass) {
        CheapestPath(buffer, position, 0, count, model_);
        trial.clear();
        Emit(buffer, position, 0, count, trial);
        // The next pass (and the next stretch) prices symbols by this parse's codes.
        model_.SetFromCodes(BuildBlockCodes(trial.data(), trial.size(), shape_), shape_.positionCodeCount);
    }
    out.insert(out.end(), trial.begin(), trial.end());
    return stretchEnd;
}

void OptimalParser::FindMatches(MatchTree& finder, const uint8_t* buffer, uint32_t position, uint32_t count,
                                uint32_t end, const ParserSettings& settings) {
    matchStart_.assign(count + 1, 0);
    matches_.clear();
    MatchCandidate found[MaxMatch + 1];
    uint32_t skip = 0;
    for (uint32_t i = 0; i < count; ++i) {
        matchStart_[i] = static_cast<uint32_t>(matches_.size());
        if (i + PrefetchAhead < count) finder.Prefetch(buffer, position + i + PrefetchAhead);
        if (skip) {
            // Inside a long match: link the position but look for nothing, which keeps
            // long runs from costing a full search at every byte.
            finder.Insert(buffer, position + i, end, settings.maxChain);
            --skip;
            continue;
        }
        int n = finder.FindAll(buffer, position + i, end, settings.maxChain, found);
        for (int k = 0; k < n; ++k)
            if (found[k].length > MinMatch || found[k].distance <= settings.farThree) matches_.push_back(found[k]);
        if (n && found[n - 1].length >= settings.skipLength) skip = found[n - 1].length - 1;
    }
    matchStart_[count] = static_cast<uint32_t>(matches_.size());
}

void OptimalParser::Reparse(const uint8_t* buffer, uint32_t position, uint32_t from, uint32_t to,
                            const BlockCodes& codes, std::vector<LzSymbol>& out) {
    CostModel model;
    model.SetFromCodes(codes, shape_.positionCodeCount);
    CheapestPath(buffer, position, from, to, model);
    Emit(buffer, position, from, to, out);
}

void OptimalParser::CheapestPath(const uint8_t* buffer, uint32_t position, uint32_t from, uint32_t to,
                                 const CostModel& model) {
    cost_.resize(matchStart_.size());
    choice_.resize(matchStart_.size());
    cost_[to] = 0;
    for (uint32_t i = to; i-- > from;) {
        uint32_t best = cost_[i + 1] + model.literal[buffer[position + i]];
        MatchCandidate bestChoice{1, 0};
        uint32_t length = MinMatch;
        const uint32_t room = to - i;
        const uint32_t* after = &cost_[i];
        for (uint32_t k = matchStart_[i]; k < matchStart_[i + 1] && length <= room; ++k) {
            const MatchCandidate m = matches_[k];
            const uint32_t longest = std::min<uint32_t>(m.length, room);
            // The cheapest length of this match first, then one test against the best.
            // Cost and length share one key (the shorter length wins a tie), so the
            // search has no branch to mispredict.
            uint64_t lowest = UINT64_MAX;
            for (; length <= longest; ++length)
                lowest = std::min(lowest, uint64_t(after[length] + model.length[length]) << 16 | length);
            if (lowest == UINT64_MAX) continue;
            const uint32_t lowestLength = lowest & 0xFFFF;
            lowest = (lowest >> 16) + model.slot[PositionSlot(m.distance - 1u)];
            if (lowest < best) {
                best = lowest;
                bestChoice = {static_cast<uint16_t>(lowestLength), m.distance};
            }
        }
        cost_[i] = best;
        choice_[i] = bestChoice;
    }
}

void OptimalParser::Emit(const uint8_t* buffer, uint32_t position, uint32_t from, uint32_t to,
                         std::vector<LzSymbol>& out) const {
    for (uint32_t i = from; i < to;) {
        const MatchCandidate c = choice_[i];
        if (c.length == 1) {
            out.push_back(Literal(buffer[position + i]));
            ++i;
        } else {
            out.push_back(Match(c.length, c.distance));
            i += c.length;
        }
    }
}
