// The stub decodes every member on its worker thread, as it writes it.
#include "archive/decode_ahead.h"

void StartDecodingAhead(Extractor&) {}
void StopDecodingAhead() {}
bool KeptEveryFolderAhead() { return false; }
bool TakeFolderAhead(LzhHeader&) { return false; }
bool TakeHeaderAhead(uint64_t, FileHandle&, LzhHeader&) { return false; }
bool TakeOutputPathAhead(uint64_t, WideString&) { return false; }
bool TakeDecodedAhead(uint64_t, FileHandle&, uint32_t&) { return false; }
