// Decoding ahead: while the worker writes one member, a second thread (the host tool's)
// decodes the members after it into memory.
#pragma once
#include <cstdint>

struct Extractor;
struct LzhHeader;
class FileHandle;
class WideString;

// From the package's current position, the first header; nothing where there is no second
// thread, or where the run may pass over members it would decode for nothing (members
// chosen, existing files kept).
void StartDecodingAhead(Extractor& extractor);
void StopDecodingAhead();
// For the member whose header begins at `headerAt`: its header as the thread read it, with
// `package` put at the member's data (once: the header's path is then the caller's); false
// when the worker is to read it itself.
bool TakeHeaderAhead(uint64_t headerAt, FileHandle& package, LzhHeader& header);
// For the member whose header TakeHeaderAhead gave last: its path made safe as
// SanitizeMemberPath(path, '/') makes it; false when the worker is to make it itself.
bool TakeOutputPathAhead(uint64_t headerAt, WideString& outputPath);
// After the thread was joined: whether it read every header the worker's walks over the
// archive read, and kept each folder member's header; if so, TakeFolderAhead gives them
// one by one in the archive's order (false after the last), else the worker walks the
// headers itself.
bool KeptEveryFolderAhead();
bool TakeFolderAhead(LzhHeader& header);
// For the member whose header begins at `headerAt`, with the package at its data: when it
// was decoded ahead, its bytes go to `output` with progress, decodeState holds the outcome
// as DecodeMember leaves it, and the result is its CRC-16; false when the worker is to
// decode it itself.
bool TakeDecodedAhead(uint64_t headerAt, FileHandle& output, uint32_t& crc);
