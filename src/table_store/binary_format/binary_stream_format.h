// The binary stream format: a table's field definitions, index definitions
// and records as a sequence of tagged values ("TPF0", the file version, the
// field-definition list, the index-definition list, the record list), and
// the reader of every older file version (100, below 200 without index
// definitions, below 230 without record versions, below 249 without null
// flags, below 250 without field kinds, below 251 without default
// expressions).
//
// TdvoCustomBinaryStreamFormat fills the hooks of the stream format pipeline;
// TdvoBinaryStreamFormat is the component the programs place. A damaged
// stream raises EReadError ("Invalid stream format", "Stream read error",
// "Invalid property value") or EMemTableError ("Unknown field type (%s)",
// "Too many fielddefs. ...") and leaves the table usable with what was read
// before the damage. Records may take at most 64 MB plus 1024 bytes per byte
// of stream, so that damaged definitions cannot make a small stream claim
// gigabytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "table_store/binary_format/load_place.h"
#include "table_store/binary_format/value_reader.h"
#include "table_store/binary_format/value_writer.h"
#include "table_store/stream_format/stream_format.h"

namespace ts {

class TField;
class TdvoCommon;
struct TRecord;

inline constexpr TdvoStreamOptions sfSaveUsingIndex = 1;

class TdvoCustomBinaryStreamFormat : public TdvoCustomStreamFormat {
 public:
  explicit TdvoCustomBinaryStreamFormat(std::string name = {});
  ~TdvoCustomBinaryStreamFormat() override;

  // With sfSaveUsingIndex records go out in the current index's order,
  // otherwise in the store's physical order.
  TdvoStreamOptions sfUsingIndex = sfSaveUsingIndex;

  // Bytes of the writer's and reader's buffer; never below 16384.
  int32_t BufferSize() const { return bufferSize_; }
  void SetBufferSize(int32_t value);

  // The file version of the stream being (or last) loaded.
  int32_t FileVersion() const { return fileVersion_; }
  // Where the current (or last) load stands; after a failed load, where it
  // stopped.
  const TLoadPlace& LoadPlace() const { return place_; }

 protected:
  std::string GetVersion() const override { return "3.00"; }

  void BeforeSave(TdvoCustomMemTable& table) override;
  void WriteDefinitions(TdvoCustomMemTable& table) override;
  void WriteRecords(TdvoCustomMemTable& table) override;
  void AfterSave(TdvoCustomMemTable& table) override;
  void AbandonSave(TdvoCustomMemTable& table) override;

  void BeforeLoad(TdvoCustomMemTable& table) override;
  void ReadDefinitions(TdvoCustomMemTable& table) override;
  void ReadRecords(TdvoCustomMemTable& table) override;
  void AfterLoad(TdvoCustomMemTable& table) override;
  void AbandonLoad(TdvoCustomMemTable& table) override;

 private:
  void ReadFieldDefinition(TdvoCustomMemTable& table, bool replace);
  void ReadIndexDefinitions(TdvoCustomMemTable& table, bool replace);
  // One record entry with its versions, stored unless OnLoadRecord refuses it.
  // The table fields whose values each record version of the stream holds.
  void ChooseRecordFields(const TdvoCustomMemTable& table);
  void ReadRecord(TdvoCustomMemTable& table);
  void ReadRecordVersion(TdvoCustomMemTable& table, TRecord* record, bool current);
  void ReadFieldValue(TdvoCustomMemTable& table, TRecord* record, TField& field);
  void WriteRecord(TdvoCustomMemTable& table, TRecord* record);
  void WriteFieldValue(TdvoCustomMemTable& table, TRecord* record, TField& field);
  bool ReadBooleanValue();
  // Whether the list being read ends here (nothing is consumed); the load
  // place marks the look as after the list's last entry.
  bool AtListEnd();
  static void DropIndexes(TdvoCustomMemTable& table);
  void ReportLoadProgress(TdvoCustomMemTable& table);
  // Notes in the load place where a failing load stopped.
  void NoteLoadFailure(const TdvoCustomMemTable& table);
  TRecord* AllocLoadRecord(const TdvoCommon& store);
  int64_t InlineRecordBudget() const;

  int32_t bufferSize_ = kDefaultValueBufferSize;
  std::unique_ptr<TWriter> writer_;
  std::unique_ptr<TReader> reader_;
  int32_t fileVersion_ = kStreamFileVersion;
  bool indexDefsLoaded_ = false;
  int64_t streamSize_ = 0;
  int progressCounter_ = 0;
  TLoadPlace place_;
  // What the records of a load may still take in all, and what the
  // definitions read so far take in each record.
  int64_t recordBudget_ = 0;
  int64_t definedBytes_ = 0;
  // Whether the table's fields were made from the stream's definitions, and
  // the fields whose values the stream's records hold.
  bool fieldsFromStream_ = false;
  std::vector<int> recordFields_;
};

class TdvoBinaryStreamFormat final : public TdvoCustomBinaryStreamFormat {
 public:
  using TdvoCustomBinaryStreamFormat::TdvoCustomBinaryStreamFormat;
  ~TdvoBinaryStreamFormat() override;
};

}  // namespace ts
