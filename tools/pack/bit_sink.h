// BitSink: the packed stream's output, most significant bit first, the order in which
// the static Huffman decoders read it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class BitSink {
public:
    // Appends the low `count` bits of `value` (count 0 to 32), highest first.
    void Put(uint32_t value, int count) {
        if (count == 0) return;
        pending_ = (pending_ << count) | (value & (0xFFFFFFFFu >> (32 - count)));
        pendingBits_ += count;
        while (pendingBits_ >= 8) {
            pendingBits_ -= 8;
            bytes_.push_back(static_cast<uint8_t>(pending_ >> pendingBits_));
        }
    }
    // Pads the last byte with zero bits.
    void Flush() {
        if (pendingBits_) Put(0, 8 - pendingBits_);
    }
    uint64_t BitCount() const { return (totalTaken_ + bytes_.size()) * 8 + pendingBits_; }
    // The whole bytes so far; TakeBytes hands them over and keeps the partial byte.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    void TakeBytes(std::vector<uint8_t>& out) {
        out.swap(bytes_);
        bytes_.clear();
        totalTaken_ += out.size();
    }

private:
    std::vector<uint8_t> bytes_;
    uint64_t pending_ = 0;  // holds fewer than 8 bits between calls
    int pendingBits_ = 0;
    uint64_t totalTaken_ = 0;
};
