// Post-link step of a stub (host program). Every section's file data is padded to 512
// bytes, and ld writes the PE header at 0x80, behind a 64-byte MS-DOS program, so that the
// headers take 1024 bytes. This step
// - joins the read-only sections that the linker script lays out back to back in memory
//   (code and constants, imports, resources, relocations) into one section, as long as
//   none of them is writable: one padding instead of four, and memory protection as before
//   (the writable data stays a section of its own, with no bytes in the file);
// - moves the PE header to 0x40, straight behind the MS-DOS header: the headers then fit
//   in the first 512 bytes. The MS-DOS program goes: nothing runs the stub under MS-DOS.
// Every address in the image stays as it was; only file offsets change. Anything
// unexpected leaves the file as it is and fails.
// usage: compact_pe_image FILE
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr uint32_t OldHeader = 0x80, NewHeader = 0x40, FileAlignment = 0x200, SectionHeaderSize = 40;
constexpr uint32_t Code = 0x20, InitializedData = 0x40, Writable = 0x80000000;

struct Bytes {
    std::vector<uint8_t> bytes;
    uint32_t Get(size_t at, int width) const {
        uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes.at(at + i);
        return value;
    }
    void Put(size_t at, int width, uint32_t value) {
        for (int i = 0; i < width; ++i) bytes.at(at + i) = static_cast<uint8_t>(value >> 8 * i);
    }
};

struct Section {
    uint8_t name[8];
    uint32_t virtualSize, address, rawSize, rawOffset, flags;
    std::vector<uint8_t> data;  // what the file holds of it, without padding

    uint32_t End() const { return address + virtualSize; }
    bool InFile() const { return rawSize != 0; }
};

constexpr uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

const char* ReadSections(const Bytes& image, uint32_t table, uint32_t count, std::vector<Section>& sections) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = table + SectionHeaderSize * i;
        Section s{};
        for (int k = 0; k < 8; ++k) s.name[k] = image.bytes[at + k];
        s.virtualSize = image.Get(at + 8, 4);
        s.address = image.Get(at + 12, 4);
        s.rawSize = image.Get(at + 16, 4);
        s.rawOffset = image.Get(at + 20, 4);
        s.flags = image.Get(at + 36, 4);
        // ld marks the import tables and the resources writable. Nothing writes resources;
        // only the loader writes the import address table, and it lifts that table's
        // protection itself while it fills it in, as for the read-only import tables
        // other linkers write.
        if (std::memcmp(s.name, ".idata\0", 8) == 0 || std::memcmp(s.name, ".rsrc\0\0", 8) == 0)
            s.flags &= ~Writable;
        if (s.InFile()) {
            if (s.rawOffset < 2 * FileAlignment || s.rawOffset + s.rawSize > image.bytes.size())
                return "a section's data outside the file";
            const uint32_t kept = s.virtualSize < s.rawSize ? s.virtualSize : s.rawSize;
            s.data.assign(image.bytes.begin() + s.rawOffset, image.bytes.begin() + s.rawOffset + kept);
        }
        sections.push_back(std::move(s));
    }
    return nullptr;
}

// A read-only section with bytes in the file that starts in the last page of the one
// before it, which is read-only too, becomes that section's tail.
bool Joins(const Section& before, const Section& next, uint32_t pageSize) {
    const bool readOnly = !(before.flags & Writable) && !(next.flags & Writable);
    return readOnly && before.InFile() && next.InFile() && next.address >= before.End() &&
           next.address < AlignUp(before.End(), pageSize);
}

void Join(Section& into, const Section& next) {
    into.data.resize(next.address - into.address, 0);
    into.data.insert(into.data.end(), next.data.begin(), next.data.end());
    into.virtualSize = next.End() - into.address;
    into.flags |= next.flags & (Code | InitializedData);  // the access stays the first one's
}

std::vector<Section> JoinReadOnly(std::vector<Section> sections, uint32_t pageSize) {
    std::vector<Section> joined;
    for (Section& s : sections) {
        if (!joined.empty() && Joins(joined.back(), s, pageSize))
            Join(joined.back(), s);
        else
            joined.push_back(std::move(s));
    }
    return joined;
}

const char* Compact(Bytes& image) {
    if (image.bytes.size() < 2 * FileAlignment || image.Get(0, 2) != 0x5A4D) return "not an MS-DOS executable";
    if (image.Get(0x3C, 4) != OldHeader || image.Get(OldHeader, 4) != 0x4550) return "no PE header at 0x80";
    const uint32_t count = image.Get(OldHeader + 6, 2), optionalSize = image.Get(OldHeader + 20, 2);
    const uint32_t optional = OldHeader + 24, magic = image.Get(optional, 2);
    if (magic != 0x10B && magic != 0x20B) return "unknown optional header";
    const uint32_t directoryCount = magic == 0x10B ? 92 : 108, firstDirectory = directoryCount + 4;
    const uint32_t directories = image.Get(optional + directoryCount, 4);
    if (optionalSize != firstDirectory + 8 * directories || image.Get(optional + 36, 4) != FileAlignment ||
        image.Get(optional + 60, 4) != 2 * FileAlignment || image.Get(OldHeader + 12, 4) != 0)
        return "unexpected header layout or a symbol table";
    // The certificate and debug directories hold file offsets that the move would break.
    for (uint32_t entry : {4u, 6u})
        if (entry < directories && image.Get(optional + firstDirectory + 8 * entry + 4, 4) != 0)
            return "a certificate or debug directory";
    const uint32_t table = optional + optionalSize, end = table + SectionHeaderSize * count;
    if (end > 2 * FileAlignment) return "more section headers than the headers hold";
    for (uint32_t at = end; at < 2 * FileAlignment; ++at)
        if (image.bytes[at] != 0) return "data behind the section headers";

    std::vector<Section> sections;
    if (const char* problem = ReadSections(image, table, count, sections)) return problem;
    uint32_t fileEnd = 2 * FileAlignment;
    for (const Section& s : sections)
        if (s.InFile() && s.rawOffset + s.rawSize > fileEnd) fileEnd = s.rawOffset + s.rawSize;
    if (fileEnd != image.bytes.size()) return "data behind the last section";
    sections = JoinReadOnly(std::move(sections), image.Get(optional + 32, 4));
    const uint32_t newTable = NewHeader + (table - OldHeader);
    if (newTable + SectionHeaderSize * sections.size() > FileAlignment) return "the headers do not fit in 512 bytes";

    Bytes out;
    out.bytes.assign(image.bytes.begin(), image.bytes.begin() + NewHeader);
    out.bytes.insert(out.bytes.end(), image.bytes.begin() + OldHeader, image.bytes.begin() + table);
    out.bytes.resize(FileAlignment);
    out.Put(0x3C, 4, NewHeader);
    out.Put(NewHeader + 6, 2, static_cast<uint32_t>(sections.size()));
    const uint32_t newOptional = NewHeader + 24;
    out.Put(newOptional + 60, 4, FileAlignment);
    uint32_t codeSize = 0, dataSize = 0;
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const uint32_t at = newTable + SectionHeaderSize * static_cast<uint32_t>(i);
        const uint32_t rawSize = s.InFile() ? AlignUp(static_cast<uint32_t>(s.data.size()), FileAlignment) : 0;
        for (int k = 0; k < 8; ++k) out.bytes[at + k] = s.name[k];
        out.Put(at + 8, 4, s.virtualSize);
        out.Put(at + 12, 4, s.address);
        out.Put(at + 16, 4, rawSize);
        out.Put(at + 20, 4, rawSize ? static_cast<uint32_t>(out.bytes.size()) : 0);
        out.Put(at + 36, 4, s.flags);
        if (s.flags & Code) codeSize += rawSize;
        if (s.flags & InitializedData) dataSize += rawSize;
        out.bytes.insert(out.bytes.end(), s.data.begin(), s.data.end());
        out.bytes.resize(out.bytes.size() + (rawSize - s.data.size()), 0);
    }
    out.Put(newOptional + 4, 4, codeSize);
    out.Put(newOptional + 8, 4, dataSize);
    image = std::move(out);
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: compact_pe_image FILE\n");
        return 2;
    }
    Bytes image;
    {
        std::ifstream in(argv[1], std::ios::binary);
        image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (const char* problem = Compact(image)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], problem);
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    return out ? 0 : 1;
}
