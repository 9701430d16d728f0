// TdvoBlobStream: an in-memory byte stream over one blob field of the
// table's active record.
//
// Read and read-write streams start with the field's bytes (the record
// buffer's own value, else the stored record's; decompressed through the
// table's OnDecompressBlobStream when set) at position 0; a write stream
// starts empty and makes the field null in the record buffer at once.
// Writing marks the stream modified. Flush, or freeing the stream, stores a
// modified stream's bytes into the record buffer (compressed through
// OnCompressBlobStream when set); no bytes make the field null. The stored
// record is untouched until the record is posted.
//
// The new value is built before the old one is dropped: a failing write-back
// leaves the buffer's value as it was. Flush raises the failure; a stream
// freed unflushed hands it to the application's exception handler.
//
// A stream binds to the record buffer that was active when it was opened and
// must be freed before the table moves or leaves edit or insert state. A
// write or read-write stream still open when the table posts, cancels,
// deletes, closes or is destroyed is detached: its bytes are refused
// (Write and Flush raise EMemTableError, freeing reports to the
// application's exception handler) rather than written into a buffer that
// is gone or shows another state of the record.
#pragma once

#include <string>

#include "table_store/dataset/dataset.h"
#include "table_store/record.h"

namespace ts {

class TdvoCustomMemTable;

class TdvoBlobStream : public TDataSetBlobStream {
 public:
  // Write and read-write modes: EDatabaseError "Field %s is read only" for a
  // read-only field (outside loads), "Dataset is not in edit mode." when the
  // table is not editing or inserting.
  TdvoBlobStream(TdvoCustomMemTable& table, TField& field, TBlobStreamMode mode);
  ~TdvoBlobStream() override;

  int64_t Write(const void* buffer, int64_t count) override;
  void Flush() override;

  TBlobStreamMode Mode() const { return mode_; }
  bool IsModified() const { return modified_; }
  bool Detached() const { return table_ == nullptr; }

 private:
  friend class TdvoCustomMemTable;
  void Detach();
  [[noreturn]] void RefuseDetached() const;

  void LoadBlobIntoStream();
  void TruncateBlob();
  void StoreBlobFromStream();

  TdvoCustomMemTable* table_;
  TField* field_;
  std::string fieldLabel_;
  TBlobStreamMode mode_;
  int fieldNo_;
  TRecord* record_ = nullptr;
  uint8_t* bufferSlot_ = nullptr;
  TRecord* stored_ = nullptr;
  uint8_t* storedSlot_ = nullptr;
  bool modified_ = false;
};

}  // namespace ts
