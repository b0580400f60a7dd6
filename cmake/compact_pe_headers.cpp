// Post-link step of a stub (host program): ld puts the PE header at 0x80, behind a 64-byte
// MS-DOS program, which makes the headers take 1024 bytes of the file. Moved to 0x40,
// straight behind the MS-DOS header, they fit in the first 512 bytes: the file shrinks by
// 512 and every section keeps its bytes, only its file offset moves. To leave room for the
// 64-bit optional header, the uninitialised data joins the writable section just before it
// as that section's zero-filled tail (as other linkers lay out data), one section header
// fewer. The MS-DOS program goes: nothing runs the stub under MS-DOS. Anything unexpected
// leaves the file as it is and fails.
// usage: compact_pe_headers FILE
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr uint32_t OldHeader = 0x80, NewHeader = 0x40, FileAlignment = 0x200;

struct Image {
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

// The uninitialised section (no bytes in the file) becomes the tail of the section before
// it, which must be writable data like it and end where it starts.
const char* FoldUninitializedData(Image& image, uint32_t table, uint32_t sections, uint32_t alignment) {
    constexpr uint32_t Access = 0xE0000000;  // execute, read, write
    for (uint32_t i = 1; i < sections; ++i) {
        const uint32_t at = table + 40 * i, before = at - 40;
        if (image.Get(at + 16, 4) != 0 || image.Get(at + 20, 4) != 0) continue;
        const uint32_t start = image.Get(before + 12, 4), address = image.Get(at + 12, 4);
        const uint32_t joined = (start + image.Get(before + 8, 4) + alignment - 1) / alignment * alignment;
        if ((image.Get(at + 36, 4) & Access) != 0xC0000000 || (image.Get(before + 36, 4) & Access) != 0xC0000000 ||
            joined != address)
            return "uninitialised data that cannot join the section before it";
        image.Put(before + 8, 4, address + image.Get(at + 8, 4) - start);
        image.bytes.erase(image.bytes.begin() + at, image.bytes.begin() + at + 40);
        image.bytes.insert(image.bytes.begin() + table + 40 * (sections - 1), 40, 0);
        return nullptr;
    }
    return "no uninitialised data";
}

const char* Compact(Image& image) {
    if (image.bytes.size() < 2 * FileAlignment || image.Get(0, 2) != 0x5A4D) return "not an MS-DOS executable";
    if (image.Get(0x3C, 4) != OldHeader || image.Get(OldHeader, 4) != 0x4550) return "no PE header at 0x80";
    const uint32_t sections = image.Get(OldHeader + 6, 2), optionalSize = image.Get(OldHeader + 20, 2);
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
    const uint32_t end = optional + optionalSize + 40 * sections;
    for (uint32_t at = end; at < 2 * FileAlignment; ++at)
        if (image.bytes[at] != 0) return "data behind the section headers";
    if (end - 40 - NewHeader > FileAlignment) return "the headers do not fit in 512 bytes";
    const uint32_t table = optional + optionalSize;
    if (const char* problem = FoldUninitializedData(image, table, sections, image.Get(optional + 32, 4)))
        return problem;
    image.Put(OldHeader + 6, 2, sections - 1);
    for (uint32_t i = 0; i + 1 < sections; ++i) {
        const uint32_t rawData = table + 40 * i + 20, offset = image.Get(rawData, 4);
        if (offset != 0 && offset < 2 * FileAlignment) return "a section inside the headers";
        if (offset != 0) image.Put(rawData, 4, offset - FileAlignment);
    }
    image.Put(optional + 60, 4, FileAlignment);
    std::vector<uint8_t> out(image.bytes.begin(), image.bytes.begin() + NewHeader);
    out.insert(out.end(), image.bytes.begin() + OldHeader, image.bytes.begin() + end - 40);
    out.resize(FileAlignment);
    out.insert(out.end(), image.bytes.begin() + 2 * FileAlignment, image.bytes.end());
    image.bytes = std::move(out);
    image.Put(0x3C, 4, NewHeader);
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: compact_pe_headers FILE\n");
        return 2;
    }
    Image image;
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
