// Test-only harness for the method decoders: a packed stream loaded into the bit reader
// as a member's data would be, whole members through DecodeMember, and the first member
// of a fixture archive with what expected.tsv says of it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "archive/lzh_header.h"

namespace decoder_test {

using Bytes = std::vector<uint8_t>;

// A temporary file, removed when it goes out of scope.
class TempFile {
public:
    explicit TempFile(const Bytes& contents = {});
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::u16string WidePath() const;
    Bytes Contents() const;

private:
    std::string path_;
};

// Makes `packed` the current member's data (input buffer loaded, bit reader not started)
// and gives decodeState a space-filled window of 2^dictionaryBits bytes, so that a
// method's operations can be called one by one. Undone when it goes out of scope;
// the decoders' own trees and tables are left as they are.
class PackedStream {
public:
    PackedStream(const Bytes& packed, uint16_t dictionaryBits);
    ~PackedStream();
    PackedStream(const PackedStream&) = delete;
    PackedStream& operator=(const PackedStream&) = delete;
    FileHandle& Input() { return handle_; }
    Bytes& Window() { return window_; }

private:
    TempFile file_;
    FileHandle handle_;
    Bytes window_;
};

struct Decoded {
    Bytes bytes;
    uint32_t crc = 0;
};

// Decodes one whole member with DecodeMember.
Decoded DecodeWhole(MethodId method, const Bytes& packed, uint32_t originalSize);

struct FixtureMember {
    std::string method;        // e.g. "-lh1-"
    Bytes packed;
    uint32_t originalSize = 0;
    uint16_t headerCrc = 0;
    std::string expectedCheck; // expected.tsv: SHA-256 in hex or "crc16:xxxx"
};

// The first member of a fixture archive (header levels 0 and 2).
FixtureMember ReadFixtureMember(const std::string& archiveName);

// Decodes random packed bytes as a member of `method` (run it under the sanitizers): any
// stream must decode to the full size, a last match whole, without leaving any table.
void ExpectRandomStreamDecodes(MethodId method, uint32_t seed);

// Decodes the first member of a fixture archive and compares the result with its size,
// its header's CRC-16 and expected.tsv.
void ExpectFixtureDecodes(const std::string& archiveName, MethodId method);

}  // namespace decoder_test
