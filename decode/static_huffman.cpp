// Static Huffman decoding for -lh4- to -lh7-.
//
// Each block: a 16-bit symbol count, then three canonical codes sent as lengths: the
// pre-tree (19 symbols: 0-2 runs of zero lengths, 3-18 the lengths 1-16), the 510
// char/length lengths coded with it, and the position code (14, 16 or 17 symbols). A
// length of 0-6 takes 3 bits; 7 and up is 111 followed by (length - 7) ones and a zero.
// A position code j > 0 is followed by j - 1 extra bits: distance - 1 = 2^(j-1) + extra.
//
// Damaged blocks stay inside every table: a single-symbol code outside its alphabet
// decodes as symbol 0, char lengths beyond the 510th are dropped, and a tree walk that
// runs out of look-ahead bits ends at symbol 0.
#include "decode/static_huffman.h"

#include "decode/bit_access.h"
#include "decode/crc16.h"
#include "decode/decode_job.h"
#include "decode/decode_state.h"
#include "decode/lh1_codes.h"
#include "decode/make_decode_table.h"
#include "decode/method_table.h"
#include "decode/overflow_tree.h"
#include "decode/progress.h"
#include "decode/window_loop.h"

namespace {

constexpr uint32_t PreTreeSize = 19;
constexpr uint32_t PreTreeCountBits = 5;
constexpr int32_t PreTreeSkipIndex = 3;
constexpr uint32_t CharCountBits = 9;

static_assert(PreTreeSize + 3 + (1u << PreTreeCountBits) <= PtLengthsSize, "pre-tree lengths fit ptLengths");

// Bits left to drop after a tree walk that already dropped the table's bits.
inline uint32_t BitsBeyondTable(uint32_t length, uint32_t tableBits) {
    return length > tableBits ? length - tableBits : 0;
}

template <class Bits>
void ReadPtLengthsFrom(Bits& in, uint32_t count, uint32_t countBits, int32_t skipIndex) {
    DecodeState& s = decodeState;
    in.Refill();
    uint32_t n = in.Get(countBits);
    if (n == 0) {
        uint32_t c = in.Get(countBits);
        for (uint32_t i = 0; i < count; ++i) s.ptLengths[i] = 0;
        uint16_t symbol = static_cast<uint16_t>(c < count ? c : 0);
        for (uint16_t& entry : s.ptTable) entry = symbol;
        return;
    }
    uint32_t i = 0;
    auto put = [&](uint8_t length) {
        if (i < PtLengthsSize) s.ptLengths[i] = length;
        ++i;
    };
    while (i < n) {
        in.Refill();
        uint32_t look = in.Peek16();
        uint32_t c = look >> 13;
        if (c == 7) {
            for (uint32_t mask = 0x1000; look & mask; mask >>= 1) ++c;
        }
        in.Drop(c < 7 ? 3 : c - 3);
        put(static_cast<uint8_t>(c));
        if (static_cast<int32_t>(i) == skipIndex) {
            for (uint32_t k = in.Get(2); k > 0; --k) put(0);
        }
    }
    while (i < count) s.ptLengths[i++] = 0;
    MakeDecodeTable(static_cast<int32_t>(count), s.ptLengths, PtTableBits, s.ptTable);
}

template <class Bits>
void ReadCharLengthsFrom(Bits& in) {
    DecodeState& s = decodeState;
    in.Refill();
    uint32_t n = in.Get(CharCountBits);
    if (n == 0) {
        uint32_t c = in.Get(CharCountBits);
        for (uint8_t& length : s.charLengths) length = 0;
        uint16_t symbol = static_cast<uint16_t>(c < CharAlphabetSize ? c : 0);
        for (uint16_t& entry : s.charTable) entry = symbol;
        return;
    }
    uint32_t i = 0;
    auto put = [&](uint8_t length) {
        if (i < CharAlphabetSize) s.charLengths[i] = length;
        ++i;
    };
    while (i < n) {
        in.Refill();
        uint32_t look = in.Peek16();
        uint32_t c = s.ptTable[look >> 8];
        if (c >= PreTreeSize) c = WalkOverflowTree(c, look, 0x80, PreTreeSize);
        in.Drop(s.ptLengths[c]);
        if (c <= 2) {
            uint32_t zeros = c == 0 ? 1 : c == 1 ? in.Get(4) + 3 : in.Get(CharCountBits) + 20;
            while (zeros-- > 0) put(0);
        } else {
            put(static_cast<uint8_t>(c - 2));
        }
    }
    while (i < CharAlphabetSize) s.charLengths[i++] = 0;
    MakeDecodeTable(CharAlphabetSize, s.charLengths, CharTableBits, s.charTable);
}

template <class Bits>
void ReadBlockHeader(Bits& in) {
    DecodeState& s = decodeState;
    in.Refill();
    s.blockRemaining = static_cast<uint16_t>(in.Get(16));
    ReadPtLengthsFrom(in, PreTreeSize, PreTreeCountBits, PreTreeSkipIndex);
    ReadCharLengthsFrom(in);
    ReadPtLengthsFrom(in, static_cast<uint32_t>(s.positionCodeCount),
                      static_cast<uint32_t>(s.positionCountBits), -1);
    in.Refill();
}

// Needs up to 16 bits after a refill (the block header refills on its own).
template <class Bits>
inline uint32_t DecodeCharFrom(Bits& in) {
    DecodeState& s = decodeState;
    if (s.blockRemaining == 0) ReadBlockHeader(in);
    --s.blockRemaining;
    uint32_t j = s.charTable[in.Peek16() >> (16 - CharTableBits)];
    if (j < CharAlphabetSize) {
        in.Drop(s.charLengths[j]);
        return j;
    }
    in.Drop(CharTableBits);
    j = WalkOverflowTree(j, in.Peek16(), 0x8000, CharAlphabetSize);
    in.Drop(BitsBeyondTable(s.charLengths[j], CharTableBits));
    return j;
}

// Needs up to 35 bits.
template <class Bits>
inline uint32_t DecodePositionFrom(Bits& in) {
    const DecodeState& s = decodeState;
    const uint32_t count = static_cast<uint32_t>(s.positionCodeCount);
    uint32_t j = s.ptTable[in.Peek16() >> (16 - PtTableBits)];
    if (j < count) {
        in.Drop(s.ptLengths[j]);
    } else {
        in.Drop(PtTableBits);
        j = WalkOverflowTree(j, in.Peek16(), 0x8000, count);
        in.Drop(BitsBeyondTable(s.ptLengths[j], PtTableBits));
    }
    if (j == 0) return 0;
    return static_cast<uint16_t>((1u << (j - 1)) + in.Get(j - 1));
}

// The fast loop looks codes up in entries that hold the symbol and its length
// together (symbol | length << 9), or a tree root marked by FastTreeRoot; they are
// rebuilt from charTable/ptTable after every block header.
constexpr uint32_t FastTreeRoot = 0x8000;
constexpr uint32_t FastLengthShift = 9;
KAVI_DECODE_STATE_STORAGE uint16_t fastChars[1 << CharTableBits];  // per thread, as decodeState
KAVI_DECODE_STATE_STORAGE uint16_t fastPositions[1 << PtTableBits];

void BuildFastEntries(const uint16_t* table, uint32_t entries, const uint8_t* lengths, uint32_t count,
                      uint16_t* fast) {
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t j = table[i];
        fast[i] = static_cast<uint16_t>(j < count ? j | lengths[j] << FastLengthShift : FastTreeRoot | j);
    }
}

void BuildFastEntries() {
    const DecodeState& s = decodeState;
    BuildFastEntries(s.charTable, 1 << CharTableBits, s.charLengths, CharAlphabetSize, fastChars);
    BuildFastEntries(s.ptTable, 1 << PtTableBits, s.ptLengths, static_cast<uint32_t>(s.positionCodeCount),
                     fastPositions);
}

// DecodeCharFrom / DecodePositionFrom over a fast entry.
inline uint32_t DecodeFast(WideBits& in, uint32_t entry, uint32_t tableBits, uint32_t count,
                           const uint8_t* lengths) {
    if (!(entry & FastTreeRoot)) {
        in.Drop(entry >> FastLengthShift);
        return entry & ((1u << FastLengthShift) - 1);
    }
    in.Drop(tableBits);
    uint32_t j = WalkOverflowTree(entry & ~FastTreeRoot, in.Peek16(), 0x8000, count);
    in.Drop(BitsBeyondTable(lengths[j], tableBits));
    return j;
}

// The next n (0 to 16) bits without dropping them.
inline uint32_t TopBits(const WideBits& in, uint32_t n) { return (in.Peek32() >> 1) >> (31 - n); }

}  // namespace

void StartStatic(FileHandle& input) {
    DecodeState& s = decodeState;
    if (s.dictionaryBits <= 14) {
        s.positionCountBits = 4;
        s.positionCodeCount = 14;
    } else {
        s.positionCountBits = 5;
        s.positionCodeCount = s.dictionaryBits == 16 ? 17 : 16;
    }
    InitBitInput(input);
    s.blockRemaining = 0;
}

uint16_t DecodeCharStatic() {
    PlainBits in;
    return static_cast<uint16_t>(DecodeCharFrom(in));
}

uint16_t DecodePositionStatic() {
    PlainBits in;
    return static_cast<uint16_t>(DecodePositionFrom(in));
}

void ReadPtLengths(int16_t count, int32_t countBits, int32_t skipIndex) {
    PlainBits in;
    uint32_t size = count < 0 ? 0 : static_cast<uint32_t>(count);
    ReadPtLengthsFrom(in, size < PtLengthsSize ? size : PtLengthsSize, static_cast<uint32_t>(countBits), skipIndex);
}

void ReadCharLengths() {
    PlainBits in;
    ReadCharLengthsFrom(in);
}

namespace {

// -lh4- to -lh7- codes for the window loop: a block header whenever a block is used up,
// then fast entries for the char and position codes.
struct StaticCodes {
    uint32_t blockLeft = 0;
    uint32_t positionCount = 0;

    void Start() {
        blockLeft = decodeState.blockRemaining;
        positionCount = static_cast<uint32_t>(decodeState.positionCodeCount);
        if (blockLeft != 0) BuildFastEntries();
    }
    uint32_t Char(WideBits& in) {
        if (blockLeft == 0) {
            ReadBlockHeader(in);
            blockLeft = decodeState.blockRemaining;
            BuildFastEntries();
        }
        blockLeft = (blockLeft - 1) & 0xFFFF;  // a block size of 0 stands for 65536
        return DecodeFast(in, fastChars[in.Peek16() >> (16 - CharTableBits)], CharTableBits, CharAlphabetSize,
                          decodeState.charLengths);
    }
    uint32_t Distance(WideBits& in) {
        uint32_t j = DecodeFast(in, fastPositions[in.Peek16() >> (16 - PtTableBits)], PtTableBits, positionCount,
                                decodeState.ptLengths);
        uint32_t extraBits = j - (j != 0);
        uint32_t distance = ((1u << j) >> 1) + TopBits(in, extraBits) + 1;
        in.Drop(extraBits);
        return distance;
    }
    void Save() { decodeState.blockRemaining = static_cast<uint16_t>(blockLeft); }
};

// One loop serves every kind of codes, so that the stub carries the window loop once; the
// test between them is the same for every symbol of a member. The methods without codes
// of their own here (-lh2-, -lh3-, -lzs-, -lz5-) go through their operations, which read
// the shared bit reader and the window position and byte count in decodeState.
struct FastCodes {
    enum Kind : uint8_t { Static, Lh1, Operations };
    WideBits in;
    const Kind kind;
    const uint32_t matchAdjust;
    DecodeJob& job;
    StaticCodes statics;
    Lh1Codes lh1;

    FastCodes(DecodeJob& job, Kind kind)
        : kind(kind), matchAdjust(job.method == MethodLzs ? 254 : 253), job(job) {
        if (kind == Static) statics.Start();
    }
    void Refill() {
        if (kind != Operations) in.Refill();
    }
    uint32_t Char() {
        if (kind == Operations) return job.decodeChar();
        return kind == Lh1 ? lh1.Char(in) : statics.Char(in);
    }
    uint32_t Distance(uint32_t position, uint64_t done) {
        if (kind == Operations) {
            decodeState.windowPosition = position;
            decodeState.decodedCount = done;
            return job.decodePosition() + 1u;
        }
        return kind == Lh1 ? lh1.Distance(in) : statics.Distance(in);
    }
    bool RanDry() { return kind == Operations ? StreamRanDry() : in.RanDry(); }
    void Save() {
        if (kind == Static) statics.Save();
    }
};

}  // namespace

bool RunSmallWindowLoop(DecodeJob& job) {
    const MethodId method = job.method;
    FastCodes codes(job, method == MethodLh1                           ? FastCodes::Lh1
                         : IsStaticMethod(method)                     ? FastCodes::Static
                                                                      : FastCodes::Operations);
    return window_loop::Run(job, codes);
}

void ReadStaticBlockHeader(WideBits& in) { ReadBlockHeader(in); }
