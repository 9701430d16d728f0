// Field classes of the blob types (Blob, Memo, Graphic, FmtMemo, ParadoxOle,
// dBaseOle, TypedBinary, HugeBlob, HugeClob). A blob's bytes never pass
// through the record read: they are read and written through the dataset's
// blob streams. Its text is its bytes; writing the empty text (or no bytes)
// makes the field null, since an empty blob value is never stored. A write
// that fails to reach the record raises and leaves the old value in place.
#pragma once

#include <string>

#include "table_store/dataset/field.h"
#include "table_store/streams.h"

namespace ts {

class TBlobField : public TField {
 public:
  explicit TBlobField(TFieldType type = ftBlob, int32_t size = 0) : TField(type, size) {}
  bool IsBlob() const override { return true; }

  // The blob has no buffer form: decoding gives null, encoding raises.
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

  // The bytes, from the stream's position on / to the stream at its position.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;
  int64_t BlobSize() const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(std::string_view text) override;
  TValue GetAsValue() const override;
  void SetAsValue(const TValue& value) override;
  int32_t DefaultDisplayWidth() const override { return 10; }
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TFieldType type = ftMemo, int32_t size = 0) : TBlobField(type, size) {}
};

class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(int32_t size = 0) : TBlobField(ftGraphic, size) {}
};

}  // namespace ts
