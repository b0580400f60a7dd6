// The -lh5-/-lh6-/-lh7- encoder: reads a member through a callback, parses it over a
// sliding window and writes static Huffman blocks through another callback.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

enum class EncodeLevel { Fast, Default, Best };

struct EncodeSettings {
    int dictionaryBits = 16;  // 13: -lh5-, 15: -lh6-, 16: -lh7-
    EncodeLevel level = EncodeLevel::Default;
};

// Reads up to n bytes; returns the count (0 at the end) or -1 on a failed read.
using ReadFunction = std::function<int64_t(uint8_t* buffer, size_t n)>;
// Writes n bytes; false on a failed write.
using WriteFunction = std::function<bool(const uint8_t* bytes, size_t n)>;

struct EncodeResult {
    bool readFailed = false;
    bool writeFailed = false;
    uint64_t originalSize = 0;
    uint64_t packedSize = 0;
    uint16_t crc = 0;  // CRC-16 of the bytes read
};

EncodeResult EncodeStream(const EncodeSettings& settings, const ReadFunction& read, const WriteFunction& write);

// The packed stream of a whole buffer.
std::vector<uint8_t> EncodeBuffer(const EncodeSettings& settings, const uint8_t* data, size_t size);
