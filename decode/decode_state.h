// DecodeState: the one record that holds all decoding state. Static storage, every
// field zero at start except keepRunning. One member is decoded at a time.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/front_end.h"

class FileHandle;

// Why a member's decoding stopped early, beside an abort (the CRC cannot tell).
enum class DecodeFailure : uint8_t { None, WriteFailed, NoInputBuffer, NoWindow };

struct DecodeState {
    // Input buffer and bit reader.
    FileHandle* inputFile = nullptr;
    uint8_t* inputBuffer = nullptr;
    uint32_t inputBufferSize = 0;
    uint32_t inputPosition = 0;
    uint32_t packedRemaining = 0;
    uint16_t bitBuffer = 0;      // next 16 bits of the stream, next bit on top
    uint8_t pendingByte = 0;
    uint8_t pendingBits = 0;

    // CRC-16 and output.
    uint16_t crcTable[256] = {};
    uint16_t crc = 0;
    DecodeFailure failure = DecodeFailure::None;
    uint32_t failureCode = 0;    // system error code of a failed write

    // Progress.
    WindowHandle progressBar = nullptr;
    uint32_t progressTotal = 0;
    uint32_t progressBase = 0;
    uint32_t lastPercent = 0;
    std::atomic<uint32_t> keepRunning{1};  // the abort button clears it; never set back

    // Window driver.
    uint16_t dictionaryBits = 0;
    uint8_t* window = nullptr;
    uint32_t windowPosition = 0;
    uint32_t originalSize = 0;
    uint32_t decodedCount = 0;

    // Method decoders add their fields below.
};

extern DecodeState decodeState;
