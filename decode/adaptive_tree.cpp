// Adaptive Huffman trees of -lh1- and -lh2-: coder and decoder start from the same tree
// and add one to the weight of each symbol they pass, so no tree is ever sent.
//
// Slots hold nodes in order of non-increasing weight. An internal node's children are the
// slots c and c - 1 (c = treeChild; a 0 bit takes c, a 1 bit c - 1); a leaf holds ~symbol.
// A tier is a run of slots of one weight; tierHead gives its lowest slot. Incrementing a
// node first exchanges it with the head of its tier, which keeps the order without sorting.
//
// Why no index leaves its array, whatever the packed bits: the bits only choose which leaf
// a walk reaches. The updates move whole subtrees between slots of the same tree, so
// treeChild always names slots of that tree above the parent (or a symbol below its count)
// and every walk ends. Weights stay positive in the literal/length tree and only the newest
// position leaf can weigh 0 (until its first update), so a node never shares a tier with its
// own parent and an exchange never moves a node below an ancestor. Live tiers never
// outnumber the slots in use (627 + 255), so the tier stack, whose entry 0 is never handed
// out, stays within its 884 entries.
#include "decode/adaptive_tree.h"

#include <utility>

#include "decode/bit_input.h"
#include "decode/decode_state.h"

uint16_t TakeTier() {
    DecodeState& s = decodeState;
    return s.freeTiers[s.freeTierTop++];
}

static void ReleaseTier(uint16_t tier) {
    DecodeState& s = decodeState;
    s.freeTiers[--s.freeTierTop] = tier;
}

// Points the back-links of the contents of `slot` (a leaf or a node's children) at it.
static void LinkContents(intptr_t slot) {
    DecodeState& s = decodeState;
    const intptr_t c = s.treeChild[slot];
    if (c < 0) {
        s.leafOfSymbol[~c] = static_cast<int16_t>(slot);
    } else {
        s.treeParent[c] = static_cast<int16_t>(slot);
        s.treeParent[c - 1] = static_cast<int16_t>(slot);
    }
}

void InitCharTree() {
    DecodeState& s = decodeState;
    const int32_t n = static_cast<int32_t>(s.charSymbolCount);
    s.escapeCode = s.charSymbolCount >= s.longestMatch + 254u ? NoEscape : s.charSymbolCount - 1;
    // All slots and stack entries, the position tree's too, so that nothing of an earlier
    // member shows through: a slot with tier id 0 never matches a live tier.
    for (uint32_t i = 0; i < AdaptiveSlotCount; ++i) {
        s.tierOf[i] = 0;
        s.freeTiers[i] = static_cast<uint16_t>(i);
    }
    for (int32_t symbol = 0; symbol < n; ++symbol) {
        const int32_t j = 2 * n - 2 - symbol;
        s.treeWeight[j] = 1;
        s.treeChild[j] = static_cast<int16_t>(~symbol);
        s.tierOf[j] = 1;
        s.leafOfSymbol[symbol] = static_cast<int16_t>(j);
    }
    s.freeTierTop = 2;
    s.tierHead[1] = static_cast<int16_t>(n - 1);
    for (int32_t j = n - 2; j >= 0; --j) {
        s.treeChild[j] = static_cast<int16_t>(2 * j + 2);
        s.treeWeight[j] = static_cast<uint16_t>(s.treeWeight[2 * j + 2] + s.treeWeight[2 * j + 1]);
        s.treeParent[2 * j + 2] = static_cast<int16_t>(j);
        s.treeParent[2 * j + 1] = static_cast<int16_t>(j);
        s.tierOf[j] = s.treeWeight[j] == s.treeWeight[j + 1] ? s.tierOf[j + 1] : TakeTier();
        s.tierHead[s.tierOf[j]] = static_cast<int16_t>(j);
    }
}

uint16_t WalkAdaptiveTree(int32_t root) {
    DecodeState& s = decodeState;
    int32_t c = s.treeChild[root];
    uint32_t bits = s.bitBuffer;
    uint32_t steps = 0;
    while (c >= 0) {
        if (steps == 16) {  // adaptive codes can be longer than the look-ahead
            FillBits(16);
            bits = s.bitBuffer;
            steps = 0;
        }
        c = s.treeChild[c - static_cast<int32_t>((bits >> (15 - steps)) & 1)];
        ++steps;
    }
    if (steps) FillBits(steps);
    return static_cast<uint16_t>(~c);
}

// A slot heads its tier when the slot before it (the parent's tier at the latest, or the
// position root's saturated weight) is heavier: the weights decide that without waiting
// for the tier's head, which is looked up only for an exchange.
// Slots are pointer-wide here: the walk up the tree then loads each parent without
// widening it first.
intptr_t IncrementNode(intptr_t p) {
    DecodeState& s = decodeState;
    const uint16_t tier = s.tierOf[p];
    bool leavesFront;
    if (s.treeWeight[p - 1] == s.treeWeight[p]) {
        const intptr_t head = s.tierHead[tier];
        std::swap(s.treeChild[p], s.treeChild[head]);  // equal weights: only contents move
        LinkContents(p);
        LinkContents(head);
        p = head;
        leavesFront = true;
    } else {
        leavesFront = s.tierOf[p + 1] == tier;
    }
    s.treeWeight[p] = static_cast<uint16_t>(s.treeWeight[p] + 1);
    const bool joinsAbove = s.treeWeight[p] == s.treeWeight[p - 1];
    if (leavesFront) {
        s.tierHead[tier] = static_cast<int16_t>(s.tierHead[tier] + 1);
        if (joinsAbove) {
            s.tierOf[p] = s.tierOf[p - 1];
        } else {
            s.tierOf[p] = TakeTier();
            s.tierHead[s.tierOf[p]] = static_cast<int16_t>(p);
        }
    } else if (joinsAbove) {  // alone in its tier: the id goes back to the stack
        ReleaseTier(tier);
        s.tierOf[p] = s.tierOf[p - 1];
    }
    return s.treeParent[p];
}

void UpdateCharTree(uint32_t symbol) {
    DecodeState& s = decodeState;
    if (s.treeWeight[CharRootSlot] == RebuildWeight)
        RebuildTree(CharRootSlot, static_cast<int32_t>(2 * s.charSymbolCount - 1));
    s.treeWeight[CharRootSlot] = static_cast<uint16_t>(s.treeWeight[CharRootSlot] + 1);
    intptr_t q = s.leafOfSymbol[symbol];
    do {
        q = IncrementNode(q);
    } while (q != CharRootSlot);
}

static void MoveSlot(int32_t from, int32_t to) {
    DecodeState& s = decodeState;
    s.treeWeight[to] = s.treeWeight[from];
    s.treeChild[to] = s.treeChild[from];
}

// Rebuilds slots first .. end - 1 from their leaves with halved weights (rounded up).
// The bounds on j, k and l are never reached by a well-formed tree of two leaves or more;
// they keep every index inside [first, end) all the same.
void RebuildTree(int32_t first, int32_t end) {
    DecodeState& s = decodeState;
    int32_t j = first;
    for (int32_t slot = first; slot < end; ++slot) {
        if (s.tierHead[s.tierOf[slot]] == slot) ReleaseTier(s.tierOf[slot]);
        if (s.treeChild[slot] < 0) {
            s.treeWeight[j] = static_cast<uint16_t>((s.treeWeight[slot] + 1) / 2);
            s.treeChild[j] = s.treeChild[slot];
            ++j;
        }
    }
    --j;  // the lightest leaf

    // Fill from the last slot down. Each new node takes slots k + 1 and k, already filled,
    // as its children; the leaves not heavier than it (equal weights included) take the
    // slots after it, so a leaf follows a node of the same weight.
    int32_t i = end - 1;
    int32_t k = end - 2;
    while (i >= first && k > first) {
        for (; i >= k && j >= first; --i, --j) MoveSlot(j, i);
        const uint16_t weight = static_cast<uint16_t>(s.treeWeight[k] + s.treeWeight[k + 1]);
        int32_t l = first;
        while (l <= j && weight < s.treeWeight[l]) ++l;
        for (; j >= l && i > j; --i, --j) MoveSlot(j, i);
        s.treeWeight[i] = weight;
        s.treeChild[i] = static_cast<int16_t>(k + 1);
        --i;
        k -= 2;
    }

    // Back-links and tiers, top down.
    uint16_t tier = 0;
    for (int32_t slot = first; slot < end; ++slot) {
        LinkContents(slot);
        if (slot == first || s.treeWeight[slot] != s.treeWeight[slot - 1]) {
            tier = TakeTier();
            s.tierHead[tier] = static_cast<int16_t>(slot);
        }
        s.tierOf[slot] = tier;
    }
}
