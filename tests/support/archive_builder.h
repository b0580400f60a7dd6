// Test-only builder of LHA member headers and archives, ordinary and hostile.
//
// A Member describes one header and the packed bytes behind it. By default every
// derived field is computed so that the header is well formed:
//   levels 0 and 1  byte 0 = H (header length counted from byte 2), byte 1 = checksum,
//                   method, packed size, original size, time, attribute, level, name
//                   length n, name, CRC-16 (hasCrc), OS id (hasOsId), `baseExtra`,
//                   and for level 1 the size of the first extended header at offset H;
//                   the extended headers follow the base header in the file and the
//                   level-1 packed size counts them.
//   level 2         bytes 0-1 = total header length, method, sizes, Unix time, attribute,
//                   level, CRC-16, OS id, first extended size, extended headers,
//                   `baseExtra` after the chain (inside the counted length).
// Any derived field can be forced with the `*Override` members, and `Member::Raw`
// bytes go into the archive unchanged, so damaged and hostile archives are easy:
//
//   ArchiveBuilder archive;
//   archive.Add(Member::Stored("a/b.txt", "hello"));                  // level 2, -lh0-
//   archive.Add(Member::Stored("x", "data").Level(1).Ext(0x01, "name"));
//   Member evil = Member::Stored("", "");
//   evil.ext = {ExtendedHeader::Text(0x02, "..\xff..\xff"), ExtendedHeader::Text(0x01, "f")};
//   evil.headerLengthOverride = 300;                                  // lie about the length
//   archive.Add(evil).AddRaw({0x00});                                 // or .End()
//   std::vector<uint8_t> bytes = archive.Contents();
//   archive.WriteTo(path);                     // plain archive
//   WritePackage(path, ConfigBlock::Absent(), archive.Contents());  // stub + block + archive
//
// Names and directory payloads are raw bytes (multibyte text); use Utf16Le() for the
// payloads of the 0x44 and 0x45 headers. Level-2 names belong in 0x01/0x44 headers;
// `name` is ignored at level 2.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lha {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text);
// UTF-16LE bytes of a text (for the payloads of the 0x44 and 0x45 headers).
Bytes Utf16Le(const std::u16string& text);
// CRC-16/ARC (polynomial 0xA001, initial 0), the check of LHA member data.
uint16_t Crc16(const Bytes& data);
// MS-DOS time stamp: date in the high half, time in the low half.
uint32_t DosTime(int year, int month, int day, int hour, int minute, int second);

struct ExtendedHeader {
    uint8_t type = 0;
    Bytes payload;
    // Forces the size written in front of this header (type + payload + 2 by default).
    std::optional<uint16_t> sizeOverride;

    static ExtendedHeader Text(uint8_t type, const std::string& payload);
    static ExtendedHeader Wide(uint8_t type, const std::u16string& payload);
    uint32_t Size() const { return static_cast<uint32_t>(payload.size()) + 3; }
};

// Common extended header types.
enum : uint8_t {
    ExtHeaderCrc = 0x00, ExtFileName = 0x01, ExtDirectory = 0x02, ExtAttribute = 0x40,
    ExtWindowsTime = 0x41, ExtUtf16Name = 0x44, ExtUtf16Directory = 0x45, ExtCodePage = 0x46,
    ExtUnixTime = 0x54,
};

struct Member {
    int level = 2;
    std::string method = "-lh0-";       // 5 characters; longer is cut, shorter padded
    Bytes data;                         // packed bytes written behind the header
    uint32_t originalSize = 0;
    uint32_t time = 0;                  // MS-DOS stamp (levels 0/1) or Unix seconds (2)
    uint8_t attribute = 0x20;
    std::string name;                   // levels 0 and 1: raw name bytes
    bool hasCrc = true;
    uint16_t crc = 0;
    bool hasOsId = true;                // levels 0 and 1 only; level 2 always has one. Level 0
                                        // needs a byte of baseExtra after it (H - n >= 24)
    uint8_t osId = 'M';
    Bytes baseExtra;                    // bytes after the OS id (levels 0/1) or after the chain (2)
    std::vector<ExtendedHeader> ext;

    // Overrides of the derived fields.
    std::optional<uint16_t> headerLengthOverride;  // byte 0 (levels 0/1) or bytes 0-1 (2)
    std::optional<uint8_t> levelOverride;          // byte 20 (the layout still follows `level`)
    std::optional<uint8_t> nameLengthOverride;     // byte 21 (levels 0/1)
    std::optional<uint32_t> packedSizeOverride;    // bytes 7-10
    std::optional<uint16_t> firstExtSizeOverride;  // the first size field of the chain
    bool chainEnd = true;                          // write the closing size 0 of the chain
    // Level 2: put a 0x00 header first holding the CRC-16 of the whole header (lhasa
    // insists on it; our reader ignores it).
    bool headerCrc = false;

    // A stored (-lh0-) member: name in a 0x01 header at level 2, in the base otherwise.
    // Level 0 gets no OS id (H = 22 + n, as MS-DOS archivers write it).
    static Member Stored(const std::string& name, const std::string& content, int level = 2);
    // A folder (-lhd-): "a/b" goes into a 0x02 header as "a\xffb\xff" at levels 1 and 2,
    // into the base name as "a\b\" at level 0.
    static Member Folder(const std::string& directory, int level = 2);

    Member& Level(int value) { level = value; return *this; }
    Member& Ext(uint8_t type, const std::string& payload) {
        ext.push_back(ExtendedHeader::Text(type, payload));
        return *this;
    }
    Member& WideExt(uint8_t type, const std::u16string& payload) {
        ext.push_back(ExtendedHeader::Wide(type, payload));
        return *this;
    }
};

// The header bytes alone (for level 1 including the extended headers that follow it).
Bytes BuildHeader(const Member& member);
// Sum of the extended header sizes as written (what a level-1 packed size includes).
uint32_t ExtendedSizeTotal(const Member& member);

class ArchiveBuilder {
public:
    ArchiveBuilder& Add(const Member& member);    // header then data
    ArchiveBuilder& AddRaw(const Bytes& bytes);
    ArchiveBuilder& End() { return AddRaw({0x00}); }
    const lha::Bytes& Contents() const { return bytes_; }
    bool WriteTo(const std::string& path) const;

private:
    lha::Bytes bytes_;
};

// The configuration block in front of the archive.
struct ConfigBlock {
    bool present = true;                // false: the single marker byte 0
    std::u16string caption, destination, shortcutTarget, launchProgram, shortcutName;
    uint8_t base = 0, startMenuOption = 0, desktopOption = 0, sendToOption = 0;

    static ConfigBlock Absent() { ConfigBlock block; block.present = false; return block; }
    lha::Bytes Encode() const;
};

// A package: an "MZ" stub image padded to 37888 bytes, the block, then the archive.
lha::Bytes BuildPackage(const ConfigBlock& block, const lha::Bytes& archive);
bool WritePackage(const std::string& path, const ConfigBlock& block, const lha::Bytes& archive);
bool WriteFile(const std::string& path, const lha::Bytes& bytes);

}  // namespace lha
