#include "table_store/dataset/field_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace ts {

namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y = yoe + era * 400 + (m <= 2);
}

const int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);  // day 0 of a date-time number

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int64_t DaysInMonth(int64_t y, int64_t m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

bool ReadDigits(std::string_view& s, int64_t& value, size_t maxDigits) {
  size_t n = 0;
  value = 0;
  while (n < s.size() && n < maxDigits && s[n] >= '0' && s[n] <= '9') value = value * 10 + (s[n++] - '0');
  if (n == 0) return false;
  s.remove_prefix(n);
  return true;
}

bool SkipChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

bool IsValidDate(int64_t year, int64_t month, int64_t day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

namespace {

bool ParseDate(std::string_view& s, int64_t& days) {
  std::string_view t = s;
  int64_t a = 0, b = 0, c = 0, y = 0, m = 0, d = 0;
  if (!ReadDigits(t, a)) return false;
  if (!t.empty() && t.front() == '-') {  // yyyy-mm-dd
    if (!SkipChar(t, '-') || !ReadDigits(t, b) || !SkipChar(t, '-') || !ReadDigits(t, c)) return false;
    y = a, m = b, d = c;
  } else if (!t.empty() && t.front() == '.') {  // dd.mm.yyyy
    if (!SkipChar(t, '.') || !ReadDigits(t, b) || !SkipChar(t, '.') || !ReadDigits(t, c)) return false;
    d = a, m = b, y = c;
  } else {
    return false;
  }
  if (!IsValidDate(y, m, d)) return false;
  days = DaysFromCivil(y, m, d) - kEpochOffset;
  s = t;
  return true;
}

bool ParseTime(std::string_view& s, double& fraction) {
  std::string_view t = s;
  int64_t h = 0, n = 0, sec = 0, ms = 0;
  if (!ReadDigits(t, h, 2) || !SkipChar(t, ':') || !ReadDigits(t, n, 2)) return false;
  if (!t.empty() && t.front() == ':') {
    t.remove_prefix(1);
    if (!ReadDigits(t, sec, 2)) return false;
    if (!t.empty() && t.front() == '.') {
      t.remove_prefix(1);
      std::string_view digits = t;
      if (!ReadDigits(t, ms, 3)) return false;
      const size_t used = digits.size() - t.size();
      for (size_t i = used; i < 3; ++i) ms *= 10;
    }
  }
  if (h > 23 || n > 59 || sec > 59) return false;
  fraction = static_cast<double>(((h * 60 + n) * 60 + sec) * 1000 + ms) / static_cast<double>(kMSecsPerDay);
  s = t;
  return true;
}

}  // namespace

TTimeStampParts DateTimeToTimeStamp(double dateTime) {
  const double scaled = std::nearbyint(dateTime * static_cast<double>(kMSecsPerDay));
  const int64_t ms = std::isfinite(scaled) && std::fabs(scaled) < 9.0e18 ? static_cast<int64_t>(scaled) : 0;
  TTimeStampParts parts;
  parts.Date = static_cast<int32_t>(kDateDelta + ms / kMSecsPerDay);
  parts.Time = static_cast<int32_t>((ms < 0 ? -ms : ms) % kMSecsPerDay);
  return parts;
}

double TimeStampToDateTime(const TTimeStampParts& parts) {
  const double days = static_cast<double>(parts.Date) - kDateDelta;
  const double fraction = static_cast<double>(parts.Time) / static_cast<double>(kMSecsPerDay);
  return days < 0 ? days - fraction : days + fraction;
}

TSQLTimeStamp DateTimeToSQLTimeStamp(double dateTime) {
  const TTimeStampParts parts = DateTimeToTimeStamp(dateTime);
  int64_t y = 0, m = 0, d = 0;
  CivilFromDays(static_cast<int64_t>(parts.Date) - kDateDelta + kEpochOffset, y, m, d);
  TSQLTimeStamp stamp;
  stamp.Year = static_cast<int16_t>(y);
  stamp.Month = static_cast<uint16_t>(m);
  stamp.Day = static_cast<uint16_t>(d);
  int64_t ms = parts.Time;
  stamp.Hour = static_cast<uint16_t>(ms / 3600000);
  stamp.Minute = static_cast<uint16_t>(ms / 60000 % 60);
  stamp.Second = static_cast<uint16_t>(ms / 1000 % 60);
  stamp.Fractions = static_cast<uint32_t>(ms % 1000);
  return stamp;
}

double SQLTimeStampToDateTime(const TSQLTimeStamp& stamp) {
  if (stamp.Month < 1 || stamp.Month > 12) return 0.0;
  const double days = static_cast<double>(DaysFromCivil(stamp.Year, stamp.Month, stamp.Day) - kEpochOffset);
  const double ms = ((stamp.Hour * 60.0 + stamp.Minute) * 60.0 + stamp.Second) * 1000.0 + stamp.Fractions;
  const double fraction = ms / static_cast<double>(kMSecsPerDay);
  return days < 0 ? days - fraction : days + fraction;
}

std::string FormatDateTimeText(double dateTime, TDateTimeText form) {
  const TSQLTimeStamp s = DateTimeToSQLTimeStamp(dateTime);
  char date[32];
  char time[32];
  std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(s.Year), static_cast<unsigned>(s.Month),
                static_cast<unsigned>(s.Day));
  if (s.Fractions != 0)
    std::snprintf(time, sizeof time, "%02u:%02u:%02u.%03u", static_cast<unsigned>(s.Hour),
                  static_cast<unsigned>(s.Minute), static_cast<unsigned>(s.Second),
                  static_cast<unsigned>(s.Fractions));
  else
    std::snprintf(time, sizeof time, "%02u:%02u:%02u", static_cast<unsigned>(s.Hour),
                  static_cast<unsigned>(s.Minute), static_cast<unsigned>(s.Second));
  switch (form) {
    case TDateTimeText::Date: return date;
    case TDateTimeText::Time: return time;
    case TDateTimeText::DateTime: break;
  }
  // A date-time without a time of day reads as the date alone.
  if (s.Hour == 0 && s.Minute == 0 && s.Second == 0 && s.Fractions == 0) return date;
  return std::string(date) + " " + time;
}

bool ParseDateTimeText(std::string_view text, double& dateTime) {
  std::string_view s = TrimBlanks(text);
  if (s.empty()) return false;
  int64_t days = 0;
  double fraction = 0;
  std::string_view t = s;
  if (ParseDate(t, days)) {
    if (!t.empty()) {
      if (t.front() != ' ' && t.front() != 'T') return false;
      t.remove_prefix(1);
      if (!ParseTime(t, fraction) || !t.empty()) return false;
    }
  } else {
    t = s;
    if (!ParseTime(t, fraction) || !t.empty()) return false;
  }
  dateTime = days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
  return true;
}

}  // namespace ts
