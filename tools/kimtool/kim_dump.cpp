// kimtool dump: a materials container or a bare table stream as JSON.
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "kim_file.h"
#include "materials_file.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/codepage.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/field_types.h"
#include "table_store/indexes/index_def.h"

namespace kim {

namespace {

QString Text(const std::string& codePageText) { return QString::fromStdString(ts::Cp1251ToUtf8(codePageText)); }

std::string ReadWholeFile(const std::string& file) {
  ts::TFileStream in(file, ts::TFileMode::OpenRead);
  std::string bytes(static_cast<size_t>(in.Size()), '\0');
  in.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

std::string ContainerMessage(station::InflateResult result) {
  switch (result) {
    case station::InflateResult::NoCount: return "Materials container too short: no byte count";
    case station::InflateResult::EmptyCount: return "Materials container holds no body: the byte count is 0 or negative";
    case station::InflateResult::DamagedData: return "Materials container damaged: the zlib data is not valid";
    case station::InflateResult::ShortStream: return "Materials container damaged: the body ends before the byte count";
    default: return "Materials container could not be read";
  }
}

// The body of the file: the file itself when it is a bare stream.
std::string TableBody(const std::string& file) {
  std::string bytes = ReadWholeFile(file);
  if (bytes.compare(0, 4, "TPF0") == 0) return bytes;
  std::string body;
  const station::InflateResult result = station::InflateMaterials(bytes, body);
  if (result != station::InflateResult::Ok) throw KimError(ContainerMessage(result));
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

}  // namespace

QByteArray DumpFile(const std::string& file) {
  ts::TMemoryStream stream;
  {
    const std::string body = TableBody(file);
    stream.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
  }
  ts::TdvoMemTable table("kimtool");
  ts::TdvoBinaryStreamFormat format;
  table.LoadStreamWithFormat(stream, &format);

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
