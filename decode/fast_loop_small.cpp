// The stub's fast loop: one window loop for -lh1- and -lh4- to -lh7-, which fits its size
// budget; the host tool builds fast_loop_wide.cpp instead.
#include "decode/static_huffman.h"

bool RunFastWindowLoop(DecodeJob& job) { return RunSmallWindowLoop(job); }
