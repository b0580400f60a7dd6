// CRC-16/ARC: the check every member's data is compared against.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/file_handle.h"
#include "decode/crc16.h"
#include "decode/decode_state.h"

namespace {

uint16_t CrcOf(const char* text) {
    MakeCrcTable();
    decodeState.crc = 0;
    UpdateCrc(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(strlen(text)));
    return decodeState.crc;
}

TEST(Crc16, PublishedCheckValueAndEmptyInput) {
    EXPECT_EQ(CrcOf("123456789"), 0xBB3D);
    EXPECT_EQ(CrcOf(""), 0);
}

TEST(Crc16, FailedWriteIsReportedWithItsErrorCode) {
    FileHandle full;
    ASSERT_TRUE(full.Open(u"/dev/full", FileAccess::Write, FileDisposition::OpenExisting));
    decodeState.failure = DecodeFailure::None;
    decodeState.failureCode = 0;
    const uint8_t block[4] = {1, 2, 3, 4};
    EXPECT_FALSE(WriteWithCrc(block, 4, full));
    EXPECT_EQ(decodeState.failure, DecodeFailure::WriteFailed);
    EXPECT_EQ(decodeState.failureCode, static_cast<uint32_t>(ENOSPC));
    decodeState.failure = DecodeFailure::None;
}

}  // namespace
