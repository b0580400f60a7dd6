// Test-only bit writer: builds packed streams by hand, most significant bit first,
// the order in which the decoders read them.
#pragma once
#include <cstdint>
#include <vector>

class BitWriter {
public:
    // Appends the low `count` bits of `value`, highest first.
    BitWriter& Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) PutBit((value >> i) & 1);
        return *this;
    }
    // Appends bits written as a text of '0' and '1' (other characters are ignored).
    BitWriter& Put(const char* bits) {
        for (; *bits; ++bits)
            if (*bits == '0' || *bits == '1') PutBit(*bits == '1');
        return *this;
    }
    BitWriter& PutByte(uint8_t byte) { return Put(byte, 8); }
    // The stream so far, the last byte padded with zero bits.
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out = bytes_;
        if (used_) out.push_back(static_cast<uint8_t>(pending_ << (8 - used_)));
        return out;
    }
    size_t BitCount() const { return bytes_.size() * 8 + used_; }

private:
    void PutBit(uint32_t bit) {
        pending_ = static_cast<uint8_t>((pending_ << 1) | bit);
        if (++used_ == 8) {
            bytes_.push_back(pending_);
            pending_ = 0;
            used_ = 0;
        }
    }
    std::vector<uint8_t> bytes_;
    uint8_t pending_ = 0;
    int used_ = 0;
};
