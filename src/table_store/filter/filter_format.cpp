#include "table_store/filter/filter_format.h"

#include <cmath>
#include <cstdio>

#include "table_store/dataset/field_text.h"
#include "table_store/value.h"

namespace ts::filter {

namespace {

bool SkipNoCase(std::string_view& s, std::string_view word) {
  if (word.empty() || s.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char a = s[i], b = word[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  s.remove_prefix(word.size());
  return true;
}

void SkipBlanks(std::string_view& s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
}

// The order of day, month and year in a date format: "dmy", "mdy", "ymd" ...
std::string DateOrder(std::string_view format) {
  std::string order;
  for (char c : format) {
    char l = static_cast<char>(c | 0x20);
    if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos) order += l;
  }
  for (char l : {'y', 'm', 'd'})
    if (order.find(l) == std::string::npos) order += l;
  return order;
}

// Reads a date at the start of `s`; `s` moves past it.
bool ScanDate(std::string_view& s, const TFilterFormat& format, double& days) {
  std::string_view t = s;
  const std::string order = DateOrder(format.ShortDateFormat);
  int64_t parts[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && !SkipChar(t, format.DateSeparator)) return false;
    if (!ReadDigits(t, parts[i], order[static_cast<size_t>(i)] == 'y' ? 4 : 2)) return false;
  }
  int64_t y = 0, m = 0, d = 0;
  for (int i = 0; i < 3; ++i) {
    switch (order[static_cast<size_t>(i)]) {
      case 'y': y = parts[i]; break;
      case 'm': m = parts[i]; break;
      default: d = parts[i]; break;
    }
  }
  if (!IsValidDate(y, m, d)) return false;
  TSQLTimeStamp stamp;
  stamp.Year = static_cast<int16_t>(y);
  stamp.Month = static_cast<uint16_t>(m);
  stamp.Day = static_cast<uint16_t>(d);
  days = SQLTimeStampToDateTime(stamp);
  s = t;
  return true;
}

bool ScanTime(std::string_view& s, const TFilterFormat& format, double& fraction) {
  std::string_view t = s;
  int64_t h = 0, n = 0, sec = 0, ms = 0;
  if (!ReadDigits(t, h, 2) || !SkipChar(t, format.TimeSeparator) || !ReadDigits(t, n, 2)) return false;
  if (SkipChar(t, format.TimeSeparator)) {
    if (!ReadDigits(t, sec, 2)) return false;
    if (SkipChar(t, '.')) {
      std::string_view before = t;
      if (!ReadDigits(t, ms, 3)) return false;
      for (size_t used = before.size() - t.size(); used < 3; ++used) ms *= 10;
    }
  }
  std::string_view marker = t;
  SkipBlanks(marker);
  std::string_view probe = marker;
  bool pm = false;
  bool hasMarker = SkipNoCase(probe, format.TimeAMString);
  if (!hasMarker) {
    probe = marker;
    hasMarker = pm = SkipNoCase(probe, format.TimePMString);
  }
  if (hasMarker) {
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
    t = probe;
  }
  if (h > 23 || n > 59 || sec > 59) return false;
  fraction = static_cast<double>(((h * 60 + n) * 60 + sec) * 1000 + ms) / static_cast<double>(kMSecsPerDay);
  s = t;
  return true;
}

std::string TwoDigits(int v, bool pad) {
  char buf[16];
  std::snprintf(buf, sizeof buf, pad ? "%02d" : "%d", v);
  return buf;
}

// Writes `format`'s letters with the parts of a date or a time.
std::string Render(std::string_view format, const TSQLTimeStamp& s, char separator, char slashOrColon) {
  std::string out;
  for (size_t i = 0; i < format.size();) {
    const char c = format[i];
    const char l = static_cast<char>(c | 0x20);
    size_t run = 1;
    while (i + run < format.size() && (format[i + run] | 0x20) == l) ++run;
    switch (l) {
      case 'y': {
        char buf[16];
        if (run <= 2)
          std::snprintf(buf, sizeof buf, "%02d", s.Year % 100);
        else
          std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(s.Year));
        out += buf;
        break;
      }
      case 'm': out += TwoDigits(s.Month, run >= 2); break;
      case 'd': out += TwoDigits(s.Day, run >= 2); break;
      case 'h': out += TwoDigits(s.Hour, run >= 2); break;
      case 'n': out += TwoDigits(s.Minute, run >= 2); break;
      case 's': out += TwoDigits(s.Second, run >= 2); break;
      default:
        for (size_t k = 0; k < run; ++k) out += c == slashOrColon ? separator : c;
        break;
    }
    i += run;
  }
  return out;
}

}  // namespace

const TFilterFormat& DefaultFilterFormat() {
  static const TFilterFormat format;
  return format;
}

std::string DateTimeText(double dateTime, const TFilterFormat& format) {
  const TSQLTimeStamp s = DateTimeToSQLTimeStamp(dateTime);
  const bool midnight = s.Hour == 0 && s.Minute == 0 && s.Second == 0 && s.Fractions == 0;
  std::string time = Render(format.LongTimeFormat, s, format.TimeSeparator, ':');
  if (s.Fractions != 0) time += '.' + std::string(3 - std::to_string(s.Fractions).size(), '0') + std::to_string(s.Fractions);
  if (!midnight && std::trunc(dateTime) == 0) return time;
  std::string date = Render(format.ShortDateFormat, s, format.DateSeparator, '/');
  return midnight ? date : date + ' ' + time;
}

std::string FloatText(double value, const TFilterFormat& format) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::string text(buf);
  for (char& c : text)
    if (c == '.') c = format.DecimalSeparator;
  return text;
}

bool ParseDateText(std::string_view text, const TFilterFormat& format, double& dateTime) {
  std::string_view s = TrimBlanks(text);
  double days = 0;
  if (!ScanDate(s, format, days) || !s.empty()) return false;
  dateTime = days;
  return true;
}

bool ParseTimeText(std::string_view text, const TFilterFormat& format, double& dateTime) {
  std::string_view s = TrimBlanks(text);
  double fraction = 0;
  if (!ScanTime(s, format, fraction) || !TrimBlanks(s).empty()) return false;
  dateTime = fraction;
  return true;
}

bool ParseDateTimeText(std::string_view text, const TFilterFormat& format, double& dateTime) {
  std::string_view s = TrimBlanks(text);
  double days = 0, fraction = 0;
  if (ScanDate(s, format, days)) {
    if (!s.empty()) {
      if (!SkipChar(s, ' ') && !SkipChar(s, 'T')) return false;
      SkipBlanks(s);
      if (!ScanTime(s, format, fraction) || !TrimBlanks(s).empty()) return false;
    }
  } else if (!ScanTime(s, format, fraction) || !TrimBlanks(s).empty()) {
    return false;
  }
  dateTime = days < 0 ? days - fraction : days + fraction;
  return true;
}

}  // namespace ts::filter
