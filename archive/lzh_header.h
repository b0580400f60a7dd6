// LHA member headers (levels 0, 1 and 2) and the method id table.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

struct Extractor;

struct LzhHeader {
    uint8_t headerLength = 0;    // byte 0 as read
    char method[5] = {};         // e.g. "-lh5-", not terminated
    uint32_t packedSize = 0;     // bytes of packed data behind the header
    uint32_t originalSize = 0;
    uint32_t rawTime = 0;        // MS-DOS stamp (levels 0, 1) or Unix seconds (level 2)
    uint8_t attribute = 0;
    uint8_t level = 0;
    WideString path;             // directory part then name
    uint16_t dataCrc = 0;
    uint8_t hasCrc = 0;
    uint8_t osId = 0;
    int64_t modifiedTime = 0;    // seconds since 1970 UTC
};

enum MethodId : uint32_t {
    MethodLh0, MethodLh1, MethodLh2, MethodLh3, MethodLh4, MethodLh5, MethodLh6,
    MethodLh7, MethodLzs, MethodLz5, MethodLz4, MethodLhd, MethodCount,
    MethodUnknown = 0xFFFFFFFF,
};

extern const char MethodNames[MethodCount][6];    // "-lh0-" ... "-lhd-"
MethodId LookUpMethod(const char method[5]);

constexpr uint32_t HeaderBufferSize = 4096;

// Reads the next header from the extractor's package file. True: `out` is filled and
// the file stands at the member's packed data. False: the archive ended, a header was
// cut short or had no known shape (after the "Unknown header" message).
bool ReadMemberHeader(Extractor& extractor, LzhHeader& out);

uint32_t ReadLe32(Extractor& extractor);
int64_t DosTimeToUnixTime(uint32_t dosTime);

// Separator translation: backslash, slash and 0xFF (U+FFFF) become `sep`.
void ReplaceSeparatorsMultiByte(char* text, char sep);
void ReplaceSeparators(WideString& path, WideChar sep);
