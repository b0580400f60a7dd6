// The adaptive Huffman trees of -lh1- and -lh2- and the grouped position code that
// -lh1- shares with -lh3-. All state lives in decodeState.
#pragma once
#include <cstdint>

// Slot layout of the node arrays: the literal/length tree fills slots 0 .. 2n - 2 with its
// root in slot 0; the position tree of -lh2- grows from slot 628 up to slot 882.
constexpr int32_t CharRootSlot = 0;
constexpr int32_t PositionRootSlot = 628;
constexpr uint32_t PositionSymbolBase = 314;   // position group g is symbol 314 + g
constexpr uint32_t PositionGroupLimit = 128;
constexpr uint32_t PositionGroupBytes = 64;    // bytes per group, also the raw low bits
constexpr uint32_t PositionRawBits = 6;
constexpr uint16_t RebuildWeight = 32768;
constexpr uint16_t SaturatedRootWeight = 0xFFFF;
constexpr uint32_t NoEscape = 512;

// Tier ids: a tier is a run of slots of one weight; ids come from decodeState.freeTiers.
uint16_t TakeTier();

// Literal/length tree.
void InitCharTree();
uint16_t WalkAdaptiveTree(int32_t root);   // the symbol reached; consumes its code
intptr_t IncrementNode(intptr_t slot);     // returns the slot to continue with
void UpdateCharTree(uint32_t symbol);
void RebuildTree(int32_t first, int32_t end);

// Position tree (-lh2-).
void InitPositionTree();
void AddPositionLeaf(uint32_t group);
void UpdatePositionTree(uint32_t group);

// Grouped position code (-lh1-: table 0, 64 groups; -lh3-: table 1, 128 groups).
void BuildFixedPositionLengths(uint32_t table);
