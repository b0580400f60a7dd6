// The window loop of DecodeJob::Run, made fast: one instance serves every method, with
// the decoding of -lh1- and -lh4- to -lh7- inlined over a wide local bit buffer. Writes
// exactly what the plain loop writes, stops at the same flushes and sends the same
// progress values.
//
// Codes supplies:
//   void Refill()        makes room for the next symbol's bits;
//   uint32_t Char()      the next literal (0-255) or match code (length + matchAdjust);
//                        may refill on its own;
//   uint32_t matchAdjust what a match code is above its length;
//   uint32_t Distance(position, done)
//                        the match's distance, 1 to the window size, given the window
//                        position and the bytes decoded so far; may refill;
//   bool RanDry()        whether the packed data has run dry (StreamRanDry);
//   void Save()          hands its own state back to decodeState when the loop ends.
#pragma once
#include <cstdint>
#include <cstring>

#include "decode/bit_access.h"
#include "decode/crc16.h"
#include "decode/decode_job.h"
#include "decode/decode_state.h"
#include "decode/progress.h"

namespace window_loop {

// A match that wraps neither its source nor its target in the window, with the result
// of a byte-by-byte forward copy: 8 bytes at a time when source and target lie 8 bytes
// or more apart, so that no chunk reads what it writes.
inline void CopyInWindow(uint8_t* to, const uint8_t* from, uint32_t length) {
    size_t gap = to > from ? static_cast<size_t>(to - from) : static_cast<size_t>(from - to);
    if (gap < 8 || length < 8) {
        if (gap == 1 && to > from) {
            memset(to, *from, length);
            return;
        }
        for (uint32_t k = 0; k < length; ++k) to[k] = from[k];
        return;
    }
    uint32_t k = 0;
    for (; k + 8 <= length; k += 8) memcpy(to + k, from + k, 8);
    if (k < length) memcpy(to + length - 8, from + length - 8, 8);
}

// Writes the full window; false when the write failed or the packed data has run dry, so
// that a member whose header claims far more than its data holds stops within a window
// (the plain loop stops at the same flush).
template <class Codes>
inline bool FlushWindow(DecodeJob& job, Codes& codes) {
    return WriteWithCrc(decodeState.window, job.dictionarySize, *job.outputFile) && !codes.RanDry();
}

template <class Codes>
bool Run(DecodeJob& job, Codes& codes) {
    DecodeState& s = decodeState;
    uint8_t* const window = s.window;
    const uint32_t size = job.dictionarySize;
    const uint32_t mask = size - 1;
    const uint64_t originalSize = job.originalSize;
    uint32_t position = s.windowPosition;
    uint64_t done = s.decodedCount;
    uint64_t nextProgress = NextProgressCheck(s.decodedCount);
    uint64_t nextStop = nextProgress < originalSize ? nextProgress : originalSize;
    // Hands the loop's state back to decodeState.
    auto leave = [&](bool finished) {
        s.windowPosition = position;
        s.decodedCount = done;
        codes.Save();
        return finished;
    };

    for (;;) {
        codes.Refill();
        uint32_t c = codes.Char();
        if (c < 256) {
            window[position++] = static_cast<uint8_t>(c);
            done += 1;
            if (position == size) {
                position = 0;
                if (!FlushWindow(job, codes)) return leave(false);
            }
        } else {
            uint32_t length = c - codes.matchAdjust;
            uint32_t from = (position - codes.Distance(position, done)) & mask;
            if (length > originalSize - done) length = static_cast<uint32_t>(originalSize - done);  // damaged stream
            done += length;
            if (position + length <= size && from + length <= size) {
                CopyInWindow(window + position, window + from, length);
                position += length;
                if (position == size) {
                    position = 0;
                    if (!FlushWindow(job, codes)) return leave(false);
                }
            } else {
                for (uint32_t k = 0; k < length; ++k) {
                    window[position++] = window[(from + k) & mask];
                    if (position == size) {
                        position = 0;
                        if (!FlushWindow(job, codes)) return leave(false);
                    }
                }
            }
        }
        if (done >= nextStop) {
            if (done >= nextProgress) {
                ReportProgress(done);
                nextProgress = NextProgressCheck(done);
            }
            nextStop = nextProgress < originalSize ? nextProgress : originalSize;
        }
        if (keepRunning.load(std::memory_order_relaxed) == 0) return leave(false);
        if (done >= originalSize) {
            codes.RanDry();  // the verdict for PackedDataRanOut(); a flush that stopped gave it already
            return leave(true);
        }
    }
}

}  // namespace window_loop
