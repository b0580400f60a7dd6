// Test-only builder of LHA member headers and archives, ordinary and odd.
//
// A Member describes one header and the packed bytes behind it; every derived field is
// computed so that the header is well formed unless an `*Override` forces it:
//   levels 0 and 1  H, checksum, method, sizes, MS-DOS time, attribute, level, name length,
//                   name, CRC-16 (hasCrc), OS id (hasOsId), `baseExtra`, and for level 1
//                   the first extended size; the extended headers follow, counted in the
//                   level-1 packed size.
//   level 2         total length, method, sizes, Unix time, attribute, level, CRC-16, OS id,
//                   the extended headers, then `baseExtra` (inside the counted length).
// Names and directory payloads are raw bytes (multibyte text); level-2 names belong in
// 0x01/0x44 headers (`name` is ignored at level 2). Damaged archives for the tests are
// golden files (tests/golden), made once.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lha {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text);
// CRC-16/ARC (polynomial 0xA001, initial 0), the check of LHA member data.
uint16_t Crc16(const Bytes& data);
// MS-DOS time stamp: date in the high half, time in the low half.
uint32_t DosTime(int year, int month, int day, int hour, int minute, int second);

struct ExtendedHeader {
    uint8_t type = 0;
    Bytes payload;

    static ExtendedHeader Text(uint8_t type, const std::string& payload);
    static ExtendedHeader Wide(uint8_t type, const std::u16string& payload);  // UTF-16LE
    uint16_t Size() const { return static_cast<uint16_t>(payload.size() + 3); }
};

enum : uint8_t { ExtFileName = 0x01, ExtDirectory = 0x02 };

struct Member {
    int level = 2;
    std::string method = "-lh0-";       // 5 characters
    Bytes data;                         // packed bytes written behind the header
    uint32_t originalSize = 0;
    uint32_t time = 0;                  // MS-DOS stamp (levels 0/1) or Unix seconds (2)
    uint8_t attribute = 0x20;
    std::string name;                   // levels 0 and 1: raw name bytes
    bool hasCrc = true;
    uint16_t crc = 0;
    bool hasOsId = true;                // levels 0 and 1 only; level 2 always has one
    uint8_t osId = 'M';
    Bytes baseExtra;                    // bytes after the OS id (levels 0/1) or after the chain (2)
    std::vector<ExtendedHeader> ext;

    std::optional<uint16_t> headerLengthOverride;  // byte 0 (levels 0/1) or bytes 0-1 (2)
    std::optional<uint32_t> packedSizeOverride;    // bytes 7-10

    // A stored (-lh0-) member: name in a 0x01 header at level 2, in the base otherwise.
    // Level 0 gets no OS id (H = 22 + n, as MS-DOS archivers write it).
    static Member Stored(const std::string& name, const std::string& content, int level = 2);
    // A folder (-lhd-): "a/b" goes into a 0x02 header as "a\xffb\xff" at levels 1 and 2,
    // into the base name as "a\b\" at level 0.
    static Member Folder(const std::string& directory, int level = 2);

    Member& Ext(uint8_t type, const std::string& payload) {
        ext.push_back(ExtendedHeader::Text(type, payload));
        return *this;
    }
};

// The header bytes alone (for level 1 including the extended headers that follow it).
Bytes BuildHeader(const Member& member);

class ArchiveBuilder {
public:
    ArchiveBuilder& Add(const Member& member);  // header then data
    ArchiveBuilder& AddRaw(const Bytes& bytes);
    ArchiveBuilder& End() { return AddRaw({0x00}); }
    const Bytes& Contents() const { return bytes_; }
    bool WriteTo(const std::string& path) const;

private:
    Bytes bytes_;
};

// The configuration block in front of the archive.
struct ConfigBlock {
    bool present = true;                // false: the single marker byte 0
    std::u16string caption, destination, shortcutTarget, launchProgram, shortcutName;
    uint8_t base = 0, startMenuOption = 0, desktopOption = 0, sendToOption = 0;

    static ConfigBlock Absent() { ConfigBlock block; block.present = false; return block; }
    Bytes Encode() const;
};

// A package: an "MZ" stub image padded to 37888 bytes, the block, then the archive.
Bytes BuildPackage(const ConfigBlock& block, const Bytes& archive);
bool WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace lha
