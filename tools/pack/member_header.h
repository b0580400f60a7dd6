// Level-2 member headers as the packer writes them: the base header, then a header CRC,
// the CP932 name and folder (0x01, 0x02), the attribute (0x40), the Unix permissions (0x50)
// and the UTF-16 name and folder (0x44, 0x45), so that readers of either kind find the name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MemberHeaderFields {
    char method[6] = "-lh0-";
    uint32_t packedSize = 0;
    uint32_t originalSize = 0;
    int32_t modifiedTime = 0;    // seconds since 1970 UTC
    uint16_t crc = 0;
    bool folder = false;
    uint16_t unixMode = 0;       // type and permission bits (0x50); 0: none stored
    std::u16string name;         // the last component; empty for a folder member
    std::u16string directory;    // the folders above it, each followed by '/'
};

// The largest header the extractors read.
constexpr size_t MaxMemberHeaderSize = 4096;

// The header's bytes. Its length depends only on the names, so a header written with
// placeholder sizes can be rewritten in place once the data is packed.
std::vector<uint8_t> BuildMemberHeader(const MemberHeaderFields& fields);
