// Blob streams over a table's blob fields: read, write and read-write modes,
// null and empty values, edit and cancel, the compression events and a
// write-back that fails.
#include <gtest/gtest.h>

#include <string>

#include "tables.h"
#include "table_store/dataset/blob_stream.h"

namespace ts {
namespace {

using testing::MakeMaterials;

std::string ReadAll(TdvoMemTable& table, const char* field) {
  auto stream = table.OpenBlobStream(table.FieldNamed(field), TBlobStreamMode::Read);
  EXPECT_EQ(stream->Position(), 0);
  std::string bytes(static_cast<size_t>(stream->Size()), '\0');
  stream->ReadBuffer(bytes.data(), stream->Size());
  return bytes;
}

void WriteAll(TdvoMemTable& table, const char* field, const std::string& bytes,
              TBlobStreamMode mode = TBlobStreamMode::Write) {
  auto stream = table.OpenBlobStream(table.FieldNamed(field), mode);
  stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// Every byte value, twice.
std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 512; ++i) bytes += static_cast<char>(i & 0xFF);
  return bytes;
}

class BlobStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    table = MakeMaterials();
    table->Open();
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(0);
    WriteAll(*table, "Intro", AllBytes());
    table->Post();
  }
  std::unique_ptr<TdvoMemTable> table;
};

TEST_F(BlobStreams, ReadModeInBrowseGivesThePostedBytes) {
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(ReadAll(*table, "Intro"), AllBytes());
  EXPECT_EQ(table->FieldNamed("Intro").AsString(), AllBytes());
  // Reading never changes the record.
  {
    auto stream = table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::Read);
    stream->Write("zz", 2);
  }
  EXPECT_EQ(ReadAll(*table, "Intro"), AllBytes());
}

TEST_F(BlobStreams, NullAndEmptyValues) {
  EXPECT_TRUE(table->FieldNamed("Audio").IsNull());
  EXPECT_EQ(ReadAll(*table, "Audio"), "");
  table->Edit();
  WriteAll(*table, "Audio", "");  // no bytes: null, not an empty value
  EXPECT_TRUE(table->FieldNamed("Audio").IsNull());
  { auto opened = table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::Write); }
  EXPECT_TRUE(table->FieldNamed("Intro").IsNull());  // write mode alone empties it
  table->FieldNamed("answer1").SetAsString("");
  EXPECT_TRUE(table->FieldNamed("answer1").IsNull());
  table->Post();
  EXPECT_TRUE(table->FieldNamed("Intro").IsNull());
  EXPECT_TRUE(table->FieldNamed("Audio").IsNull());
}

TEST_F(BlobStreams, ReadWriteAppendsAfterSeekingAndOverwritesOtherwise) {
  table->Edit();
  {
    auto stream = table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::ReadWrite);
    stream->Seek(0, TSeekOrigin::End);
    stream->WriteBuffer("tail", 4);
  }
  EXPECT_EQ(ReadAll(*table, "Intro"), AllBytes() + "tail");
  WriteAll(*table, "Intro", "XY", TBlobStreamMode::ReadWrite);
  EXPECT_EQ(ReadAll(*table, "Intro"), "XY" + AllBytes().substr(2) + "tail");
  table->Post();
  EXPECT_EQ(ReadAll(*table, "Intro"), "XY" + AllBytes().substr(2) + "tail");
}

TEST_F(BlobStreams, EditThenCancelLeavesTheStoredBlob) {
  table->Edit();
  WriteAll(*table, "Intro", "new value");
  WriteAll(*table, "Audio", std::string(100000, 'a'));
  EXPECT_EQ(ReadAll(*table, "Intro"), "new value");
  // The stored record keeps the old bytes until the post.
  TRecord* stored = table->Store().StoredRecord(0);
  const uint8_t* block = SlotBlock(table->Store().FieldSlot(stored, table->FieldNamed("Intro")));
  EXPECT_EQ(ValueBlockLength(block), 512);
  table->Cancel();
  EXPECT_EQ(ReadAll(*table, "Intro"), AllBytes());
  EXPECT_TRUE(table->FieldNamed("Audio").IsNull());
}

TEST_F(BlobStreams, InsertThenCancelDropsTheUnpostedBlob) {
  table->Append();
  WriteAll(*table, "Audio", std::string(5000, 'b'));
  table->Cancel();
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(ReadAll(*table, "Intro"), AllBytes());
}

TEST_F(BlobStreams, WritingNeedsEditOrInsertAndAWritableField) {
  try {
    table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::Write);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Dataset is not in edit mode.");  // without the table's name
  }
  EXPECT_THROW(table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::ReadWrite), EDatabaseError);
  table->FieldNamed("Intro").SetReadOnly(true);
  table->Edit();
  try {
    table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::Write);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field Intro is read only");
  }
  EXPECT_EQ(ReadAll(*table, "Intro"), AllBytes());
  try {
    table->OpenBlobStream(table->FieldNamed("VarNo"), TBlobStreamMode::Read);
    FAIL();
  } catch (const EInvalidCast& e) {
    EXPECT_EQ(e.Message(), "Invalid class typecast");
  }
}

TEST_F(BlobStreams, CompressionEventsSeeTheirOwnSideOfTheBytes) {
  // A reversible transform: bytes stored reversed.
  table->OnCompressBlobStream = [](TDataSet&, TStream& plain, TStream& packed) {
    plain.SetPosition(0);
    std::string bytes(static_cast<size_t>(plain.Size()), '\0');
    plain.ReadBuffer(bytes.data(), plain.Size());
    std::string reversed(bytes.rbegin(), bytes.rend());
    packed.WriteBuffer(reversed.data(), static_cast<int64_t>(reversed.size()));
  };
  table->OnDecompressBlobStream = [](TDataSet&, TStream& packed, TStream& plain) {
    std::string bytes(static_cast<size_t>(packed.Size()), '\0');
    packed.ReadBuffer(bytes.data(), packed.Size());
    std::string reversed(bytes.rbegin(), bytes.rend());
    plain.WriteBuffer(reversed.data(), static_cast<int64_t>(reversed.size()));
  };
  table->Edit();
  WriteAll(*table, "Audio", "abc");
  table->Post();
  TRecord* stored = table->Store().StoredRecord(0);
  const uint8_t* block = SlotBlock(table->Store().FieldSlot(stored, table->FieldNamed("Audio")));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ValueBlockData(block)), 3), "cba");
  EXPECT_EQ(ReadAll(*table, "Audio"), "abc");
}

TEST_F(BlobStreams, FailedWriteBackKeepsTheOldValueAndSaysSo) {
  table->Edit();
  WriteAll(*table, "Intro", "kept");
  table->OnCompressBlobStream = [](TDataSet&, TStream&, TStream&) { throw EStreamError("disk full"); };

  auto stream = table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::ReadWrite);
  stream->Seek(0, TSeekOrigin::End);
  stream->WriteBuffer("more", 4);
  EXPECT_THROW(stream->Flush(), EStreamError);
  stream.reset();  // fails again, now reported to the application

  std::string reported;
  SetApplicationExceptionHandler([&](const Exception& e, const void* sender) {
    reported = e.Message();
    EXPECT_EQ(sender, table.get());
  });
  {
    auto other = table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::ReadWrite);
    other->WriteBuffer("x", 1);
  }
  SetApplicationExceptionHandler(nullptr);
  EXPECT_EQ(reported, "disk full");

  table->OnCompressBlobStream = nullptr;
  EXPECT_EQ(ReadAll(*table, "Intro"), "kept");
  // The field's text setter reaches the caller with the failure too.
  table->OnCompressBlobStream = [](TDataSet&, TStream&, TStream&) { throw EStreamError("disk full"); };
  EXPECT_THROW(table->FieldNamed("Intro").SetAsString("lost?"), EStreamError);
  table->OnCompressBlobStream = nullptr;
  EXPECT_EQ(ReadAll(*table, "Intro"), "kept");
  table->Post();
  EXPECT_EQ(ReadAll(*table, "Intro"), "kept");
}

TEST_F(BlobStreams, AStreamOutlivingItsRecordIsRefused) {
  const std::string refused =
      "Field Intro: the blob stream's record was posted, cancelled or closed; its bytes are not stored";
  const char* ends[] = {"Cancel", "Post", "Close", "destroy"};
  for (const std::string end : ends) {
    SCOPED_TRACE(end);
    SetUp();
    table->Edit();
    auto stream = table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::ReadWrite);
    stream->WriteBuffer("Z", 1);
    if (end == "Cancel") table->Cancel();
    if (end == "Post") table->Post();
    if (end == "Close") table->Close();
    if (end == "destroy") table.reset();
    EXPECT_THROW(stream->WriteBuffer("Z", 1), EMemTableError);
    std::string reported;
    SetApplicationExceptionHandler([&](const Exception& e, const void* sender) {
      reported = e.Message();
      EXPECT_EQ(sender, nullptr);
    });
    stream.reset();
    SetApplicationExceptionHandler(nullptr);
    EXPECT_EQ(reported, refused);
    if (end == "Cancel" || end == "Post") {
      // Neither the view nor the store took the stream's bytes.
      EXPECT_TRUE(table->FieldNamed("Intro").AsString() == AllBytes());
      table->Refresh();
      EXPECT_TRUE(ReadAll(*table, "Intro") == AllBytes());
    }
  }
  // A write stream left open is refused the same way when flushed.
  SetUp();
  table->Append();
  auto stream = table->OpenBlobStream(table->FieldNamed("Intro"), TBlobStreamMode::Write);
  table->Cancel();
  EXPECT_THROW(stream->Flush(), EMemTableError);
  stream.reset();  // refused once only
}

TEST_F(BlobStreams, FieldHelpersCopyThroughStreams) {
  TMemoryStream out;
  static_cast<TBlobField&>(table->FieldNamed("Intro")).SaveToStream(out);
  EXPECT_EQ(out.Size(), 512);
  EXPECT_EQ(static_cast<TBlobField&>(table->FieldNamed("Intro")).BlobSize(), 512);
  table->Append();
  out.SetPosition(0);
  static_cast<TBlobField&>(table->FieldNamed("Audio")).LoadFromStream(out);
  table->Post();
  EXPECT_EQ(ReadAll(*table, "Audio"), AllBytes());
  EXPECT_TRUE(table->FieldNamed("Intro").IsNull());
}

TEST(LoadRoad, FieldsWriteIntoARecordOutsideTheCursor) {
  // What a stream format does: a temporary insert state, the record override
  // on a record it allocated, the loading switches, then the store takes it.
  auto table = MakeMaterials();
  table->FieldNamed("subjname").SetReadOnly(true);
  table->Open();
  TdvoCommon& store = table->Store();
  TRecord* record = store.AllocRecord();
  const TDataSetState saved = table->SetTempState(dsInsert);
  table->SetOverrideRecord(record);
  table->SetIgnoreReadOnly(true);
  table->FieldNamed("VarNo").SetAsInteger(2);
  table->FieldNamed("subjname").SetAsString("English");
  table->FieldNamed("Audio").SetAsString(AllBytes());
  table->SetIgnoreReadOnly(false);
  table->SetOverrideRecord(nullptr);
  table->RestoreState(saved);
  store.StoreRecord(record);
  store.InvalidateAllAttachedIndexes();
  store.RebuildAllAttachedIndexes();
  table->First();
  EXPECT_EQ(table->FieldNamed("VarNo").AsInteger(), 2);
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "English");
  EXPECT_EQ(ReadAll(*table, "Audio"), AllBytes());
  // Nothing is left for a later cancel to drop.
  table->Edit();
  table->Cancel();
  EXPECT_EQ(ReadAll(*table, "Audio"), AllBytes());
}

}  // namespace
}  // namespace ts
