// The built stubs themselves (their size and the package marker are checked as they are
// built): each is the kind of executable its architecture needs, with no run-time library
// DLL that a bare Windows system lacks, its dialog font and its manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The manifest asks for the highest rights the user has; a package for the user who runs
// it asks for none, the manifest rewritten in place: nothing else in the stub moves.
void PerUserPackageAsksForNoAdministrator(const std::string& arch) {
    const std::string dir = KAVISFX_RUNS_DIR "/image-" + arch;
    std::filesystem::create_directories(dir);
    auto pack = [&](const std::string& options) {
        const std::string command = "'" KAVISFX_TOOL "' pack '" + dir + "/p.exe' --stub " + arch + " --destination Kavi " + options + " '" KAVISFX_TOOL "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadFile(dir + "/p.exe").substr(0, 37888);
    };
    const std::string machine = pack(""), user = pack("--relative-to user"), highest = "level=\"highestAvailable\"";
    const size_t at = machine.find(highest);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(machine.find(highest, at + 1), std::string::npos);
    EXPECT_EQ(user.substr(0, at) + "level=\"asInvoker\"       " + user.substr(at + highest.size()), user);
    EXPECT_EQ(user.substr(0, at) + highest + user.substr(at + highest.size()), machine);
    std::filesystem::remove_all(dir);
}

TEST(StubImage, GuiProgramOfItsMachineNeedingNoRuntimeDll) {
    const struct {
        const char* arch;
        uint32_t machine, optionalMagic;
    } arches[] = {{"i686", 0x14C, 0x10B}, {"x86_64", 0x8664, 0x20B}};
    for (const auto& expected : arches) {
        SCOPED_TRACE(expected.arch);
        const std::string image = ReadFile(KAVISFX_STUB_DIR "/kavisfx-stub-" + std::string(expected.arch) + ".exe");
        ASSERT_GE(image.size(), 0x200u) << "not built (-DKAVISFX_STUBS=ON)";
        auto le = [&](size_t at, int width) {
            uint32_t value = 0;
            for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(image.at(at + i));
            return value;
        };
        const uint32_t pe = le(0x3C, 4);
        EXPECT_EQ(le(pe, 4), 0x4550u);  // "PE\0\0"
        EXPECT_EQ(le(pe + 4, 2), expected.machine);
        EXPECT_EQ(le(pe + 24, 2), expected.optionalMagic);
        EXPECT_EQ(le(pe + 24 + 68, 2), 2u) << "not a GUI program";
        // The headers, moved behind the MS-DOS header, fill the first 512 bytes with all 16
        // data directories; each section's data follows the one before to the end of the
        // file, no section is both writable and executable, the image can be moved (ASLR:
        // relocations present), and the import directory's first library name is found
        // through the section table.
        const uint32_t optional = pe + 24, table = optional + le(pe + 20, 2);
        const uint32_t directories = optional + (expected.optionalMagic == 0x10B ? 96 : 112);
        EXPECT_EQ(pe, 0x40u);
        EXPECT_EQ(le(optional + 60, 4), 0x200u);
        EXPECT_EQ(le(directories - 4, 4), 16u);
        uint32_t next = 0x200;
        auto fileOffset = [&](uint32_t rva) {
            for (uint32_t at = table; at < table + 40 * le(pe + 6, 2); at += 40)
                if (rva >= le(at + 12, 4) && rva < le(at + 12, 4) + le(at + 16, 4)) return rva - le(at + 12, 4) + le(at + 20, 4);
            return 0u;
        };
        for (uint32_t at = table; at < table + 40 * le(pe + 6, 2); at += 40) {
            EXPECT_NE(le(at + 36, 4) & 0xA0000000u, 0xA0000000u) << "writable code";
            if (le(at + 16, 4) == 0) continue;
            EXPECT_EQ(le(at + 20, 4), next);
            next += le(at + 16, 4);
        }
        EXPECT_EQ(next, image.size());
        EXPECT_NE(le(optional + 70, 2) & 0x40u, 0u) << "not marked movable";
        EXPECT_NE(fileOffset(le(directories + 8 * 5, 4)), 0u) << "no relocations";
        const uint32_t imports = fileOffset(le(directories + 8, 4));
        EXPECT_STRCASEEQ(image.c_str() + fileOffset(le(imports + 12, 4)), "comctl32.dll");
        std::string lower = image;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const char* runtime : {"libstdc++", "libgcc_s", "libwinpthread"})
            EXPECT_EQ(lower.find(runtime), std::string::npos) << "imports " << runtime;
        // The dialog takes the shell's dialog font of the user's language, not a Japanese one.
        EXPECT_NE(image.find(std::string(reinterpret_cast<const char*>(u"MS Shell Dlg"), 24)), std::string::npos);
        PerUserPackageAsksForNoAdministrator(expected.arch);
    }
}

}  // namespace
