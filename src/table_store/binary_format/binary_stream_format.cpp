#include "table_store/binary_format/binary_stream_format.h"

#include <algorithm>
#include <climits>
#include <exception>

#include <unistd.h>

#include "table_store/binary_format/extended_float.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/errors.h"
#include "table_store/field_types.h"
#include "table_store/first_failure.h"
#include "table_store/messages.h"

namespace ts {

namespace {

// File versions at which the stream gained a part.
constexpr int32_t kVersionIndexDefs = 200;
constexpr int32_t kVersionRecordVersions = 230;
constexpr int32_t kVersionNullFlags = 249;
constexpr int32_t kVersionFieldKinds = 250;
constexpr int32_t kVersionDefaultExpressions = 251;

constexpr const char* kFieldNameMissing = "Field name missing";
constexpr const char* kRecordsTooLarge = "The stream's records need more memory than its size allows";
constexpr const char* kRecordsBeyondMemory = "The stream's records need more memory than this machine has";

// What one record may take in line: a fixed allowance plus this many bytes
// per byte of stream. The table opens with buffers of that size before any
// record has arrived, so damaged definitions (a text field of gigabytes in a
// stream of a hundred bytes) are refused here.
constexpr int64_t kRecordMemoryAllowance = int64_t{64} << 20;
constexpr int64_t kRecordBytesPerStreamByte = 64;

// The least a record entry takes in the stream besides one byte per field:
// list start, status (tag and byte), list end.
constexpr int64_t kVersionedEntryBytes = 4;

// Records a load may allocate in all: half the machine's memory. A store
// that saved more could not have held it; only damage asks for it.
int64_t LoadableRecordMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return INT64_MAX;
  return static_cast<int64_t>(pages) / 2 * pageSize;
}

[[noreturn]] void PropertyError() { throw EReadError(msg::kInvalidPropertyValue); }

// Frees a record that is being read, with every older version already
// linked to it, unless the store took it over.
class TRecordChainGuard {
 public:
  TRecordChainGuard(const TdvoCommon& store, TRecord* record) : store_(store), record_(record) {}
  ~TRecordChainGuard() {
    while (record_ != nullptr) {
      TRecord* older = record_->OlderVersion;
      record_->OlderVersion = nullptr;
      store_.FreeRecord(record_, true, false);
      record_ = older;
    }
  }
  TRecordChainGuard(const TRecordChainGuard&) = delete;
  TRecordChainGuard& operator=(const TRecordChainGuard&) = delete;
  void Release() { record_ = nullptr; }

 private:
  const TdvoCommon& store_;
  TRecord* record_;
};

}  // namespace

// The table's indexes go; the cursor moves to the row-order index first so
// that it never refers to an index that is gone. The index the table chose
// by fields or name stays chosen, to be found again among the new indexes
// (or its names cleared when there is none of them).
void TdvoCustomBinaryStreamFormat::DropIndexes(TdvoCustomMemTable& table) {
  const std::string fieldNames = table.indexFieldNames_;
  const std::string name = table.indexName_;
  if (table.IndexTableOpen()) table.SelectIndex(nullptr);
  table.SetCurrentIndexRef(nullptr);
  table.SetSortIndexRef(nullptr);
  table.ClearIndexes();
  table.indexFieldNames_ = fieldNames;
  table.indexName_ = name;
}

namespace {

const uint8_t* StoredBlock(const TdvoCommon& store, const TRecord* record, const TField& field) {
  const uint8_t* slot = store.FieldSlot(record, field);
  if (slot == nullptr || slot[0] == kSlotNull) return nullptr;
  const uint8_t* block = SlotBlock(slot);
  if (block == nullptr) {
    const TRecord* stored = store.ValueSource(record);
    const uint8_t* storedSlot = stored != nullptr ? store.FieldSlot(stored, field) : nullptr;
    if (storedSlot != nullptr) block = SlotBlock(storedSlot);
  }
  return block;
}

}  // namespace

TdvoCustomBinaryStreamFormat::TdvoCustomBinaryStreamFormat(std::string name)
    : TdvoCustomStreamFormat(std::move(name)) {}

TdvoCustomBinaryStreamFormat::~TdvoCustomBinaryStreamFormat() = default;

TdvoBinaryStreamFormat::~TdvoBinaryStreamFormat() = default;

void TdvoCustomBinaryStreamFormat::SetBufferSize(int32_t value) {
  bufferSize_ = std::max(value, kDefaultValueBufferSize);
}

// ---- Save

void TdvoCustomBinaryStreamFormat::BeforeSave(TdvoCustomMemTable& table) {
  TdvoCustomStreamFormat::BeforeSave(table);
  writer_ = std::make_unique<TWriter>(*WorkStream(), bufferSize_);
  writer_->WriteSignature();
}

void TdvoCustomBinaryStreamFormat::WriteDefinitions(TdvoCustomMemTable& table) {
  TWriter& w = *writer_;
  w.WriteListBegin();
  if (sfDef & sfSaveDef) {
    const std::vector<int32_t>& map = SaveMap();
    for (int i = 0; i < table.FieldCount(); ++i) {
      if (static_cast<size_t>(i) >= map.size() || map[static_cast<size_t>(i)] == -1) continue;
      const TField& field = table.Field(i);
      w.WriteString(field.FieldName());
      w.WriteString(FieldTypeName(field.DataType()));
      w.WriteInteger(field.Size());
      w.WriteString(field.DisplayLabel());
      w.WriteString(field.EditMask());
      w.WriteInteger(field.DisplayWidth());
      w.WriteBoolean(field.Required());
      w.WriteBoolean(field.ReadOnly());
      w.WriteString((sfFieldKind & sfSaveFieldKind) ? FieldKindName(field.FieldKind()) : FieldKindName(fkData));
      w.WriteString(field.DefaultExpression());
    }
  }
  w.WriteListEnd();
  w.WriteListBegin();
  if (sfIndexDef & sfSaveIndexDef) {
    const TIndexDefs& defs = table.IndexDefs();
    for (int i = 0; i < defs.Count(); ++i) {
      const TIndexDef& def = defs[i];
      w.WriteString(def.Name);
      w.WriteString(def.Fields);
      w.WriteString(TIndexDefs::DisplayName(def));
      w.WriteBoolean(def.Options & ixDescending);
      w.WriteBoolean(def.Options & ixCaseInsensitive);
      w.WriteBoolean(def.Options & ixNonMaintained);
      w.WriteBoolean(def.Options & ixUnique);
    }
  }
  w.WriteListEnd();
}

void TdvoCustomBinaryStreamFormat::WriteRecords(TdvoCustomMemTable& table) {
  TWriter& w = *writer_;
  TdvoCommon& store = table.Store();
  table.SetSaveCount(0);
  table.SetSavedCompletely(true);
  w.WriteListBegin();
  const bool byIndex = (sfUsingIndex & sfSaveUsingIndex) != 0;
  TdvoIndex* index = table.CurrentIndex();
  const int n = byIndex ? index->EntryCount() : store.SlotCount();
  for (int i = 0; i < n; ++i) {
    if (table.SaveLimit() > 0 && table.SaveCount() >= table.SaveLimit()) {
      table.SetSavedCompletely(false);
      break;
    }
    if (i % 100 == 0) table.ReportProgress(static_cast<int>(static_cast<int64_t>(i) * 100 / n), mtpcSave);
    TRecord* record = byIndex ? index->EntryAt(i) : store.StoredRecord(i);
    if (record == nullptr) continue;
    table.SetOverrideRecord(record);
    table.RecalcRecord(record);
    if (!table.IsRecordVisible(record, false)) continue;
    if (table.OnSaveRecord) {
      bool accept = true;
      table.OnSaveRecord(table, accept);
      if (!accept) continue;
    }
    if (!(sfData & sfSaveData) && record->ChangeStatus == rsUnmodified) continue;
    if (!(sfDontFilterDeltas & sfSaveDontFilterDeltas) && record->ChangeStatus == rsDeleted) {
      const TRecord* oldest = record;
      while (oldest->OlderVersion != nullptr) oldest = oldest->OlderVersion;
      if (oldest->ChangeStatus == rsInserted) continue;
    }
    WriteRecord(table, record);
    table.SetSaveCount(table.SaveCount() + 1);
  }
  w.WriteListEnd();
}

void TdvoCustomBinaryStreamFormat::WriteRecord(TdvoCustomMemTable& table, TRecord* record) {
  TWriter& w = *writer_;
  const std::vector<int32_t>& map = SaveMap();
  w.WriteListBegin();
  bool current = true;
  for (TRecord* version = record; version != nullptr; version = version->OlderVersion) {
    table.SetOverrideRecord(version);
    w.WriteInteger(version->ChangeStatus);
    for (int i = 0; i < table.FieldCount(); ++i) {
      if (static_cast<size_t>(i) >= map.size() || map[static_cast<size_t>(i)] == -1) continue;
      TField& field = table.Field(i);
      if (current && table.OnSaveField) table.OnSaveField(table, i, field);
      const bool isNull = field.IsNull();
      w.WriteBoolean(isNull);
      if (!isNull) WriteFieldValue(table, version, field);
    }
    if (!(sfDeltas & sfSaveDeltas)) break;
    current = false;
  }
  table.SetOverrideRecord(record);
  w.WriteListEnd();
}

void TdvoCustomBinaryStreamFormat::WriteFieldValue(TdvoCustomMemTable& table, TRecord* record, TField& field) {
  TWriter& w = *writer_;
  switch (field.DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      w.WriteInteger(field.AsInteger());
      return;
    case ftBoolean:
      w.WriteBoolean(field.AsBoolean());
      return;
    case ftFloat:
      w.WriteFloat(field.AsFloat());
      return;
    case ftLargeint:
      // Every 64-bit integer fits the extended mantissa exactly.
      w.WriteExtended(Int64ToExtended(field.AsLargeInt()));
      return;
    case ftCurrency:
    case ftBCD:
      w.WriteExtended(CurrencyToExtended(field.AsCurrency()));
      return;
    case ftDate:
    case ftTime:
    case ftDateTime:
      w.WriteFloat(field.AsDateTime());
      return;
    default:
      break;
  }
  if (IsBlobFieldType(field.DataType()) && !table.OnDecompressBlobStream) {
    // The blob's bytes go out straight from the record: no copy of tens of
    // megabytes through a blob stream and a string.
    const uint8_t* block = StoredBlock(table.Store(), record, field);
    if (block == nullptr) {
      w.WriteString({});
    } else {
      w.WriteString(std::string_view(reinterpret_cast<const char*>(ValueBlockData(block)),
                                     static_cast<size_t>(ValueBlockLength(block))));
    }
    return;
  }
  w.WriteString(field.AsString());
}

void TdvoCustomBinaryStreamFormat::AfterSave(TdvoCustomMemTable& table) {
  TFirstFailure failure;
  // After a failed save the buffer's rest stays out of the target.
  if (writer_ && !RunFailed()) failure.Run([&] { writer_->FlushBuffer(); });
  if (failure.Failed()) MarkRunFailed();
  writer_.reset();
  table.SetOverrideRecord(nullptr);
  failure.Run([&] { TdvoCustomStreamFormat::AfterSave(table); });
  failure.Rethrow();
}

void TdvoCustomBinaryStreamFormat::AbandonSave(TdvoCustomMemTable& table) {
  writer_.reset();
  TdvoCustomStreamFormat::AbandonSave(table);
}

// ---- Load

void TdvoCustomBinaryStreamFormat::BeforeLoad(TdvoCustomMemTable& table) {
  TdvoCustomStreamFormat::BeforeLoad(table);
  streamSize_ = WorkStream()->Size();
  progressCounter_ = 0;
  reader_ = std::make_unique<TReader>(*WorkStream(), bufferSize_);
  place_ = TLoadPlace{};
  place_.part = TLoadPlace::lpHeader;
  try {
    reader_->ReadSignature();
    indexDefsLoaded_ = false;
    fileVersion_ = reader_->ReadFileVersion();
  } catch (...) {
    NoteLoadFailure(table);
    throw;
  }
}

void TdvoCustomBinaryStreamFormat::NoteLoadFailure(const TdvoCustomMemTable& table) {
  if (reader_) place_.offset = reader_->Position();
  if (place_.part == TLoadPlace::lpRecords && place_.field >= 0 && place_.field < table.FieldCount())
    place_.name = table.Field(place_.field).FieldName();
}

bool TdvoCustomBinaryStreamFormat::ReadBooleanValue() {
  // Only the two Boolean tags are Booleans; anything else is damage that
  // would otherwise shift every value after it.
  const TValueType tag = reader_->NextValue();
  if (tag != vtTrue && tag != vtFalse) PropertyError();
  return reader_->ReadBoolean();
}

void TdvoCustomBinaryStreamFormat::ReadDefinitions(TdvoCustomMemTable& table) {
  const bool replace = (sfDef & sfLoadDef) != 0;
  indexDefsLoaded_ = false;
  definedBytes_ = 0;
  fieldsFromStream_ = false;
  bool reopen = false;
  try {
    TReader& r = *reader_;
    place_.part = TLoadPlace::lpFieldDefs;
    r.ReadListBegin();
    int count = 0;
    for (;;) {
      place_.entry = count;
      place_.name.clear();
      if (AtListEnd()) break;
      if (count == 0 && replace) {
        // The definitions of a shared store are its owner's: new ones loaded
        // here would not describe the records the other tables hold.
        if (table.AttachedTo() != nullptr) throw EMemTableError(msg::kTableAttached);
        table.Store().RefuseInsideLevel();
        NoteLoadTouches();
        table.Close();
        reopen = true;
        fieldsFromStream_ = true;
        table.FieldDefs().Clear();
        table.Store().CloseOtherAttachedTables(&table);
        table.DestroyFields();
      }
      ReadFieldDefinition(table, replace);
      ++count;
    }
    r.ReadListEnd();
    if (fileVersion_ >= kVersionIndexDefs) ReadIndexDefinitions(table, replace);
    place_ = TLoadPlace{};
  } catch (...) {
    NoteLoadFailure(table);
    if (reopen) {
      try {
        table.Open();
      } catch (...) {
        // The damage in the stream is the error to report.
      }
    }
    throw;
  }
  if (reopen) table.Open();
  if (!replace) indexDefsLoaded_ = false;
}

bool TdvoCustomBinaryStreamFormat::AtListEnd() {
  // A stream that ends here ends after the list's last entry.
  place_.afterLast = true;
  const bool end = reader_->EndOfList();
  place_.afterLast = false;
  return end;
}

void TdvoCustomBinaryStreamFormat::ReadFieldDefinition(TdvoCustomMemTable& table, bool replace) {
  TReader& r = *reader_;
  const std::string name = r.ReadString();
  place_.name = name;
  const std::string typeName = r.ReadString();
  const int32_t size = r.ReadInteger();
  const std::string displayName = r.ReadString();
  const std::string editMask = r.ReadString();
  const int32_t displayWidth = r.ReadInteger();
  const bool required = ReadBooleanValue();
  const bool readOnly = ReadBooleanValue();
  const std::string kindName = fileVersion_ >= kVersionFieldKinds ? r.ReadString() : std::string("Data");
  const std::string defaultExpression = fileVersion_ >= kVersionDefaultExpressions ? r.ReadString() : std::string();

  const int type = FieldTypeFromName(typeName);
  if (type < 0 || !IsSupportedFieldType(type))
    throw EMemTableError(FormatMessage(msg::kUnknownFieldType, {typeName}));
  const int kind = std::max(FieldKindFromName(kindName), static_cast<int>(fkData));
  if (!replace) return;
  // No field may lack a name: two unnamed fields would share one slot of
  // the record whatever their types.
  if (name.empty()) throw EMemTableError(kFieldNameMissing);
  if (size < 0) PropertyError();
  if (table.FieldDefs().Count() >= kMaxFields) throw EMemTableError(msg::kTooManyFieldDefs);
  // Opening the table allocates record buffers of this size at once.
  definedBytes_ += FieldStorageSize(type, size) + 1;
  if (definedBytes_ > InlineRecordBudget()) throw EMemTableError(kRecordsTooLarge);
  TFieldDef& def = table.FieldDefs().Add(name, static_cast<TFieldType>(type), size, required);
  TField& field = table.CreateFieldFromDef(def);
  field.SetFieldKind(static_cast<TFieldKind>(kind));
  field.SetDisplayLabel(displayName);
  field.SetEditMask(editMask);
  field.SetReadOnly(readOnly);
  field.SetDisplayWidth(displayWidth);
  field.SetDefaultExpression(defaultExpression);
}

void TdvoCustomBinaryStreamFormat::ReadIndexDefinitions(TdvoCustomMemTable& table, bool replace) {
  TReader& r = *reader_;
  place_ = TLoadPlace{};
  place_.part = TLoadPlace::lpIndexDefs;
  r.ReadListBegin();
  bool first = true;
  for (int count = 0;; ++count) {
    place_.entry = count;
    place_.name.clear();
    if (AtListEnd()) break;
    if (first) {
      // Without replacing, the indexes stay as they are, also when the list
      // turns out damaged.
      if (replace) {
        NoteLoadTouches();
        DropIndexes(table);
        table.IndexDefs().Clear();
        indexDefsLoaded_ = true;
      }
      first = false;
    }
    const std::string name = r.ReadString();
    place_.name = name;
    const std::string fields = r.ReadString();
    const std::string displayName = r.ReadString();
    TIndexOptions options = 0;
    if (ReadBooleanValue()) options |= ixDescending;
    if (ReadBooleanValue()) options |= ixCaseInsensitive;
    if (ReadBooleanValue()) options |= ixNonMaintained;
    if (ReadBooleanValue()) options |= ixUnique;
    if (!replace) continue;
    TIndexDefs& defs = table.IndexDefs();
    TIndexDef& def = defs.AddIndexDef();
    try {
      defs.SetName(def, name);
      def.Fields = fields;
      def.Options = options;
      defs.SetName(def, displayName);
    } catch (...) {
      // A definition without its name would keep the table from opening
      // again with the definitions read before it.
      defs.Delete(defs.Count() - 1);
      throw;
    }
  }
  r.ReadListEnd();
}

void TdvoCustomBinaryStreamFormat::ReportLoadProgress(TdvoCustomMemTable& table) {
  progressCounter_ = (progressCounter_ + 1) % 100;
  if (progressCounter_ != 0) return;
  const int64_t position = WorkStream()->Position();
  const int percentage =
      streamSize_ > 0 ? static_cast<int>(std::clamp<int64_t>(position * 100 / streamSize_, 0, 100)) : 100;
  table.ReportProgress(percentage, mtpcLoad);
}

void TdvoCustomBinaryStreamFormat::ReadRecords(TdvoCustomMemTable& table) {
  TReader& r = *reader_;
  TdvoCommon& store = table.Store();
  NoteLoadTouches();
  const TDataSetState savedState = table.SetTempState(dsInsert);
  try {
    table.ResetAutoIncCounter();
    if (store.RecordSize() != 0) {
      const int64_t n = streamSize_ / store.RecordSize();
      const int64_t capacity = store.SlotCount() + n + n / 50;
      if (capacity > 0 && capacity <= INT32_MAX) store.ReserveSlots(static_cast<int>(capacity));
    }
    table.SetLoadCount(0);
    table.SetLoadedCompletely(true);
    recordBudget_ = LoadableRecordMemory();
    ChooseRecordFields(table);
    place_.part = TLoadPlace::lpRecords;
    r.ReadListBegin();
    bool limited = false;
    for (int entry = 0;; ++entry) {
      place_.entry = entry;
      place_.field = -1;
      if (AtListEnd()) break;
      ReportLoadProgress(table);
      if (table.LoadLimit() > 0 && table.LoadCount() >= table.LoadLimit()) {
        table.SetLoadedCompletely(false);
        limited = true;
        break;
      }
      // Records of a closed table would be stored without a record layout.
      if (!table.IndexTableOpen()) table.DatabaseError(msg::kDatasetClosed);
      ReadRecord(table);
    }
    if (!limited) r.ReadListEnd();
    place_ = TLoadPlace{};
  } catch (...) {
    NoteLoadFailure(table);
    table.SetOverrideRecord(nullptr);
    table.RestoreState(savedState);
    throw;
  }
  table.SetOverrideRecord(nullptr);
  table.RestoreState(savedState);
}

// Fields made from the stream's definitions are the fields whose values its
// records hold. Into the table's own fields (the stream's definitions passed
// over, or none saved), the records were written from such fields, and a
// save writes no calculated or lookup field unless asked to and never an
// aggregate: the load takes what its options say travels of those kinds, so
// that it reads back what such a save wrote.
void TdvoCustomBinaryStreamFormat::ChooseRecordFields(const TdvoCustomMemTable& table) {
  recordFields_.clear();
  for (int i = 0; i < table.FieldCount(); ++i) {
    if (!fieldsFromStream_) {
      const TFieldKind kind = table.Field(i).FieldKind();
      if (kind == fkAggregate) continue;
      if (kind == fkCalculated && !(sfCalculated & sfLoadCalculated)) continue;
      if (kind == fkLookup && !(sfLookup & sfLoadLookup)) continue;
    }
    recordFields_.push_back(i);
  }
}

void TdvoCustomBinaryStreamFormat::ReadRecord(TdvoCustomMemTable& table) {
  TReader& r = *reader_;
  TdvoCommon& store = table.Store();
  const bool versioned = fileVersion_ >= kVersionRecordVersions;
  // Too few bytes for any record: what is left follows the last one.
  place_.afterLast = true;
  TRecord* record = AllocLoadRecord(store);
  place_.afterLast = false;
  TRecordChainGuard guard(store, record);
  table.SetOverrideRecord(record);
  if (versioned) r.ReadListBegin();
  TRecord* version = record;
  bool current = true;
  for (;;) {
    ReadRecordVersion(table, version, current);
    if (!versioned || r.EndOfList()) break;
    TRecord* older = AllocLoadRecord(store);
    older->StateBits |= kRecordStored;
    version->OlderVersion = older;
    version = older;
    current = false;
    table.SetOverrideRecord(version);
  }
  if (versioned) r.ReadListEnd();
  table.SetOverrideRecord(record);
  if (table.OnLoadRecord) {
    bool accept = true;
    table.OnLoadRecord(table, accept);
    if (!accept) return;
  }
  const TUpdateStatus status = record->ChangeStatus;
  auto adopt = [&] {
    guard.Release();
    // The store marks new records inserted under versioning; a loaded record
    // keeps the status it was saved with.
    record->ChangeStatus = status;
    for (TRecord* older = record->OlderVersion; older != nullptr; older = older->OlderVersion) {
      older->SlotIndex = record->SlotIndex;
      older->SerialId = record->SerialId;
    }
    // Inside a level the record came in at it: the level's rollback takes
    // it out again, as it does records appended there.
    if (const int32_t level = store.TransactionLevel(); level > 0) {
      record->TxLevel = level;
      record->StateBits |= kRecordNewAtLevel;
    }
    if (status == rsDeleted) store.IncDeletedCount();
    table.SetLoadCount(table.LoadCount() + 1);
  };
  try {
    store.StoreRecord(record);
  } catch (...) {
    // The store may run out of ids after taking the record: it stays.
    if (record->StateBits & kRecordStored) adopt();
    throw;
  }
  adopt();
}

int64_t TdvoCustomBinaryStreamFormat::InlineRecordBudget() const {
  return kRecordMemoryAllowance + std::min(streamSize_, INT64_MAX / 128) * kRecordBytesPerStreamByte;
}

TRecord* TdvoCustomBinaryStreamFormat::AllocLoadRecord(const TdvoCommon& store) {
  // A record is allocated only when the stream still holds the smallest
  // entry it can have: a damaged stream cannot make the load allocate
  // records whose bytes are not there. The records whose bytes are there
  // are taken however large they are in line, as the store that saved them
  // held them.
  const int64_t smallest = static_cast<int64_t>(recordFields_.size()) + (fileVersion_ >= kVersionRecordVersions ? kVersionedEntryBytes : 0);
  if (reader_->Remaining() < smallest) throw EReadError(msg::kStreamRead);
  recordBudget_ -= std::max<int64_t>(store.RecordSize(), 1);
  if (recordBudget_ < 0) throw EMemTableError(kRecordsBeyondMemory);
  return store.AllocRecord();
}

void TdvoCustomBinaryStreamFormat::ReadRecordVersion(TdvoCustomMemTable& table, TRecord* record, bool current) {
  TReader& r = *reader_;
  place_.field = -1;
  if (fileVersion_ >= kVersionRecordVersions) {
    const int32_t status = r.ReadInteger();
    if (status < rsUnmodified || status > rsDeleted) PropertyError();
    record->ChangeStatus = static_cast<TUpdateStatus>(status);
  }
  for (const int i : recordFields_) {
    place_.field = i;
    TField& field = table.Field(i);
    const bool isNull = fileVersion_ >= kVersionNullFlags ? ReadBooleanValue() : false;
    if (isNull)
      field.Clear();
    else
      ReadFieldValue(table, record, field);
    if (current && table.OnLoadField) table.OnLoadField(table, i, field);
  }
  place_.field = -1;
}

void TdvoCustomBinaryStreamFormat::ReadFieldValue(TdvoCustomMemTable& table, TRecord* record, TField& field) {
  TReader& r = *reader_;
  switch (field.DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
      field.SetAsInteger(r.ReadInteger());
      return;
    case ftAutoInc: {
      const int32_t value = r.ReadInteger();
      field.SetAsInteger(value);
      TdvoCommon& store = table.Store();
      if (value > store.AutoIncHighValue()) store.SetAutoIncHighValue(value);
      return;
    }
    case ftBoolean:
      field.SetAsBoolean(ReadBooleanValue());
      return;
    case ftFloat:
      field.SetAsFloat(r.ReadFloat());
      return;
    case ftLargeint: {
      int64_t value = 0;
      if (!ExtendedToInt64(r.ReadExtended(), value)) PropertyError();
      field.SetAsLargeInt(value);
      return;
    }
    case ftCurrency:
    case ftBCD: {
      int64_t tenThousandths = 0;
      if (!ExtendedToCurrency(r.ReadExtended(), tenThousandths)) PropertyError();
      field.SetAsCurrency(tenThousandths);
      return;
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
      const double value = r.ReadFloat();
      // Streams without null flags stood for null with 0.0; with the flag
      // 0.0 is a date like any other (30 December 1899, midnight).
      if (value == 0.0 && fileVersion_ < kVersionNullFlags)
        field.Clear();
      else
        field.SetAsDateTime(value);
      return;
    }
    default:
      break;
  }
  if (IsBlobFieldType(field.DataType()) && !(field.FieldNo() >= 1 && table.Store().IsOutOfLine(field.FieldNo()))) {
    // A calculated blob has no value of its own in a record: it is computed
    // when needed, and a block put into the record's calculated part would
    // never be freed. Its value in the stream is read and dropped.
    r.ReadString();
    return;
  }
  if (IsBlobFieldType(field.DataType()) && !table.OnCompressBlobStream) {
    // Straight from the stream into the record's value block, as a blob
    // stream without a compression event would put it.
    TValueBlock block = r.ReadStringBlock();
    TdvoCommon& store = table.Store();
    uint8_t* slot = store.FieldSlot(record, field);
    if (slot == nullptr) {
      FreeValueBlock(block);
      return;
    }
    FreeValueBlock(SlotBlock(slot));
    SetSlotBlock(slot, block);
    slot[0] = block != nullptr ? kSlotPresent : kSlotNull;
    if (field.FieldNo() >= 1) store.SetFieldModified(field.FieldNo());
    return;
  }
  std::string text = r.ReadString();
  if (field.DataType() == ftBytes || field.DataType() == ftVarBytes) {
    // The null flag has said "not null": an empty byte value stays a value
    // rather than turning null as an empty text would make it.
    field.SetValue(TValue::String(std::move(text)));
    return;
  }
  field.SetAsString(text);
  // The record is not the cursor's buffer: nothing is left for the cancel
  // step of the editing cycle to drop.
  if (field.IsBlob()) field.SetBlobModified(false);
}

void TdvoCustomBinaryStreamFormat::AfterLoad(TdvoCustomMemTable& table) {
  TFirstFailure failure;
  failure.Run([&] {
    if (reader_) reader_->Close();
  });
  reader_.reset();
  const bool rebuild = indexDefsLoaded_;
  indexDefsLoaded_ = false;
  if (rebuild && table.IndexTableOpen()) {
    failure.Run([&] {
      DropIndexes(table);
      table.CreateIndexesFromDefs();
    });
  }
  table.SetOverrideRecord(nullptr);
  failure.Run([&] { TdvoCustomStreamFormat::AfterLoad(table); });
  // The index the table had chosen by name or fields is chosen again among
  // the new indexes.
  if (rebuild && table.IndexTableOpen()) {
    failure.Run([&] { table.ChooseIndexByNames(); });
  }
  failure.Rethrow();
}

void TdvoCustomBinaryStreamFormat::AbandonLoad(TdvoCustomMemTable& table) {
  reader_.reset();
  indexDefsLoaded_ = false;
  table.SetOverrideRecord(nullptr);
  TdvoCustomStreamFormat::AbandonLoad(table);
}

}  // namespace ts
