// LHA member headers, levels 0, 1 and 2.
//
// Every header is read into one zeroed buffer of HeaderBufferSize bytes. Levels 0 and 1
// occupy H + 2 bytes (H = byte 0); level 2 occupies the 16-bit length in bytes 0-1.
// Extended headers form a chain: a 16-bit size (type byte + payload + the next 16-bit
// size), 0 ending the chain. Level 1 keeps the chain outside H: it follows in the file.
// Level 2 keeps it inside its length, except that OS-9 LHA counts the length 2 bytes
// short; so the chain is read from the file wherever it runs past what was read, and the
// packed data begins behind the chain or the stated length, whichever is later. Every
// field is taken only from bytes that were read; a header or chain that does not fit
// the buffer is a damaged archive.
#include "archive/lzh_header.h"

#include <cstring>

#include "archive/extractor.h"
#include "platform/file_handle.h"
#include "package/ui_texts.h"
#include "platform/front_end.h"
#include "platform/system.h"

namespace {

constexpr uint32_t LevelOffset = 20;
constexpr uint32_t NameLengthOffset = 21;
constexpr uint32_t NameOffset = 22;
constexpr uint64_t MaxPackedSize = uint64_t{1} << 62;

uint16_t Le16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

uint32_t Le32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

uint64_t Le64(const uint8_t* at) { return Le32(at) | static_cast<uint64_t>(Le32(at + 4)) << 32; }

// The header buffer and how many of its bytes came from the file.
struct HeaderBytes {
    FileHandle& file;
    uint8_t* buffer;
    uint32_t have = 0;

    // Makes bytes [0, end) present, reading what is missing; false when they do not fit
    // the buffer or the file ends first.
    bool Need(uint32_t end) {
        if (end <= have) return true;
        if (end > HeaderBufferSize) return false;
        uint32_t count = end - have;
        if (file.Read(count, buffer + have) != static_cast<int64_t>(count)) return false;
        have = end;
        return true;
    }
};

// Reads the base header: bytes 0 to 20 whatever byte 0 says (the level byte decides how
// long the header is), then the rest of H + 2 bytes (levels 0, 1) or of the 16-bit length.
// The first read asks for all 21 bytes at once, one call per header less: the end mark
// is a single 0, which may be the last byte of the file. A level-2 header whose length is
// a multiple of 256 begins with a 0 too; it is told from the end mark by its level byte
// and a method of the form "-xxx-".
HeaderRead ReadBaseHeader(HeaderBytes& bytes, uint32_t& headerEnd) {
    // The buffer is zeroed: bytes not read are 0.
    const uint8_t* buffer = bytes.buffer;
    int64_t got = bytes.file.Read(LevelOffset + 1, bytes.buffer);
    const bool level2 = buffer[LevelOffset] == 2 && buffer[2] == '-' && buffer[6] == '-';
    if (got >= 0 && buffer[0] == 0 && !level2) return HeaderRead::End;
    if (got < LevelOffset + 1) return HeaderRead::Cut;
    bytes.have = LevelOffset + 1;
    headerEnd = bytes.buffer[LevelOffset] == 2 ? Le16(bytes.buffer) : bytes.buffer[0] + 2u;
    if (headerEnd < LevelOffset + 1) return HeaderRead::UnknownShape;
    return bytes.Need(headerEnd) ? HeaderRead::Member : HeaderRead::Cut;
}

// The name and directory met so far; UTF-16 ones win over multibyte ones.
struct StoredNames {
    WideString name;
    WideString directory;
    bool wideName = false;
    bool wideDirectory = false;
};

// Converted in place: the byte behind the text (a size field or the next field, always
// inside the buffer) is ended with a 0 meanwhile and put back; the bytes of the text
// itself are read no more.
void AssignMultiByte(WideString& out, uint8_t* bytes, uint32_t count, bool translateSeparators) {
    char* text = reinterpret_cast<char*>(bytes);
    const char behind = text[count];
    text[count] = 0;
    if (translateSeparators) ReplaceSeparatorsMultiByte(text, '/');
    AssignFromMultiByte(out, text);
    text[count] = behind;
}

// UTF-16LE payload; an odd last byte is no unit and is left out.
void AssignUtf16(WideString& out, const uint8_t* bytes, uint32_t count) {
    uint32_t units = count / 2;
    out.Resize(units + 1);
    WideChar* text = out.Data();
    for (uint32_t i = 0; i < units; ++i) text[i] = Le16(bytes + 2 * i);
}

void TakeUnixTime(LzhHeader& out, const uint8_t* at) {
    out.modifiedTime = static_cast<int32_t>(Le32(at));
    out.hasTime = 1;
}

void TakeUnixMode(LzhHeader& out, const uint8_t* at) {
    out.unixMode = Le16(at);
    out.hasUnixMode = 1;
}

void ApplyExtendedHeader(uint8_t type, uint8_t* payload, uint32_t size, LzhHeader& out,
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
    case 0x42:  // packed and original size as 64-bit values, for members of 4 GiB and more
        if (size >= 16) {
            out.packedSize = Le64(payload);
            out.originalSize = Le64(payload + 8);
        }
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
    case 0x50:
        if (size >= 2) TakeUnixMode(out, payload);
        break;
    case 0x54:  // the exact modification time, UTC, where the base header has a local one
        if (size >= 4) TakeUnixTime(out, payload);
        break;
    default:
        break;
    }
}

// Walks the chain whose first size field is at `sizeAt`. Each extended header lies in
// [sizeAt + 2, sizeAt + 2 + size) and its last two bytes are the next size field.
// `total` receives the sum of the sizes.
bool ReadExtendedHeaders(HeaderBytes& bytes, uint32_t sizeAt, LzhHeader& out, StoredNames& names,
                         uint32_t& total) {
    uint8_t* buffer = bytes.buffer;
    total = 0;
    if (!bytes.Need(sizeAt + 2)) return false;
    for (uint32_t size = Le16(buffer + sizeAt); size != 0; size = Le16(buffer + sizeAt)) {
        uint32_t body = sizeAt + 2;
        if (size < 3 || !bytes.Need(body + size)) return false;
        ApplyExtendedHeader(buffer[body], buffer + body + 1, size - 3, out, names);
        total += size;
        sizeAt = body + size - 2;
    }
    return true;
}

void ResetHeader(LzhHeader& out) {
    static_cast<LzhHeaderValues&>(out) = {};
    out.path.Assign(u"");
}

void TakeBaseTime(LzhHeader& out) {
    if (out.level == 2) {
        out.modifiedTime = static_cast<int32_t>(out.rawTime);
        out.hasTime = 1;
    } else if (IsRealDosTime(out.rawTime)) {
        out.modifiedTime = DosTimeToUnixTime(out.rawTime);
        out.hasTime = 1;
    }
}

HeaderRead ParseHeader(HeaderBytes& bytes, uint32_t headerEnd, LzhHeader& out) {
    uint8_t* buffer = bytes.buffer;
    StoredNames names;
    out.headerLength = buffer[0];
    std::memcpy(out.method, buffer + 2, sizeof out.method);
    out.packedSize = Le32(buffer + 7);
    out.originalSize = Le32(buffer + 11);
    out.rawTime = Le32(buffer + 15);
    out.attribute = buffer[19];
    out.level = buffer[LevelOffset];
    TakeBaseTime(out);

    // Shape: r = H - n is 20 (no CRC), 22 (CRC) or 24 and more (CRC and OS id); for
    // level 2, r is the 16-bit length.
    bool level2 = out.level == 2;
    uint32_t nameLength = level2 ? 0 : buffer[NameLengthOffset];
    int32_t r = level2 ? static_cast<int32_t>(headerEnd)
                       : static_cast<int32_t>(buffer[0]) - static_cast<int32_t>(nameLength);
    // Every method id has the form "-xxx-"; anything else is no header at all.
    if ((r != 20 && r != 22 && r < 24) || out.method[0] != '-' || out.method[4] != '-') return HeaderRead::UnknownShape;
    uint32_t at = level2 ? NameOffset - 1 : NameOffset + nameLength;  // r >= 20 keeps the name inside
    if (!level2) AssignMultiByte(names.name, buffer + NameOffset, nameLength, false);
    if (r >= 22) {
        out.dataCrc = Le16(buffer + at);
        out.hasCrc = 1;
        at += 2;
    }
    if (r >= 24) out.osId = buffer[at++];
    // UNIX and OS-9 archivers follow the OS id of a level-0 or level-1 header with a
    // version byte, the Unix time and the mode: 7 bytes, up to r = 30 in level 0 and 32 in
    // level 1, whose first extended size comes after them (a level above 1 asks for more
    // and is read by the level-1 rules). Level-1 extended headers that give them again win.
    if ((out.osId == 'U' || out.osId == '9') && r >= 30 + 2 * out.level && !level2) {
        TakeUnixTime(out, buffer + at + 1);
        TakeUnixMode(out, buffer + at + 5);
    }

    if (out.level != 0) {
        uint32_t extendedTotal = 0;
        // A level-2 header too short to hold the first size field has no chain.
        if (!level2 || at + 2 <= headerEnd) {
            if (!ReadExtendedHeaders(bytes, level2 ? at : buffer[0], out, names, extendedTotal))
                return HeaderRead::Cut;
        }
        if (!level2) {
            // The level-1 packed size counts the extended headers already consumed.
            if (extendedTotal > out.packedSize) return HeaderRead::Cut;
            out.packedSize -= extendedTotal;
        }
    }
    // A 0x42 size no file can hold would take the walk to no position at all.
    if (out.packedSize > MaxPackedSize) return HeaderRead::Cut;

    out.path.Assign(names.directory);
    if (!out.path.IsEmpty()) out.path.EnsureEndsWith(u'/');
    out.path.Append(names.name);
    return HeaderRead::Member;
}

}  // namespace

HeaderRead ReadHeader(FileHandle& file, LzhHeader& out) {
    ResetHeader(out);
    // On the heap, as the name's copy: the stub's build refuses a frame of a page or more
    // of stack, which would need the stack probed page by page.
    uint8_t* buffer = new uint8_t[HeaderBufferSize]();
    HeaderBytes bytes{file, buffer};
    uint32_t headerEnd = 0;
    HeaderRead read = ReadBaseHeader(bytes, headerEnd);
    if (read == HeaderRead::Member) read = ParseHeader(bytes, headerEnd, out);
    delete[] buffer;
    return read;
}

bool ReadMemberHeader(Extractor& extractor, LzhHeader& out) {
    if (!extractor.packageFile) {
        ResetHeader(out);
        extractor.archiveEnd = HeaderRead::Cut;
        return false;
    }
    HeaderRead read = ReadHeader(*extractor.packageFile, out);
    extractor.archiveEnd = read;
    if (read == HeaderRead::UnknownShape)
        ShowMessage(extractor.mainWindow, Text(UiText::UnknownHeader), DefaultCaption, MessageIcon::Stop);
    return read == HeaderRead::Member;
}

bool IsFolderMember(const LzhHeader& header, MethodId method) {
    if (method == MethodLhd) return true;
    return method == MethodLh0 && header.packedSize == 0 && header.originalSize == 0 &&
           (header.attribute & 0x10) != 0;
}
