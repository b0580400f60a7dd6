// MethodId: the index of a method id in the fixed table "-lh0-" ... "-lhd-"; the decoders
// are chosen by it.
#pragma once
#include <cstdint>

enum MethodId : uint32_t {
    MethodLh0, MethodLh1, MethodLh2, MethodLh3, MethodLh4, MethodLh5, MethodLh6,
    MethodLh7, MethodLzs, MethodLz5, MethodLz4, MethodLhd, MethodCount,
    MethodUnknown = 0xFFFFFFFF,
};

// -lh4- to -lh7-: static Huffman blocks, which the fast loops decode themselves.
constexpr bool IsStaticMethod(MethodId method) { return method >= MethodLh4 && method <= MethodLh7; }
