// LHA member headers (levels 0, 1 and 2) and the method id table.
#pragma once
#include <cstdint>

#include "decode/method_id.h"
#include "package/wide_string.h"

struct Extractor;
class FileHandle;

// Everything a header gives but the path: plain values, so that a header is reset in
// one step.
struct LzhHeaderValues {
    uint8_t headerLength = 0;    // byte 0 as read
    char method[5] = {};         // e.g. "-lh5-", not terminated
    uint64_t packedSize = 0;     // bytes of packed data behind the header (0x42: 64-bit)
    uint64_t originalSize = 0;
    uint32_t rawTime = 0;        // MS-DOS stamp (levels 0, 1) or Unix seconds (level 2)
    uint8_t attribute = 0;
    uint8_t level = 0;
    uint16_t dataCrc = 0;
    uint8_t hasCrc = 0;
    uint8_t osId = 0;
    int64_t modifiedTime = 0;    // seconds since 1970 UTC; meaningful when hasTime
    uint8_t hasTime = 0;         // 0: the stamp is zero or no real date, leave the file's time
    uint8_t hasUnixMode = 0;     // 1 when a 0x50 header gave the permission bits
    uint16_t unixMode = 0;
};

struct LzhHeader : LzhHeaderValues {
    WideString path;             // directory part then name
};

// How a header read ended. Past the end mark (or the end of the file right at a header's
// first byte) nothing more is read; bytes that are neither are damage.
enum class HeaderRead : uint8_t {
    Member,         // `out` is filled, the file stands at the packed data
    End,            // the end mark, or the end of the file where a header would start
    Cut,            // a header cut short, longer than the reader takes, or of impossible sizes
    UnknownShape,   // no known header layout
};

MethodId LookUpMethod(const char method[5]);

constexpr uint32_t HeaderBufferSize = 4096;

// Reads the next header from `file` without telling anyone.
HeaderRead ReadHeader(FileHandle& file, LzhHeader& out);

// Reads the next header from the extractor's package file. True: `out` is filled and
// the file stands at the member's packed data. False: the walk ends; how it ended is
// kept in extractor.archiveEnd (after the "Unknown header" message for an unknown shape).
bool ReadMemberHeader(Extractor& extractor, LzhHeader& out);

int64_t DosTimeToUnixTime(uint32_t dosTime);
// False for 0 and for stamps that name no real date or time of day.
bool IsRealDosTime(uint32_t dosTime);

// Folders: -lhd- members, and the empty -lh0- members with the folder attribute that
// some archivers (Amiga LHA) wrote instead.
bool IsFolderMember(const LzhHeader& header, MethodId method);

// Separator translation: backslash, slash and 0xFF (U+FFFF) become `sep`.
void ReplaceSeparatorsMultiByte(char* text, char sep);
void ReplaceSeparators(WideString& path, WideChar sep);
