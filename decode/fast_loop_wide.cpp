// The host tool's fast loop for -lh4- to -lh7- (-lh1- takes the small loop, as in the
// stub). It writes exactly what the plain loop writes, stops at the same flushes and
// sends the same progress values; what makes it faster:
//   - code entries that carry what a code decodes to and the bits it takes: a literal or a
//     match length, or a distance's first value with its extra bits, taken in one step
//     with the code;
//   - the bit buffer lives in local variables and is refilled without a branch, a word at
//     a time, while the input buffer holds two words beyond it;
//   - it decodes into a buffer of its own that keeps a whole window of history before
//     the window being filled, and several windows' room after it, so that a match's
//     source is always that many bytes back in one piece, never folded round a ring:
//     matches are copied in words and may write up to 15 bytes past their end, where
//     nothing decoded lies yet. Full windows are written from the buffer in place; only
//     when its room runs out is the last window of history moved back to its start;
//   - an output in memory that can take the whole member lends its own memory as that
//     buffer: nothing is copied at all.
#include "decode/static_huffman.h"

#include <cstdlib>
#include <cstring>

#include "decode/bit_access.h"
#include "decode/crc16.h"
#include "decode/decode_job.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/overflow_tree.h"
#include "decode/progress.h"
#include "platform/file_handle.h"

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

// Chunks of `Size` bytes from at least `Size` bytes back, as far as the copy reaches:
// each reads only what is written already, as a byte-by-byte copy would.
template <uint32_t Size>
inline void CopyInChunks(uint8_t* to, const uint8_t* from, uint32_t length) {
    uint32_t k = 0;
    do {
        CopyChunk<Size>(to + k, from + k);
        k += Size;
    } while (k < length);
}

// Bytes a match may write past its end.
constexpr uint32_t CopyOverrun = 15;

// A match of `length` (3-256) from `distance` (1 to the window's size) back, with the
// result of a byte-by-byte forward copy, and up to CopyOverrun bytes of no meaning after it.
inline void CopyMatch(uint8_t* to, uint32_t distance, uint32_t length) {
    const uint8_t* from = to - distance;
    if (distance >= 16) return CopyInChunks<16>(to, from, length);
    if (distance >= 8) return CopyInChunks<8>(to, from, length);
    if (distance == 1) return static_cast<void>(memset(to, *from, length));
    // Closer than a word: the pattern repeats. The first 8 bytes one at a time; from then on
    // in words from a whole number of periods 8 bytes or more back.
    for (uint32_t k = 0; k < 8; ++k) to[k] = from[k];
    if (length <= 8) return;
    const uint32_t period = distance * ((8 + distance - 1) / distance);
    CopyInChunks<8>(to + 8, to + 8 - period, length - 8);
}

// A match that starts before the member's first byte: in the spaces a window starts with,
// the `blank` bytes of history written only now that a match reaches them; in the output's
// memory, where nothing lies before that byte (buffer[0]), spaces taken one by one until
// the match reaches it. Returns the position after the match.
[[gnu::noinline]] uint32_t MatchFromBeforeTheStart(uint8_t* buffer, uint32_t position, uint32_t distance,
                                                  uint32_t length, uint32_t blank) {
    if (blank != 0) {
        memset(buffer, ' ', blank);
        CopyMatch(buffer + position, distance, length);
        return position + length;
    }
    for (uint32_t k = 0; k < length; ++k, ++position)
        buffer[position] = position < distance ? ' ' : buffer[position - distance];
    return position;
}

// A literal or a match written at `position`; the position after it. Refilling: with
// 12 bits or more loaded on entry and 16 bytes of input at b.next, refills of its own
// overlap the look-ups (the top bits they look at are loaded already) and leave 21 bits or
// more for the next symbol. Otherwise it needs a refill before it.
template <bool Refilling>
[[gnu::always_inline]] inline uint32_t DecodeSymbol(Bits& b, uint8_t* buffer, uint32_t mask, uint32_t position,
                                                    uint32_t& blankHistory) {
    uint32_t entry = charEntries[b.bits >> (64 - CharTableBits)];
    if (Refilling) b.Refill();
    if ((entry & KindMask) == TreeKind) entry = LongChar(b.bits, entry);
    b.Drop(entry & TakenMask);  // 36 bits or more left
    if (entry & LiteralKind) {
        buffer[position] = static_cast<uint8_t>(entry >> ValueShift);
        return position + 1;
    }
    uint32_t length = entry >> ValueShift;
    // The window folds the distance: -lh4- codes distances of up to twice its size.
    uint32_t distance = ((Distance<Refilling>(b) - 1) & mask) + 1;
    if (position < distance + blankHistory) {
        position = MatchFromBeforeTheStart(buffer, position, distance, length, blankHistory);
        blankHistory = 0;
        return position;
    }
    CopyMatch(buffer + position, distance, length);
    return position + length;
}

// The loop's own buffer: a window of history (spaces at first, as the window starts,
// written when a match first reaches them), then room for `windows` windows, then room
// for a match that crosses the last one's end. Or the output's own memory
// (FileHandle::RoomInMemory), with room for the whole member and no history: the member's
// windows are never written out, and never moved.
struct Lanes {
    uint8_t* bytes;
    uint32_t size;     // the window's
    uint32_t history;  // bytes before the member's first: a window, or none in the output
    uint32_t windows;  // of room after the history
    uint64_t keptInOutput;  // the bytes in the output that count as written
    bool InOutput() const { return history == 0; }
    uint32_t End() const { return history + windows * size; }
};

constexpr uint32_t LaneRoom = 512 << 10;
constexpr uint32_t LaneSlack = 256 + CopyOverrun;
constexpr uint64_t LargestInOutput = uint64_t{16} << 20;  // a larger member goes through the loop's own

// Room for as many windows as the member fills: in the output where it lends the room for
// the whole member (and a last match's reach past its end), else up to LaneRoom.
bool OpenLanes(Lanes& lanes, uint32_t size, uint64_t originalSize, FileHandle& output) {
    const uint64_t filled = originalSize / size + 1;
    lanes.size = size;
    lanes.keptInOutput = 0;
    if (originalSize <= LargestInOutput) {
        lanes.bytes = output.RoomInMemory(originalSize + LaneSlack);
        lanes.history = 0;
        lanes.windows = static_cast<uint32_t>(filled);
        if (lanes.bytes) return true;
    }
    const uint32_t most = size < LaneRoom ? LaneRoom / size : 1;
    lanes.history = size;
    lanes.windows = filled < most ? static_cast<uint32_t>(filled) : most;
    lanes.bytes = static_cast<uint8_t*>(malloc(lanes.End() + LaneSlack));
    return lanes.bytes != nullptr;
}

// Writes the window that ends at `windowEnd`; at the end of the room, moves the last
// window of history and what a match wrote past it back to the start, so that none of
// the history is blank any more. False when the write failed or the packed data has run
// dry (the plain loop stops at the same flush).
bool FlushWindow(DecodeJob& job, const WideBits& in, Lanes& lanes, uint32_t windowEnd, uint32_t& position,
                 uint32_t& blankHistory) {
    const uint8_t* window = lanes.bytes + windowEnd - lanes.size;
    if (lanes.InOutput()) {
        UpdateCrc(window, lanes.size);
        lanes.keptInOutput += lanes.size;
        return !in.RanDry();  // the member ends before the windows' room: nothing to move
    }
    if (!WriteWithCrc(window, lanes.size, *job.outputFile) || in.RanDry()) return false;
    if (windowEnd == lanes.End()) {
        const uint32_t back = windowEnd - lanes.size;
        memmove(lanes.bytes, lanes.bytes + back, position - back);
        position -= back;
        blankHistory = 0;
    }
    return true;
}

bool RunWideLoop(DecodeJob& job) {
    DecodeState& s = decodeState;
    const uint32_t size = job.dictionarySize;
    Lanes lanes;
    if (!OpenLanes(lanes, size, job.originalSize, *job.outputFile)) {
        memset(s.window, ' ', size);  // the same bytes, in less memory
        return RunSmallWindowLoop(job);
    }
    WideBits in;
    uint8_t* const buffer = lanes.bytes;
    const uint32_t mask = size - 1;
    const uint64_t originalSize = job.originalSize;
    uint32_t position = lanes.history;       // in the buffer; a member's first byte lands after the history
    uint32_t windowStart = lanes.history;    // where the window being filled starts
    uint64_t windowDone = 0;                 // bytes of the member before windowStart
    uint64_t nextProgress = NextProgressCheck(0);
    uint32_t blockLeft = 0;                  // symbols; 0: a block header comes next
    uint32_t blankHistory = lanes.history;   // the history below this holds no spaces yet
    auto decoded = [&] { return windowDone + (position - windowStart); };  // bytes of the member
    auto leave = [&](bool finished) {
        uint32_t inWindow = position - windowStart;
        if (lanes.InOutput()) {
            // What the windows written out would have been: the whole windows, and at the
            // end the rest.
            if (finished) UpdateCrc(buffer + windowStart, inWindow);
            job.outputFile->KeepRoom(finished ? decoded() : lanes.keptInOutput);
            inWindow = 0;
        } else {
            if (finished) memcpy(s.window, buffer + windowStart, inWindow);
            free(buffer);
        }
        s.windowPosition = inWindow;
        s.decodedCount = decoded();
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
        //   - position < stop, where stop is the first of the window's end, the next
        //     progress check and the member's end, so that a match reaches at most
        //     stop + 255, and its overrun stays within the slack behind the room;
        //   - the block holds a symbol more;
        //   - the run has not been aborted.
        // The part ends after the symbol that carried position to stop or beyond, with a
        // match that did so copied whole (perhaps past the member's end), or before a
        // symbol that the conditions above do not allow; the careful step below decodes
        // that one, and what the last symbol crossed is settled after it.
        const uint64_t done = decoded();
        const uint64_t target = nextProgress < originalSize ? nextProgress : originalSize;
        const uint32_t windowEnd = windowStart + size;
        const uint32_t stop = target - done < windowEnd - position ? position + static_cast<uint32_t>(target - done)
                                                                    : windowEnd;
        const uint8_t* const fastLimit = limit - b.next >= 16 ? limit - 16 : nullptr;
        if (fastLimit) b.Refill();
        while (b.next <= fastLimit && position < stop && blockLeft != 0 &&
               keepRunning.load(std::memory_order_relaxed) != 0) {
            position = DecodeSymbol<true>(b, buffer, mask, position, blankHistory);
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
            position = DecodeSymbol<false>(b, buffer, mask, position, blankHistory);
            blockLeft -= 1;
            in.Return(b.bits, b.count, b.next);
        }

        // What the last symbol crossed: the member's end (a damaged stream's last match
        // is cut there), the window's end, a progress check; then an abort.
        if (decoded() > originalSize)
            position = windowStart + static_cast<uint32_t>(originalSize - windowDone);
        if (position >= windowEnd) {
            if (!FlushWindow(job, in, lanes, windowEnd, position, blankHistory)) return leave(false);
            windowStart = windowEnd == lanes.End() ? lanes.history : windowEnd;
            windowDone += size;
        }
        const uint64_t now = decoded();
        if (now >= nextProgress) {
            ReportProgress(now);
            nextProgress = NextProgressCheck(now);
        }
        if (keepRunning.load(std::memory_order_relaxed) == 0) return leave(false);
        if (now >= originalSize) {
            in.RanDry();  // the verdict for PackedDataRanOut(); a flush that stopped gave it already
            return leave(true);
        }
    }
}

}  // namespace

void UseSmallLoop(bool on) { smallLoop = on; }

bool WindowLoopStartsItsOwnHistory(const DecodeJob& job) {
    return FastLoopsOn() && !smallLoop && IsStaticMethod(job.method);
}

bool RunWindowLoop(DecodeJob& job) {
    if (!WindowLoopStartsItsOwnHistory(job)) return FastLoopsOn() ? RunSmallWindowLoop(job) : RunPlainWindowLoop(job);
    return RunWideLoop(job);
}
