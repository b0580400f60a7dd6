// Whole-run progress: a percentage of the summed original sizes, sent only when it moves.
#include "decode/progress.h"

#include "decode/decode_state.h"

namespace {

// The 64-bit quotient, on 32-bit machines by shifting and subtracting: it runs about once
// per percent, and there the compiler's own 64-bit division would bring 750 bytes of runtime
// library code into the stub. A zero divisor is never passed.
uint64_t Quotient(uint64_t dividend, uint64_t divisor) {
    if constexpr (sizeof(void*) >= sizeof(uint64_t)) return dividend / divisor;
    uint64_t quotient = 0, remainder = 0;
    for (int bit = 63; bit >= 0; --bit) {
        bool carry = remainder >> 63;
        remainder = remainder << 1 | (dividend >> bit & 1);
        if (carry || remainder >= divisor) {
            remainder -= divisor;
            quotient |= uint64_t{1} << bit;
        }
    }
    return quotient;
}

// Totals above 1000 count in steps of a hundredth of the total.
uint32_t PercentOf(uint64_t doneInMember) {
    const DecodeState& s = decodeState;
    uint64_t done = s.progressBase + doneInMember;
    if (s.progressTotal > 1000) return static_cast<uint32_t>(Quotient(done, Quotient(s.progressTotal, 100)));
    return static_cast<uint32_t>(Quotient(done * 100, s.progressTotal));
}

}  // namespace

void ConnectProgress(void (*showPercent)(void* context, uint32_t percent), void* context) {
    decodeState.showPercent = showPercent;
    decodeState.progressContext = context;
}

void ReportProgress(uint64_t doneInMember) {
    DecodeState& s = decodeState;
    if (s.progressTotal == 0) return;
    uint32_t percent = PercentOf(doneInMember);
    if (percent == s.lastPercent) return;
    s.lastPercent = percent;
    if (s.showPercent) s.showPercent(s.progressContext, percent);
}

uint64_t NextProgressCheck(uint64_t doneInMember) {
    const DecodeState& s = decodeState;
    if (s.progressTotal == 0) return UINT64_MAX;
    if (s.progressTotal <= 1000 || PercentOf(doneInMember) != s.lastPercent) return doneInMember + 1;
    // The percentage holds until the run's byte count reaches the next multiple of the divisor.
    uint64_t divisor = Quotient(s.progressTotal, 100);
    uint64_t done = s.progressBase + doneInMember;
    return doneInMember + ((Quotient(done, divisor) + 1) * divisor - done);
}
