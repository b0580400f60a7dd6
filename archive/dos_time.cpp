// MS-DOS time stamps (local standard time, two-second steps) to seconds since 1970 UTC.
#include "archive/lzh_header.h"
#include "platform/system.h"

namespace {

// Days before each month of a common year; the last entry closes December.
constexpr uint16_t DaysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

// The date fields as stored. A stamp names the years 1980 to 2107, in which every fourth
// year from 1980 on is a leap year but 2100: counting from 1980 keeps the arithmetic
// in 32 bits without the century rules.
struct DosDate {
    uint32_t year;   // years since 1980
    uint32_t month;  // 0-15
    uint32_t day;    // 0-31

    bool IsLeapYear() const { return year % 4 == 0 && year != 120; }
};

DosDate DateOf(uint32_t dosTime) { return {dosTime >> 25, (dosTime >> 21) & 0x0F, (dosTime >> 16) & 0x1F}; }

}  // namespace

bool IsRealDosTime(uint32_t dosTime) {
    DosDate date = DateOf(dosTime);
    if (dosTime == 0 || date.month < 1 || date.month > 12 || date.day < 1) return false;
    uint32_t daysInMonth = DaysBeforeMonth[date.month] - DaysBeforeMonth[date.month - 1u] +
                           (date.month == 2 && date.IsLeapYear());
    uint32_t time = dosTime & 0xFFFF;
    return date.day <= daysInMonth && (time & 0x1F) < 30 && ((time >> 5) & 0x3F) < 60 && (time >> 11) < 24;
}

// A month outside 1-12 is taken as the nearest month, so that the table is never read
// outside its bounds.
int64_t DosTimeToUnixTime(uint32_t dosTime) {
    if (dosTime == 0) return 0;
    DosDate date = DateOf(dosTime);
    uint32_t month = date.month < 1 ? 1 : date.month > 12 ? 12 : date.month;
    // 3652 days from 1970 to 1980, then the leap days of the years before this one.
    uint32_t days = 3652 + date.year * 365 + (date.year + 3) / 4 - (date.year > 120) + DaysBeforeMonth[month - 1] +
                    (month > 2 && date.IsLeapYear()) + date.day - 1;
    uint32_t time = dosTime & 0xFFFF;
    uint32_t seconds = ((time >> 11) * 60 + ((time >> 5) & 0x3F)) * 60 + (time & 0x1F) * 2;
    return int64_t{days} * 86400 + seconds + TimeZoneOffset();
}
