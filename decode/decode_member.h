// The decoding entry points used by the extraction worker.
#pragma once
#include <cstdint>

#include "decode/method_id.h"

class FileHandle;

void MakeCrcTable();

// Decodes one member from `input` (standing at its packed data) into `output`; returns
// the CRC-16 of what was written. decodeState.failure tells a failed write apart from
// damaged data; keepRunning stops it early.
uint32_t DecodeMember(FileHandle& input, FileHandle* output, uint64_t originalSize, uint64_t packedSize,
                      MethodId method);

// Copies a stored member of `size` bytes from `input` into `output`, an input buffer at a
// time; the result shows in decodeState.crc (and failure, keepRunning).
void CopyStored(FileHandle& input, FileHandle* output, uint64_t size);

// Compressed members go through the fast loops (the default) or through the plain
// per-symbol driver; both write the same bytes. For tests and benchmarks.
void UseFastLoops(bool on);

// In the host tool, -lh4- to -lh7- go through a wide loop of its own; on, through the
// stub's small fast loop instead. For tests and benchmarks.
void UseSmallLoop(bool on);
