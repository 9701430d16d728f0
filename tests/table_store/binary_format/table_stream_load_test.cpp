// Loading tables: definitions that replace the table's own, every older
// file version, limits, and damaged streams, after which the table must be
// as usable as before.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "allocation_probe.h"
#include "table_streams.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/datetime_fields.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace ts {
namespace {

using test::B;
using test::Bytes;
using test::Concat;
using test::ErrorOf;
using test::Head;
using test::LoadBytes;
using test::SaveBytes;
using test::Values;

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

// The materials as a station declares them before loading: persistent
// fields that the stream's definitions replace.
void DeclareComplects(TdvoMemTable& t) {
  t.AddField<TIntegerField>("subjid");
  t.AddField<TStringField>("subjname", 255);
  t.AddField<TBlobField>("Intro");
  t.AddField<TIntegerField>("VarNo");
}

// A materials body: three variants with blobs of every byte value.
Bytes MaterialsBody() {
  TdvoMemTable source;
  source.AddField<TIntegerField>("SubjID");
  source.AddField<TStringField>("SubjName", 255);
  source.AddField<TStringField>("ExamDate", 10);
  source.AddField<TIntegerField>("VarNo");
  source.AddField<TBlobField>("VariantText");
  source.AddField<TMemoField>("Answer1");
  source.Open();
  for (int v = 0; v < 3; ++v) {
    source.Append();
    source.FieldNamed("SubjID").SetAsInteger(5);
    source.FieldNamed("SubjName").SetAsString("\xC0\xED\xE3\xEB\xE8\xE9\xF1\xEA\xE8\xE9");  // in the code page
    source.FieldNamed("ExamDate").SetAsString("2020-06-01");
    source.FieldNamed("VarNo").SetAsInteger(v);
    source.FieldNamed("VariantText").SetAsString("%PDF" + AllBytes() + std::to_string(v));
    source.FieldNamed("Answer1").SetAsString("\xEF\xBB\xBFone\r\ntwo\r\n");
    source.Post();
  }
  return SaveBytes(source);
}

// What a failed load must never leave behind.
void ExpectReleased(TdvoMemTable& t) {
  EXPECT_FALSE(t.Store().Busy());
  EXPECT_EQ(t.TablePhase(), kPhaseNormal);
  EXPECT_FALSE(t.IgnoreReadOnly());
  EXPECT_FALSE(t.NoAutoInc());
  EXPECT_TRUE(t.EnableIndexes());
  EXPECT_EQ(t.OverrideRecord(), nullptr);
}

TEST(TableStreamLoadTest, MaterialsReplaceTheDeclaredFieldsAndKeepEveryBlobByte) {
  const Bytes body = MaterialsBody();
  const std::string path = ::testing::TempDir() + "table_stream_load_materials.tmp";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(body.data(), 1, body.size(), f);
    std::fclose(f);
  }
  TdvoMemTable complects("complects");
  DeclareComplects(complects);
  TdvoBinaryStreamFormat format;
  complects.LoadFileWithFormat(path, &format);
  std::remove(path.c_str());

  ASSERT_TRUE(complects.Active());
  ASSERT_EQ(complects.FieldCount(), 6);
  EXPECT_EQ(complects.Field(0).FieldName(), "SubjID");
  EXPECT_EQ(complects.FieldDefs().Count(), 6);
  EXPECT_EQ(complects.RecordCount(), 3);
  EXPECT_TRUE(complects.LoadedCompletely());
  EXPECT_EQ(complects.LoadCount(), 3);
  complects.First();
  EXPECT_EQ(complects.FieldNamed("subjid").AsInteger(), 5);
  EXPECT_EQ(complects.FieldNamed("subjname").AsString(), "\xC0\xED\xE3\xEB\xE8\xE9\xF1\xEA\xE8\xE9");
  EXPECT_EQ(complects.FieldNamed("variantText").AsString(), "%PDF" + AllBytes() + "0");
  complects.Last();
  EXPECT_EQ(complects.FieldNamed("VarNo").AsInteger(), 2);
  EXPECT_EQ(complects.FieldNamed("answer1").AsString(), "\xEF\xBB\xBFone\r\ntwo\r\n");
  ExpectReleased(complects);
  // The table goes on working: a record can be added and saved again.
  complects.Append();
  complects.FieldNamed("VarNo").SetAsInteger(9);
  complects.Post();
  EXPECT_EQ(complects.RecordCount(), 4);
  // Loading the same body again replaces what the table held.
  LoadBytes(complects, body);
  EXPECT_EQ(complects.RecordCount(), 3);
}

TEST(TableStreamLoadTest, RoundTripOfEverySupportedType) {
  TdvoMemTable t;
  t.AddField<TStringField>("String", 20);
  t.AddField<TSmallintField>("SmallInt");
  t.AddField<TIntegerField>("Integer");
  t.AddField<TWordField>("Word");
  t.AddField<TBooleanField>("Boolean");
  t.AddField<TFloatField>("Float");
  t.AddField<TCurrencyField>("Currency");
  t.AddField<TBCDField>("BCD");
  t.AddField<TDateField>("Date");
  t.AddField<TTimeField>("Time");
  t.AddField<TDateTimeField>("DateTime");
  t.AddField<TBytesField>("Bytes", 4);
  t.AddField<TVarBytesField>("VarBytes", 8);
  t.AddField<TAutoIncField>("AutoInc");
  t.AddField<TBlobField>("Blob");
  t.AddField<TMemoField>("Memo");
  t.AddField<TGraphicField>("Graphic");
  for (TFieldType type : {ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftOraBlob, ftOraClob}) {
    auto field = CreateFieldForType(type, 0);
    field->SetFieldName(std::string(FieldTypeName(type)));
    t.AddField(std::move(field));
  }
  t.AddField<TFixedCharField>("FixedChar", 5);
  t.AddField<TLargeintField>("LargeInt");
  t.AddField<TSQLTimeStampField>("SQLTimeStamp");
  t.AddField<TFMTBCDField>("FMTBcd");
  t.Open();
  const std::string blob = AllBytes();
  auto fill = [&](int k) {
    t.Append();
    t.FieldNamed("String").SetAsString(k ? "\xE0\xE1 text" : "");
    t.FieldNamed("SmallInt").SetAsInteger(-32768 + k);
    t.FieldNamed("Integer").SetAsInteger(k ? INT32_MIN : INT32_MAX);
    t.FieldNamed("Word").SetAsInteger(65535 - k);
    t.FieldNamed("Boolean").SetAsBoolean(k == 0);
    t.FieldNamed("Float").SetAsFloat(k ? -1e300 : 0.1);
    t.FieldNamed("Currency").SetAsCurrency(k ? -922337203685477LL : 12345);
    t.FieldNamed("BCD").SetAsCurrency(k ? 1 : -99999);
    t.FieldNamed("Date").SetAsDateTime(k ? 0.0 : 44000.0);
    t.FieldNamed("Time").SetAsDateTime(0.75);
    t.FieldNamed("DateTime").SetAsDateTime(44000.5);
    t.FieldNamed("Bytes").SetAsString(std::string("\x00\x80\xFF\x01", 4));
    t.FieldNamed("VarBytes").SetAsString(std::string("\x98\x00", 2));
    for (const char* name : {"Blob", "Memo", "Graphic", "FmtMemo", "ParadoxOle", "dBaseOle", "TypedBinary",
                             "HugeBlob", "HugeClob"})
      t.FieldNamed(name).SetAsString(blob + name);
    t.FieldNamed("FixedChar").SetAsString("ab");
    t.FieldNamed("LargeInt").SetAsLargeInt(k ? INT64_MIN : INT64_MAX);
    t.FieldNamed("SQLTimeStamp").SetAsDateTime(44000.25);
    t.FieldNamed("FMTBcd").SetAsCurrency(777);
    t.Post();
  };
  fill(0);
  fill(1);
  t.Append();  // every field null but the autoinc number
  t.Post();
  const Bytes bytes = SaveBytes(t);

  TdvoMemTable back;
  LoadBytes(back, bytes);
  ASSERT_EQ(back.FieldCount(), t.FieldCount());
  ASSERT_EQ(back.RecordCount(), 3);
  t.First();
  back.First();
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; i < t.FieldCount(); ++i) {
      SCOPED_TRACE(t.Field(i).FieldName() + " of record " + std::to_string(r));
      EXPECT_EQ(back.Field(i).DataType(), t.Field(i).DataType());
      EXPECT_EQ(back.Field(i).Size(), t.Field(i).Size());
      EXPECT_EQ(back.Field(i).IsNull(), t.Field(i).IsNull());
      EXPECT_EQ(back.Field(i).Value(), t.Field(i).Value());
    }
    t.Next();
    back.Next();
  }
  // Saved again, the loaded table gives the same bytes.
  EXPECT_EQ(SaveBytes(back), bytes);
  // The autoinc counter continues after the highest loaded number.
  back.Append();
  back.Post();
  back.Last();
  EXPECT_EQ(back.FieldNamed("AutoInc").AsInteger(), 3);
}

TEST(TableStreamLoadTest, VersionHundredHasNoKindsIndexesRecordListsOrNullFlags) {
  const Bytes stream = Concat({Head(100), Values([](TWriter& w) {
                                 w.WriteListBegin();
                                 w.WriteString("n");
                                 w.WriteString("Integer");
                                 w.WriteInteger(0);
                                 w.WriteString("Number");
                                 w.WriteString("");
                                 w.WriteInteger(7);
                                 w.WriteBoolean(true);
                                 w.WriteBoolean(false);
                                 w.WriteString("d");
                                 w.WriteString("Date");
                                 w.WriteInteger(0);
                                 w.WriteString("d");
                                 w.WriteString("");
                                 w.WriteInteger(10);
                                 w.WriteBoolean(false);
                                 w.WriteBoolean(true);
                                 w.WriteListEnd();
                                 w.WriteListBegin();
                                 w.WriteInteger(42);
                                 w.WriteFloat(0.0);  // no null flags: 0.0 stands for null
                                 w.WriteInteger(-1);
                                 w.WriteFloat(44000.0);
                                 w.WriteListEnd();
                               })});
  TdvoMemTable t;
  TdvoBinaryStreamFormat format;
  LoadBytes(t, stream, &format);
  EXPECT_EQ(format.FileVersion(), 100);
  ASSERT_EQ(t.FieldCount(), 2);
  EXPECT_EQ(t.Field(0).DisplayLabel(), "Number");
  EXPECT_EQ(t.Field(0).DisplayWidth(), 7);
  EXPECT_TRUE(t.Field(0).Required());
  EXPECT_TRUE(t.Field(1).ReadOnly());
  EXPECT_EQ(t.Field(0).FieldKind(), fkData);
  ASSERT_EQ(t.RecordCount(), 2);
  t.First();
  EXPECT_EQ(t.FieldNamed("n").AsInteger(), 42);
  EXPECT_TRUE(t.FieldNamed("d").IsNull());
  EXPECT_EQ(t.UpdateStatus(), rsUnmodified);
  t.Next();
  EXPECT_EQ(t.FieldNamed("d").AsDateTime(), 44000.0);
}

TEST(TableStreamLoadTest, EachOlderVersionReadsOnlyWhatItHad) {
  // Version 200: index list, plain records; 230: record lists with status;
  // 249: null flags; 250: kinds; 251: default expressions.
  struct Case {
    int32_t version;
    bool indexes, lists, nulls, kinds, defaults;
  };
  const Case cases[] = {{199, false, false, false, false, false}, {200, true, false, false, false, false},
                        {230, true, true, false, false, false},   {248, true, true, false, false, false},
                        {249, true, true, true, false, false},    {250, true, true, true, true, false},
                        {251, true, true, true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    const Bytes stream = Concat({Head(c.version), Values([&](TWriter& w) {
                                   w.WriteListBegin();
                                   w.WriteString("d");
                                   w.WriteString("DateTime");
                                   w.WriteInteger(0);
                                   w.WriteString("d");
                                   w.WriteString("");
                                   w.WriteInteger(19);
                                   w.WriteBoolean(false);
                                   w.WriteBoolean(false);
                                   if (c.kinds) w.WriteString("InternalCalc");
                                   if (c.defaults) w.WriteString("0");
                                   w.WriteListEnd();
                                   if (c.indexes) {
                                     w.WriteListBegin();
                                     w.WriteString("byD");
                                     w.WriteString("d");
                                     w.WriteString("byD");
                                     for (int b = 0; b < 4; ++b) w.WriteBoolean(false);
                                     w.WriteListEnd();
                                   }
                                   w.WriteListBegin();
                                   if (c.lists) {
                                     w.WriteListBegin();
                                     w.WriteInteger(rsModified);
                                   }
                                   if (c.nulls) w.WriteBoolean(false);
                                   w.WriteFloat(0.0);
                                   if (c.lists) w.WriteListEnd();
                                   w.WriteListEnd();
                                 })});
    TdvoMemTable t;
    LoadBytes(t, stream);
    ASSERT_EQ(t.FieldCount(), 1);
    EXPECT_EQ(t.Field(0).FieldKind(), c.kinds ? fkInternalCalc : fkData);
    EXPECT_EQ(t.Field(0).DefaultExpression(), c.defaults ? "0" : "");
    EXPECT_EQ(t.IndexDefs().Count(), c.indexes ? 1 : 0);
    ASSERT_EQ(t.RecordCount(), 1);
    t.First();
    EXPECT_EQ(t.UpdateStatus(), c.lists ? rsModified : rsUnmodified);
    // With null flags, 0.0 is a date and time like any other.
    EXPECT_EQ(t.Field(0).IsNull(), !c.nulls);
  }
}

TEST(TableStreamLoadTest, AnEmptyByteValueIsNoNull) {
  const Bytes stream = Concat({Head(251), Values([](TWriter& w) {
                                 w.WriteListBegin();
                                 w.WriteString("v");
                                 w.WriteString("VarBytes");
                                 w.WriteInteger(0);
                                 w.WriteString("v");
                                 w.WriteString("");
                                 w.WriteInteger(10);
                                 w.WriteBoolean(false);
                                 w.WriteBoolean(false);
                                 w.WriteString("Data");
                                 w.WriteString("");
                                 w.WriteListEnd();
                                 w.WriteListBegin();
                                 w.WriteListEnd();
                                 w.WriteListBegin();
                                 w.WriteListBegin();
                                 w.WriteInteger(0);
                                 w.WriteBoolean(false);
                                 w.WriteString("");
                                 w.WriteListEnd();
                                 w.WriteListEnd();
                               })});
  TdvoMemTable t;
  LoadBytes(t, stream);
  t.First();
  EXPECT_FALSE(t.FieldNamed("v").IsNull());
  EXPECT_EQ(SaveBytes(t), stream);
}

TEST(TableStreamLoadTest, LoadLimitStopsQuietly) {
  TdvoMemTable source;
  source.AddField<TIntegerField>("n");
  source.Open();
  for (int i = 0; i < 3; ++i) source.AppendRecord({TValue::Integer(i)});
  const Bytes bytes = SaveBytes(source);

  TdvoMemTable t;
  t.SetLoadLimit(2);
  LoadBytes(t, bytes);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.LoadCount(), 2);
  EXPECT_FALSE(t.LoadedCompletely());
  ExpectReleased(t);

  source.SetSaveLimit(2);
  TdvoMemTable back;
  LoadBytes(back, SaveBytes(source));
  EXPECT_EQ(back.RecordCount(), 2);
  EXPECT_FALSE(source.SavedCompletely());
  EXPECT_EQ(source.SaveCount(), 2);
}

TEST(TableStreamLoadTest, WithoutLoadDefRecordsGoIntoTheTablesOwnFields) {
  TdvoMemTable source;
  source.AddField<TIntegerField>("n");
  source.AddField<TStringField>("s", 10);
  source.Open();
  source.AppendRecord({TValue::Integer(1), TValue::String("one")});
  const Bytes bytes = SaveBytes(source);

  TdvoBinaryStreamFormat keep;
  keep.sfDef = sfSaveDef;
  TdvoMemTable t;
  t.AddField<TIntegerField>("number");
  t.AddField<TStringField>("text", 2);
  t.Open();
  LoadBytes(t, bytes, &keep);
  EXPECT_EQ(t.Field(0).FieldName(), "number");
  t.First();
  EXPECT_EQ(t.FieldNamed("number").AsInteger(), 1);
  EXPECT_EQ(t.FieldNamed("text").AsString(), "on");

  // One field fewer: the record's values no longer line up.
  TdvoMemTable narrow;
  narrow.AddField<TIntegerField>("number");
  narrow.Open();
  EXPECT_EQ(ErrorOf([&] { LoadBytes(narrow, bytes, &keep); }), "Invalid property value");
  ExpectReleased(narrow);
}

// A table's records load back into its own fields, saved records only or
// with definitions the load passes over: the load reads the fields the save
// wrote, whatever kinds the others are.
TEST(TableStreamLoadTest, RecordsLoadBackIntoTheirOwnTableFields) {
  struct Case {
    TFieldKind kind;
    bool travels;
  };
  for (const bool definitionsSaved : {false, true})
  for (const Case c : {Case{fkCalculated, false}, Case{fkLookup, false}, Case{fkInternalCalc, true},
                       Case{fkAggregate, false}}) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + (definitionsSaved ? " with definitions" : ""));
    TdvoMemTable t;
    t.AddField<TIntegerField>("id");
    t.AddField<TIntegerField>("twice").SetFieldKind(c.kind);
    t.AddField<TStringField>("val", 10);
    t.OnCalcFields = [](TDataSet& d) {
      auto& table = static_cast<TdvoMemTable&>(d);
      if (table.FieldNamed("twice").FieldKind() == fkCalculated)
        table.FieldNamed("twice").SetAsInteger(2 * table.FieldNamed("id").AsInteger());
    };
    t.Open();
    t.Append();
    t.FieldNamed("id").SetAsInteger(21);
    if (c.travels) t.FieldNamed("twice").SetAsInteger(7);
    t.FieldNamed("val").SetAsString("x");
    t.Post();
    TdvoBinaryStreamFormat recordsOnly;
    recordsOnly.sfDef = definitionsSaved ? sfSaveDef : sfLoadDef;
    recordsOnly.sfIndexDef = definitionsSaved ? sfSaveIndexDef : sfLoadIndexDef;
    const Bytes bytes = SaveBytes(t, &recordsOnly);
    t.ClearAllRecords();
    EXPECT_EQ(ErrorOf([&] { LoadBytes(t, bytes, &recordsOnly); }), "");
    EXPECT_EQ(t.RecordCount(), 1);
    t.First();
    EXPECT_EQ(t.FieldNamed("id").AsInteger(), 21);
    EXPECT_EQ(t.FieldNamed("val").AsString(), "x");
    if (c.travels) {
      EXPECT_EQ(t.FieldNamed("twice").AsInteger(), 7);
    }
  }
}

TEST(TableStreamLoadTest, StreamsThatAreNoTablesAreRefusedByName) {
  TdvoMemTable t;
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, {}); }), "Stream read error");
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, test::TextBytes("TPF1\x03\xFB")); }), "Invalid stream format");
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, Concat({test::TextBytes("TPF0"), B({0x06, 0x00})})); }),
            "Invalid property value");
  ExpectReleased(t);

  auto withType = [](const std::string& type) {
    return Concat({Head(251), Values([&](TWriter& w) {
                     w.WriteListBegin();
                     w.WriteString("f");
                     w.WriteString(type);
                     w.WriteInteger(0);
                     w.WriteString("f");
                     w.WriteString("");
                     w.WriteInteger(0);
                     w.WriteBoolean(false);
                     w.WriteBoolean(false);
                     w.WriteString("Data");
                     w.WriteString("");
                     w.WriteListEnd();
                     w.WriteListBegin();
                     w.WriteListEnd();
                     w.WriteListBegin();
                     w.WriteListEnd();
                   })});
  };
  for (const char* type : {"string", "WideString", "Cursor", "Guid", "Variant", "Nothing"})
    EXPECT_EQ(ErrorOf([&] { LoadBytes(t, withType(type)); }), std::string("Unknown field type (") + type + ")");
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, withType("Integer")); }), "");

  // No definitions and no fields of its own.
  TdvoMemTable empty;
  const Bytes bare = Concat({Head(251), B({0x01, 0x00, 0x01, 0x00, 0x01, 0x00})});
  EXPECT_EQ(ErrorOf([&] { LoadBytes(empty, bare); }), "Couldnt determine field count for load.");
  ExpectReleased(empty);
}

// A stream of one Integer field "n" and the given record-list bytes.
Bytes IntegerTable(const Bytes& records) {
  return Concat({Head(251), Values([](TWriter& w) {
                   w.WriteListBegin();
                   w.WriteString("n");
                   w.WriteString("Integer");
                   w.WriteInteger(0);
                   w.WriteString("n");
                   w.WriteString("");
                   w.WriteInteger(10);
                   w.WriteBoolean(false);
                   w.WriteBoolean(false);
                   w.WriteString("Data");
                   w.WriteString("");
                   w.WriteListEnd();
                   w.WriteListBegin();
                   w.WriteListEnd();
                 }),
                 records});
}

TEST(TableStreamLoadTest, DamagedValuesAreNamedAndRecordsBeforeThemStay) {
  struct Case {
    const char* what;
    Bytes records;
    const char* message;
  };
  const Case cases[] = {
      {"boolean of another tag", B({0x01, 0x01, 0x02, 0x00, 0x02, 0x05, 0x00, 0x00}), "Invalid property value"},
      {"status beyond deleted", B({0x01, 0x01, 0x02, 0x04, 0x08, 0x02, 0x05, 0x00, 0x00}), "Invalid property value"},
      {"negative status", B({0x01, 0x01, 0x02, 0xFF, 0x08, 0x02, 0x05, 0x00, 0x00}), "Invalid property value"},
      {"text for an integer", B({0x01, 0x01, 0x02, 0x00, 0x08, 0x06, 0x00, 0x00, 0x00}), "Invalid property value"},
      {"list cut short", B({0x01, 0x01, 0x02, 0x00, 0x08}), "Stream read error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes good = B({0x01, 0x02, 0x00, 0x08, 0x02, 0x01, 0x00});
    TdvoMemTable t;
    const Bytes stream = IntegerTable(Concat({B({0x01}), good, Bytes(c.records.begin() + 1, c.records.end())}));
    EXPECT_EQ(ErrorOf([&] { LoadBytes(t, stream); }), c.message);
    ExpectReleased(t);
    ASSERT_TRUE(t.Active());
    EXPECT_EQ(t.RecordCount(), 1);
    t.Append();
    t.FieldNamed("n").SetAsInteger(2);
    t.Post();
    EXPECT_EQ(t.RecordCount(), 2);
  }
}

TEST(TableStreamLoadTest, DamagedLengthsFailBeforeAnyLargeAllocation) {
  for (const Bytes& length : {B({0xFF, 0xFF, 0xFF, 0x7F}), B({0x00, 0x00, 0x00, 0x80}), B({0xFF, 0xFF, 0xFF, 0xFF})}) {
    for (int tag : {0x0C, 0x14, 0x12}) {
      const Bytes stream = Concat({Head(251), B({0x01, tag}), length, B({0x41, 0x42})});
      TdvoMemTable t;
      test::TAllocationProbe probe;
      EXPECT_EQ(ErrorOf([&] { LoadBytes(t, stream); }), "Stream read error");
      EXPECT_LT(probe.Largest(), size_t{1} << 20);
      ExpectReleased(t);
    }
  }
}

TEST(TableStreamLoadTest, EveryCutOfAValidStreamFailsCleanly) {
  TdvoMemTable source;
  source.AddField<TIntegerField>("n");
  source.AddField<TBlobField>("b");
  source.IndexDefs().Add("byN", "n", ixUnique);
  source.Open();
  source.AppendRecord({TValue::Integer(1), TValue::String(AllBytes())});
  source.AppendRecord({TValue::Integer(2), TValue::Null()});
  const Bytes full = SaveBytes(source);
  for (size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    TdvoMemTable t;
    const std::string error = ErrorOf([&] { LoadBytes(t, Bytes(full.begin(), full.begin() + static_cast<long>(cut))); });
    EXPECT_EQ(error, "Stream read error");
    ExpectReleased(t);
  }
  TdvoMemTable t;
  LoadBytes(t, full);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.IndexDefs().Count(), 1);
}

TEST(TableStreamLoadTest, DefinitionListsHaveLimits) {
  auto definitions = [](int count, const std::string& name) {
    return Concat({Head(251), Values([&](TWriter& w) {
                     w.WriteListBegin();
                     for (int i = 0; i < count; ++i) {
                       w.WriteString(name.empty() && count > 1 ? "f" + std::to_string(i) : name);
                       w.WriteString("Integer");
                       w.WriteInteger(0);
                       w.WriteString("");
                       w.WriteString("");
                       w.WriteInteger(10);
                       w.WriteBoolean(false);
                       w.WriteBoolean(false);
                       w.WriteString("Data");
                       w.WriteString("");
                     }
                     w.WriteListEnd();
                     w.WriteListBegin();
                     w.WriteListEnd();
                     w.WriteListBegin();
                     w.WriteListEnd();
                   })});
  };
  TdvoMemTable t;
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, definitions(256, "")); }), "");
  EXPECT_EQ(t.FieldCount(), 256);
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, definitions(257, "")); }),
            "Too many fielddefs. Please raise DVO_MAX_FIELDS value.");
  ExpectReleased(t);
  EXPECT_EQ(t.FieldCount(), 256);
  EXPECT_TRUE(t.Active());
  // Two fields of one name, or a field without one, would share a slot.
  EXPECT_NE(ErrorOf([&] { LoadBytes(t, definitions(2, "same")); }), "");
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, definitions(1, "")); }), "Field name missing");
  ExpectReleased(t);
}

// A stream of a field "s" of the given type, size and kind, after a null
// Integer data field "k" when `keyField` is set, with `records` records
// whose "s" is `value` (null when empty).
Bytes OneFieldTable(const char* type, int32_t size, const char* kind, int records, const std::string& value,
                    bool keyField = false) {
  return Concat({Head(251), Values([&](TWriter& w) {
                   w.WriteListBegin();
                   auto define = [&](const char* name, const char* fieldType, int32_t fieldSize, const char* fieldKind) {
                     for (const char* item : {name, fieldType}) w.WriteString(item);
                     w.WriteInteger(fieldSize);
                     w.WriteString(name);
                     w.WriteString("");
                     w.WriteInteger(10);
                     w.WriteBoolean(false);
                     w.WriteBoolean(false);
                     w.WriteString(fieldKind);
                     w.WriteString("");
                   };
                   if (keyField) define("k", "Integer", 0, "Data");
                   define("s", type, size, kind);
                   w.WriteListEnd();
                   w.WriteListBegin();
                   w.WriteListEnd();
                   w.WriteListBegin();
                   for (int i = 0; i < records; ++i) {
                     w.WriteListBegin();
                     w.WriteInteger(0);
                     if (keyField) w.WriteBoolean(true);
                     w.WriteBoolean(value.empty());
                     if (!value.empty()) w.WriteString(value);
                     w.WriteListEnd();
                   }
                   w.WriteListEnd();
                 })});
}

TEST(TableStreamLoadTest, DamagedSizesAreRefusedButEverySavedTableLoads) {
  // A text field of a gigabyte, held in line, from a stream of a hundred
  // bytes: the table would open with buffers of that size.
  TdvoMemTable t;
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, OneFieldTable("String", 1 << 30, "Data", 3, "")); }),
            "The stream's records need more memory than its size allows");
  ExpectReleased(t);
  EXPECT_FALSE(t.Active());  // no field is left to open with
  // Records whose bytes are there are taken, however large in line.
  LoadBytes(t, OneFieldTable("String", 40 << 20, "Data", 3, ""));
  EXPECT_EQ(t.RecordCount(), 3);
  // A record list cut short fails before the missing record is allocated.
  Bytes cut = OneFieldTable("String", 40 << 20, "Data", 3, "");
  cut.resize(cut.size() - 8);
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, cut); }), "Stream read error");
  ExpectReleased(t);

  // Many short records of a wide text field: far more memory than stream.
  TdvoMemTable wide;
  wide.AddField<TStringField>("s", 60000);
  wide.AddField<TIntegerField>("n");
  wide.Open();
  for (int i = 0; i < 3000; ++i) {
    wide.Append();
    wide.FieldNamed("s").SetAsString("r" + std::to_string(i));
    wide.FieldNamed("n").SetAsInteger(i);
    wide.Post();
  }
  const Bytes saved = SaveBytes(wide);
  TdvoMemTable back;
  LoadBytes(back, saved);
  EXPECT_EQ(back.RecordCount(), 3000);
  back.Last();
  EXPECT_EQ(back.FieldNamed("s").AsString(), "r2999");
}

TEST(TableStreamLoadTest, ACalculatedBlobKeepsNoLoadedValue) {
  for (const char* kind : {"Calculated", "Lookup"}) {
    SCOPED_TRACE(kind);
    TdvoMemTable t;
    LoadBytes(t, OneFieldTable("Blob", 0, kind, 2, "value", true));
    EXPECT_EQ(t.RecordCount(), 2);
    // Nothing was put into the records' calculated part, where no one would
    // free it.
    const TdvoCommon& store = t.Store();
    for (int slot = 0; slot < store.SlotCount(); ++slot) {
      const TRecord* record = store.StoredRecord(slot);
      for (int32_t i = 0; i < store.CalcSize(); ++i) EXPECT_EQ(record->Values()[store.CalcStart() + i], 0);
    }
  }
}

TEST(TableStreamLoadTest, DuplicateIndexNamesAreRefused) {
  const Bytes stream = IntegerTable({});
  Bytes withIndexes(stream.begin(), stream.end() - 2);  // drop the empty index list
  withIndexes = Concat({withIndexes, Values([](TWriter& w) {
                          w.WriteListBegin();
                          for (const char* name : {"ix", "IX"}) {
                            w.WriteString(name);
                            w.WriteString("n");
                            w.WriteString(name);
                            for (int b = 0; b < 4; ++b) w.WriteBoolean(false);
                          }
                          w.WriteListEnd();
                          w.WriteListBegin();
                          w.WriteListEnd();
                        })});
  TdvoMemTable t;
  EXPECT_EQ(ErrorOf([&] { LoadBytes(t, withIndexes); }), "A component named IX already exists");
  ExpectReleased(t);
  EXPECT_TRUE(t.Active());
}

}  // namespace
}  // namespace ts
