// Field values of every type through the table: buffer forms, conversions,
// ranges, null handling, putting values into any record, calculated fields,
// defaults and validation.
#include <gtest/gtest.h>

#include <cmath>

#include <cstring>
#include <string>

#include "tables.h"
#include "table_store/dataset/datetime_fields.h"
#include "table_store/dataset/field_text.h"
#include "table_store/dataset/object_fields.h"

namespace ts {
namespace {

class FieldValues : public ::testing::Test {
 protected:
  void SetUp() override {
    table.FieldDefs().Add("s", ftString, 10);
    table.FieldDefs().Add("fc", ftFixedChar, 4);
    table.FieldDefs().Add("si", ftSmallint);
    table.FieldDefs().Add("i", ftInteger);
    table.FieldDefs().Add("w", ftWord);
    table.FieldDefs().Add("b", ftBoolean);
    table.FieldDefs().Add("f", ftFloat);
    table.FieldDefs().Add("cur", ftCurrency);
    table.FieldDefs().Add("bcd", ftBCD, 4);
    table.FieldDefs().Add("d", ftDate);
    table.FieldDefs().Add("t", ftTime);
    table.FieldDefs().Add("dt", ftDateTime);
    table.FieldDefs().Add("by", ftBytes, 4);
    table.FieldDefs().Add("vb", ftVarBytes, 6);
    table.FieldDefs().Add("ai", ftAutoInc);
    table.FieldDefs().Add("li", ftLargeint);
    table.FieldDefs().Add("ts", ftTimeStamp);
    table.FieldDefs().Add("fmt", ftFMTBcd, 4);
    table.FieldDefs().Add("memo", ftMemo);
    table.Open();
    table.Append();
  }
  TField& F(const char* name) { return table.FieldNamed(name); }
  // The raw slot bytes of a field in the new record's buffer.
  const uint8_t* Bytes(const char* name) { return table.Store().FieldSlot(table.ActiveBuffer(), F(name)) + 1; }

  TdvoMemTable table{"values"};
};

TEST_F(FieldValues, EveryTypeHasItsFieldClass) {
  for (int code = 0; code < kFieldTypeCount; ++code) {
    auto field = CreateFieldForType(static_cast<TFieldType>(code), 8);
    EXPECT_EQ(field != nullptr, IsSupportedFieldType(code)) << code;
    if (field) {
      EXPECT_EQ(field->DataType(), code);
    }
  }
  EXPECT_TRUE(F("memo").IsBlob());
  EXPECT_FALSE(F("s").IsBlob());
}

TEST_F(FieldValues, NewRecordStartsNull) {
  for (const char* name : {"s", "i", "f", "d", "li", "memo", "bcd", "ts"}) {
    EXPECT_TRUE(F(name).IsNull()) << name;
    EXPECT_EQ(F(name).AsString(), "") << name;
    EXPECT_TRUE(F(name).Value().IsNull()) << name;
  }
  EXPECT_EQ(F("i").AsInteger(), 0);
  EXPECT_EQ(F("f").AsFloat(), 0.0);
  EXPECT_FALSE(F("b").AsBoolean());
}

TEST_F(FieldValues, IntegersKeepTheirRanges) {
  F("si").SetAsInteger(-32768);
  F("w").SetAsInteger(65535);
  F("i").SetAsString(" -7 ");
  EXPECT_EQ(F("si").AsInteger(), -32768);
  EXPECT_EQ(F("w").AsInteger(), 65535);
  EXPECT_EQ(F("i").AsInteger(), -7);
  EXPECT_THROW(F("si").SetAsInteger(40000), ERangeError);
  EXPECT_THROW(F("w").SetAsInteger(-1), ERangeError);
  EXPECT_THROW(F("i").SetAsLargeInt(int64_t{1} << 40), ERangeError);
  EXPECT_EQ(F("si").AsInteger(), -32768);  // a refused value changes nothing
  EXPECT_THROW(F("i").SetAsString("12a"), EConvertError);
  F("i").SetAsFloat(2.5);  // rounded half to even
  EXPECT_EQ(F("i").AsInteger(), 2);
  int16_t raw = 0;
  std::memcpy(&raw, Bytes("si"), 2);
  EXPECT_EQ(raw, -32768);
  try {
    F("w").SetAsInteger(70000);
  } catch (const ERangeError& e) {
    EXPECT_EQ(e.Message(), "70000 is not a valid value for field 'w'. The allowed range is 0 to 65535");
  }
}

TEST_F(FieldValues, LargeIntIsExactBeyondDoublePrecision) {
  const int64_t big = (int64_t{1} << 53) + 1;
  F("li").SetAsLargeInt(big);
  EXPECT_EQ(F("li").AsLargeInt(), big);
  EXPECT_EQ(F("li").AsString(), "9007199254740993");
  F("li").SetAsString("-9223372036854775808");
  EXPECT_EQ(F("li").AsLargeInt(), INT64_MIN);
  F("li").SetValue(TValue::String("9223372036854775807"));
  EXPECT_EQ(F("li").Value(), TValue::Integer(INT64_MAX));
  int64_t raw = 0;
  std::memcpy(&raw, Bytes("li"), 8);
  EXPECT_EQ(raw, INT64_MAX);
  // Putting a value into a record: integers exactly, floats cut toward zero.
  table.SetFieldVariant(table.ActiveBuffer(), F("li"), TValue::Integer(big));
  EXPECT_EQ(F("li").AsLargeInt(), big);
  table.SetFieldVariant(table.ActiveBuffer(), F("li"), TValue::Float(-7.9));
  EXPECT_EQ(F("li").AsLargeInt(), -7);
  EXPECT_THROW(table.SetFieldVariant(table.ActiveBuffer(), F("li"), TValue::Float(1e19)), ERangeError);
}

TEST_F(FieldValues, BooleanFloatCurrencyAndBcd) {
  F("b").SetAsString("true");
  EXPECT_TRUE(F("b").AsBoolean());
  EXPECT_EQ(F("b").AsString(), "True");
  EXPECT_THROW(F("b").SetAsString("maybe"), EConvertError);
  F("f").SetAsString("1.5e3");
  EXPECT_EQ(F("f").AsFloat(), 1500.0);
  EXPECT_THROW(F("f").SetAsString("x"), EConvertError);
  F("cur").SetAsCurrency(12345);
  EXPECT_DOUBLE_EQ(F("cur").AsFloat(), 1.2345);
  EXPECT_EQ(F("cur").AsCurrency(), 12345);
  F("bcd").SetAsFloat(-1.2345);
  EXPECT_EQ(F("bcd").AsCurrency(), -12345);
  EXPECT_EQ(F("bcd").AsString(), "-1.2345");
  int64_t fromBytes = 0;
  ASSERT_TRUE(BcdToCurrency(Bytes("bcd"), fromBytes));
  EXPECT_EQ(fromBytes, -12345);
  F("fmt").SetAsString("42");
  EXPECT_EQ(F("fmt").AsInteger(), 42);
  // An amount beyond the currency range is refused when it is set, so that
  // every stored amount saves; the old value stays.
  for (const char* name : {"cur", "bcd"}) {
    SCOPED_TRACE(name);
    F(name).SetAsFloat(900000000000000.0);
    EXPECT_EQ(F(name).AsCurrency(), int64_t{9000000000000000000});
    EXPECT_THROW(F(name).SetAsFloat(1e17), Exception);
    EXPECT_THROW(F(name).SetAsString("922337203685477.5807"), Exception);
    EXPECT_THROW(F(name).SetAsFloat(std::nan("")), Exception);
    EXPECT_EQ(F(name).AsCurrency(), int64_t{9000000000000000000});
  }
}

TEST_F(FieldValues, DatesKeepTheRecordForms) {
  // 2000-01-01 is day 36526 after 1899-12-30; 730120 after 0001-01-01 (day 1).
  F("d").SetAsString("2000-01-01");
  EXPECT_EQ(F("d").AsDateTime(), 36526.0);
  int32_t day = 0;
  std::memcpy(&day, Bytes("d"), 4);
  EXPECT_EQ(day, 730120);
  F("t").SetAsString("06:00:00");
  int32_t ms = 0;
  std::memcpy(&ms, Bytes("t"), 4);
  EXPECT_EQ(ms, 21600000);
  EXPECT_DOUBLE_EQ(F("t").AsDateTime(), 0.25);
  F("dt").SetAsDateTime(36526.5);
  double msecs = 0;
  std::memcpy(&msecs, Bytes("dt"), 8);
  EXPECT_EQ(msecs, 730120.0 * 86400000.0 + 43200000.0);
  EXPECT_EQ(F("dt").AsString(), "2000-01-01 12:00:00");
  F("dt").SetAsString("31.12.1899 18:00");
  EXPECT_DOUBLE_EQ(F("dt").AsDateTime(), 1.75);
  F("dt").SetAsDateTime(-1.25);  // before the epoch the fraction counts forward
  EXPECT_DOUBLE_EQ(F("dt").AsDateTime(), -1.25);
  EXPECT_THROW(F("d").SetAsString("2001-02-29"), EConvertError);
  F("ts").SetAsString("2024-02-29 23:59:58");
  const TSQLTimeStamp stamp = F("ts").Value().ToTimeStamp();
  EXPECT_EQ(stamp.Year, 2024);
  EXPECT_EQ(stamp.Month, 2);
  EXPECT_EQ(stamp.Day, 29);
  EXPECT_EQ(stamp.Second, 58);
  EXPECT_EQ(F("ts").AsString(), "2024-02-29 23:59:58");
  EXPECT_EQ(F("ts").AsDateTime(), F("ts").AsFloat());
}

TEST_F(FieldValues, TextAndBytes) {
  F("s").SetAsString("0123456789abc");
  EXPECT_EQ(F("s").AsString(), "0123456789");
  F("s").SetAsString("\xC0\xE1\xE2");  // code-page bytes pass unchanged
  EXPECT_EQ(F("s").AsString(), "\xC0\xE1\xE2");
  F("s").SetAsString("12");
  EXPECT_EQ(F("s").AsInteger(), 12);
  F("s").SetAsString("x");
  EXPECT_THROW(F("s").AsInteger(), EConvertError);
  F("fc").SetAsString("abcdef");
  EXPECT_EQ(F("fc").AsString(), "abcd");
  F("by").SetAsString(std::string("\x01\x00\x02", 3));
  EXPECT_EQ(F("by").AsString(), std::string("\x01\x00\x02\x00", 4));
  F("vb").SetAsString(std::string("\x00\xFF", 2));
  EXPECT_EQ(F("vb").AsString(), std::string("\x00\xFF", 2));
  EXPECT_EQ(Bytes("vb")[0], 2);
}

TEST_F(FieldValues, SetFieldVariantsChecksItsValues) {
  table.SetFieldVariants(table.ActiveBuffer(), "i;s", TValue::Array({TValue::Integer(5), TValue::String("v")}));
  EXPECT_EQ(F("i").AsInteger(), 5);
  EXPECT_EQ(F("s").AsString(), "v");
  table.SetFieldVariants(table.ActiveBuffer(), "s", TValue::Null());
  EXPECT_TRUE(F("s").IsNull());
  auto message = [&](const char* names, const TValue& values) {
    try {
      table.SetFieldVariants(table.ActiveBuffer(), names, values);
    } catch (const EMemTableError& e) {
      return e.Message();
    }
    return std::string("<no error>");
  };
  EXPECT_EQ(message("i;s", TValue::Integer(1)), "More fields than values");
  EXPECT_EQ(message("i;s", TValue::Array({TValue::Integer(1)})), "More fields than values");
  EXPECT_EQ(message("", TValue::Integer(1)), "There must be at least one field");
  EXPECT_EQ(message("i", TValue::Array({TValue::Array({TValue::Integer(1)})})),
            "Values variant array has invalid dimension count");
  // Blob fields take the value's bytes; empty bytes make them null.
  table.SetFieldVariant(table.ActiveBuffer(), F("memo"), TValue::String("blob"));
  EXPECT_EQ(F("memo").AsString(), "blob");
  table.SetFieldVariant(table.ActiveBuffer(), F("memo"), TValue::String(""));
  EXPECT_TRUE(F("memo").IsNull());
}

TEST(FieldReads, AnOutOfLineValueWithNowhereToComeFromIsAnInvalidRecord) {
  auto answers = testing::MakeAnswers();
  answers->SetPerformance(mtpfBalanced);
  answers->Open();
  TRecord* record = answers->Store().AllocRecord();
  uint8_t* slot = answers->Store().FieldSlot(record, answers->FieldNamed("a1"));
  slot[0] = kSlotPresent;  // a value, but no block and no stored record to share
  answers->SetOverrideRecord(record);
  EXPECT_FALSE(answers->FieldNamed("a1").IsNull());  // asking is fine
  try {
    answers->FieldNamed("a1").AsString();
    FAIL();
  } catch (const EMemTableInvalidRecord& e) {
    EXPECT_EQ(e.Message(), "Invalid record ");
  }
  answers->SetOverrideRecord(nullptr);
  answers->Store().FreeRecord(record, true, false);
}

TEST(FieldEvents, DefaultsValidationChangeAndCalculatedFields) {
  TdvoMemTable table("ev");
  auto& price = table.AddField<TFloatField>("price");
  auto& qty = table.AddField<TIntegerField>("qty");
  qty.SetDefaultExpression("1");
  auto& total = table.AddField<TFloatField>("total");
  total.SetFieldKind(fkCalculated);
  table.OnCalcFields = [&](TDataSet&) { total.SetAsFloat(price.AsFloat() * qty.AsInteger()); };
  int changes = 0;
  price.OnChange = [&](TField&) { ++changes; };
  price.OnValidate = [](TField& f) {
    if (f.AsFloat() < 0) throw EDatabaseError("negative price");
  };
  table.Open();
  EXPECT_EQ(table.FieldDefs().Count(), 2);  // calculated fields have no definition
  table.Append();
  EXPECT_EQ(qty.AsInteger(), 1);
  price.SetAsFloat(2.5);
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(price.SetAsFloat(-1), EDatabaseError);
  EXPECT_EQ(price.AsFloat(), 2.5);
  qty.SetAsInteger(4);
  EXPECT_EQ(total.AsFloat(), 10.0);
  table.Post();
  table.First();
  EXPECT_EQ(total.AsFloat(), 10.0);  // computed again on fetch
}

TEST(FieldEvents, StructuredFieldsNumberTheirChildren) {
  TdvoMemTable table("adt");
  table.FieldDefs().Add("id", ftInteger);
  TFieldDef& point = table.FieldDefs().Add("pt", ftADT);
  point.ChildDefs().Add("x", ftInteger);
  point.ChildDefs().Add("y", ftInteger);
  TFieldDef& list = table.FieldDefs().Add("arr", ftArray, 3);
  list.ChildDefs().Add("arr", ftSmallint);
  table.FieldDefs().Add("tail", ftString, 5);
  table.Open();
  auto& pt = dynamic_cast<TObjectField&>(table.FieldNamed("pt"));
  auto& arr = dynamic_cast<TObjectField&>(table.FieldNamed("arr"));
  ASSERT_EQ(pt.ChildCount(), 2);
  ASSERT_EQ(arr.ChildCount(), 3);
  EXPECT_EQ(table.FieldNamed("id").FieldNo(), 1);
  EXPECT_EQ(pt.FieldNo(), 2);
  EXPECT_EQ(pt.Child(1).FieldNo(), 4);
  EXPECT_EQ(arr.Child(2).FieldNo(), 8);
  EXPECT_EQ(table.FieldNamed("tail").FieldNo(), 9);
  EXPECT_EQ(&table.FieldNamed("pt.y"), &pt.Child(1));
  EXPECT_EQ(arr.Child(1).FieldName(), "arr[1]");
  table.Append();
  pt.Child(0).SetAsInteger(3);
  arr.SetValue(TValue::Array({TValue::Integer(1), TValue::Integer(2), TValue::Integer(3)}));
  table.FieldNamed("tail").SetAsString("end");
  table.Post();
  EXPECT_EQ(pt.Child(0).AsInteger(), 3);
  EXPECT_EQ(arr.Child(2).AsInteger(), 3);
  EXPECT_EQ(table.FieldNamed("tail").AsString(), "end");
  table.Close();
  EXPECT_EQ(table.FieldCount(), 0);  // children go with their automatic parents
}

TEST(FieldEvents, PersistentStructuredFieldsGiveBackTheirDefinitions) {
  TdvoMemTable table("adt");
  table.AddField<TIntegerField>("id");
  auto& pt = table.AddField<TADTField>("pt");
  auto x = std::make_unique<TIntegerField>();
  x->SetFieldName("x");
  pt.AddChild(std::move(x));
  table.Open();
  ASSERT_EQ(table.FieldDefs().Count(), 2);
  EXPECT_EQ(table.FieldDefs()[1].ChildDefs().Count(), 1);
  EXPECT_EQ(pt.Child(0).FieldNo(), 3);
  table.Append();
  pt.Child(0).SetAsInteger(9);
  table.Post();
  EXPECT_EQ(table.FieldNamed("PT.X").AsInteger(), 9);
}

}  // namespace
}  // namespace ts

namespace ts {
namespace {

// The field list is kept between calls: every change to the fields shows.
TEST(FieldListKept, FollowsAddedMovedAndChildFields) {
  TdvoMemTable table("t");
  TField& a = table.AddField<TIntegerField>("a");
  auto names = [&table] {
    std::string out;
    for (TField* f : table.FieldList()) out += f->FieldName() + ",";
    return out;
  };
  EXPECT_EQ(names(), "a,");
  TADTField& adt = table.AddField<TADTField>("adt");
  EXPECT_EQ(names(), "a,adt,");
  auto child = std::make_unique<TIntegerField>();
  child->SetFieldName("x");
  adt.AddChild(std::move(child));
  EXPECT_EQ(names(), "a,adt,x,");
  table.SetFieldIndex(a, 1);
  EXPECT_EQ(names(), "adt,x,a,");
  table.DestroyFields();
  EXPECT_EQ(names(), "");
}

}  // namespace
}  // namespace ts
