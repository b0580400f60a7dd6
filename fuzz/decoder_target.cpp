// Fuzz target: one member of any method through DecodeMember.
//
// Checked beyond memory safety:
//   - exactly the original size reaches the output file, less only when the packed data
//     ran out first (a stored member: what its packed data holds), and the CRC is that of
//     the bytes written;
//   - the decoder takes nothing beyond the member's packed data: the same member decodes
//     to the same bytes and verdict whether the file ends right behind it or carries
//     other bytes;
//   - compressed members read the package file no further than their packed data;
//   - -lh1- and -lh4- to -lh7- give the same bytes through the fast loops and the plain one
//     (-lh4- to -lh7-: the host tool's wide loop and the stub's small one);
//   - the window and the input buffer are released.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "archive/extractor.h"
#include "decode/bit_input.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "platform/memory/memory_volume.h"

namespace fuzz {

namespace {

// Bytes placed behind the packed data in the second decoding: what a reader that went
// too far would pick up instead of the zeros that follow a member's end.
constexpr size_t GuardSize = 64;
constexpr uint8_t GuardByte = 0xA5;
// Sizes up to several windows of the largest method. Decoding time grows with the size,
// so the 7 bits above them shift it right: most inputs the fuzzer makes are small and
// fast, while every size stays reachable (and stored inputs, whose byte 3 is 0 or 1,
// keep theirs).
constexpr uint32_t SizeBits = 17;

uint32_t OriginalSize(const uint8_t* data) {
    uint32_t field = data[1] | data[2] << 8 | data[3] << 16;
    return (field & ((1u << SizeBits) - 1)) >> ((field >> SizeBits) % SizeBits);
}

struct Outcome {
    std::vector<uint8_t> bytes;
    uint32_t crc = 0;
    bool ranOut = false;
};

Outcome Decode(MethodId method, uint32_t originalSize, const std::vector<uint8_t>& file, uint32_t packedSize) {
    ResetMemoryVolume();
    FUZZ_CHECK(PutMemoryFile(u"/input", file.data(), file.size()));
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    FUZZ_CHECK(extractor.packageFile->Open(u"/input", FileAccess::Read, FileDisposition::OpenExisting));
    FileHandle output;
    WideString outputPath(u"/output");
    FUZZ_CHECK(output.Open(outputPath.Text(), FileAccess::Write, FileDisposition::CreateAlways));

    // A block whose code has no lengths at all keeps the tables it finds; start every
    // decoding from the same ones so that an input always decodes the same way.
    DecodeState& s = decodeState;
    std::memset(s.charLengths, 0, sizeof s.charLengths);
    std::memset(s.charTable, 0, sizeof s.charTable);
    std::memset(s.ptLengths, 0, sizeof s.ptLengths);
    std::memset(s.ptTable, 0, sizeof s.ptTable);
    std::memset(s.zeroChild, 0, sizeof s.zeroChild);
    std::memset(s.oneChild, 0, sizeof s.oneChild);
    s.failure = DecodeFailure::None;
    Outcome outcome;
    outcome.crc = DecodeMember(*extractor.packageFile, &output, originalSize, packedSize, method);
    output.Close();
    FUZZ_CHECK(decodeState.failure == DecodeFailure::None);
    FUZZ_CHECK(decodeState.window == nullptr && decodeState.inputBuffer == nullptr);
    bool stored = method == MethodLh0 || method == MethodLz4;
    if (!stored) FUZZ_CHECK(extractor.packageFile->Tell() <= packedSize);

    outcome.bytes = std::move(TheMemoryVolume().files[u"/output"].bytes);
    outcome.ranOut = PackedDataRanOut();
    const uint32_t size = stored && packedSize < originalSize ? packedSize : originalSize;
    FUZZ_CHECK(outcome.bytes.size() == size || (outcome.ranOut && outcome.bytes.size() < size));
    decodeState.crc = 0;
    UpdateCrc(outcome.bytes.data(), static_cast<uint32_t>(outcome.bytes.size()));
    FUZZ_CHECK(decodeState.crc == outcome.crc);
    return outcome;
}

}  // namespace

void RunDecoderTarget(const uint8_t* data, size_t size) {
    if (size < DecoderInputHead) return;
    InstallSilentFrontEnd();
    if (decodeState.crcTable[1] == 0) MakeCrcTable();  // once: it never changes
    keepRunning.store(1);
    decodeState.progressTotal = 0;

    auto method = static_cast<MethodId>(data[0] % (MethodLz4 + 1));
    uint32_t originalSize = OriginalSize(data);
    std::vector<uint8_t> packed(data + DecoderInputHead, data + size);
    auto packedSize = static_cast<uint32_t>(packed.size());

    // One more decoding checks two things at once: the same bytes come out when the file
    // carries more behind the member, and every method decodes alike through the plain
    // loop (a fault in one would have to cancel one in the other to pass).
    Outcome alone = Decode(method, originalSize, packed, packedSize);
    std::vector<uint8_t> guarded(packed);
    guarded.insert(guarded.end(), GuardSize, GuardByte);
    UseFastLoops(false);
    Outcome followed = Decode(method, originalSize, guarded, packedSize);
    UseFastLoops(true);
    FUZZ_CHECK(followed.crc == alone.crc);
    FUZZ_CHECK(followed.bytes == alone.bytes);
    FUZZ_CHECK(followed.ranOut == alone.ranOut);
    if (IsStaticMethod(method)) {
        // The stub's own fast loop too, which the host tool leaves for a wider one.
        UseSmallLoop(true);
        Outcome small = Decode(method, originalSize, guarded, packedSize);
        UseSmallLoop(false);
        FUZZ_CHECK(small.crc == alone.crc && small.bytes == alone.bytes && small.ranOut == alone.ranOut);
    }
}

}  // namespace fuzz
