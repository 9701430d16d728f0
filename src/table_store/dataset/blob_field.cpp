#include "table_store/dataset/blob_field.h"

#include "table_store/dataset/dataset.h"

namespace ts {

TValue TBlobField::DecodeValue(const uint8_t* /*buffer*/) const { return TValue::Null(); }

void TBlobField::EncodeValue(const TValue& /*value*/, uint8_t* /*buffer*/) const { AccessError("Buffer"); }

void TBlobField::LoadFromStream(TStream& stream) {
  const int64_t count = stream.Size() - stream.Position();
  if (count <= 0) {
    Clear();
    return;
  }
  // Read-write and emptied rather than write mode: the old value stays
  // until the new one is in place, so a failed write-back loses nothing.
  auto blob = BoundDataSet().CreateBlobStream(*this, TBlobStreamMode::ReadWrite);
  blob->SetSize(0);
  blob->CopyFrom(stream, count);
  // Raise here rather than lose the failure when the stream goes away.
  blob->Flush();
}

void TBlobField::SaveToStream(TStream& stream) const {
  auto blob = BoundDataSet().CreateBlobStream(const_cast<TBlobField&>(*this), TBlobStreamMode::Read);
  if (blob->Size() > 0) stream.WriteBuffer(blob->Memory(), blob->Size());
}

void TBlobField::LoadFromFile(const std::string& path) {
  TFileStream file(path, TFileMode::OpenRead);
  LoadFromStream(file);
}

void TBlobField::SaveToFile(const std::string& path) const {
  TFileStream file(path, TFileMode::Create);
  SaveToStream(file);
}

int64_t TBlobField::BlobSize() const {
  return BoundDataSet().CreateBlobStream(const_cast<TBlobField&>(*this), TBlobStreamMode::Read)->Size();
}

std::string TBlobField::GetAsString() const {
  auto blob = BoundDataSet().CreateBlobStream(const_cast<TBlobField&>(*this), TBlobStreamMode::Read);
  return std::string(reinterpret_cast<const char*>(blob->Memory()), static_cast<size_t>(blob->Size()));
}

void TBlobField::SetAsStringValue(std::string_view text) {
  if (text.empty()) {
    Clear();
    return;
  }
  auto blob = BoundDataSet().CreateBlobStream(*this, TBlobStreamMode::ReadWrite);
  blob->SetSize(0);
  blob->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  blob->Flush();
}

TValue TBlobField::GetAsValue() const {
  if (IsNull()) return TValue::Null();
  return TValue::String(GetAsString());
}

void TBlobField::SetAsValue(const TValue& value) {
  if (value.IsBlank()) {
    Clear();
    return;
  }
  SetAsStringValue(value.ToString());
}

}  // namespace ts
