// Stored members (-lh0-, -lz4-): copied through with their CRC.
#include <cstdlib>

#include "platform/file_handle.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/progress.h"
#include "platform/system.h"

namespace {
constexpr uint32_t ChunkSize = 2048;
}

// A chunk that was not read or written whole is not in the CRC, so a copy cut short
// fails the member's CRC check; a failed write also shows in decodeState.failure.
void CopyStored(FileHandle& input, FileHandle* output, uint64_t size) {
    DecodeState& s = decodeState;
    s.crc = 0;
    if (!output || size == 0) return;
    uint8_t* chunk = static_cast<uint8_t*>(malloc(ChunkSize));
    if (!chunk) return;
    uint64_t done = 0;
    uint64_t remaining = size;
    while (remaining > 0) {
        uint32_t length = remaining < ChunkSize ? static_cast<uint32_t>(remaining) : ChunkSize;
        if (input.Read(length, chunk) != length) break;
        if (!output->Write(chunk, length)) {
            s.failure = DecodeFailure::WriteFailed;
            s.failureCode = LastErrorCode();
            break;
        }
        UpdateCrc(chunk, length);
        done += length;
        remaining -= length;
        ReportProgress(done);
        if (s.keepRunning.load(std::memory_order_relaxed) == 0) break;
    }
    free(chunk);
}
