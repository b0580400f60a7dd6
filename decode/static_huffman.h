// Static Huffman decoding (-lh4- to -lh7-): per-block code tables read from the stream.
#pragma once
#include <cstdint>

struct DecodeJob;
class WideBits;

// Reads the lengths of the pre-tree (skipIndex 3) or of the position code (skipIndex -1)
// and builds ptTable.
void ReadPtLengths(int16_t count, int32_t countBits, int32_t skipIndex);
// Reads the 510 char/length code lengths through the pre-tree and builds charTable.
void ReadCharLengths();

// The small fast window loop, for every compressed method, with the decoding of these
// methods and of -lh1- inlined over a wide bit buffer. Writes exactly what the plain loop
// writes and sends the same progress values. False when a write failed, the packed data
// ran dry or the run was aborted.
bool RunSmallWindowLoop(DecodeJob& job);

// The block header (block size and the three codes) through the wide reader; leaves it
// refilled.
void ReadStaticBlockHeader(WideBits& in);
