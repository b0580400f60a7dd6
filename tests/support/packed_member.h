// Test-only helpers that put packed bytes where the decoders expect them: loaded into the
// bit reader for calling decode operations one by one, or behind an Extractor's package
// file for DecodeMember; and random bytes decoded as any method.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "platform/file_handle.h"
#include "decode/bit_input.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"

namespace packed_member {

using Bytes = std::vector<uint8_t>;

class ScratchFile {
public:
    explicit ScratchFile(const Bytes& contents = {}) {
        char name[] = "/tmp/kavisfx_packed_XXXXXX";
        int fd = mkstemp(name);
        path_ = name;
        if (!contents.empty()) {
            EXPECT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
        }
        close(fd);
    }
    ~ScratchFile() { unlink(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    std::u16string Wide() const { return std::u16string(path_.begin(), path_.end()); }
    Bytes Contents() const {
        std::ifstream in(path_, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

// `packed` as the current member's data in the input buffer (the member claims
// `packedSize` bytes; the buffer holds `bufferSize` at a time), the bit reader started
// on it unless a method's start operation is to do that. A newer stream replaces an
// older one still in scope.
class LoadedStream {
public:
    explicit LoadedStream(const Bytes& packed, uint32_t packedSize = UINT32_MAX, uint32_t bufferSize = UINT32_MAX,
                          bool startReader = true)
        : file_(packed) {
        if (packedSize == UINT32_MAX) packedSize = static_cast<uint32_t>(packed.size());
        EXPECT_TRUE(handle_.Open(file_.Wide().c_str(), FileAccess::Read, FileDisposition::OpenExisting));
        decodeState.packedRemaining = packedSize;
        FreeInputBuffer();
        EXPECT_TRUE(AllocInputBuffer(handle_, bufferSize < packedSize ? bufferSize : packedSize));
        if (startReader) InitBitInput(handle_);
    }
    ~LoadedStream() { FreeInputBuffer(); }
    FileHandle& Input() { return handle_; }

private:
    ScratchFile file_;
    FileHandle handle_;
};

// A LoadedStream for a method's own start operation, with a space-filled window of
// 2^dictionaryBits bytes in decodeState, so that its operations can be called one by one.
class PackedStream : public LoadedStream {
public:
    PackedStream(const Bytes& packed, uint16_t dictionaryBits)
        : LoadedStream(packed, UINT32_MAX, UINT32_MAX, false), window_(size_t{1} << dictionaryBits, ' ') {
        decodeState.dictionaryBits = dictionaryBits;
        decodeState.window = window_.data();
        decodeState.windowPosition = 0;
        decodeState.decodedCount = 0;
    }
    ~PackedStream() { decodeState.window = nullptr; }

private:
    Bytes window_;
};

struct Outcome {
    Bytes bytes;
    uint16_t crc = 0;
    DecodeFailure failure = DecodeFailure::None;
};

// One whole member through DecodeMember, written to a scratch file or to `outputPath`.
inline Outcome DecodeWhole(MethodId method, const Bytes& packed, uint32_t originalSize,
                           const char16_t* outputPath = nullptr) {
    MakeCrcTable();
    ScratchFile input(packed);
    ScratchFile output;
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    EXPECT_TRUE(extractor.packageFile->Open(input.Wide().c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    std::u16string path = outputPath ? std::u16string(outputPath) : output.Wide();
    Outcome outcome;
    {
        FileHandle out;
        EXPECT_TRUE(out.Open(path.c_str(), FileAccess::Write,
                             outputPath ? FileDisposition::OpenExisting : FileDisposition::CreateAlways));
        decodeState.failure = DecodeFailure::None;
        outcome.crc = static_cast<uint16_t>(
            DecodeMember(*extractor.packageFile, &out, originalSize, packed.size(), method));
        outcome.failure = decodeState.failure;
    }
    if (!outputPath) outcome.bytes = output.Contents();
    decodeState.failure = DecodeFailure::None;
    return outcome;
}

inline uint16_t CrcOf(const Bytes& bytes) {
    MakeCrcTable();
    decodeState.crc = 0;
    UpdateCrc(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return decodeState.crc;
}

// Random packed bytes as a member of `method` (run it under the sanitizers): any stream
// decodes to the full size, a last match whole, without leaving any table.
inline void ExpectRandomStreamDecodes(MethodId method, uint32_t seed) {
    SCOPED_TRACE(MethodNames[method]);
    std::mt19937 random(seed);
    Bytes packed(300000);  // enough not to run dry
    for (auto& byte : packed) byte = static_cast<uint8_t>(random());
    const size_t produced = DecodeWhole(method, packed, 150000).bytes.size();
    EXPECT_GE(produced, 150000u);
    EXPECT_LE(produced, 150000u + 286);
}

}  // namespace packed_member
