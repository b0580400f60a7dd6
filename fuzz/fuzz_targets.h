// The fuzz targets: one per way an archive reaches the core. libFuzzer drives them from
// fuzz/*_fuzzer.cpp; tests/fuzz_regression_test.cpp replays stored inputs through them.
// A target returns normally for any input it handles soundly; a broken invariant goes to
// the failure hook (abort under the fuzzer, a test failure under the replay).
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz {

// Configuration block, header walk, pre-scan and path sanitising over arbitrary bytes.
void RunHeaderTarget(const uint8_t* data, size_t size);

// One member through DecodeMember. Byte 0 picks the method (mod 11: -lh0- to -lz4-),
// bytes 1-3 the original size (little-endian: the low 17 bits, shifted right by the
// value of the bits above them mod 17), the rest is the packed data.
void RunDecoderTarget(const uint8_t* data, size_t size);
constexpr size_t DecoderInputHead = 4;

// The whole extraction worker on a package (byte 0 odd: configuration block first) or a
// plain archive (byte 0 even), the rest being the file, into an empty folder of a sandbox.
void RunExtractionTarget(const uint8_t* data, size_t size);

using FailureHook = void (*)(const char* what, const char* file, int line);
// Default: print and abort.
void SetFailureHook(FailureHook hook);
void Fail(const char* what, const char* file, int line);

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::fuzz::Fail(#condition, __FILE__, __LINE__))
