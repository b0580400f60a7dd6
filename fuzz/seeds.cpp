// Seed inputs of the fuzz targets: the fixture archives and small archives of every
// header level, method and hostile shape, made with the tests' archive builder.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "platform/memory/memory_volume.h"
#include "support/archive_builder.h"

namespace fuzz {

namespace {

using lha::Bytes;
using lha::ExtendedHeader;
using lha::Member;

std::vector<std::string> FixtureNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && (name.ends_with(".lzh") || name.ends_with(".lzs"))) names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(file);
    }
    return bytes;
}

Bytes Archive(std::initializer_list<Member> members) {
    lha::ArchiveBuilder builder;
    for (const Member& member : members) builder.Add(member);
    return builder.End().Contents();
}

Member Named(Member member, const std::string& name) {
    if (member.level == 2) member.Ext(lha::ExtFileName, name);
    else member.name = name;
    return member;
}

// Archives of ordinary and hostile shapes, each a handful of bytes.
std::vector<Seed> BuiltArchives() {
    std::vector<Seed> seeds;
    auto add = [&](const std::string& name, const Bytes& bytes) { seeds.push_back({name, bytes}); };
    for (int level = 0; level <= 2; ++level) {
        std::string suffix = "-level" + std::to_string(level);
        add("stored" + suffix, Archive({Member::Stored("a.txt", "hello", level)}));
        add("folder-and-file" + suffix,
            Archive({Member::Folder("dir", level), Member::Stored(level == 2 ? "f" : "dir\\f", "xyz", level)}));
        add("traversal" + suffix, Archive({Member::Stored("../../etc/x", "bad", level)}));
        add("backslash-traversal" + suffix, Archive({Member::Stored("..\\..\\x", "bad", level)}));
        add("drive" + suffix, Archive({Member::Stored("C:\\x\\y", "bad", level)}));
        add("unc" + suffix, Archive({Member::Stored("\\\\?\\C:\\x", "bad", level)}));
        add("trimmed-dots" + suffix, Archive({Member::Stored(".. /... /x", "bad", level)}));
        add("device" + suffix, Archive({Member::Stored("con.txt", "d", level)}));
        Member noCrc = Member::Stored("n", "no crc", level);
        noCrc.hasCrc = false;
        noCrc.hasOsId = false;
        add("no-crc" + suffix, Archive({noCrc}));
        Member shortData = Member::Stored("short", "0123456789", level);
        shortData.originalSize = 1000000;
        add("huge-declared" + suffix, Archive({shortData}));
    }
    Member wide = Member::Stored("", "w");
    wide.ext = {ExtendedHeader::Wide(lha::ExtUtf16Directory, u"..\\..\\"), ExtendedHeader::Wide(lha::ExtUtf16Name, u"n")};
    add("utf16-traversal", Archive({wide}));
    Member dirs = Member::Stored("", "d");
    dirs.ext = {ExtendedHeader::Text(lha::ExtDirectory, "..\xff..\xff"), ExtendedHeader::Text(lha::ExtFileName, "f"),
                ExtendedHeader::Text(lha::ExtAttribute, std::string("\x10\x00", 2)),
                ExtendedHeader::Text(lha::ExtCodePage, "\xa4\x03\x00\x00")};
    add("directory-header-traversal", Archive({dirs}));
    Member longName = Member::Stored("", "l");
    longName.ext = {ExtendedHeader::Text(lha::ExtFileName, std::string(1200, 'n'))};
    add("long-level2-name", Archive({longName}));
    Member overrun = Member::Stored("o", "o", 1);
    overrun.ext = {ExtendedHeader::Text(lha::ExtFileName, "name")};
    overrun.ext.front().sizeOverride = 4000;
    add("overrunning-extended-header", Archive({overrun}));
    Member lying = Member::Stored("", "x");
    lying.headerLengthOverride = 300;
    add("lying-level2-length", Archive({lying}));
    Member unknown = Named(Member::Stored("", "?"), "u");
    unknown.method = "-xyz-";
    add("unknown-method", Archive({unknown, Member::Stored("after", "after")}));
    return seeds;
}

Bytes DecoderInput(MethodId method, uint32_t originalSize, const Bytes& packed) {
    Bytes input(DecoderInputHead + packed.size());
    input[0] = static_cast<uint8_t>(method);
    for (size_t i = 1; i < DecoderInputHead; ++i) input[i] = static_cast<uint8_t>(originalSize >> (8 * (i - 1)));
    std::copy(packed.begin(), packed.end(), input.begin() + DecoderInputHead);
    return input;
}

// The members of a fixture archive, as decoder inputs.
void AddFixtureMembers(const std::string& path, const std::string& name, std::vector<Seed>& seeds) {
    Bytes archive = ReadFile(path);
    ResetMemoryVolume();
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    if (!PutMemoryFile(u"/fixture", archive.data(), archive.size()) ||
        !extractor.packageFile->Open(u"/fixture", FileAccess::Read, FileDisposition::OpenExisting))
        return;
    LzhHeader header;
    for (int index = 0; ReadMemberHeader(extractor, header); ++index) {
        uint64_t dataStart = extractor.packageFile->Tell();
        MethodId method = LookUpMethod(header.method);
        if (method < MethodLhd && header.packedSize <= (1u << 20)) {
            Bytes packed(header.packedSize);
            int64_t got = extractor.packageFile->Read(header.packedSize, packed.data());
            packed.resize(got < 0 ? 0 : static_cast<size_t>(got));
            seeds.push_back({name + "-" + std::to_string(index), DecoderInput(method, header.originalSize, packed)});
        }
        extractor.packageFile->Seek(static_cast<int64_t>(dataStart + header.packedSize), SeekOrigin::Begin);
    }
}

}  // namespace

std::vector<Seed> HeaderSeeds(const std::string& fixtureDir) {
    std::vector<Seed> seeds = BuiltArchives();
    lha::ConfigBlock block;
    block.caption = u"Kavi";
    block.destination = u"..\\out";
    block.launchProgram = u"a.txt";
    Bytes package = block.Encode();
    Bytes archive = Archive({Member::Stored("a.txt", "hello")});
    package.insert(package.end(), archive.begin(), archive.end());
    seeds.push_back({"block-and-archive", package});
    for (const std::string& name : FixtureNames(fixtureDir)) seeds.push_back({name, ReadFile(fixtureDir + "/" + name)});
    return seeds;
}

std::vector<Seed> DecoderSeeds(const std::string& fixtureDir) {
    std::vector<Seed> seeds;
    std::mt19937 random(1);
    Bytes noise(512);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
    for (uint32_t m = MethodLh0; m <= MethodLz4; ++m) {
        auto method = static_cast<MethodId>(m);
        std::string name = std::string(MethodNames[m]).substr(1, 3);
        seeds.push_back({name + "-zeros", DecoderInput(method, 4000, Bytes(64, 0x00))});
        seeds.push_back({name + "-ones", DecoderInput(method, 4000, Bytes(64, 0xFF))});
        seeds.push_back({name + "-noise", DecoderInput(method, 4000, noise)});
        seeds.push_back({name + "-empty", DecoderInput(method, 0, {})});
    }
    for (const std::string& name : FixtureNames(fixtureDir)) AddFixtureMembers(fixtureDir + "/" + name, name, seeds);
    return seeds;
}

std::vector<Seed> ExtractionSeeds(const std::string& fixtureDir) {
    std::vector<Seed> seeds;
    for (const Seed& seed : HeaderSeeds(fixtureDir)) {
        Bytes input(1 + seed.bytes.size());
        input[0] = seed.name == "block-and-archive" ? 1 : 0;
        std::copy(seed.bytes.begin(), seed.bytes.end(), input.begin() + 1);
        seeds.push_back({seed.name, input});
    }
    return seeds;
}

}  // namespace fuzz
