// Whole-run progress: a percentage of the summed original sizes, sent only when it moves.
#include "decode/progress.h"

#include "decode/decode_state.h"

namespace {

// Totals above 1000 divide first so that the product cannot leave 32 bits.
uint32_t PercentOf(uint32_t doneInMember) {
    const DecodeState& s = decodeState;
    uint32_t done = s.progressBase + doneInMember;
    if (s.progressTotal > 1000) return done / (s.progressTotal / 100);
    return done * 100 / s.progressTotal;
}

}  // namespace

void ConnectProgress(void (*showPercent)(void* context, uint32_t percent), void* context) {
    decodeState.showPercent = showPercent;
    decodeState.progressContext = context;
}

void ReportProgress(uint32_t doneInMember) {
    DecodeState& s = decodeState;
    if (s.progressTotal == 0) return;
    uint32_t percent = PercentOf(doneInMember);
    if (percent == s.lastPercent) return;
    s.lastPercent = percent;
    if (s.showPercent) s.showPercent(s.progressContext, percent);
}

uint64_t NextProgressCheck(uint32_t doneInMember) {
    const DecodeState& s = decodeState;
    if (s.progressTotal == 0) return UINT64_MAX;
    if (s.progressTotal <= 1000 || PercentOf(doneInMember) != s.lastPercent) return doneInMember + 1ull;
    // The percentage holds until the run's byte count reaches the next multiple of the
    // divisor (or wraps, which a caller sees as a change too).
    uint32_t divisor = s.progressTotal / 100;
    uint32_t done = s.progressBase + doneInMember;
    uint64_t boundary = (static_cast<uint64_t>(done / divisor) + 1) * divisor;
    if (boundary > 0xFFFFFFFFull) boundary = 0x100000000ull;
    return doneInMember + (boundary - done);
}
