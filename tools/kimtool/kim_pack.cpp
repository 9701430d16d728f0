// kimtool pack: a JSON description of fields, indexes and records written as
// a materials container or a bare table stream.
//
// The description has the shape the dump prints: {"fields": [{"name",
// "type", "size", "required", "readonly", "kind"}], "indexes": [{"name",
// "fields", "options"}], "records": [{"status", "values": {NAME: VALUE}}]}.
// A blob value is {"file": "path"} (relative to the description) or a text;
// texts are UTF-8 and go into the table in its code page. "version" is
// accepted and ignored: a pack always writes the current file version. A
// value the table would hold as another one (cut, rounded to 0, turned into
// '?') is refused with its place.
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cmath>
#include <memory>
#include <set>

#include "kim_file.h"
#include "materials_file.h"
#include "message_text.h"
#include "regular_files.h"
#include "remove_on_signal.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/codepage.h"
#include "table_store/dataset/field_text.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/field_types.h"
#include "table_store/messages.h"
#include "table_store/stream_format/replacing_file.h"

namespace kim {

namespace {

[[noreturn]] void Fail(const QString& message) { throw KimError(message.toStdString()); }

void CheckKeys(const QJsonObject& object, const std::set<QString>& allowed, const QString& where) {
  for (auto it = object.begin(); it != object.end(); ++it)
    if (!allowed.count(it.key())) Fail(QString("%1: unknown key \"%2\"").arg(where, it.key()));
}

// UTF-8 text in the table's code page; a character the code page lacks is
// refused rather than turned into '?', and so is half a surrogate pair,
// which no UTF-8 can carry.
std::string CodePageText(const QString& text, const QString& where) {
  bool lossless = true;
  for (qsizetype i = 0; i < text.size() && lossless; ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
      ++i;
    else if (text[i].isSurrogate())
      lossless = false;
  }
  std::string bytes;
  if (lossless) bytes = ts::Utf8ToCp1251(text.toStdString(), &lossless);
  if (!lossless) Fail(QString("%1: the text has characters the code page lacks").arg(where));
  return bytes;
}

// A name of the table's (a field's, an index's or its field list): a zero
// character would end it early wherever it is read as a name.
std::string NameText(const QString& text, const QString& where) {
  if (text.contains(QChar(u'\0'))) Fail(QString("%1: the name holds a zero character").arg(where));
  return CodePageText(text, where);
}

QString StringMember(const QJsonObject& object, const QString& key, const QString& where, bool required,
                     const QString& fallback = {}) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined()) {
    if (required) Fail(QString("%1: \"%2\" is missing").arg(where, key));
    return fallback;
  }
  if (!value.isString()) Fail(QString("%1: \"%2\" must be a text").arg(where, key));
  return value.toString();
}

bool BoolMember(const QJsonObject& object, const QString& key, const QString& where) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined()) return false;
  if (!value.isBool()) Fail(QString("%1: \"%2\" must be true or false").arg(where, key));
  return value.toBool();
}

QString NumberText(double d) { return QString::number(d, 'g', QLocale::FloatingPointShortest); }

// A whole number that a signed 64-bit integer holds; a larger one would go
// in as 0.
qint64 IntegerOf(const QJsonValue& value, const QString& where) {
  const double d = value.toDouble();
  if (!value.isDouble() || std::trunc(d) != d) Fail(QString("%1: a whole number is needed").arg(where));
  const qint64 n = value.toInteger(0);
  if (n == 0 && d != 0)
    Fail(QString("%1: %2 is beyond the whole numbers of 64 bits").arg(where, NumberText(d)));
  return n;
}

// A date and time in days that the field's time stamp holds to the
// millisecond; others would go in as another date.
double DateTimeOf(const QJsonValue& value, const QString& where) {
  if (!value.isDouble()) Fail(where + ": a number of days is needed");
  const double d = value.toDouble();
  const double back = ts::TimeStampToDateTime(ts::DateTimeToTimeStamp(d));
  if (!(std::fabs(back - d) <= 1.0 / static_cast<double>(ts::kMSecsPerDay)))
    Fail(QString("%1: %2 days is beyond the dates a field holds").arg(where, NumberText(d)));
  return d;
}

// A text for a field of fixed room goes in whole or not at all.
void CheckTextFits(const ts::TField& field, const std::string& bytes, const QString& where) {
  const ts::TFieldType type = field.DataType();
  const bool sized = type == ts::ftString || type == ts::ftFixedChar || type == ts::ftBytes || type == ts::ftVarBytes;
  if (sized && bytes.size() > static_cast<size_t>(field.Size()))
    Fail(QString("%1: the text is %2 characters long, the field holds %3").arg(where).arg(bytes.size()).arg(field.Size()));
}

// An input named by the description, or the description itself; `where`
// leads the message of a refusal.
std::string ReadInput(const QString& path, const QString& where) {
  try {
    return ReadRegularFile(path.toStdString());
  } catch (const KimError& error) {
    Fail(QString("%1%2: %3").arg(where, path, QString::fromStdString(error.Message())));
  }
}

void AddField(ts::TdvoMemTable& table, const QJsonObject& spec, int index) {
  const QString where = QString("field %1").arg(index);
  CheckKeys(spec, {"name", "type", "size", "required", "readonly", "kind"}, where);
  const QString name = StringMember(spec, "name", where, true);
  if (name.isEmpty()) Fail(where + ": the name is empty");
  const std::string storedName = NameText(name, where);
  const QString typeName = StringMember(spec, "type", where, true);
  const int type = ts::FieldTypeFromName(typeName.toStdString());
  if (type < 0 || !ts::IsSupportedFieldType(type))
    throw ts::EMemTableError(ts::FormatMessage(ts::msg::kUnknownFieldType, {typeName.toStdString()}));
  qint64 size = 0;
  if (spec.contains("size")) size = IntegerOf(spec.value("size"), where + " size");
  const bool sized = type == ts::ftString || type == ts::ftFixedChar || type == ts::ftBytes || type == ts::ftVarBytes;
  if (size < 0 || size > INT32_MAX || (sized && size == 0))
    Fail(QString("%1 (%2): the size must be %3").arg(where, name, sized ? "above 0" : "0 or more"));
  const QString kindName = StringMember(spec, "kind", where, false, "Data");
  const int kind = ts::FieldKindFromName(kindName.toStdString());
  // Other kinds hold no stored values of their own.
  if (kind != ts::fkData && kind != ts::fkInternalCalc)
    Fail(QString("%1 (%2): kind must be Data or InternalCalc").arg(where, name));
  auto field = ts::CreateFieldForType(static_cast<ts::TFieldType>(type), static_cast<int32_t>(size));
  field->SetFieldName(storedName);
  field->SetFieldKind(static_cast<ts::TFieldKind>(kind));
  field->SetRequired(BoolMember(spec, "required", where));
  BoolMember(spec, "readonly", where);  // applied once the records are in
  table.AddField(std::move(field));
}

void AddIndex(ts::TdvoMemTable& table, const QJsonObject& spec, int index) {
  const QString where = QString("index %1").arg(index);
  CheckKeys(spec, {"name", "fields", "options"}, where);
  ts::TIndexOptions options = 0;
  const QJsonValue list = spec.value("options");
  if (!list.isUndefined() && !list.isArray()) Fail(where + ": \"options\" must be a list");
  for (const QJsonValue& option : list.toArray()) {
    const QString text = option.toString();
    if (text == "ixDescending")
      options |= ts::ixDescending;
    else if (text == "ixCaseInsensitive")
      options |= ts::ixCaseInsensitive;
    else if (text == "ixNonMaintained")
      options |= ts::ixNonMaintained;
    else if (text == "ixUnique")
      options |= ts::ixUnique;
    else
      Fail(QString("%1: unknown option \"%2\"").arg(where, text));
  }
  table.IndexDefs().Add(NameText(StringMember(spec, "name", where, true), where),
                        NameText(StringMember(spec, "fields", where, true), where), options);
}

void SetValue(ts::TField& field, const QJsonValue& value, const QString& where, const QString& baseFolder) {
  if (value.isNull()) {
    field.Clear();
    return;
  }
  const ts::TFieldType type = field.DataType();
  if (ts::IsBlobFieldType(type)) {
    if (value.isObject()) {
      const QJsonObject object = value.toObject();
      CheckKeys(object, {"file"}, where);
      const QString path = StringMember(object, "file", where, true);
      field.SetAsString(ReadInput(QDir(baseFolder).filePath(path), where + ": "));
    } else if (value.isString()) {
      field.SetAsString(CodePageText(value.toString(), where));
    } else {
      Fail(where + ": a blob is {\"file\": path} or a text");
    }
    return;
  }
  // Any other field takes a text as it would take it typed in.
  if (value.isString()) {
    const std::string bytes = CodePageText(value.toString(), where);
    CheckTextFits(field, bytes, where);
    field.SetAsString(bytes);
    return;
  }
  switch (type) {
    case ts::ftSmallint:
    case ts::ftInteger:
    case ts::ftWord:
    case ts::ftAutoInc:
    case ts::ftLargeint:
      field.SetAsLargeInt(IntegerOf(value, where));
      return;
    case ts::ftBoolean:
      if (!value.isBool()) Fail(where + ": true or false is needed");
      field.SetAsBoolean(value.toBool());
      return;
    case ts::ftFloat:
    case ts::ftCurrency:
    case ts::ftBCD:
    case ts::ftFMTBcd:
      if (!value.isDouble()) Fail(where + ": a number is needed");
      field.SetAsFloat(value.toDouble());
      return;
    case ts::ftDate:
    case ts::ftTime:
    case ts::ftDateTime:
    case ts::ftTimeStamp:
      field.SetAsDateTime(DateTimeOf(value, where));
      return;
    default:
      Fail(where + ": a text is needed");
  }
}

void AddRecord(ts::TdvoMemTable& table, const QJsonObject& spec, int index, const QString& baseFolder) {
  const QString where = QString("record %1").arg(index);
  CheckKeys(spec, {"status", "values"}, where);
  qint64 status = ts::rsUnmodified;
  if (spec.contains("status")) status = IntegerOf(spec.value("status"), where + " status");
  if (status < ts::rsUnmodified || status > ts::rsDeleted) Fail(where + ": status must be 0 to 3");
  const QJsonValue values = spec.value("values");
  if (!values.isUndefined() && !values.isObject()) Fail(where + ": \"values\" must be an object");
  table.Append();
  const QJsonObject object = values.toObject();
  for (auto it = object.begin(); it != object.end(); ++it) {
    ts::TField* field = table.FindField(CodePageText(it.key(), where));
    if (field == nullptr) Fail(QString("%1: no field named %2").arg(where, it.key()));
    SetValue(*field, it.value(), QString("%1, %2").arg(where, it.key()), baseFolder);
  }
  table.Post();
  ts::TdvoCommon& store = table.Store();
  store.StoredRecord(store.SlotCount() - 1)->ChangeStatus = static_cast<ts::TUpdateStatus>(status);
}

QJsonArray ArrayMember(const QJsonObject& root, const QString& key) {
  const QJsonValue value = root.value(key);
  if (value.isUndefined()) return {};
  if (!value.isArray()) Fail(QString("\"%1\" must be a list").arg(key));
  return value.toArray();
}

}  // namespace

std::string BuildTableStream(const QByteArray& spec, const QString& baseFolder) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(spec, &error);
  if (error.error != QJsonParseError::NoError)
    Fail(QString("JSON error at offset %1: %2").arg(error.offset).arg(error.errorString()));
  if (!document.isObject()) Fail("the description must be a JSON object");
  const QJsonObject root = document.object();
  CheckKeys(root, {"version", "fields", "indexes", "records"}, "description");
  if (!root.contains("fields")) Fail("the description has no \"fields\"");

  ts::TdvoMemTable table("kimtool");
  const QJsonArray fields = ArrayMember(root, "fields");
  for (int i = 0; i < fields.size(); ++i) {
    if (!fields[i].isObject()) Fail(QString("field %1 must be an object").arg(i));
    AddField(table, fields[i].toObject(), i);
  }
  const QJsonArray indexes = ArrayMember(root, "indexes");
  for (int i = 0; i < indexes.size(); ++i) {
    if (!indexes[i].isObject()) Fail(QString("index %1 must be an object").arg(i));
    AddIndex(table, indexes[i].toObject(), i);
  }
  table.Open();
  const QJsonArray records = ArrayMember(root, "records");
  for (int i = 0; i < records.size(); ++i) {
    if (!records[i].isObject()) Fail(QString("record %1 must be an object").arg(i));
    try {
      AddRecord(table, records[i].toObject(), i, baseFolder);
    } catch (const ts::Exception& error) {
      // The table's own refusals (a required field, a duplicate key, a text
      // that is no number) get the record they belong to.
      const std::string message = ShortenQuotedValue(ts::Cp1251ToUtf8(error.Message()));
      Fail(QString("record %1: %2").arg(i).arg(QString::fromStdString(message)));
    }
  }
  // Read-only applies to the file's readers, not to filling it here.
  for (int i = 0; i < fields.size(); ++i) table.Field(i).SetReadOnly(fields[i].toObject().value("readonly").toBool());
  // Records of every status go out, deleted ones included, in stored order.
  table.SetStatusFilter(ts::StatusBit(ts::rsUnmodified) | ts::StatusBit(ts::rsModified) |
                        ts::StatusBit(ts::rsInserted) | ts::StatusBit(ts::rsDeleted));
  ts::TdvoBinaryStreamFormat format;
  format.sfUsingIndex = 0;
  format.sfDontFilterDeltas = ts::sfSaveDontFilterDeltas;
  ts::TMemoryStream stream;
  table.SaveStreamWithFormat(stream, &format);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

void PackFile(const std::string& specFile, const std::string& outFile, bool bare) {
  // Refused before anything is read or made.
  RefuseIrregularOutput(outFile);
  const QString spec = QString::fromStdString(specFile);
  const QString baseFolder = QFileInfo(spec).absolutePath();
  std::string bytes = BuildTableStream(QByteArray::fromStdString(ReadInput(spec, QString())), baseFolder);
  if (!bare) bytes = station::PackMaterials(bytes);
  auto held = std::make_unique<THeldSignals>();
  ts::TReplacingFileStream out(outFile, false);
  const TRemoveOnSignal removeOnSignal(out.TemporaryName());
  held.reset();
  out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  // Again at the last moment: something put at the name while the table was
  // built stays, and the new file goes with the stream.
  RefuseIrregularOutput(outFile);
  out.Commit();
}

}  // namespace kim
