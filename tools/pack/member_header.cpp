#include "tools/pack/member_header.h"

#include <cstring>

#include "tools/pack/crc16.h"
#include "tools/pack/name_codec.h"

namespace {

constexpr uint8_t OsIdMsDos = 'M';
constexpr uint8_t AttributeArchive = 0x20;
constexpr uint8_t AttributeFolder = 0x10;

void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

// An extended header: its size field (type, payload and the next size field), type
// and payload. The chain's closing size field is written separately.
void PutExtended(std::vector<uint8_t>& out, uint8_t type, const std::vector<uint8_t>& payload) {
    PutLe16(out, static_cast<uint32_t>(payload.size() + 3));
    out.push_back(type);
    out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& text, char16_t separator) {
    std::vector<uint8_t> bytes;
    for (char16_t unit : text) {
        if (unit == u'/') unit = separator;
        PutLe16(bytes, unit);
    }
    return bytes;
}

std::vector<uint8_t> MultiByteDirectory(const std::u16string& directory) {
    bool exact;
    std::vector<uint8_t> bytes;
    for (char c : ToMultiByteName(directory, exact)) bytes.push_back(c == '/' ? 0xFF : static_cast<uint8_t>(c));
    return bytes;
}

}  // namespace

std::vector<uint8_t> BuildMemberHeader(const MemberHeaderFields& fields) {
    std::vector<uint8_t> out;
    PutLe16(out, 0);  // total length, set below
    out.insert(out.end(), fields.method, fields.method + 5);
    PutLe32(out, fields.packedSize);
    PutLe32(out, fields.originalSize);
    PutLe32(out, static_cast<uint32_t>(fields.modifiedTime));
    out.push_back(fields.folder ? AttributeFolder : AttributeArchive);
    out.push_back(2);
    PutLe16(out, fields.crc);
    out.push_back(OsIdMsDos);

    PutExtended(out, 0x00, {0, 0});
    const size_t headerCrcAt = out.size() - 2;
    bool exact;
    std::string multiByteName = ToMultiByteName(fields.name, exact);
    PutExtended(out, 0x01, std::vector<uint8_t>(multiByteName.begin(), multiByteName.end()));
    if (!fields.directory.empty()) PutExtended(out, 0x02, MultiByteDirectory(fields.directory));
    PutExtended(out, 0x40, {fields.folder ? AttributeFolder : AttributeArchive, 0});
    if (fields.unixMode)
        PutExtended(out, 0x50, {static_cast<uint8_t>(fields.unixMode), static_cast<uint8_t>(fields.unixMode >> 8)});
    if (!fields.name.empty()) PutExtended(out, 0x44, Utf16Bytes(fields.name, u'/'));
    if (!fields.directory.empty()) PutExtended(out, 0x45, Utf16Bytes(fields.directory, u'\xFFFF'));
    PutLe16(out, 0);
    // A length whose low byte is 0 would read as the archive's end mark.
    if ((out.size() & 0xFF) == 0) out.push_back(0);

    out[0] = static_cast<uint8_t>(out.size());
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    uint16_t headerCrc = UpdateCrc16(0, out.data(), out.size());
    out[headerCrcAt] = static_cast<uint8_t>(headerCrc);
    out[headerCrcAt + 1] = static_cast<uint8_t>(headerCrc >> 8);
    return out;
}
