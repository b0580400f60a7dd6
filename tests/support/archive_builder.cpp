// Test-only builder of LHA member headers and archives (see archive_builder.h).
#include "support/archive_builder.h"

#include <cstdio>

namespace lha {

namespace {

void Put8(Bytes& out, uint32_t value) { out.push_back(static_cast<uint8_t>(value)); }

void Put16(Bytes& out, uint32_t value) {
    Put8(out, value);
    Put8(out, value >> 8);
}

void Put32(Bytes& out, uint32_t value) {
    Put16(out, value);
    Put16(out, value >> 16);
}

void PutBytes(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void PutMethod(Bytes& out, const std::string& method) {
    for (size_t i = 0; i < 5; ++i) Put8(out, i < method.size() ? static_cast<uint8_t>(method[i]) : ' ');
}

uint16_t FirstExtSize(const Member& member) { return member.ext.empty() ? 0 : member.ext.front().Size(); }

Bytes Utf16Le(const std::u16string& text) {
    Bytes out;
    for (char16_t unit : text) Put16(out, unit);
    return out;
}

// Each extended header: type, payload, then the size of the next one (0 after the last).
void PutChain(Bytes& out, const Member& member) {
    for (size_t i = 0; i < member.ext.size(); ++i) {
        const ExtendedHeader& header = member.ext[i];
        Put8(out, header.type);
        PutBytes(out, header.payload);
        Put16(out, i + 1 == member.ext.size() ? 0 : member.ext[i + 1].Size());
    }
}

uint32_t PackedSize(const Member& member) {
    if (member.packedSizeOverride) return *member.packedSizeOverride;
    uint32_t size = static_cast<uint32_t>(member.data.size());
    if (member.level == 1)
        for (const ExtendedHeader& header : member.ext) size += header.Size();
    return size;
}

void PutCommonFields(Bytes& out, const Member& member) {
    PutMethod(out, member.method);
    Put32(out, PackedSize(member));
    Put32(out, member.originalSize);
    Put32(out, member.time);
    Put8(out, member.attribute);
    Put8(out, static_cast<uint8_t>(member.level));
}

Bytes BuildLevel01(const Member& member) {
    Bytes out = {0, 0};
    PutCommonFields(out, member);
    Put8(out, static_cast<uint8_t>(member.name.size()));
    PutBytes(out, ToBytes(member.name));
    if (member.hasCrc) Put16(out, member.crc);
    if (member.hasOsId) Put8(out, member.osId);
    PutBytes(out, member.baseExtra);
    if (member.level == 1) Put16(out, FirstExtSize(member));
    out[0] = static_cast<uint8_t>(member.headerLengthOverride ? *member.headerLengthOverride
                                                              : out.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < out.size(); ++i) sum = static_cast<uint8_t>(sum + out[i]);
    out[1] = sum;
    if (member.level == 1) PutChain(out, member);
    return out;
}

Bytes BuildLevel2(const Member& member) {
    Bytes out = {0, 0};
    PutCommonFields(out, member);
    Put16(out, member.crc);
    Put8(out, member.osId);
    Put16(out, FirstExtSize(member));
    PutChain(out, member);
    PutBytes(out, member.baseExtra);
    uint16_t length = member.headerLengthOverride ? *member.headerLengthOverride
                                                  : static_cast<uint16_t>(out.size());
    out[0] = static_cast<uint8_t>(length);
    out[1] = static_cast<uint8_t>(length >> 8);
    return out;
}

}  // namespace

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

uint16_t Crc16(const Bytes& data) {
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

uint32_t DosTime(int year, int month, int day, int hour, int minute, int second) {
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return date << 16 | time;
}

ExtendedHeader ExtendedHeader::Text(uint8_t type, const std::string& payload) {
    ExtendedHeader header;
    header.type = type;
    header.payload = ToBytes(payload);
    return header;
}

ExtendedHeader ExtendedHeader::Wide(uint8_t type, const std::u16string& payload) {
    ExtendedHeader header;
    header.type = type;
    header.payload = Utf16Le(payload);
    return header;
}

Member Member::Stored(const std::string& name, const std::string& content, int level) {
    Member member;
    member.level = level;
    member.data = ToBytes(content);
    member.originalSize = static_cast<uint32_t>(content.size());
    member.crc = Crc16(member.data);
    if (level == 2) {
        member.time = 946684800;  // 2000-01-01 00:00:00 UTC
        member.Ext(ExtFileName, name);
    } else {
        member.time = DosTime(2000, 1, 1, 0, 0, 0);
        member.name = name;
        member.hasOsId = level == 1;  // an MS-DOS level-0 header ends with the CRC
    }
    return member;
}

Member Member::Folder(const std::string& directory, int level) {
    Member member = Stored("", "", level);
    member.method = "-lhd-";
    member.attribute = 0x10;
    std::string stored = directory;
    char separator = level == 0 ? '\\' : '\xff';
    for (char& c : stored)
        if (c == '/') c = separator;
    if (!stored.empty() && stored.back() != separator) stored.push_back(separator);
    if (level == 0) {
        member.name = stored;
    } else {
        member.ext.clear();
        member.Ext(ExtDirectory, stored);
    }
    return member;
}

Bytes BuildHeader(const Member& member) {
    return member.level == 2 ? BuildLevel2(member) : BuildLevel01(member);
}

ArchiveBuilder& ArchiveBuilder::Add(const Member& member) {
    PutBytes(bytes_, BuildHeader(member));
    PutBytes(bytes_, member.data);
    return *this;
}

ArchiveBuilder& ArchiveBuilder::AddRaw(const lha::Bytes& bytes) {
    PutBytes(bytes_, bytes);
    return *this;
}

bool ArchiveBuilder::WriteTo(const std::string& path) const { return WriteFile(path, bytes_); }

namespace {

void PutText(Bytes& out, const std::u16string& text) {
    size_t count = text.size() < 255 ? text.size() : 255;
    Put8(out, static_cast<uint32_t>(count));
    PutBytes(out, Utf16Le(text.substr(0, count)));
}

}  // namespace

Bytes ConfigBlock::Encode() const {
    Bytes out;
    if (!present) return {0};
    Put8(out, 1);
    PutText(out, caption);
    Put8(out, base);
    PutText(out, destination);
    PutText(out, shortcutTarget);
    Put8(out, startMenuOption);
    Put8(out, desktopOption);
    Put8(out, sendToOption);
    PutText(out, launchProgram);
    PutText(out, shortcutName);
    return out;
}

Bytes BuildPackage(const ConfigBlock& block, const Bytes& archive) {
    Bytes out(37888, 0);
    out[0] = 'M';
    out[1] = 'Z';
    const char marker[] = "LHA's SFX ";
    for (size_t i = 0; i < 10; ++i) out[0x24 + i] = static_cast<uint8_t>(marker[i]);
    PutBytes(out, block.Encode());
    PutBytes(out, archive);
    return out;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace lha
