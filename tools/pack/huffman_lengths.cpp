// Huffman code lengths by the two-queue method over sorted leaves, then limited to
// maxLength by moving leaves down while keeping the Kraft sum exact.
#include "tools/pack/huffman_lengths.h"

#include <algorithm>

namespace {

struct Leaf {
    uint32_t freq;
    int symbol;
};

constexpr size_t MaxSymbols = 512;

// Depth of each sorted leaf in a Huffman tree over ascending frequencies.
void LeafDepths(const Leaf* leaves, size_t n, int* depth) {
    uint64_t weight[2 * MaxSymbols];
    size_t parent[2 * MaxSymbols];
    for (size_t i = 0; i < n; ++i) weight[i] = leaves[i].freq;
    size_t leaf = 0, node = n;
    auto takeSmallest = [&](size_t built) {
        if (leaf < n && (node >= built || weight[leaf] <= weight[node])) return leaf++;
        return node++;
    };
    for (size_t k = n; k < 2 * n - 1; ++k) {
        size_t a = takeSmallest(k);
        size_t b = takeSmallest(k);
        weight[k] = weight[a] + weight[b];
        parent[a] = parent[b] = k;
    }
    int nodeDepth[2 * MaxSymbols];
    nodeDepth[2 * n - 2] = 0;
    for (size_t k = 2 * n - 2; k-- > 0;) nodeDepth[k] = nodeDepth[parent[k]] + 1;
    for (size_t i = 0; i < n; ++i) depth[i] = nodeDepth[i];
}

}  // namespace

int BuildCodeLengths(const uint32_t* freqs, int count, int maxLength, uint8_t* lengths) {
    // Sorted by frequency, then symbol: one 64-bit key each sorts faster than pairs.
    uint64_t keys[MaxSymbols];
    size_t n = 0;
    for (int s = 0; s < count && s < int(MaxSymbols); ++s) {
        lengths[s] = 0;
        if (freqs[s]) keys[n++] = uint64_t(freqs[s]) << 16 | uint32_t(s);
    }
    if (n < 2) return static_cast<int>(n);
    std::sort(keys, keys + n);
    Leaf leaves[MaxSymbols];
    for (size_t i = 0; i < n; ++i) leaves[i] = {uint32_t(keys[i] >> 16), int(keys[i] & 0xFFFF)};

    int depth[MaxSymbols];
    LeafDepths(leaves, n, depth);
    uint32_t lengthCount[2 * MaxSymbols] = {};
    for (size_t i = 0; i < n; ++i) ++lengthCount[std::min(depth[i], maxLength)];

    // Leaves cut to maxLength overfill the code; each round takes one leaf from the
    // deepest level and pairs it with a shallower leaf pushed one level down, which
    // lowers the Kraft sum (in units of 2^-maxLength) by exactly one.
    uint64_t kraft = 0;
    for (int len = 1; len <= maxLength; ++len) kraft += uint64_t(lengthCount[len]) << (maxLength - len);
    while (kraft > (uint64_t(1) << maxLength)) {
        --lengthCount[maxLength];
        for (int len = maxLength - 1; len > 0; --len) {
            if (lengthCount[len]) {
                --lengthCount[len];
                lengthCount[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }

    // Shortest codes to the most frequent symbols: leaves are sorted ascending.
    size_t leaf = n;
    for (int len = 1; len <= maxLength; ++len)
        for (uint32_t k = 0; k < lengthCount[len]; ++k) lengths[leaves[--leaf].symbol] = static_cast<uint8_t>(len);
    return static_cast<int>(n);
}

void MakeCanonicalCodes(const uint8_t* lengths, int count, uint16_t* codes) {
    uint32_t lengthCount[17] = {};
    for (int s = 0; s < count; ++s) ++lengthCount[lengths[s]];
    lengthCount[0] = 0;
    uint32_t next[18] = {};
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        code = (code + lengthCount[len - 1]) << 1;
        next[len] = code;
    }
    for (int s = 0; s < count; ++s) codes[s] = lengths[s] ? static_cast<uint16_t>(next[lengths[s]]++) : 0;
}
