// kimtool dump: a materials container or a bare table stream as JSON.
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstring>
#include <vector>

#include "kim_file.h"
#include "materials_file.h"
#include "message_text.h"
#include "regular_files.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/binary_format/value_tags.h"
#include "table_store/codepage.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/errors.h"
#include "table_store/messages.h"
#include "table_store/field_types.h"
#include "table_store/indexes/index_def.h"

namespace kim {

namespace {

QString Text(const std::string& codePageText) { return QString::fromStdString(ts::Cp1251ToUtf8(codePageText)); }

// `place` is the byte of the container where the damage was met.
std::string ContainerMessage(station::InflateResult result, int64_t place) {
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
    default: return "Materials container could not be read";
  }
}

// A container's body as the table load reads it: inflated only as far as
// the load asks, so that what is held stays what the table needs, whatever
// the count claims. The load's reader steps back over bytes it buffered but
// did not use; the last of them are kept for that.
class InflatingStream : public ts::TStream {
 public:
  explicit InflatingStream(station::MaterialsInflater& inflater) : inflater_(inflater) {}

  int64_t Read(void* buffer, int64_t count) override {
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t done = 0;
    // Bytes stepped back over come from what is kept.
    if (position_ < given_ && count > 0) {
      const int64_t n = std::min(count, given_ - position_);
      const size_t from = kept_.size() - static_cast<size_t>(given_ - position_);
      std::memcpy(out, kept_.data() + from, static_cast<size_t>(n));
      position_ += n;
      done = n;
    }
    if (done < count) {
      const size_t n = inflater_.Read(out + done, static_cast<size_t>(count - done));
      Keep(out + done, n);
      given_ += static_cast<int64_t>(n);
      position_ = given_;
      done += static_cast<int64_t>(n);
    }
    return done;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, ts::TSeekOrigin origin) override {
    int64_t base = origin == ts::TSeekOrigin::Current ? position_ : origin == ts::TSeekOrigin::End ? Size() : 0;
    const int64_t target = base + offset;
    if (target < given_ - static_cast<int64_t>(kept_.size()) || target > given_)
      throw ts::EStreamError(ts::msg::kInvalidStreamPosition);
    position_ = target;
    return position_;
  }
  int64_t Size() const override { return inflater_.Count(); }
  // The body's first bytes, as far as they were read.
  std::string_view Head() const { return head_; }
  void SetSize(int64_t) override { throw ts::EStreamError(ts::msg::kInvalidStreamPosition); }

 private:
  static constexpr size_t kKeep = 1 << 17;

  void Keep(const unsigned char* bytes, size_t n) {
    if (head_.size() < station::kBodyHeadBytes)
      head_.append(reinterpret_cast<const char*>(bytes), std::min(n, station::kBodyHeadBytes - head_.size()));
    if (n >= kKeep) {
      kept_.assign(bytes + n - kKeep, bytes + n);
      return;
    }
    kept_.insert(kept_.end(), bytes, bytes + n);
    if (kept_.size() > kKeep) kept_.erase(kept_.begin(), kept_.end() - kKeep);
  }

  station::MaterialsInflater& inflater_;
  std::vector<unsigned char> kept_;
  std::string head_;
  int64_t given_ = 0;
  int64_t position_ = 0;
};

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
    const std::string bytes = ReadRegularFile(file);
    container = bytes.compare(0, 4, "TPF0") != 0;
    if (!container) {
      ts::TMemoryStream stream;
      stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
      table.LoadStreamWithFormat(stream, &format);
    } else {
      size_t pos = std::min<size_t>(4, bytes.size());
      station::MaterialsInflater inflater([&](unsigned char* buffer, size_t len) {
        const size_t n = std::min(len, bytes.size() - pos);
        std::memcpy(buffer, bytes.data() + pos, n);
        pos += n;
        return n;
      });
      const auto refuse = [&] { return KimError(ContainerMessage(inflater.Result(), inflater.Place())); };
      if (!inflater.Begin(reinterpret_cast<const unsigned char*>(bytes.data()), pos)) throw refuse();
      InflatingStream stream(inflater);
      try {
        table.LoadStreamWithFormat(stream, &format);
      } catch (const ts::Exception&) {
        // Damaged zlib data unpacks to a table that cannot be read: the
        // container's damage is the cause, so the rest of the stream is
        // verified (without being kept) before the table is blamed. A
        // header that is no table's is refused at once: that is how a
        // compression bomb's first bytes read.
        if (ts::CanBeginTableStream(stream.Head())) inflater.Finish();
        if (inflater.Result() != station::InflateResult::Ok) throw refuse();
        throw;
      }
      // What the load did not read is inflated too, so that the stream's
      // check value is verified.
      if (inflater.Finish() != station::InflateResult::Ok) throw refuse();
    }
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
