#include "table_store/dataset/datetime_fields.h"

#include <cmath>
#include <cstring>

#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/field_text.h"
#include "table_store/messages.h"

namespace ts {

double DateTimeOfValue(const TValue& value) {
  switch (value.Kind()) {
    case TValueKind::String: {
      double dateTime = 0;
      if (!ParseDateTimeText(value.ToString(), dateTime))
        throw EConvertError(FormatMessage(msg::kNotDateTime, {value.ToString()}));
      return dateTime;
    }
    case TValueKind::SQLTimeStamp: return SQLTimeStampToDateTime(value.ToTimeStamp());
    default: return value.ToFloat();
  }
}

// ---- Date, Time, DateTime

TValue TDateTimeField::DecodeValue(const uint8_t* buffer) const {
  int32_t word = 0;
  std::memcpy(&word, buffer, sizeof word);
  switch (DataType()) {
    case ftDate: return TValue::DateTime(TimeStampToDateTime({word, 0}));
    case ftTime: return TValue::DateTime(TimeStampToDateTime({kDateDelta, word}));
    default: break;
  }
  double msecs = 0;
  std::memcpy(&msecs, buffer, sizeof msecs);
  const double date = std::trunc(msecs / static_cast<double>(kMSecsPerDay));
  const double time = msecs - date * static_cast<double>(kMSecsPerDay);
  return TValue::DateTime(TimeStampToDateTime({static_cast<int32_t>(date), static_cast<int32_t>(time)}));
}

void TDateTimeField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  const TTimeStampParts parts = DateTimeToTimeStamp(DateTimeOfValue(value));
  switch (DataType()) {
    case ftDate: std::memcpy(buffer, &parts.Date, sizeof parts.Date); return;
    case ftTime: std::memcpy(buffer, &parts.Time, sizeof parts.Time); return;
    default: break;
  }
  const double msecs = static_cast<double>(parts.Date) * static_cast<double>(kMSecsPerDay) + parts.Time;
  std::memcpy(buffer, &msecs, sizeof msecs);
}

std::string TDateTimeField::GetAsString() const {
  const TValue value = Value();
  if (value.IsBlank()) return std::string();
  const TDateTimeText form = DataType() == ftDate   ? TDateTimeText::Date
                             : DataType() == ftTime ? TDateTimeText::Time
                                                    : TDateTimeText::DateTime;
  return FormatDateTimeText(value.ToDateTime(), form);
}

// ---- SQLTimeStamp

TValue TSQLTimeStampField::DecodeValue(const uint8_t* buffer) const {
  TSQLTimeStamp stamp;
  std::memcpy(&stamp.Year, buffer, 2);
  std::memcpy(&stamp.Month, buffer + 2, 2);
  std::memcpy(&stamp.Day, buffer + 4, 2);
  std::memcpy(&stamp.Hour, buffer + 6, 2);
  std::memcpy(&stamp.Minute, buffer + 8, 2);
  std::memcpy(&stamp.Second, buffer + 10, 2);
  std::memcpy(&stamp.Fractions, buffer + 12, 4);
  return TValue::TimeStamp(stamp);
}

void TSQLTimeStampField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  const TSQLTimeStamp stamp = value.Kind() == TValueKind::SQLTimeStamp ? value.ToTimeStamp()
                                                                       : DateTimeToSQLTimeStamp(DateTimeOfValue(value));
  std::memcpy(buffer, &stamp.Year, 2);
  std::memcpy(buffer + 2, &stamp.Month, 2);
  std::memcpy(buffer + 4, &stamp.Day, 2);
  std::memcpy(buffer + 6, &stamp.Hour, 2);
  std::memcpy(buffer + 8, &stamp.Minute, 2);
  std::memcpy(buffer + 10, &stamp.Second, 2);
  std::memcpy(buffer + 12, &stamp.Fractions, 4);
}

double TSQLTimeStampField::GetAsDateTime() const {
  const TValue value = Value();
  return value.IsBlank() ? 0.0 : SQLTimeStampToDateTime(value.ToTimeStamp());
}

std::string TSQLTimeStampField::GetAsString() const {
  const TValue value = Value();
  if (value.IsBlank()) return std::string();
  return FormatDateTimeText(SQLTimeStampToDateTime(value.ToTimeStamp()), TDateTimeText::DateTime);
}

}  // namespace ts
