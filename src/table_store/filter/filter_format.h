// TFilterFormat: the locale settings by which filter values turn into text
// and back (short date format, long time format, separators, the morning
// and afternoon markers). Evaluation reads them from an object it is given,
// never from a process-wide setting, so a function that needs another date
// format builds a copy instead of replacing anything shared.
//
// The default object agrees with the table's own text forms of dates and
// times ("yyyy-mm-dd", "hh:nn:ss"), so a date read as text reads back as the
// same date.
#pragma once

#include <string>
#include <string_view>

namespace ts::filter {

struct TFilterFormat {
  // Letters d, m and y give the order of day, month and year (and their
  // widths when writing); '/' stands for DateSeparator.
  std::string ShortDateFormat = "yyyy/mm/dd";
  char DateSeparator = '-';
  // Letters h, n, s; ':' stands for TimeSeparator.
  std::string LongTimeFormat = "hh:nn:ss";
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
};

const TFilterFormat& DefaultFilterFormat();

// A date-time number (days since 30 December 1899 plus the day fraction) as
// text: the date, then the time when it is not midnight; a time of day
// alone (day part 0) as the time only.
std::string DateTimeText(double dateTime, const TFilterFormat& format);
// A number with the format's decimal separator.
std::string FloatText(double value, const TFilterFormat& format);

// Three numbers in the order of ShortDateFormat, separated by
// DateSeparator.
bool ParseDateText(std::string_view text, const TFilterFormat& format, double& dateTime);
// Hours and minutes, optional seconds and milliseconds, separated by
// TimeSeparator, optionally followed by a morning or afternoon marker.
bool ParseTimeText(std::string_view text, const TFilterFormat& format, double& dateTime);
// A date, a time, or a date and a time separated by a blank.
bool ParseDateTimeText(std::string_view text, const TFilterFormat& format, double& dateTime);

}  // namespace ts::filter
