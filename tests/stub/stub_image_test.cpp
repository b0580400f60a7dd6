// The built stubs themselves (their size and the package marker are checked as they are
// built): each is the kind of executable its architecture needs, with no run-time library
// DLL that a bare Windows system lacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(StubImage, GuiProgramOfItsMachineNeedingNoRuntimeDll) {
    const struct {
        const char* arch;
        uint32_t machine, optionalMagic;
    } arches[] = {{"i686", 0x14C, 0x10B}, {"x86_64", 0x8664, 0x20B}};
    for (const auto& expected : arches) {
        SCOPED_TRACE(expected.arch);
        std::ifstream in(KAVISFX_STUB_DIR "/kavisfx-stub-" + std::string(expected.arch) + ".exe", std::ios::binary);
        const std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
        std::string lower = image;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const char* runtime : {"libstdc++", "libgcc_s", "libwinpthread"})
            EXPECT_EQ(lower.find(runtime), std::string::npos) << "imports " << runtime;
    }
}

}  // namespace
