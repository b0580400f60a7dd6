// The package builder's member headers. What they say is read back end to end by
// pack_command_test (names, times, sizes and CRCs through `kavisfx extract` and `list`).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/pack/member_header.h"

namespace {

TEST(PackHeaders, NoLengthEndsInAZeroByte) {
    // A level-2 length whose low byte is 0 would read as the end mark: such a header
    // gets one more byte.
    for (size_t units = 1; units < 200; ++units) {
        MemberHeaderFields fields;
        fields.name = std::u16string(units, u'x');
        std::vector<uint8_t> bytes = BuildMemberHeader(fields);
        ASSERT_EQ(bytes[0] | (bytes[1] << 8), bytes.size());
        EXPECT_NE(bytes[0], 0) << units << " units";
    }
}

}  // namespace
