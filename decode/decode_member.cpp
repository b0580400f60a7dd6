// DecodeMember and the sliding-window loop shared by every compressed method.
//
// Symbols are literals (0-255) or match codes; a match copies its length in bytes from
// distance (position + 1) behind the write position, byte by byte, so it may overlap
// what it produces. Whole windows go to the output as they fill, the rest at the end.
#include "decode/decode_member.h"

#include <cstdlib>
#include <cstring>

#include "platform/file_handle.h"
#include "decode/bit_input.h"
#include "decode/crc16.h"
#include "decode/decode_job.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"
#include "decode/progress.h"
#include "decode/static_huffman.h"

namespace {

// Window size (as a power of two) of each compressed method, by MethodId.
constexpr uint8_t MethodDictionaryBits[10] = {0, 12, 13, 13, 12, 13, 15, 16, 11, 12};

bool fastLoops = true;

// The plain loop's operations for -lh4- to -lh7-, set only by UseFastLoops, with
// which tests, fuzzing and benchmarks compare the two loops: the stub never turns the
// fast loop off, so it does not carry them.
MethodDecoder plainStaticDecoder = {};

// Stores one byte; false when a full window could not be written, or when the packed
// data has run dry by then (a damaged header must not make us write its claimed size).
inline bool PutByte(DecodeJob& job, uint8_t byte) {
    DecodeState& s = decodeState;
    s.window[s.windowPosition++] = byte;
    if (s.windowPosition != job.dictionarySize) return true;
    s.windowPosition = 0;
    return WriteWithCrc(s.window, job.dictionarySize, *job.outputFile) && !StreamRanDry();
}

}  // namespace

bool FastLoopsOn() { return fastLoops; }

bool RunPlainWindowLoop(DecodeJob& job) {
    DecodeState& s = decodeState;
    const uint32_t mask = job.dictionarySize - 1;
    const uint32_t matchAdjust = job.method == MethodLzs ? 254 : 253;
    uint64_t done = 0;
    do {
        uint32_t c = job.decodeChar();
        if (c <= 255) {
            if (!PutByte(job, static_cast<uint8_t>(c))) return false;
            done += 1;
        } else {
            uint32_t length = c - matchAdjust;
            uint32_t from = (s.windowPosition - job.decodePosition() - 1) & mask;
            // A damaged stream may carry its last match past the member's end: the file
            // still gets exactly the size the header states.
            if (length > job.originalSize - done) length = static_cast<uint32_t>(job.originalSize - done);
            done += length;
            for (uint32_t k = 0; k < length; ++k) {
                if (!PutByte(job, s.window[(from + k) & mask])) return false;
            }
        }
        s.decodedCount = done;
        ReportProgress(done);
        if (keepRunning.load(std::memory_order_relaxed) == 0) return false;
    } while (done < job.originalSize);
    StreamRanDry();  // the verdict for PackedDataRanOut(); a flush that stopped gave it already
    return true;
}

void UseFastLoops(bool on) {
    fastLoops = on;
    // One field at a time: a copy of a whole initialiser would be kept in the data section,
    // where it would pull these functions into every program again.
    plainStaticDecoder.decodeChar = DecodeCharStatic;
    plainStaticDecoder.decodePosition = DecodePositionStatic;
    plainStaticDecoder.start = StartStatic;
}

void DecodeJob::Run() {
    DecodeState& s = decodeState;
    s.dictionaryBits = static_cast<uint16_t>(dictionaryBits);
    s.originalSize = originalSize;
    s.packedRemaining = packedSize;
    bool staticMethod = IsStaticMethod(method);
    const MethodDecoder& ops = staticMethod && !fastLoops ? plainStaticDecoder : MethodDecoderTable[method];
    decodeChar = ops.decodeChar;
    decodePosition = ops.decodePosition;
    start = ops.start;
    s.crc = 0;
    bool ownSymbols = fastLoops && (staticMethod || method == MethodLh1);  // the fast loop decodes its own
    if (!start || (!ownSymbols && (!decodeChar || !decodePosition))) return;  // no decoder: the CRC check fails

    dictionarySize = 1u << dictionaryBits;
    s.window = static_cast<uint8_t*>(malloc(dictionarySize + WindowSlack));
    if (!s.window) {
        s.failure = DecodeFailure::NoWindow;
        return;
    }
    if (!WindowLoopStartsItsOwnHistory(*this)) memset(s.window, ' ', dictionarySize);
    if (AllocInputBuffer(*inputFile, packedSize)) {
        start(*inputFile);
        s.decodedCount = 0;
        s.windowPosition = 0;
        bool finished = true;
        if (originalSize != 0) {
            finished = RunWindowLoop(*this);
        }
        if (finished && s.windowPosition != 0) WriteWithCrc(s.window, s.windowPosition, *outputFile);
        FreeInputBuffer();
    }
    free(s.window);
    s.window = nullptr;
}

uint32_t DecodeMember(FileHandle& input, FileHandle* output, uint64_t originalSize, uint64_t packedSize,
                      MethodId method) {
    decodeState.crc = 0;
    if (method == MethodLh0 || method == MethodLz4) {
        // Read for exactly its packed size, never into the next header; stored data that
        // is not as long as the member is damaged.
        CopyStored(input, output, packedSize < originalSize ? packedSize : originalSize);
        decodeState.packedDataRanOut = packedSize != originalSize;
        return decodeState.crc;
    }
    if (method >= MethodLz4 || !output) return decodeState.crc;

    DecodeJob job;
    job.inputFile = &input;
    job.outputFile = output;
    job.originalSize = originalSize;
    job.packedSize = packedSize;
    job.dictionaryBits = MethodDictionaryBits[method];
    job.method = method;
    job.Run();
    return decodeState.crc;
}
