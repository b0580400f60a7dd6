// LHA member headers, levels 0, 1 and 2.
//
// Every header is read into one zeroed buffer of HeaderBufferSize bytes. Levels 0 and 1
// occupy H + 2 bytes (H = byte 0); level 2 occupies the 16-bit length in bytes 0-1.
// Level 1 keeps its extended headers outside that length: they follow in the file and
// are read into the buffer one by one. Extended headers form a chain: a 16-bit size
// (type byte + payload + the next 16-bit size), 0 ending the chain. Every field is
// taken only from bytes that belong to the header; a header or chain that does not fit
// ends the walk.
#include "archive/lzh_header.h"

#include <cstring>

#include "app/extractor.h"
#include "package/ui_texts.h"
#include "platform/front_end.h"
#include "platform/system.h"

namespace {

constexpr uint32_t LevelOffset = 20;
constexpr uint32_t NameLengthOffset = 21;
constexpr uint32_t NameOffset = 22;

uint16_t Le16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

bool ReadExactly(FileHandle& file, uint8_t* to, uint32_t count) {
    return count == 0 || file.Read(count, to) == static_cast<int64_t>(count);
}

// Reads the base header into `buffer`; `headerEnd` becomes the number of its bytes.
// Bytes 0 to 20 are read whatever byte 0 says, since the level byte decides how long the
// header is (a level-2 length may have a low byte below 21); a level-0/1 header that
// short has no known shape anyway. False at the end mark, on a short read, or for a
// level-2 length beyond the buffer.
bool ReadBaseHeader(FileHandle& file, uint8_t* buffer, uint32_t& headerEnd) {
    if (file.ReadByte(buffer[0]) != 1 || buffer[0] == 0) return false;
    uint32_t have = buffer[0] > LevelOffset ? buffer[0] : LevelOffset + 1;
    if (!ReadExactly(file, buffer + 1, have - 1)) return false;
    headerEnd = buffer[LevelOffset] == 2 ? Le16(buffer) : buffer[0] + 2u;
    if (headerEnd > HeaderBufferSize) return false;
    return headerEnd <= have || ReadExactly(file, buffer + have, headerEnd - have);
}

// The name and directory met so far; UTF-16 ones win over multibyte ones.
struct StoredNames {
    WideString name;
    WideString directory;
    bool wideName = false;
    bool wideDirectory = false;
};

void AssignMultiByte(WideString& out, const uint8_t* bytes, uint32_t count, bool translateSeparators) {
    char text[HeaderBufferSize + 1];
    std::memcpy(text, bytes, count);
    text[count] = 0;
    if (translateSeparators) ReplaceSeparatorsMultiByte(text, '/');
    AssignFromMultiByte(out, text);
}

// UTF-16LE payload; an odd last byte is no unit and is left out.
void AssignUtf16(WideString& out, const uint8_t* bytes, uint32_t count) {
    uint32_t units = count / 2;
    out.Resize(units + 1);
    WideChar* text = out.Data();
    for (uint32_t i = 0; i < units; ++i) text[i] = Le16(bytes + 2 * i);
}

void ApplyExtendedHeader(uint8_t type, const uint8_t* payload, uint32_t size, LzhHeader& out,
                         StoredNames& names) {
    switch (type) {
    case 0x01:
        if (!names.wideName) AssignMultiByte(names.name, payload, size, false);
        break;
    case 0x02:
        if (!names.wideDirectory) AssignMultiByte(names.directory, payload, size, true);
        break;
    case 0x40:
        if ((out.osId == 'M' || out.osId == 'H' || out.osId == 0) && size >= 1) out.attribute = payload[0];
        break;
    case 0x44:
        AssignUtf16(names.name, payload, size);
        names.wideName = true;
        break;
    case 0x45:
        AssignUtf16(names.directory, payload, size);
        ReplaceSeparators(names.directory, u'/');
        names.wideDirectory = true;
        break;
    default:
        break;
    }
}

// Walks the chain whose first size field is at `sizeAt`. Each extended header lies in
// [sizeAt + 2, sizeAt + 2 + size) and its last two bytes are the next size field. For
// level 2 the chain must stay inside the header; level 1 reads it from the file, within
// the buffer. `total` receives the sum of the sizes.
bool ReadExtendedHeaders(FileHandle& file, uint8_t* buffer, uint32_t sizeAt, uint32_t limit,
                         bool fromFile, LzhHeader& out, StoredNames& names, uint32_t& total) {
    total = 0;
    for (uint32_t size = Le16(buffer + sizeAt); size != 0; size = Le16(buffer + sizeAt)) {
        uint32_t body = sizeAt + 2;
        if (size < 3 || body + size > limit) return false;
        if (fromFile && !ReadExactly(file, buffer + body, size)) return false;
        ApplyExtendedHeader(buffer[body], buffer + body + 1, size - 3, out, names);
        total += size;
        sizeAt = body + size - 2;
    }
    return true;
}

void ResetHeader(LzhHeader& out) {
    out.headerLength = 0;
    std::memset(out.method, 0, sizeof out.method);
    out.packedSize = out.originalSize = out.rawTime = 0;
    out.attribute = out.level = 0;
    out.path.Assign(u"");
    out.dataCrc = 0;
    out.hasCrc = out.osId = 0;
    out.modifiedTime = 0;
}

void ShowUnknownHeader(Extractor& extractor) {
    ShowMessage(extractor.mainWindow, Text(UiText::UnknownHeader), DefaultCaption, MessageIcon::Stop);
}

bool ParseHeader(Extractor& extractor, uint8_t* buffer, uint32_t headerEnd, LzhHeader& out) {
    StoredNames names;
    out.headerLength = buffer[0];
    std::memcpy(out.method, buffer + 2, sizeof out.method);
    extractor.headerCursor = buffer + 7;
    out.packedSize = ReadLe32(extractor);
    out.originalSize = ReadLe32(extractor);
    out.rawTime = ReadLe32(extractor);
    out.attribute = buffer[19];
    out.level = buffer[LevelOffset];

    // Shape: r = H - n is 20 (no CRC), 22 (CRC) or 24 and more (CRC and OS id).
    bool level2 = out.level == 2;
    uint32_t nameLength = level2 ? 0 : buffer[NameLengthOffset];
    int32_t r = static_cast<int32_t>(buffer[0]) - static_cast<int32_t>(nameLength);
    if (level2) r = headerEnd > LevelOffset ? static_cast<int32_t>(headerEnd) : 0;  // r: the 16-bit length
    if (r != 20 && r != 22 && r < 24) {
        ShowUnknownHeader(extractor);
        return false;
    }
    uint32_t at = level2 ? NameOffset - 1 : NameOffset + nameLength;  // r >= 20 keeps the name inside
    if (!level2) AssignMultiByte(names.name, buffer + NameOffset, nameLength, false);
    if (r >= 22) {
        out.dataCrc = Le16(buffer + at);
        out.hasCrc = 1;
        at += 2;
    }
    if (r >= 24) out.osId = buffer[at++];

    if (out.level != 0) {
        uint32_t extendedTotal = 0;
        bool chainFits;
        if (level2) {
            // A level-2 header too short to hold the first size field has no chain.
            chainFits = at + 2 > headerEnd ||
                        ReadExtendedHeaders(*extractor.packageFile, buffer, at, headerEnd, false, out,
                                            names, extendedTotal);
        } else {
            chainFits = ReadExtendedHeaders(*extractor.packageFile, buffer, buffer[0], HeaderBufferSize,
                                            true, out, names, extendedTotal);
            // The level-1 packed size counts the extended headers already consumed.
            if (chainFits && extendedTotal > out.packedSize) chainFits = false;
            out.packedSize -= chainFits ? extendedTotal : 0;
        }
        if (!chainFits) return false;
    }

    out.path.Assign(names.directory);
    if (!out.path.IsEmpty()) out.path.EnsureEndsWith(u'/');
    out.path.Append(names.name);
    out.modifiedTime = level2 ? static_cast<int64_t>(static_cast<int32_t>(out.rawTime))
                              : DosTimeToUnixTime(out.rawTime);
    return true;
}

}  // namespace

uint32_t ReadLe32(Extractor& extractor) {
    const uint8_t* at = extractor.headerCursor;
    extractor.headerCursor += 4;
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

bool ReadMemberHeader(Extractor& extractor, LzhHeader& out) {
    ResetHeader(out);
    if (!extractor.packageFile) return false;
    uint8_t buffer[HeaderBufferSize] = {};
    uint32_t headerEnd = 0;
    bool read = ReadBaseHeader(*extractor.packageFile, buffer, headerEnd) &&
                ParseHeader(extractor, buffer, headerEnd, out);
    extractor.headerCursor = nullptr;
    return read;
}
