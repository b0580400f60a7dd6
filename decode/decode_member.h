// The decoding entry points used by the extraction worker.
#pragma once
#include <cstdint>

#include "archive/lzh_header.h"
#include "package/wide_string.h"

struct Extractor;
class FileHandle;

void MakeCrcTable();

// Decodes one member from the extractor's package file (standing at its packed data)
// into `output`; returns the CRC-16 of what was written. decodeState.failure tells a
// failed write apart from damaged data.
uint32_t DecodeMember(Extractor& extractor, FileHandle* output, uint32_t originalSize,
                      uint32_t packedSize, const WideString& outputPath, MethodId method);

// Copies a stored member of `size` bytes from the package file into `output` in
// 2048-byte chunks; the result shows in decodeState.crc (and failure, keepRunning).
void CopyStored(Extractor& extractor, FileHandle* output, uint32_t size);

// -lh4- to -lh7- go through a loop specialised for them (the default) or through the
// plain per-symbol driver; both write the same bytes. For tests and benchmarks.
void UseSpecialisedStaticLoop(bool on);
