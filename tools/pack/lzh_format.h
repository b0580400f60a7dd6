// The -lh5-/-lh6-/-lh7- stream as the encoder sees it: symbols, alphabets and limits.
#pragma once
#include <cstdint>

constexpr int CharCodeCount = 510;   // 0-255 literals, 256-509 match lengths 3-256
constexpr int MinMatch = 3;
constexpr int MaxMatch = 256;
constexpr int MatchCodeBase = 253;   // code = length + 253
constexpr int PreTreeCount = 19;     // 0-2 runs of zero lengths, 3-18 lengths 1-16
constexpr int MaxCodeLength = 16;
constexpr uint32_t MaxBlockSymbols = 65535;  // the block size field is 16 bits

// One parsed symbol: a literal (code < 256) or a match whose distance less one is
// `position`.
struct LzSymbol {
    uint16_t code;
    uint16_t position;
};

inline LzSymbol Literal(uint8_t byte) { return {byte, 0}; }
inline LzSymbol Match(uint32_t length, uint32_t distance) {
    return {static_cast<uint16_t>(length + MatchCodeBase), static_cast<uint16_t>(distance - 1)};
}

// Position slot of a distance less one: 0 for 0, else its bit length; slot j >= 2 is
// followed by j - 1 extra bits.
inline int PositionSlot(uint32_t position) { return position ? 32 - __builtin_clz(position) : 0; }

struct MethodShape {
    int dictionaryBits;
    int positionCodeCount;
    int positionCountBits;
};

// -lh5-: 13 bits, -lh6-: 15, -lh7-: 16.
inline MethodShape ShapeForDictionary(int dictionaryBits) {
    if (dictionaryBits <= 14) return {dictionaryBits, 14, 4};
    return {dictionaryBits, dictionaryBits == 16 ? 17 : 16, 5};
}
