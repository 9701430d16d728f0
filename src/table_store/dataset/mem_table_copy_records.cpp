// TdvoCustomMemTable: copying records from one dataset into another field
// by field (TransferRecords) and merging them by key (MergeRecords).
#include <charconv>
#include <cmath>
#include <string>
#include <typeinfo>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/indexes/key_fields.h"

namespace ts {

namespace {

constexpr uint8_t kPhaseUpdating = 3;

bool IsHugeBlobType(TFieldType type) { return type == ftOraBlob || type == ftOraClob; }

// The text of a field's value that reads back as exactly that value. Floats
// take their shortest exact form; every other type's own text is exact
// already (dates and times carry their milliseconds).
std::string ExactText(const TField& field) {
  if (field.DataType() == ftFloat || field.DataType() == ftCurrency) {
    const double value = field.AsFloat();
    char text[40];
    if (std::isfinite(value)) {
      const auto [end, error] = std::to_chars(text, text + sizeof text, value);
      if (error == std::errc()) return std::string(text, end);
    }
  }
  return field.AsString();
}

// Per field of `dest`, in field order, the field of `source` it takes its
// value from, or none.
std::vector<TField*> MapFields(const TDataSet& source, TDataSet& dest, bool merging) {
  const bool destHasRecords = dest.Active() && !dest.IsEmpty();
  std::vector<TField*> map;
  map.reserve(static_cast<size_t>(dest.FieldCount()));
  for (int i = 0; i < dest.FieldCount(); ++i) {
    const TField& field = dest.Field(i);
    const TFieldType type = field.DataType();
    TField* from = nullptr;
    const bool accepted = IsSupportedFieldType(type) || (merging && type == ftWideString);
    const bool keeps = field.FieldKind() != fkLookup && field.FieldKind() != fkAggregate;
    // Numbers a table hands out itself are taken over only into an empty one.
    const bool autoIncTaken = merging || type != ftAutoInc || !destHasRecords;
    if (accepted && keeps && autoIncTaken) from = source.FindField(field.FieldName());
    map.push_back(from);
  }
  return map;
}

// Copies one value the way a record copy does.
void CopyValue(const TField& from, TField& to) {
  if (from.IsNull()) {
    to.Clear();
  } else if (typeid(from) != typeid(to) || from.DataType() == ftLargeint || to.DataType() == ftLargeint) {
    to.SetAsString(ExactText(from));
  } else if (IsHugeBlobType(to.DataType())) {
    try {
      to.SetAsString(from.AsString());
    } catch (const Exception& error) {
      // A source that cannot hand out this kind of blob gives none.
      if (std::string_view(error.ClassName()) != "EDBEngineError") throw;
      to.Clear();
    }
  } else {
    to.SetValue(from.Value());
  }
}

// Copies one value the way a merge does: as text, which for fields of one
// type is the value itself (a BCD amount read through a float would lose
// digits), and otherwise the exact text.
void MergeValue(const TField& from, TField& to) {
  if (from.IsNull())
    to.Clear();
  else if (from.DataType() == to.DataType())
    to.SetValue(from.Value());
  else
    to.SetAsString(ExactText(from));
}

void CancelQuietly(TDataSet& dest) {
  try {
    if (dest.State() == dsInsert || dest.State() == dsEdit) dest.Cancel();
  } catch (...) {
    // The error that stopped the copy is the one to report.
  }
}

// The merge key of the source's current record: one value, or an array.
TValue KeyValuesOf(const TDataSet& source, const TdvoFieldList& keys) {
  if (keys.FieldCount() == 1)
    return source.FieldByName(static_cast<const TField*>(keys.FieldAt(0))->FieldName()).Value();
  std::vector<TValue> values;
  values.reserve(static_cast<size_t>(keys.FieldCount()));
  for (int i = 0; i < keys.FieldCount(); ++i)
    values.push_back(source.FieldByName(static_cast<const TField*>(keys.FieldAt(i))->FieldName()).Value());
  return TValue::Array(std::move(values));
}

// Moves `dest` to its first record whose key fields hold `values`.
bool LocateIn(TDataSet& dest, const TdvoFieldList& keys, std::string_view keyFields, const TValue& values) {
  if (auto* table = dynamic_cast<TdvoCustomMemTable*>(&dest)) return table->LocateRecord(keyFields, values, 0);
  // Another kind of dataset has no key search: walk it.
  std::vector<const TField*> fields;
  for (int i = 0; i < keys.FieldCount(); ++i)
    fields.push_back(&dest.FieldByName(static_cast<const TField*>(keys.FieldAt(i))->FieldName()));
  for (dest.First(); !dest.Eof(); dest.Next()) {
    bool same = true;
    for (size_t i = 0; i < fields.size() && same; ++i)
      same = fields[i]->Value() == (values.IsArray() ? values[static_cast<int>(i)] : values);
    if (same) return true;
  }
  return false;
}

}  // namespace

int TdvoCustomMemTable::TransferRecords(TDataSet* source, TDataSet* dest, int count) {
  if (source == nullptr || dest == nullptr || source == dest) return 0;
  const std::vector<TField*> map = MapFields(*source, *dest, false);
  const bool saving = source == this;
  const bool loading = dest == this;
  // The table's own records leaving it count as a save, anything else as a load.
  auto setComplete = [&](bool value) {
    if (saving)
      SetSavedCompletely(value);
    else
      SetLoadedCompletely(value);
  };
  const int total = OnProgress ? source->RecordCount() : -1;
  setComplete(true);
  if (total <= 0) ReportProgress(50, mtpcCopy);
  int done = 0;
  while (!source->Eof()) {
    if (done % 100 == 0 && total > 0) ReportProgress(static_cast<int>(int64_t{done} * 100 / total), mtpcCopy);
    if (saving && OnSaveRecord) {
      bool accept = true;
      OnSaveRecord(*this, accept);
      if (!accept) {
        source->Next();
        continue;
      }
    }
    dest->Append();
    WriteMappedRecord(*dest, map, saving, loading, CopyValue);
    source->Next();
    ++done;
    if (count > 0 && done >= count) {
      // Only records really left behind make the copy incomplete.
      if (!source->Eof()) setComplete(false);
      break;
    }
  }
  ReportProgress(100, mtpcCopy);
  return done;
}

int TdvoCustomMemTable::MergeRecords(TDataSet* source, TDataSet* dest, TdvoMergeFlags flags,
                                     std::string_view keyFields) {
  ReportProgress(0, mtpcUpdate);
  SetTablePhase(kPhaseUpdating);
  int done = 0;
  try {
    TdvoFieldList keys;
    ParseKeyFieldList(*this, keys, keyFields);
    if (source != nullptr && dest != nullptr && source != dest) {
      const std::vector<TField*> map = MapFields(*source, *dest, true);
      const bool saving = source == this;
      const bool loading = dest == this;
      source->First();
      const int total = source->RecordCount();
      if (total < 1) ReportProgress(50, mtpcUpdate);
      while (!source->Eof()) {
        if (done % 100 == 0 && total > 0) ReportProgress(static_cast<int>(int64_t{done} * 100 / total), mtpcUpdate);
        if (saving && OnSaveRecord) {
          bool accept = true;
          OnSaveRecord(*this, accept);
          if (!accept) {
            source->Next();
            continue;
          }
        }
        const bool found = LocateIn(*dest, keys, keyFields, KeyValuesOf(*source, keys));
        bool write = false;
        if (found && (flags & ufUpdateExisting)) {
          dest->Edit();
          write = true;
        } else if (!found && (flags & ufAppendMissing)) {
          dest->Append();
          write = true;
        }
        if (write) {
          WriteMappedRecord(*dest, map, saving, loading, MergeValue);
        }
        source->Next();
        ++done;
      }
    }
  } catch (...) {
    ReportProgress(100, mtpcUpdate);
    SetTablePhase(kPhaseNormal);
    throw;
  }
  ReportProgress(100, mtpcUpdate);
  SetTablePhase(kPhaseNormal);
  return done;
}

void TdvoCustomMemTable::WriteMappedRecord(TDataSet& dest, const std::vector<TField*>& map, bool saving,
                                           bool loading, void (*put)(const TField& from, TField& to)) {
  try {
    for (size_t i = 0; i < map.size(); ++i) {
      if (map[i] == nullptr) continue;
      TField& to = dest.Field(static_cast<int>(i));
      if (saving && OnSaveField) OnSaveField(*this, static_cast<int>(i), *map[i]);
      put(*map[i], to);
      if (loading && OnLoadField) OnLoadField(*this, static_cast<int>(i), to);
    }
    bool accept = true;
    if (loading && OnLoadRecord) OnLoadRecord(*this, accept);
    if (accept)
      dest.Post();
    else
      dest.Cancel();
  } catch (...) {
    CancelQuietly(dest);
    throw;
  }
}

}  // namespace ts
