// DecodeState: the record that holds all decoding state, one per thread that decodes
// (the stub has one worker; the host tool may decode ahead on a second thread). Static
// storage, every field zero at start. A thread decodes one member at a time.
#pragma once
#include <atomic>
#include <cstdint>


class FileHandle;

constexpr uint32_t CharAlphabetSize = 510;     // literals and match lengths 3..256
constexpr uint32_t CharTableBits = 12;
constexpr uint32_t PtTableBits = 8;
constexpr uint32_t PtLengthsSize = 128;
constexpr uint32_t TreeNodeCount = 2 * CharAlphabetSize - 1;  // every tree of a complete code
constexpr uint32_t AdaptiveSlotCount = 884;    // 628 literal/length slots + 256 position slots
constexpr uint32_t AdaptiveSymbolCount = 442;  // 314 literal/length symbols + 128 position groups

// Why a member's decoding stopped early, beside an abort (the CRC cannot tell).
enum class DecodeFailure : uint8_t { None, WriteFailed, NoInputBuffer, NoWindow };

struct DecodeState {
    // Input buffer and bit reader.
    FileHandle* inputFile = nullptr;
    uint8_t* inputBuffer = nullptr;
    uint32_t inputBufferCapacity = 0;  // bytes allocated
    uint32_t inputBufferSize = 0;      // bytes of the member's packed data in the buffer
    uint32_t inputPosition = 0;
    uint64_t packedRemaining = 0;
    bool packedDataRanOut = false;  // PackedDataRanOut(), bit_input.h
    uint32_t bytesPastEnd = 0;      // zero bytes handed out beyond the packed data
    uint16_t bitBuffer = 0;      // next 16 bits of the stream, next bit on top
    uint8_t pendingByte = 0;
    uint8_t pendingBits = 0;

    // CRC-16 and output.
    uint16_t crcTable[256] = {};
    uint16_t crc = 0;
    DecodeFailure failure = DecodeFailure::None;
    uint32_t failureCode = 0;    // system error code of a failed write

    // Progress.
    void (*showPercent)(void* context, uint32_t percent) = nullptr;  // see ConnectProgress
    void* progressContext = nullptr;
    uint64_t progressTotal = 0;
    uint64_t progressBase = 0;
    uint32_t lastPercent = 0;

    // Window driver.
    uint16_t dictionaryBits = 0;
    uint8_t* window = nullptr;
    uint32_t windowPosition = 0;
    uint64_t originalSize = 0;
    uint64_t decodedCount = 0;

    // Static Huffman (-lh4- to -lh7-); the tables are shared with -lh1- and -lh3-.
    uint16_t blockRemaining = 0;
    int32_t positionCodeCount = 0;
    int32_t positionCountBits = 0;
    uint8_t charLengths[CharAlphabetSize] = {};
    uint16_t charTable[1 << CharTableBits] = {};
    uint8_t ptLengths[PtLengthsSize] = {};
    uint16_t ptTable[1 << PtTableBits] = {};
    uint16_t zeroChild[TreeNodeCount] = {};
    uint16_t oneChild[TreeNodeCount] = {};

    // Adaptive Huffman (-lh1-, -lh2-).
    uint16_t treeWeight[AdaptiveSlotCount] = {};
    int16_t treeChild[AdaptiveSlotCount] = {};
    int16_t treeParent[AdaptiveSlotCount] = {};
    int16_t leafOfSymbol[AdaptiveSymbolCount] = {};
    uint16_t tierOf[AdaptiveSlotCount] = {};
    int16_t tierHead[AdaptiveSlotCount] = {};
    uint16_t freeTiers[AdaptiveSlotCount] = {};
    uint32_t freeTierTop = 0;
    uint32_t charSymbolCount = 0;
    uint16_t longestMatch = 0;
    uint32_t escapeCode = 0;
    uint32_t lastPositionSlot = 0;
    uint16_t positionTotal = 0;
    uint32_t nextGrowthAt = 0;
    uint32_t positionLimit = 0;
    uint32_t positionGroupCount = 0;

    // -lh3-.
    uint16_t lh3BlockRemaining = 0;

    // -lzs-, -lz5-.
    uint32_t matchAddress = 0;
    uint32_t flagByte = 0;
    uint32_t flagBitsLeft = 0;
};

// KAVI_DECODE_STATE_STORAGE comes from the build: thread_local where a second thread may
// decode (the host tool), nothing in the stub.
extern KAVI_DECODE_STATE_STORAGE constinit DecodeState decodeState;

// 1 from start-up on, for every thread; the abort button, Ctrl-C or the end of a run
// clears it (never set back). Set at run time rather than by an initialiser, so that it
// stays in zero-filled storage and costs the stub no file space; see decode_state.cpp.
extern std::atomic<uint32_t> keepRunning;
