// Two views of the packed stream for code shared between the plain decode operations and
// the fast loop made for them. Both show the same bits: Peek16() is what bitBuffer
// would hold, Drop(n) is FillBits(n), Get(n) is GetBits(n). Refill() must come before
// at most 56 bits of peeks and drops (PlainBits needs none).
#pragma once
#include <cstdint>
#include <cstring>

#include "decode/bit_input.h"
#include "decode/decode_state.h"

struct PlainBits {
    void Refill() {}
    uint32_t Peek16() const { return decodeState.bitBuffer; }
    void Drop(uint32_t n) { FillBits(n); }
    uint32_t Get(uint32_t n) { return GetBits(n); }
};

// A 64-bit local bit buffer over the input buffer, for hot loops. It takes over the
// shared reader's position on construction and fetches bytes in the same order (the
// same bytes, the same refills, zeros past the packed data); the shared reader's fields
// are stale while it is in use and are not brought back.
class WideBits {
public:
    WideBits() {
        const DecodeState& s = decodeState;
        bits_ = static_cast<uint64_t>(s.bitBuffer) << 48 | static_cast<uint64_t>(s.pendingByte) << 40;
        count_ = 16u + s.pendingBits;
        Rebase();
    }

    void Refill() {
        if (count_ > 56) return;  // full enough
        if (limit_ - next_ >= 8) {
            uint64_t word;
            memcpy(&word, next_, 8);
            bits_ |= __builtin_bswap64(word) >> count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
        } else {
            RefillSlowly();
        }
    }
    uint32_t Peek16() const { return static_cast<uint32_t>(bits_ >> 48); }
    uint32_t Peek32() const { return static_cast<uint32_t>(bits_ >> 32); }
    void Drop(uint32_t n) {
        bits_ <<= n;
        count_ -= n;
    }
    uint32_t Get(uint32_t n) {
        if (n == 0) return 0;
        uint32_t x = static_cast<uint32_t>(bits_ >> (64 - n));
        Drop(n);
        return x;
    }
    // StreamRanDry (bit_input.h) at the position of this reader.
    bool RanDry() const { return StreamRanDry(static_cast<uint32_t>(next_ - base_), count_); }

    // For a loop that keeps the reader in local variables, which byte stores into the
    // window cannot alias: the fields out, and back when the loop hands over again. At
    // most 63 bits are ever loaded, so that a word may always be shifted in behind them;
    // a refill may take the 8 bytes from `next` while they lie below `limit`.
    void Lend(uint64_t& bits, uint32_t& count, const uint8_t*& next, const uint8_t*& limit) const {
        bits = bits_;
        count = count_;
        next = next_;
        limit = limit_;
    }
    void Return(uint64_t bits, uint32_t count, const uint8_t* next) {
        bits_ = bits;
        count_ = count;
        next_ = next;
    }

private:
    // Bytes that may be taken straight from the buffer: not past its end, not past the
    // member's packed data.
    void Rebase() {
        const DecodeState& s = decodeState;
        base_ = next_ = s.inputBuffer + s.inputPosition;
        uint32_t inBuffer = s.inputBufferSize - s.inputPosition;
        limit_ = next_ + (s.packedRemaining < inBuffer ? s.packedRemaining : inBuffer);
    }
    void RefillSlowly() {
        DecodeState& s = decodeState;
        uint32_t taken = static_cast<uint32_t>(next_ - base_);
        s.inputPosition += taken;
        s.packedRemaining -= taken;
        while (count_ <= 55) {
            bits_ |= static_cast<uint64_t>(NextPackedByte()) << (56 - count_);
            count_ += 8;
        }
        Rebase();
    }

    uint64_t bits_;   // next bit on top; below count_ only stream bits or zeros that follow
    uint32_t count_;  // bits of bits_ that are loaded
    const uint8_t* base_;
    const uint8_t* next_;
    const uint8_t* limit_;
};
