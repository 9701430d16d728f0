#include "table_store/filter/filter_functions.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "table_store/dataset/field_text.h"
#include "table_store/filter/filter_errors.h"
#include "table_store/filter/filter_messages.h"
#include "table_store/filter/text_case.h"
#include "table_store/dataset/dataset_types.h"
#include "table_store/messages.h"

namespace ts::filter {

namespace {

enum class TFn { Upper, Lower, Substring, Trim, TrimLeft, TrimRight, GetDate, Year, Month, Day, Hour, Minute, Second, Date, Time };

struct TFnName {
  const char* Name;
  TFn Fn;
};

constexpr TFnName kFunctions[] = {
    {"UPPER", TFn::Upper},         {"LOWER", TFn::Lower},     {"SUBSTRING", TFn::Substring},
    {"TRIM", TFn::Trim},           {"TRIMLEFT", TFn::TrimLeft}, {"TRIMRIGHT", TFn::TrimRight},
    {"GETDATE", TFn::GetDate},     {"YEAR", TFn::Year},       {"MONTH", TFn::Month},
    {"DAY", TFn::Day},             {"HOUR", TFn::Hour},       {"MINUTE", TFn::Minute},
    {"SECOND", TFn::Second},       {"DATE", TFn::Date},       {"TIME", TFn::Time},
};

[[noreturn]] void BadParameter(const char* name) {
  throw EMemTableFilterError(FormatMessage(msg::kFilterBadParameter, {name}));
}

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

double Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  TSQLTimeStamp stamp;
  stamp.Year = static_cast<int16_t>(local.tm_year + 1900);
  stamp.Month = static_cast<uint16_t>(local.tm_mon + 1);
  stamp.Day = static_cast<uint16_t>(local.tm_mday);
  stamp.Hour = static_cast<uint16_t>(local.tm_hour);
  stamp.Minute = static_cast<uint16_t>(local.tm_min);
  stamp.Second = static_cast<uint16_t>(local.tm_sec);
  stamp.Fractions = static_cast<uint32_t>(ms);
  return SQLTimeStampToDateTime(stamp);
}

// Element `index` of an argument array as text; false when it cannot be
// taken (no array, no such element, a value without a text form).
bool ElementText(const TFilterValue& argument, size_t index, const TFilterFormat& format, std::string& text) {
  if (argument.Kind != TValueKind::Array || index >= argument.Elements.size()) return false;
  try {
    text = TextOf(argument.Elements[index], format);
  } catch (const Exception&) {
    return false;
  }
  return true;
}

int64_t ElementInteger(const TFilterValue& argument, size_t index, const TFilterFormat& format) {
  // Only an element the list never filled counts as 0; a null one fails to
  // convert like any value without an integer form.
  if (index >= argument.Elements.size() || argument.Elements[index].Kind == TValueKind::Empty) return 0;
  const TFilterValue& element = argument.Elements[index];
  if (element.Kind == TValueKind::String) {
    // "2,3": the start before the comma (the length after it is read apart).
    const size_t comma = element.Text.find(',');
    if (comma != std::string::npos) {
      TFilterValue head;
      head.SetText(element.Text.substr(0, comma));
      return IntegerOf(head, format);
    }
  }
  return IntegerOf(element, format);
}

void Substring(const TFilterValue& argument, const TFilterFormat& format, TFilterValue& out) {
  std::string source;
  if (!ElementText(argument, 0, format, source)) BadParameter("SUBSTRING");
  const int64_t start = ElementInteger(argument, 1, format);
  int64_t length = ElementInteger(argument, 2, format);
  if (length == 0) {
    std::string startText;
    size_t comma = std::string::npos;
    if (ElementText(argument, 1, format, startText)) comma = startText.find(',');
    if (comma != std::string::npos) {
      TFilterValue tail;
      tail.SetText(startText.substr(comma + 1));
      length = IntegerOf(tail, format);
    } else {
      length = static_cast<int64_t>(source.size());
    }
  }
  const int64_t from = std::max<int64_t>(start, 1) - 1;
  if (length <= 0 || from >= static_cast<int64_t>(source.size())) {
    out.SetText("");
    return;
  }
  const int64_t count = std::min<int64_t>(length, static_cast<int64_t>(source.size()) - from);
  out.SetText(std::string_view(source).substr(static_cast<size_t>(from), static_cast<size_t>(count)));
}

// DATE(text, format) and TIME(text, format): the format travels in a copy
// of the format object; nothing shared changes.
double ParseWithFormat(const TFilterValue& argument, const TFilterFormat& format, bool date) {
  const char* name = date ? "DATE" : "TIME";
  std::string text, pattern;
  if (!ElementText(argument, 0, format, text) || !ElementText(argument, 1, format, pattern)) BadParameter(name);
  TFilterFormat local = format;
  double result = 0;
  if (date) {
    local.ShortDateFormat = pattern;
    if (!ParseDateText(text, local, result)) throw EConvertError(FormatMessage(msg::kFilterNotDate, {text}));
  } else {
    // The time is read by the separators and markers alone; the format
    // given does not change what it reads.
    local.LongTimeFormat = pattern;
    if (!ParseTimeText(text, local, result)) throw EConvertError(FormatMessage(msg::kFilterNotTime, {text}));
  }
  return result;
}

}  // namespace

bool IsArgumentFree(std::string_view upperName) { return upperName == "GETDATE"; }

void CallFunction(std::string_view upperName, const TFilterValue& argument, const TFilterFormat& format,
                  TFilterValue& out) {
  const TFnName* found = nullptr;
  for (const TFnName& entry : kFunctions)
    if (upperName == entry.Name) found = &entry;
  if (found == nullptr) throw EMemTableFilterError(FormatMessage(msg::kFilterBadFunction, {upperName}));
  const TFn fn = found->Fn;
  if (fn == TFn::GetDate) {
    out.SetDateTime(Now());
    return;
  }
  if (fn == TFn::Date || fn == TFn::Time) {
    if (argument.Kind == TValueKind::Array) {
      const double value = ParseWithFormat(argument, format, fn == TFn::Date);
      out.SetDateTime(value);
      return;
    }
    const double value = DateTimeOf(argument, format);
    if (fn == TFn::Date) {
      TFilterValue days;
      days.SetFloat(std::trunc(value));
      out.SetInt(IntegerOf(days, format));  // a day count beyond 64 bits raises
    } else {
      out.SetFloat(std::fabs(value - std::trunc(value)));
    }
    return;
  }
  if (argument.IsBlank()) {
    out.SetNull();
    return;
  }
  switch (fn) {
    case TFn::Substring: Substring(argument, format, out); return;
    case TFn::Upper:
    case TFn::Lower:
    case TFn::Trim:
    case TFn::TrimLeft:
    case TFn::TrimRight: {
      std::string text = TextOf(argument, format);
      if (fn == TFn::Upper) UpperLatin(text);
      if (fn == TFn::Lower) LowerLatin(text);
      size_t begin = 0, end = text.size();
      if (fn == TFn::Trim || fn == TFn::TrimLeft)
        while (begin < end && IsTrimmed(text[begin])) ++begin;
      if (fn == TFn::Trim || fn == TFn::TrimRight)
        while (end > begin && IsTrimmed(text[end - 1])) --end;
      out.SetText(std::string_view(text).substr(begin, end - begin));
      return;
    }
    default: break;
  }
  const TSQLTimeStamp s = DateTimeToSQLTimeStamp(DateTimeOf(argument, format));
  switch (fn) {
    case TFn::Year: out.SetInt(s.Year); return;
    case TFn::Month: out.SetInt(s.Month); return;
    case TFn::Day: out.SetInt(s.Day); return;
    case TFn::Hour: out.SetInt(s.Hour); return;
    case TFn::Minute: out.SetInt(s.Minute); return;
    default: out.SetInt(s.Second); return;
  }
}

}  // namespace ts::filter
