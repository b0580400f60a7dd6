// Test-only helpers that put packed bytes where the decoders expect them: loaded into the
// bit reader for calling decode operations one by one, or in a file for DecodeMember;
// and the golden streams of tests/golden/streams.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decode/bit_input.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"
#include "platform/file_handle.h"

namespace packed_member {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class ScratchFile {
public:
    explicit ScratchFile(const Bytes& contents = {}) {
        char name[] = "/tmp/kavisfx_packed_XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        EXPECT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
        close(fd);
    }
    ~ScratchFile() { unlink(path_.c_str()); }
    std::u16string Wide() const { return std::u16string(path_.begin(), path_.end()); }
    Bytes Contents() const { return ReadAll(path_); }

private:
    std::string path_;
};

// The packed bytes a row names: "name.bin" in tests/golden/streams, "random:SEED" (twice
// `size` random bytes, enough not to run dry), or hex digits.
inline Bytes Input(const std::string& source, uint64_t size = 0) {
    if (source.size() > 4 && source.compare(source.size() - 4, 4, ".bin") == 0)
        return ReadAll(std::string(KAVISFX_GOLDEN_DIR) + "/streams/" + source);
    Bytes bytes;
    if (source.rfind("random:", 0) == 0) {
        std::mt19937 random(static_cast<uint32_t>(std::stoul(source.substr(7))));
        bytes.resize(2 * size);
        for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
        return bytes;
    }
    for (size_t i = 0; i + 1 < source.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoul(source.substr(i, 2), nullptr, 16)));
    return bytes;
}

// `packed` as the current member's data in the input buffer (the member claims
// `packedSize` bytes; the buffer holds `bufferSize` at a time), the bit reader started
// on it unless a method's start operation is to do that.
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

// `packed` started as `method`, then `script` run on it one operation at a time: "c65" the next literal/length code is 65, "p17" the next position
// is 17, "b165" the next 8 bits are 165, "n320" sets the count of bytes decoded so far
// (the -lh2- position tree grows with it).
inline void ExpectScript(MethodId method, const std::string& packed, const char* script) {
    static const uint8_t dictionaryBits[] = {0, 12, 13, 13, 12, 13, 15, 16, 11, 12};
    const bool isStatic = method >= MethodLh4 && method <= MethodLh7;
    LoadedStream stream(Input(packed), UINT32_MAX, UINT32_MAX, false);
    decodeState.dictionaryBits = dictionaryBits[method];
    decodeState.decodedCount = 0;
    MethodDecoderTable[method].start(stream.Input());
    std::istringstream steps(script);
    for (std::string step; steps >> step;) {
        const long value = std::stol(step.substr(1));
        switch (step[0]) {
        case 'c': EXPECT_EQ(isStatic ? DecodeCharStatic() : MethodDecoderTable[method].decodeChar(), value) << step; break;
        case 'p': EXPECT_EQ(isStatic ? DecodePositionStatic() : MethodDecoderTable[method].decodePosition(), value) << step; break;
        case 'b': EXPECT_EQ(GetBits(8), value) << step; break;
        default: decodeState.decodedCount = static_cast<uint64_t>(value);
        }
    }
}

struct Outcome {
    Bytes bytes;
    uint16_t crc = 0;
    DecodeFailure failure = DecodeFailure::None;
};

// Where DecodeWhole writes without an `outputPath`: a scratch file, or a handle in memory.
enum class Output { File, Memory };

// One whole member through DecodeMember, written to a scratch file (or into memory) or to
// `outputPath`.
inline Outcome DecodeWhole(MethodId method, const Bytes& packed, uint64_t originalSize,
                           const char16_t* outputPath = nullptr, uint64_t packedSize = UINT64_MAX,
                           Output to = Output::File) {
    MakeCrcTable();
    ScratchFile input(packed), output;
    FileHandle in, out;
    EXPECT_TRUE(in.Open(input.Wide().c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    if (to == Output::Memory)
        EXPECT_TRUE(out.OpenInMemory(originalSize));
    else
        EXPECT_TRUE(out.Open(outputPath ? outputPath : output.Wide().c_str(), FileAccess::Write,
                             outputPath ? FileDisposition::OpenExisting : FileDisposition::CreateAlways));
    decodeState.failure = DecodeFailure::None;
    Outcome outcome;
    outcome.crc = static_cast<uint16_t>(
        DecodeMember(in, &out, originalSize, packedSize == UINT64_MAX ? packed.size() : packedSize, method));
    outcome.failure = decodeState.failure;
    decodeState.failure = DecodeFailure::None;
    if (to == Output::Memory) {
        uint64_t count = 0;
        uint8_t* data = out.TakeWritten(count);
        outcome.bytes.assign(data, data + count);
        delete[] data;
        return outcome;
    }
    out.Close();
    if (!outputPath) outcome.bytes = output.Contents();
    return outcome;
}

inline uint16_t CrcOf(const Bytes& bytes) {
    MakeCrcTable();
    decodeState.crc = 0;
    UpdateCrc(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return decodeState.crc;
}

}  // namespace packed_member
