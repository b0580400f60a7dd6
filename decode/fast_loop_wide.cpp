// The host tool's fast loop for -lh4- to -lh7- (-lh1- takes the small loop, as in the
// stub). It writes exactly what the plain loop writes, stops at the same flushes and
// sends the same progress values; what makes it faster:
//   - code entries that carry what a code decodes to and the bits it takes: a literal or a
//     match length, or a distance's first value with its extra bits, taken in one step
//     with the code;
//   - the bit buffer lives in local variables and is refilled without a branch, a word at
//     a time, while the input buffer holds two words beyond it;
//   - matches are copied in words and may run past the window's end into room kept behind
//     it, which is moved to the window's start once the window is written.
#include "decode/static_huffman.h"

#include <cstring>

#include "decode/bit_access.h"
#include "decode/crc16.h"
#include "decode/decode_job.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/overflow_tree.h"
#include "decode/progress.h"

namespace {

bool smallLoop = false;

// Char entries (16 bits, so that the table takes 8 KB of the first-level cache beside the
// window): the bits the code takes, its kind, and above ValueShift a literal, a match
// length (3-256) or a tree root (its node less the alphabet's size).
constexpr uint32_t TakenMask = 0x1F;
constexpr uint32_t KindMask = 0x60;
constexpr uint32_t MatchKind = 0x00;
constexpr uint32_t LiteralKind = 0x20;
constexpr uint32_t TreeKind = 0x60;
constexpr uint32_t ValueShift = 7;
// Position entries: the bits the code takes with its extra bits, a tree flag, the number
// of extra bits above ExtraShift and the distance of the code's first value above BaseShift
// (a tree root: its node).
constexpr uint32_t PositionTakenMask = 0x3F;
constexpr uint32_t PositionTree = 0x40;
constexpr uint32_t ExtraShift = 8;
constexpr uint32_t BaseShift = 16;

constexpr uint32_t CharEntries = 1u << CharTableBits;
constexpr uint32_t PositionEntries = 1u << PtTableBits;
constexpr uint32_t LongestCode = 20;    // the length reader's longest; the builder decodes longer ones as symbol 0
constexpr uint32_t MostExtraBits = 15;  // position code 16 of -lh7-
static_assert(LongestCode + LongestCode + MostExtraBits <= 56, "a char code and its distance fit one refill");
static_assert(LongestCode <= TakenMask && LongestCode + MostExtraBits <= PositionTakenMask, "bits taken fit");
static_assert(TreeNodeCount - CharAlphabetSize <= (0xFFFFu >> ValueShift) && 256 <= (0xFFFFu >> ValueShift),
              "char values fit a 16-bit entry");
static_assert(TreeNodeCount <= (0xFFFFFFFFu >> BaseShift) && (1u << MostExtraBits) + 1 <= (0xFFFFFFFFu >> BaseShift),
              "position values fit an entry");

// Per thread, as decodeState: the host may decode on two at once.
KAVI_DECODE_STATE_STORAGE uint16_t charEntries[CharEntries];
KAVI_DECODE_STATE_STORAGE uint32_t positionEntries[PositionEntries];

uint32_t CharEntry(uint32_t symbol) {
    if (symbol >= CharAlphabetSize) return TreeKind | CharTableBits | (symbol - CharAlphabetSize) << ValueShift;
    uint32_t taken = decodeState.charLengths[symbol];
    if (symbol < 256) return LiteralKind | taken | symbol << ValueShift;
    return MatchKind | taken | (symbol - 253) << ValueShift;
}

// Rebuilt from charTable and ptTable after every block header, so that they decode what
// those tables decode, whatever the lengths were.
void BuildEntries() {
    const DecodeState& s = decodeState;
    uint16_t bySymbol[CharAlphabetSize];
    for (uint32_t j = 0; j < CharAlphabetSize; ++j) bySymbol[j] = static_cast<uint16_t>(CharEntry(j));
    for (uint32_t i = 0; i < CharEntries; ++i) {
        uint32_t j = s.charTable[i];
        charEntries[i] = j < CharAlphabetSize ? bySymbol[j] : static_cast<uint16_t>(CharEntry(j));
    }
    const uint32_t count = static_cast<uint32_t>(s.positionCodeCount);
    for (uint32_t i = 0; i < PositionEntries; ++i) {
        uint32_t j = s.ptTable[i];
        if (j >= count) {
            positionEntries[i] = PositionTree | PtTableBits | j << BaseShift;
            continue;
        }
        uint32_t extra = j - (j != 0);
        positionEntries[i] = (s.ptLengths[j] + extra) | extra << ExtraShift | (((1u << j) >> 1) + 1) << BaseShift;
    }
}

// The bit buffer of the loop: the next bit on top, `count` bits loaded (at most 63), the
// bits below them zeros or the stream's own.
struct Bits {
    uint64_t bits;
    uint32_t count;
    const uint8_t* next;

    // The next n bits (n <= 63), or their low 32.
    uint32_t Top(uint32_t n) const { return static_cast<uint32_t>((bits >> 1) >> (63 - n)); }
    void Drop(uint32_t n) {
        bits <<= n;
        count -= n;
    }
    // Needs 8 readable bytes at `next`; leaves at least 56 bits loaded.
    void Refill() {
        uint64_t word;
        memcpy(&word, next, 8);
        bits |= __builtin_bswap64(word) >> count;
        next += (63 - count) >> 3;
        count |= 56;
    }
};

// A code longer than the look-up, by the bits on top of `bits`: the entry of the char
// symbol at the end of its tree path, with the bits the whole code takes.
uint32_t LongChar(uint64_t bits, uint32_t entry) {
    uint32_t lookAhead = static_cast<uint32_t>(bits >> 32) << CharTableBits >> 16;
    uint32_t j = WalkOverflowTree((entry >> ValueShift) + CharAlphabetSize, lookAhead, 0x8000, CharAlphabetSize);
    uint32_t length = decodeState.charLengths[j];
    return (CharEntry(j) & ~TakenMask) | (length > CharTableBits ? length : CharTableBits);
}

// The distance of a position code longer than the look-up, and the bits it takes with its
// extra bits above bit 32.
uint64_t LongDistance(uint64_t bits, uint32_t entry) {
    const uint32_t count = static_cast<uint32_t>(decodeState.positionCodeCount);
    uint32_t lookAhead = static_cast<uint32_t>(bits >> 32) << PtTableBits >> 16;
    uint32_t j = WalkOverflowTree(entry >> BaseShift, lookAhead, 0x8000, count);
    uint32_t length = decodeState.ptLengths[j];
    uint32_t taken = length > PtTableBits ? length : PtTableBits;
    uint32_t extra = j - (j != 0);
    uint32_t value = static_cast<uint32_t>(((bits << taken) >> 1) >> (63 - extra));
    return (((1u << j) >> 1) + 1 + value) | static_cast<uint64_t>(taken + extra) << 32;
}

template <bool Refilling>
inline uint32_t Distance(Bits& in) {
    uint32_t entry = positionEntries[in.bits >> (64 - PtTableBits)];
    if (Refilling) in.Refill();
    if (entry & PositionTree) {
        uint64_t found = LongDistance(in.bits, entry);
        in.Drop(static_cast<uint32_t>(found >> 32));
        return static_cast<uint32_t>(found);
    }
    uint32_t taken = entry & PositionTakenMask;
    uint32_t extra = in.Top(taken) & ((1u << (entry >> ExtraShift & 0xFF)) - 1);
    in.Drop(taken);
    return (entry >> BaseShift) + extra;
}

template <uint32_t Size>
inline void CopyChunk(uint8_t* to, const uint8_t* from) {
    uint8_t chunk[Size];
    memcpy(chunk, from, Size);
    memcpy(to, chunk, Size);
}

// `length` (1-16) bytes from a source that does not overlap the target: two chunks that
// may overlap each other, both read before either is written.
inline void CopyApart(uint8_t* to, const uint8_t* from, uint32_t length) {
    if (length >= 8) {
        uint64_t head, tail;
        memcpy(&head, from, 8);
        memcpy(&tail, from + length - 8, 8);
        memcpy(to, &head, 8);
        memcpy(to + length - 8, &tail, 8);
    } else if (length >= 4) {
        uint32_t head, tail;
        memcpy(&head, from, 4);
        memcpy(&tail, from + length - 4, 4);
        memcpy(to, &head, 4);
        memcpy(to + length - 4, &tail, 4);
    } else {
        uint8_t first = from[0], middle = from[length / 2], last = from[length - 1];
        to[0] = first;
        to[length / 2] = middle;
        to[length - 1] = last;
    }
}

// Chunks of `Size` bytes from a source at least `Size` bytes away, the last one ending
// where the copy ends (length >= Size): no chunk reads what a later one writes, and each
// reads what the earlier ones wrote as a byte-by-byte copy would.
template <uint32_t Size>
inline void CopyInChunks(uint8_t* to, const uint8_t* from, uint32_t length) {
    for (uint32_t k = 0; k + Size < length; k += Size) CopyChunk<Size>(to + k, from + k);
    CopyChunk<Size>(to + length - Size, from + length - Size);
}

// A match of `length` at `distance`, written from `position` (below the window's size)
// on, with the result of a byte-by-byte forward copy through the window. The target may
// run into the room behind the window; so may a source that starts behind `position`,
// which then reads there what the match wrote before. The window folds the distance:
// -lh4- codes distances of up to twice its size, so the copy goes by where the source
// lies in the window, never by the distance as coded.
inline void CopyMatch(uint8_t* window, uint32_t mask, uint32_t position, uint32_t codedDistance, uint32_t length) {
    uint8_t* to = window + position;
    const uint32_t from = (position - codedDistance) & mask;
    const uint8_t* source = window + from;
    if (from < position) {
        // Behind the target by `distance`: a repeating pattern when closer than the match is long.
        const uint32_t distance = position - from;
        if (distance >= length && length <= 16) return CopyApart(to, source, length);
        if (distance >= 16) return CopyInChunks<16>(to, source, length);
        if (distance >= 8) return CopyInChunks<8>(to, source, length);
        if (distance == 1) return static_cast<void>(memset(to, *source, length));
        // The first 8 bytes one at a time; from then on the pattern repeats at a whole number
        // of periods 8 bytes or more back.
        if (length <= 16) {
            for (uint32_t k = 0; k < length; ++k) to[k] = source[k];
            return;
        }
        for (uint32_t k = 0; k < 8; ++k) to[k] = source[k];
        const uint32_t period = distance * ((8 + distance - 1) / distance);
        return CopyInChunks<8>(to + 8, to + 8 - period, length - 8);
    }
    if (from + length > mask + 1 || from - position < 8) {
        // Over the window's end to its start, or a source just ahead of the target.
        for (uint32_t k = 0; k < length; ++k) to[k] = window[(from + k) & mask];
        return;
    }
    // Ahead of the target (the previous window's bytes): chunks read before the target reaches them.
    if (length >= 8) return CopyInChunks<8>(to, source, length);
    for (uint32_t k = 0; k < length; ++k) to[k] = source[k];
}

// A literal or a match written at `position`; the position after it. Refilling: with
// 12 bits or more loaded on entry and 16 bytes of input at b.next, refills of its own
// overlap the look-ups (the top bits they look at are loaded already) and leave 21 bits or
// more for the next symbol. Otherwise it needs a refill before it.
template <bool Refilling>
[[gnu::always_inline]] inline uint32_t DecodeSymbol(Bits& b, uint8_t* window, uint32_t mask, uint32_t position) {
    uint32_t entry = charEntries[b.bits >> (64 - CharTableBits)];
    if (Refilling) b.Refill();
    if ((entry & KindMask) == TreeKind) entry = LongChar(b.bits, entry);
    b.Drop(entry & TakenMask);  // 36 bits or more left
    if (entry & LiteralKind) {
        window[position] = static_cast<uint8_t>(entry >> ValueShift);
        return position + 1;
    }
    uint32_t length = entry >> ValueShift;
    CopyMatch(window, mask, position, Distance<Refilling>(b), length);
    return position + length;
}

// Writes the full window and moves what a match wrote behind it to its start; false when
// the write failed or the packed data has run dry (the plain loop stops at the same flush).
bool FlushWindow(DecodeJob& job, const WideBits& in, uint32_t& position) {
    uint8_t* window = decodeState.window;
    if (!WriteWithCrc(window, job.dictionarySize, *job.outputFile) || in.RanDry()) return false;
    position -= job.dictionarySize;
    memmove(window, window + job.dictionarySize, position);
    return true;
}

bool RunWideLoop(DecodeJob& job) {
    DecodeState& s = decodeState;
    WideBits in;
    uint8_t* const window = s.window;
    const uint32_t size = job.dictionarySize;
    const uint32_t mask = size - 1;
    const uint64_t originalSize = job.originalSize;
    uint32_t position = s.windowPosition;
    uint64_t windowStart = s.decodedCount - position;  // bytes of the member before window[0]
    uint64_t nextProgress = NextProgressCheck(s.decodedCount);
    uint32_t blockLeft = s.blockRemaining;  // symbols; 0: a block header comes next
    if (blockLeft != 0) BuildEntries();
    auto leave = [&](bool finished) {
        s.windowPosition = position;
        s.decodedCount = windowStart + position;
        s.blockRemaining = static_cast<uint16_t>(blockLeft);
        return finished;
    };

    for (;;) {
        Bits b;
        const uint8_t* limit;
        in.Lend(b.bits, b.count, b.next, limit);
        // The fast part. On entry to every turn:
        //   - 16 bytes or more of the input buffer lie at b.next, for two refills, and 12
        //     bits or more are loaded (DecodeSymbol);
        //   - position < stop, where stop (at most the window's size) is the first of the
        //     window's end, the next progress check and the member's end, so that a match
        //     reaches at most stop + 255, within the room behind the window;
        //   - the block holds a symbol more;
        //   - the run has not been aborted.
        // The part ends after the symbol that carried position
        // to stop or beyond, with a match that did so copied whole (perhaps past the
        // member's end), or before a symbol that the conditions above do not allow; the
        // careful step below decodes that one, and what the last symbol crossed is settled
        // after it.
        uint64_t stopAt = (nextProgress < originalSize ? nextProgress : originalSize) - windowStart;
        const uint32_t stop = stopAt < size ? static_cast<uint32_t>(stopAt) : size;
        const uint8_t* const fastLimit = limit - b.next >= 16 ? limit - 16 : nullptr;
        if (fastLimit) b.Refill();
        while (b.next <= fastLimit && position < stop && blockLeft != 0 &&
               keepRunning.load(std::memory_order_relaxed) != 0) {
            position = DecodeSymbol<true>(b, window, mask, position);
            blockLeft -= 1;
        }
        in.Return(b.bits, b.count, b.next);

        if (position < stop) {
            // One symbol the careful way: after a block header, or at the input buffer's end.
            if (blockLeft == 0) {
                ReadStaticBlockHeader(in);
                blockLeft = s.blockRemaining != 0 ? s.blockRemaining : 65536;
                BuildEntries();
            }
            in.Refill();
            in.Lend(b.bits, b.count, b.next, limit);
            position = DecodeSymbol<false>(b, window, mask, position);
            blockLeft -= 1;
            in.Return(b.bits, b.count, b.next);
        }

        // What the last symbol crossed: the member's end (a damaged stream's last match
        // is cut there), the window's end, a progress check; then an abort.
        if (windowStart + position > originalSize) position = static_cast<uint32_t>(originalSize - windowStart);
        if (position >= size) {
            if (!FlushWindow(job, in, position)) return leave(false);
            windowStart += size;
        }
        uint64_t done = windowStart + position;
        if (done >= nextProgress) {
            ReportProgress(done);
            nextProgress = NextProgressCheck(done);
        }
        if (keepRunning.load(std::memory_order_relaxed) == 0) return leave(false);
        if (done >= originalSize) {
            in.RanDry();  // the verdict for PackedDataRanOut(); a flush that stopped gave it already
            return leave(true);
        }
    }
}

}  // namespace

void UseSmallLoop(bool on) { smallLoop = on; }

bool RunWindowLoop(DecodeJob& job) {
    if (!FastLoopsOn()) return RunPlainWindowLoop(job);
    if (smallLoop || !IsStaticMethod(job.method)) return RunSmallWindowLoop(job);
    return RunWideLoop(job);
}
