// Static Huffman decoding (-lh4- to -lh7-): per-block code tables read from the stream.
#pragma once
#include <cstdint>

struct DecodeJob;

// Reads the lengths of the pre-tree (skipIndex 3) or of the position code (skipIndex -1)
// and builds ptTable.
void ReadPtLengths(int16_t count, int32_t countBits, int32_t skipIndex);
// Reads the 510 char/length code lengths through the pre-tree and builds charTable.
void ReadCharLengths();

// The window loop of DecodeJob::Run for these methods and for -lh1-, with the decoding
// inlined and a wide local bit buffer. Writes exactly what the plain loop writes and sends
// the same progress values. False when a write failed or the run was aborted.
bool RunFastWindowLoop(DecodeJob& job);
