// -lh1- and -lh2-: literal/length codes through the adaptive tree, updated after every
// code. -lh1-: 314 symbols, no escape, grouped fixed position code. -lh2-: 286 symbols,
// symbol 285 followed by 8 extra bits (lengths 32 to 287), adaptive position tree.
#include "decode/adaptive_tree.h"
#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/make_decode_table.h"
#include "decode/method_table.h"

void StartLh1(FileHandle& input) {
    DecodeState& s = decodeState;
    s.charSymbolCount = 314;
    s.longestMatch = 60;
    InitBitInput(input);
    s.positionGroupCount = 64;
    InitCharTree();
    BuildFixedPositionLengths(0);
    MakeDecodeTable(64, s.ptLengths, PtTableBits, s.ptTable);
}

void StartLh2(FileHandle& input) {
    DecodeState& s = decodeState;
    s.charSymbolCount = 286;
    s.longestMatch = 256;
    InitBitInput(input);
    InitCharTree();
    InitPositionTree();
}

uint16_t DecodeCharAdaptive() {
    const uint16_t symbol = WalkAdaptiveTree(CharRootSlot);
    UpdateCharTree(symbol);  // the escape itself counts, before its extra bits
    if (symbol == decodeState.escapeCode) return static_cast<uint16_t>(symbol + GetBits(8));
    return symbol;
}
