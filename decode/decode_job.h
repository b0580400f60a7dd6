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

// The window loop a program carries, for every compressed method: the stub's small fast
// loop (fast_loop_small.cpp), or in the host tool the wide one for -lh4- to -lh7- and the
// plain one when fast loops are off (fast_loop_wide.cpp). False when a write failed, the
// packed data ran dry or the run was aborted.
bool RunWindowLoop(DecodeJob& job);
// Whether RunWindowLoop decodes the job in a buffer of its own, which starts out as a
// window of spaces does: then the ring window need not be filled first.
bool WindowLoopStartsItsOwnHistory(const DecodeJob& job);

// One symbol at a time through the method's operations, what the fast loops must match.
bool RunPlainWindowLoop(DecodeJob& job);
bool FastLoopsOn();  // UseFastLoops
