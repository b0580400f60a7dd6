// Stored members (-lh0-, -lz4-): copied through the input buffer with their CRC.
#include "platform/file_handle.h"
#include "decode/bit_input.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/progress.h"
#include "platform/system.h"

// A chunk that was not read or written whole is not in the CRC, so a copy cut short
// fails the member's CRC check; a failed write also shows in decodeState.failure.
void CopyStored(FileHandle& input, FileHandle* output, uint64_t size) {
    DecodeState& s = decodeState;
    s.crc = 0;
    if (!output || size == 0) return;
    s.packedRemaining = size;
    if (!AllocInputBuffer(input, size)) return;
    uint64_t done = 0;
    while (done < size) {
        uint64_t remaining = size - done;
        uint32_t length = remaining < s.inputBufferCapacity ? static_cast<uint32_t>(remaining) : s.inputBufferCapacity;
        if (input.Read(length, s.inputBuffer) != length) break;
        if (!output->Write(s.inputBuffer, length)) {
            s.failure = DecodeFailure::WriteFailed;
            s.failureCode = LastErrorCode();
            break;
        }
        UpdateCrc(s.inputBuffer, length);
        done += length;
        ReportProgress(done);
        if (keepRunning.load(std::memory_order_relaxed) == 0) break;
    }
    FreeInputBuffer();
}
