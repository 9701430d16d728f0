// The exact bytes of whole tables: heads, definitions, records with their
// status and null flags, integers at the tag boundaries, extended floats,
// texts at 255 and 256 bytes, blobs through the code page, and record
// versions.
#include <gtest/gtest.h>

#include <string>

#include "table_streams.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace ts {
namespace {

using test::B;
using test::Bytes;
using test::Concat;
using test::SaveBytes;
using test::TextBytes;

Bytes Str(const std::string& s) { return Concat({B({0x06, static_cast<int>(s.size())}), TextBytes(s)}); }

// The definition of one field as the default options write it.
Bytes FieldDef(const std::string& name, const std::string& type, const Bytes& size, const Bytes& width) {
  return Concat({Str(name), Str(type), size, Str(name), Str(""), width, B({0x08, 0x08}), Str("Data"), Str("")});
}

// Everything from the signature to the record list's start, for a table
// without index definitions.
Bytes HeadAndDefs(const Bytes& defs) {
  return Concat({TextBytes("TPF0"), B({0x03, 0xFB, 0x00, 0x01}), defs, B({0x00, 0x01, 0x00, 0x01})});
}

TEST(TableStreamBytesTest, MaterialsStartWithSignatureVersionAndTheFirstFieldName) {
  TdvoMemTable table("complects");
  table.AddField<TIntegerField>("subjid");
  table.AddField<TStringField>("subjname", 255);
  table.Open();
  const Bytes bytes = SaveBytes(table);
  const Bytes head = Concat({TextBytes("TPF0"), B({0x03, 0xFB, 0x00, 0x01}), Str("subjid")});
  ASSERT_GE(bytes.size(), head.size());
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(head.size())), head);
}

TEST(TableStreamBytesTest, OneAnswerRecordIsExactlyTheKnownSequence) {
  TdvoMemTable table("answers");
  table.AddField<TStringField>("a1", 1500);
  table.Open();
  table.Append();
  table.FieldNamed("a1").SetAsString("abc");
  table.Post();
  const Bytes expected = Concat({
      TextBytes("TPF0"), B({0x03, 0xFB, 0x00}), B({0x01}),
      Str("a1"), Str("String"), B({0x03, 0xDC, 0x05}), Str("a1"), Str(""), B({0x03, 0xDC, 0x05}), B({0x08, 0x08}),
      Str("Data"), Str(""), B({0x00}),
      B({0x01, 0x00}),
      B({0x01}), B({0x01, 0x02, 0x00, 0x08, 0x06, 0x03, 0x61, 0x62, 0x63, 0x00}), B({0x00}),
  });
  EXPECT_EQ(SaveBytes(table), expected);
}

TEST(TableStreamBytesTest, IntegersFloatsAndNullsInRecords) {
  TdvoMemTable table;
  table.AddField<TIntegerField>("n");
  table.AddField<TFloatField>("f");
  table.Open();
  const int values[] = {127, 128, -129, 32768};
  for (int v : values) {
    table.Append();
    table.FieldNamed("n").SetAsInteger(v);
    table.FieldNamed("f").SetAsFloat(1.2345);
    table.Post();
  }
  table.Append();  // both fields null
  table.Post();
  const Bytes f = B({0x08, 0x05, 0x00, 0x68, 0xBC, 0x74, 0x93, 0x18, 0x04, 0x9E, 0xFF, 0x3F});
  const Bytes expected = Concat({
      HeadAndDefs(Concat({FieldDef("n", "Integer", B({0x02, 0x00}), B({0x02, 0x0B})),
                          FieldDef("f", "Float", B({0x02, 0x00}), B({0x02, 0x0A}))})),
      B({0x01, 0x02, 0x00, 0x08, 0x02, 0x7F}), f, B({0x00}),
      B({0x01, 0x02, 0x00, 0x08, 0x03, 0x80, 0x00}), f, B({0x00}),
      B({0x01, 0x02, 0x00, 0x08, 0x03, 0x7F, 0xFF}), f, B({0x00}),
      B({0x01, 0x02, 0x00, 0x08, 0x04, 0x00, 0x80, 0x00, 0x00}), f, B({0x00}),
      B({0x01, 0x02, 0x00, 0x09, 0x09, 0x00}),
      B({0x00}),
  });
  EXPECT_EQ(SaveBytes(table), expected);
}

TEST(TableStreamBytesTest, CurrencyAndLargeIntKeepEveryDigit) {
  TdvoMemTable table;
  table.AddField<TCurrencyField>("c");
  table.AddField<TLargeintField>("l");
  table.Open();
  table.Append();
  table.FieldNamed("c").SetAsCurrency(12345);                  // 1.2345
  table.FieldNamed("l").SetAsLargeInt(9007199254740993LL);     // 2^53 + 1: no double holds it
  table.Post();
  const Bytes bytes = SaveBytes(table);
  // 1.2345 rounded to the full 64-bit mantissa, not through a double.
  const Bytes currency = B({0x05, 0x7F, 0x6A, 0xBC, 0x74, 0x93, 0x18, 0x04, 0x9E, 0xFF, 0x3F});
  const Bytes large = B({0x05, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x34, 0x40});
  const Bytes record = Concat({B({0x01, 0x02, 0x00, 0x08}), currency, B({0x08}), large, B({0x00, 0x00})});
  ASSERT_GE(bytes.size(), record.size());
  EXPECT_EQ(Bytes(bytes.end() - static_cast<long>(record.size()), bytes.end()), record);

  TdvoMemTable back;
  test::LoadBytes(back, bytes);
  EXPECT_EQ(back.FieldNamed("c").AsCurrency(), 12345);
  EXPECT_EQ(back.FieldNamed("l").AsLargeInt(), 9007199254740993LL);
}

TEST(TableStreamBytesTest, TextsAt255And256BytesAndCodePageBlobs) {
  TdvoMemTable table;
  table.AddField<TStringField>("s", 300);
  table.AddField<TBlobField>("b");
  table.Open();
  for (size_t n : {size_t{255}, size_t{256}}) {
    table.Append();
    table.FieldNamed("s").SetAsString(std::string(n, 'x'));
    table.Post();
  }
  table.Append();
  table.FieldNamed("s").SetAsString("\xC0");  // a Cyrillic letter, however short
  static_cast<TBlobField&>(table.FieldNamed("b")).SetAsString(std::string("A\x98\xFF\xC0", 4));
  table.Post();
  const Bytes bytes = SaveBytes(table);
  const Bytes expected = Concat({
      HeadAndDefs(Concat({FieldDef("s", "String", B({0x03, 0x2C, 0x01}), B({0x03, 0x2C, 0x01})),
                          FieldDef("b", "Blob", B({0x02, 0x00}), B({0x02, 0x0A}))})),
      B({0x01, 0x02, 0x00, 0x08, 0x06, 0xFF}), TextBytes(std::string(255, 'x')), B({0x09, 0x00}),
      B({0x01, 0x02, 0x00, 0x08, 0x0C, 0x00, 0x01, 0x00, 0x00}), TextBytes(std::string(256, 'x')), B({0x09, 0x00}),
      B({0x01, 0x02, 0x00, 0x08, 0x14, 0x02, 0x00, 0x00, 0x00, 0xD0, 0x90}),
      // 0x98 has no letter in the code page and travels as U+0098.
      B({0x08, 0x14, 0x07, 0x00, 0x00, 0x00, 0x41, 0xC2, 0x98, 0xD1, 0x8F, 0xD0, 0x90, 0x00}),
      B({0x00}),
  });
  EXPECT_EQ(bytes, expected);
}

TEST(TableStreamBytesTest, AnEditedRecordUnderVersioningCarriesItsOlderVersion) {
  TdvoMemTable table;
  table.AddField<TIntegerField>("n");
  table.Open();
  table.Append();
  table.FieldNamed("n").SetAsInteger(1);
  table.Post();
  table.SetEnableVersioning(true);
  table.Edit();
  table.FieldNamed("n").SetAsInteger(2);
  table.Post();

  TdvoBinaryStreamFormat deltas;
  deltas.sfDeltas = sfSaveDeltas;
  const Bytes bytes = SaveBytes(table, &deltas);
  const Bytes record = B({0x01, 0x01, 0x02, 0x01, 0x08, 0x02, 0x02, 0x02, 0x00, 0x08, 0x02, 0x01, 0x00, 0x00});
  ASSERT_GE(bytes.size(), record.size());
  EXPECT_EQ(Bytes(bytes.end() - static_cast<long>(record.size()), bytes.end()), record);
  // Without the option only the current version goes out.
  const Bytes plain = SaveBytes(table);
  EXPECT_EQ(Bytes(plain.end() - 8, plain.end()), B({0x01, 0x02, 0x01, 0x08, 0x02, 0x02, 0x00, 0x00}));

  TdvoMemTable back;
  test::LoadBytes(back, bytes);
  back.First();
  EXPECT_EQ(back.FieldNamed("n").AsInteger(), 2);
  EXPECT_EQ(back.UpdateStatus(), rsModified);
  TRecord* stored = back.Store().StoredRecord(0);
  ASSERT_NE(stored, nullptr);
  ASSERT_NE(stored->OlderVersion, nullptr);
  EXPECT_EQ(stored->OlderVersion->ChangeStatus, rsUnmodified);
  EXPECT_EQ(stored->OlderVersion->OlderVersion, nullptr);
}

TEST(TableStreamBytesTest, IndexDefinitionsGoOutWithTheirOptions) {
  TdvoMemTable table;
  table.AddField<TIntegerField>("n");
  table.IndexDefs().Add("byN", "n", ixUnique | ixDescending);
  table.IndexDefs().Add("", "n", ixPrimary | ixCaseInsensitive);
  // Saved closed: an index without a name is only a definition here.
  const Bytes bytes = SaveBytes(table);
  const Bytes indexes = Concat({B({0x01}), Str("byN"), Str("n"), Str("byN"), B({0x09, 0x08, 0x08, 0x09}), Str(""),
                                Str("n"), Str("<Primary>"), B({0x08, 0x09, 0x08, 0x08}), B({0x00})});
  const Bytes tail = Concat({indexes, B({0x01, 0x00})});
  ASSERT_GE(bytes.size(), tail.size());
  EXPECT_EQ(Bytes(bytes.end() - static_cast<long>(tail.size()), bytes.end()), tail);
}

}  // namespace
}  // namespace ts
