// Text forms of field values shared by the field classes (number texts are
// parsed by value.h): the date and time texts
// ("yyyy-mm-dd", "hh:nn:ss[.zzz]", both joined by a blank; "dd.mm.yyyy" is
// read too), and the conversions between a date-time number (days since
// 30 December 1899 plus the day fraction) and the time stamp forms that
// Date, Time and DateTime fields keep in a record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "table_store/value.h"

namespace ts {

inline constexpr int32_t kDateDelta = 693594;  // days from 1 January 0001 to 30 December 1899
inline constexpr int64_t kMSecsPerDay = 86400000;

// A date-time number as day number since 1 January 0001 (that day is 1) and
// milliseconds of the day.
struct TTimeStampParts {
  int32_t Date = 0;
  int32_t Time = 0;
};
TTimeStampParts DateTimeToTimeStamp(double dateTime);
double TimeStampToDateTime(const TTimeStampParts& parts);

TSQLTimeStamp DateTimeToSQLTimeStamp(double dateTime);
double SQLTimeStampToDateTime(const TSQLTimeStamp& stamp);

enum class TDateTimeText { Date, Time, DateTime };
std::string FormatDateTimeText(double dateTime, TDateTimeText form);
// Reads a run of at most `maxDigits` digits from the front of `s`; false
// when there is none.
bool ReadDigits(std::string_view& s, int64_t& value, size_t maxDigits = 9);
// Takes `c` from the front of `s`; false when `s` does not start with it.
bool SkipChar(std::string_view& s, char c);
// A day of the calendar between the years 1 and 9999.
bool IsValidDate(int64_t year, int64_t month, int64_t day);

// A date, a time, or both; false for anything else.
bool ParseDateTimeText(std::string_view text, double& dateTime);

}  // namespace ts
