// The stub's window loop: the small fast loop for every method, which fits its size
// budget; the host tool builds fast_loop_wide.cpp instead.
#include "decode/decode_job.h"
#include "decode/static_huffman.h"

bool RunWindowLoop(DecodeJob& job) { return RunSmallWindowLoop(job); }
bool WindowLoopStartsItsOwnHistory(const DecodeJob&) { return false; }
