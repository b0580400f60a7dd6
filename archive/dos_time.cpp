// MS-DOS time stamps (local standard time, two-second steps) to seconds since 1970 UTC.
#include "archive/lzh_header.h"
#include "platform/system.h"

namespace {

constexpr int32_t DaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t LeapYearsBefore(int32_t year) { return (year - 1) / 4 - (year - 1) / 100 + (year - 1) / 400; }

// Days from 1970-01-01 to the date (year 1980 or later). A month outside 1-12 is
// taken as the nearest month so that the table is never read outside its bounds.
int64_t DaysSinceEpoch(int32_t year, int32_t month, int32_t day) {
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    int64_t days = int64_t{year - 1970} * 365 + LeapYearsBefore(year) - LeapYearsBefore(1970);
    days += DaysBeforeMonth[month - 1];
    if (month > 2 && IsLeapYear(year)) ++days;
    return days + day - 1;
}

int32_t DaysInMonth(int32_t year, int32_t month) {
    static constexpr uint8_t Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return Days[month - 1] + (month == 2 && IsLeapYear(year));
}

}  // namespace

bool IsRealDosTime(uint32_t dosTime) {
    uint32_t time = dosTime & 0xFFFF, date = dosTime >> 16;
    int32_t month = static_cast<int32_t>((date >> 5) & 0x0F);
    int32_t day = static_cast<int32_t>(date & 0x1F);
    int32_t year = 1980 + static_cast<int32_t>(date >> 9);
    if (dosTime == 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    return (time & 0x1F) < 30 && ((time >> 5) & 0x3F) < 60 && (time >> 11) < 24;
}

int64_t DosTimeToUnixTime(uint32_t dosTime) {
    if (dosTime == 0) return 0;
    uint32_t time = dosTime & 0xFFFF, date = dosTime >> 16;
    int32_t seconds = static_cast<int32_t>(time & 0x1F) * 2;
    int32_t minutes = static_cast<int32_t>((time >> 5) & 0x3F);
    int32_t hours = static_cast<int32_t>(time >> 11);
    int32_t day = static_cast<int32_t>(date & 0x1F);
    int32_t month = static_cast<int32_t>((date >> 5) & 0x0F);
    int32_t year = 1980 + static_cast<int32_t>(date >> 9);
    int64_t days = DaysSinceEpoch(year, month, day);
    return ((days * 24 + hours) * 60 + minutes) * 60 + seconds + TimeZoneOffset();
}
