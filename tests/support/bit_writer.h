// Test-only bit writer: builds packed streams by hand, most significant bit first,
// the order in which the decoders read them.
#pragma once
#include <cstdint>
#include <vector>

class BitWriter {
public:
    // Appends the low `count` bits of `value`, highest first.
    BitWriter& Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            pending_ = static_cast<uint8_t>(pending_ << 1 | ((value >> i) & 1));
            if (++used_ % 8 == 0) bytes_.push_back(pending_);
        }
        return *this;
    }
    // Appends bits written as a text of '0' and '1' (other characters are ignored).
    BitWriter& Put(const char* bits) {
        for (; *bits; ++bits)
            if (*bits == '0' || *bits == '1') Put(*bits == '1', 1);
        return *this;
    }
    BitWriter& PutByte(uint8_t byte) { return Put(byte, 8); }
    // The stream so far, the last byte padded with zero bits.
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out = bytes_;
        if (used_ % 8) out.push_back(static_cast<uint8_t>(pending_ << (8 - used_ % 8)));
        return out;
    }

private:
    std::vector<uint8_t> bytes_;
    uint8_t pending_ = 0;
    uint32_t used_ = 0;
};
