// The built stubs themselves: each fits its place in front of the configuration block,
// carries the package marker and is the kind of executable its architecture needs,
// with no run-time library DLL that a bare Windows system lacks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stub/stub_driver.h"

namespace {

uint32_t Le(const std::vector<uint8_t>& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
    return value;
}

bool Contains(const std::vector<uint8_t>& bytes, const char* text) {
    std::string needle(text);
    return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end(),
                       [](uint8_t a, char b) { return std::tolower(a) == std::tolower(b); }) != bytes.end();
}

struct Expected {
    const char* arch;
    uint32_t machine;
    uint32_t optionalMagic;
};
const Expected Arches[] = {{"i686", 0x14C, 0x10B}, {"x86_64", 0x8664, 0x20B}};

class StubImage : public testing::TestWithParam<int> {};

TEST_P(StubImage, FitsCarriesTheMarkerAndNeedsNoRuntimeDll) {
    const Expected& expected = Arches[GetParam()];
    std::vector<uint8_t> image = stub::ReadBytes(stub::StubPath(expected.arch));
    ASSERT_FALSE(image.empty()) << stub::StubPath(expected.arch) << " was not built (-DKAVISFX_STUBS=ON)";
    EXPECT_LE(image.size(), stub::StubImageLimit);

    ASSERT_GE(image.size(), 0x200u);
    EXPECT_EQ(std::string(image.begin() + 0x24, image.begin() + 0x2E), "LHA's SFX ");
    EXPECT_EQ(image[0], 'M');
    EXPECT_EQ(image[1], 'Z');

    uint32_t pe = Le(image, 0x3C, 4);
    ASSERT_LT(pe + 0x60, image.size());
    EXPECT_EQ(Le(image, pe, 4), 0x4550u);  // "PE\0\0"
    EXPECT_EQ(Le(image, pe + 4, 2), expected.machine);
    EXPECT_EQ(Le(image, pe + 24, 2), expected.optionalMagic);
    EXPECT_EQ(Le(image, pe + 24 + 68, 2), 2u) << "not a GUI program";

    for (const char* runtime : {"libstdc++", "libgcc_s", "libwinpthread"})
        EXPECT_FALSE(Contains(image, runtime)) << expected.arch << " stub imports " << runtime;
}

INSTANTIATE_TEST_SUITE_P(Built, StubImage, testing::Values(0, 1),
                         [](const testing::TestParamInfo<int>& info) { return std::string(Arches[info.param].arch); });

}  // namespace
