// kimtool dump: a materials container or a bare table stream as JSON.
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "kim_file.h"
#include "materials_file.h"
#include "message_text.h"
#include "regular_files.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/codepage.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/field_types.h"
#include "table_store/indexes/index_def.h"

namespace kim {

namespace {

QString Text(const std::string& codePageText) { return QString::fromStdString(ts::Cp1251ToUtf8(codePageText)); }

// `place` is the byte of the container where the damage was met, `size`
// the container's.
std::string ContainerMessage(station::InflateResult result, int64_t place, size_t size) {
  const std::string at = std::to_string(place);
  switch (result) {
    case station::InflateResult::NoCount: return "Materials container too short: no byte count";
    case station::InflateResult::EmptyCount: return "Materials container holds no body: the byte count is 0 or negative";
    case station::InflateResult::DamagedData: return "Materials container damaged: the zlib data is not valid at byte " + at;
    case station::InflateResult::BadCheck:
      return "Materials container damaged: the zlib data's check value at byte " + at +
             " does not match the data it unpacks to";
    case station::InflateResult::CutShort:
      return "Materials container damaged: the file ends at byte " + at + ", inside the zlib data";
    case station::InflateResult::ShortStream:
      return "Materials container damaged: the body ends before the byte count, where the zlib data ends at byte " + at;
    case station::InflateResult::TrailingBytes:
    {
      const int64_t trailing = int64_t(size) - place;
      return "Materials container damaged: " + std::to_string(trailing) + (trailing == 1 ? " byte follows" : " bytes follow") +
             " the end of the zlib data at byte " + at;
    }
    default: return "Materials container could not be read";
  }
}

// The body of the file: the file itself when it is a bare stream.
std::string TableBody(const std::string& file, bool& container) {
  std::string bytes = ReadRegularFile(file);
  container = bytes.compare(0, 4, "TPF0") != 0;
  if (!container) return bytes;
  std::string body;
  int64_t place = 0;
  const station::InflateResult result = station::InflateMaterials(bytes, body, &place);
  if (result != station::InflateResult::Ok) throw KimError(ContainerMessage(result, place, bytes.size()));
  return body;
}

QJsonValue FieldValue(ts::TField& field) {
  if (field.IsNull()) return QJsonValue::Null;
  switch (field.DataType()) {
    case ts::ftSmallint:
    case ts::ftInteger:
    case ts::ftWord:
    case ts::ftAutoInc:
    case ts::ftLargeint:
      return QJsonValue(static_cast<qint64>(field.AsLargeInt()));
    case ts::ftBoolean:
      return field.AsBoolean();
    case ts::ftFloat:
      return field.AsFloat();
    case ts::ftCurrency:
    case ts::ftBCD:
    case ts::ftFMTBcd:
      return static_cast<double>(field.AsCurrency()) / 10000.0;
    case ts::ftDate:
    case ts::ftTime:
    case ts::ftDateTime:
      return field.AsDateTime();
    default:
      break;
  }
  if (ts::IsBlobFieldType(field.DataType())) {
    const std::string bytes = field.AsString();
    const QByteArray hash = QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                                     QCryptographicHash::Sha256);
    return QJsonObject{{"size", static_cast<qint64>(bytes.size())}, {"sha256", QString::fromLatin1(hash.toHex())}};
  }
  return Text(field.AsString());
}

QJsonArray IndexOptions(ts::TIndexOptions options) {
  QJsonArray list;
  if (options & ts::ixDescending) list.append("ixDescending");
  if (options & ts::ixCaseInsensitive) list.append("ixCaseInsensitive");
  if (options & ts::ixNonMaintained) list.append("ixNonMaintained");
  if (options & ts::ixUnique) list.append("ixUnique");
  return list;
}

// Where in the table a failed load stopped, as the start of its message;
// entries are counted from 0 as the dump lists them.
std::string PlaceText(const ts::TLoadPlace& place, bool container) {
  const auto entry = [&](const std::string& what) {
    // Before the first entry the place is the list itself.
    if (place.entry < 0 || (place.afterLast && place.entry == 0)) return what + " list";
    if (place.afterLast) return "after the last " + what;
    std::string text = what + " " + std::to_string(place.entry);
    if (place.part != ts::TLoadPlace::lpRecords && !place.name.empty())
      text += " (" + TextHead(ts::Cp1251ToUtf8(place.name)) + ")";
    return text;
  };
  std::string text;
  switch (place.part) {
    case ts::TLoadPlace::lpHeader: text = "table header"; break;
    case ts::TLoadPlace::lpFieldDefs: text = entry("field definition"); break;
    case ts::TLoadPlace::lpIndexDefs: text = entry("index definition"); break;
    case ts::TLoadPlace::lpRecords:
      text = entry("record");
      if (place.entry >= 0 && place.field >= 0)
        text += ", field " + (place.name.empty() ? std::to_string(place.field) : TextHead(ts::Cp1251ToUtf8(place.name)));
      break;
    case ts::TLoadPlace::lpNone: break;
  }
  if (place.offset >= 0) {
    if (!text.empty()) text += ", ";
    text += "byte " + std::to_string(place.offset) + (container ? " of the unpacked table" : "");
  }
  return text.empty() ? text : text + ": ";
}

}  // namespace

QByteArray DumpFile(const std::string& file) {
  ts::TdvoMemTable table("kimtool");
  ts::TdvoBinaryStreamFormat format;
  bool container = false;
  // Every failure names the file and, once the table is being read, where
  // in it the load stopped.
  try {
    ts::TMemoryStream stream;
    {
      const std::string body = TableBody(file, container);
      stream.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
    }
    table.LoadStreamWithFormat(stream, &format);
  } catch (const KimError& error) {
    throw KimError(file + ": " + error.Message());
  } catch (const ts::Exception& error) {
    throw KimError(file + ": " + PlaceText(format.LoadPlace(), container) +
                   ShortenQuotedValue(ts::Cp1251ToUtf8(error.Message())));
  }

  QJsonArray fields;
  for (int i = 0; i < table.FieldCount(); ++i) {
    const ts::TField& field = table.Field(i);
    fields.append(QJsonObject{{"name", Text(field.FieldName())},
                              {"type", QString::fromLatin1(ts::FieldTypeName(field.DataType()))},
                              {"size", field.Size()},
                              {"required", field.Required()},
                              {"readonly", field.ReadOnly()},
                              {"kind", QString::fromLatin1(ts::FieldKindName(field.FieldKind()))}});
  }
  QJsonArray indexes;
  for (int i = 0; i < table.IndexDefs().Count(); ++i) {
    const ts::TIndexDef& def = table.IndexDefs()[i];
    indexes.append(QJsonObject{
        {"name", Text(def.Name)}, {"fields", Text(def.Fields)}, {"options", IndexOptions(def.Options)}});
  }
  // Every stored record in the store's own order, deleted ones too, each in
  // its newest version.
  QJsonArray records;
  ts::TdvoCommon& store = table.Store();
  for (int slot = 0; slot < store.SlotCount(); ++slot) {
    ts::TRecord* record = store.StoredRecord(slot);
    if (record == nullptr) continue;
    table.SetOverrideRecord(record);
    QJsonObject values;
    for (int i = 0; i < table.FieldCount(); ++i) {
      ts::TField& field = table.Field(i);
      values.insert(Text(field.FieldName()), FieldValue(field));
    }
    records.append(QJsonObject{{"status", static_cast<int>(record->ChangeStatus)}, {"values", values}});
  }
  table.SetOverrideRecord(nullptr);

  const QJsonObject root{
      {"version", format.FileVersion()}, {"fields", fields}, {"indexes", indexes}, {"records", records}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace kim
