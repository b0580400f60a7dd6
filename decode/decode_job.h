// DecodeJob: one compressed member on its way through the sliding window.
#pragma once
#include <cstdint>

#include "decode/method_id.h"

class FileHandle;

// Room behind the window into which a match may run before the window is written (a
// match is at most 256 bytes).
constexpr uint32_t WindowSlack = 256;

struct DecodeJob {
    uint32_t dictionarySize = 0;       // 1 << dictionaryBits; set by Run
    uint16_t (*decodeChar)() = nullptr;
    uint16_t (*decodePosition)() = nullptr;
    void (*start)(FileHandle& input) = nullptr;
    FileHandle* inputFile = nullptr;   // the package, standing at the packed data
    FileHandle* outputFile = nullptr;
    uint64_t originalSize = 0;
    uint64_t packedSize = 0;
    uint32_t dictionaryBits = 0;
    MethodId method = MethodUnknown;

    // Decodes the whole member; the outcome shows in decodeState (crc, failure, keepRunning).
    void Run();
};
