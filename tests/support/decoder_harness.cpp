#include "support/decoder_harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "archive/extractor.h"
#include "decode/bit_input.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "support/sha256.h"

namespace decoder_test {

TempFile::TempFile(const Bytes& contents) {
    char name[] = "/tmp/kavisfx_decoder_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) {
        ADD_FAILURE() << "cannot create a temporary file";
        return;
    }
    path_ = name;
    if (!contents.empty() && write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size()))
        ADD_FAILURE() << "cannot write " << path_;
    close(fd);
}

TempFile::~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
}

std::u16string TempFile::WidePath() const { return std::u16string(path_.begin(), path_.end()); }

Bytes TempFile::Contents() const {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

PackedStream::PackedStream(const Bytes& packed, uint16_t dictionaryBits)
    : file_(packed), window_(size_t{1} << dictionaryBits, ' ') {
    handle_.Open(file_.WidePath().c_str(), FileAccess::Read, FileDisposition::OpenExisting);
    DecodeState& s = decodeState;
    s.dictionaryBits = dictionaryBits;
    s.window = window_.data();
    s.windowPosition = 0;
    s.decodedCount = 0;
    s.packedRemaining = static_cast<uint32_t>(packed.size());
    AllocInputBuffer(handle_, static_cast<uint32_t>(packed.size()));
}

PackedStream::~PackedStream() {
    FreeInputBuffer();
    decodeState.window = nullptr;
}

Decoded DecodeWhole(MethodId method, const Bytes& packed, uint32_t originalSize) {
    TempFile input(packed);
    TempFile output;
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    extractor.packageFile->Open(input.WidePath().c_str(), FileAccess::Read, FileDisposition::OpenExisting);
    MakeCrcTable();
    Decoded result;
    {
        FileHandle out;
        out.Open(output.WidePath().c_str(), FileAccess::Write, FileDisposition::CreateAlways);
        result.crc = DecodeMember(*extractor.packageFile, &out, originalSize, packed.size(), method);
    }
    result.bytes = output.Contents();
    return result;
}

static uint32_t Le(const Bytes& b, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | b.at(at + i);
    return value;
}

static std::string ExpectedCheck(const std::string& archiveName) {
    std::ifstream tsv(std::string(KAVISFX_FIXTURES_DIR) + "/expected.tsv");
    std::string line;
    while (std::getline(tsv, line)) {
        std::istringstream fields(line);
        std::string archive, path, size, check;
        std::getline(fields, archive, '\t');
        std::getline(fields, path, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, check, '\t');
        if (archive == archiveName) return check;
    }
    return {};
}

FixtureMember ReadFixtureMember(const std::string& archiveName) {
    std::ifstream in(std::string(KAVISFX_FIXTURES_DIR) + "/" + archiveName, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FixtureMember member;
    if (file.size() < 24) {
        ADD_FAILURE() << archiveName << " is too short";
        return member;
    }
    member.method.assign(file.begin() + 2, file.begin() + 7);
    const uint32_t packedSize = Le(file, 7, 4);
    member.originalSize = Le(file, 11, 4);
    size_t dataStart = 0;
    if (file[20] == 0) {            // level 0: H, then the name and the CRC at its end
        dataStart = file[0] + 2u;
        member.headerCrc = static_cast<uint16_t>(Le(file, 22 + file[21], 2));
    } else if (file[20] == 2) {     // level 2: the whole header's length first
        dataStart = Le(file, 0, 2);
        member.headerCrc = static_cast<uint16_t>(Le(file, 21, 2));
    } else {
        ADD_FAILURE() << archiveName << ": header level " << int(file[20]) << " not handled here";
        return member;
    }
    if (dataStart + packedSize > file.size()) {
        ADD_FAILURE() << archiveName << ": packed data runs past the end";
        return member;
    }
    member.packed.assign(file.begin() + dataStart, file.begin() + dataStart + packedSize);
    member.expectedCheck = ExpectedCheck(archiveName);
    return member;
}

void ExpectRandomStreamDecodes(MethodId method, uint32_t seed) {
    SCOPED_TRACE(MethodNames[method]);
    std::mt19937 random(seed);
    Bytes packed(300000);  // enough not to run dry
    for (auto& byte : packed) byte = static_cast<uint8_t>(random());
    const uint32_t originalSize = 150000;
    const size_t produced = DecodeWhole(method, packed, originalSize).bytes.size();
    EXPECT_GE(produced, originalSize);
    EXPECT_LE(produced, originalSize + 286);
}

void ExpectFixtureDecodes(const std::string& archiveName, MethodId method) {
    SCOPED_TRACE(archiveName);
    const FixtureMember member = ReadFixtureMember(archiveName);
    ASSERT_EQ(member.method, std::string(MethodNames[method], 5));
    const Decoded decoded = DecodeWhole(method, member.packed, member.originalSize);
    EXPECT_EQ(decoded.bytes.size(), member.originalSize);
    EXPECT_EQ(decoded.crc, member.headerCrc);
    if (member.expectedCheck.rfind("crc16:", 0) == 0) {
        EXPECT_EQ(decoded.crc, std::stoul(member.expectedCheck.substr(6), nullptr, 16));
    } else {
        EXPECT_EQ(Sha256Hex(decoded.bytes), member.expectedCheck);
    }
}

}  // namespace decoder_test
