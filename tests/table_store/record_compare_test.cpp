#include <gtest/gtest.h>

#include <cstring>

#include "fake_table.h"
#include "table_store/compare.h"
#include "table_store/errors.h"
#include "table_store/record_store.h"

namespace ts {
namespace {

using testing::Def;
using testing::TFakeTable;

// n Integer (1), s String(20) out of line (2), t String(8) in line (3),
// and a calculated Integer at offset 2 of a 10-byte calculated buffer.
class CompareRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.defs = {Def("n", ftInteger), Def("s", ftString, 20), Def("t", ftString, 8)};
    table.calcSize = 10;
    store.SetPerformance(mtpfBalanced);
    store.BuildRecordLayout();
    a = store.AllocRecord();
    b = store.AllocRecord();
  }
  void TearDown() override {
    store.FreeRecord(a, true, true);
    store.FreeRecord(b, true, true);
    store.EmptyStore();
  }
  void SetInt(TRecord* r, int32_t v, const TFieldInfo& f) {
    uint8_t* slot = store.FieldSlot(r, f);
    slot[0] = kSlotPresent;
    std::memcpy(slot + 1, &v, 4);
  }
  void SetText(TRecord* r, const char* text) {  // field s, out of line
    uint8_t* slot = store.FieldSlotOf(r, 2);
    FreeValueBlock(SlotBlock(slot));
    SetSlotBlock(slot, MakeValueBlock(text, static_cast<int32_t>(std::strlen(text) + 1)));
    slot[0] = kSlotPresent;
  }
  void SetInline(TRecord* r, const char* text) {  // field t, in line
    uint8_t* slot = store.FieldSlotOf(r, 3);
    ASSERT_NE(slot, nullptr);
    std::memset(slot + 1, 0, 9);
    std::memcpy(slot + 1, text, std::strlen(text));
    slot[0] = kSlotPresent;
  }
  int Compare(const TdvoFieldList& list, int stopRule = 0, bool ignoreNull = false, bool partial = false,
              int limit = 0) {
    return store.CompareRecords(list, limit, a, b, ignoreNull, partial, stopRule);
  }

  TFakeTable table;
  TdvoCommon store{&table};
  TFieldInfo n{1, ftInteger, 0};
  TFieldInfo s{2, ftString, 20};
  TFieldInfo t{3, ftString, 8};
  TFieldInfo calc{0, ftInteger, 0, 2};
  TRecord* a = nullptr;
  TRecord* b = nullptr;
};

TEST_F(CompareRecordsTest, NullSortsFirstWhateverTheDirection) {
  TdvoFieldList list;
  list.AddField(&n, 0);
  SetInt(b, 5, n);
  EXPECT_EQ(Compare(list), -1);  // a null, b 5
  list.SetOptionsAt(0, mtcoDescending);
  EXPECT_EQ(Compare(list), -1);
  SetInt(a, 3, n);
  EXPECT_EQ(Compare(list), 1);  // 3 vs 5 descending
  store.FieldSlot(b, n)[0] = kSlotNull;
  EXPECT_EQ(Compare(list), 1);  // value vs null: after, descending or not
  store.FieldSlot(a, n)[0] = kSlotNull;
  EXPECT_EQ(Compare(list), 0);
}

TEST_F(CompareRecordsTest, NullKeyFieldsArePassedOverWhenAsked) {
  TdvoFieldList list;
  list.AddField(&n, 0);
  list.AddField(&t, 0);
  SetInt(b, 5, n);
  SetInline(a, "abc");
  SetInline(b, "abd");
  EXPECT_EQ(Compare(list), -1);                      // decided by the null
  EXPECT_EQ(Compare(list, 0, /*ignoreNull=*/true), -1);  // decided by t: abc < abd
  SetInline(a, "abd");
  EXPECT_EQ(Compare(list, 0, true), 0);
  list.SetOptionsAt(0, mtcoIgnoreNullKey);
  SetInline(a, "abe");
  EXPECT_EQ(Compare(list), 1);
  // A null field of the record side is not passed over.
  TdvoFieldList reversed;
  reversed.AddField(&n, mtcoIgnoreNullKey);
  std::swap(a, b);
  EXPECT_EQ(Compare(reversed), 1);
  std::swap(a, b);
}

TEST_F(CompareRecordsTest, FirstDifferenceDecidesAndLimitCutsTheList) {
  TdvoFieldList list;
  list.AddField(&n, 0);
  list.AddField(&t, mtcoIgnoreLocale);
  SetInt(a, 1, n);
  SetInt(b, 1, n);
  SetInline(a, "b");
  SetInline(b, "a");
  EXPECT_GT(Compare(list), 0);
  EXPECT_EQ(Compare(list, 0, false, false, /*limit=*/1), 0);
  SetInt(a, 0, n);
  EXPECT_EQ(Compare(list), -1);
  TdvoFieldList empty;
  EXPECT_EQ(Compare(empty), 0);
  EXPECT_EQ(store.CompareRecords(list, 0, nullptr, b, false, false, 0), 0);
}

TEST_F(CompareRecordsTest, PartialMatchEndsAsEqual) {
  TdvoFieldList list;
  list.AddField(&t, mtcoIgnoreLocale);
  list.AddField(&n, 0);
  SetInline(a, "ab");
  SetInline(b, "abc");
  SetInt(a, 1, n);
  SetInt(b, 2, n);
  // The partial match of a longer value stops the walk: n is never looked at.
  EXPECT_EQ(Compare(list, 0, false, /*partial=*/true), 0);
  EXPECT_LT(Compare(list), 0);
}

TEST_F(CompareRecordsTest, StopRulesIgnoreDescending) {
  TdvoFieldList list;
  list.AddField(&n, mtcoDescending);
  list.AddField(&t, mtcoIgnoreLocale);
  SetInt(a, 1, n);
  SetInt(b, 2, n);
  SetInline(a, "z");
  SetInline(b, "a");
  EXPECT_EQ(Compare(list, 0), 1);   // descending applies
  EXPECT_EQ(Compare(list, 1), -1);  // stops at < 0
  EXPECT_GT(Compare(list, 2), 0);   // n gives -1, goes on; t gives > 0
  EXPECT_EQ(Compare(list, 3), -1);
  EXPECT_GT(Compare(list, 4), 0);
  SetInt(a, 2, n);
  SetInline(a, "a");
  EXPECT_EQ(Compare(list, 1), 0);  // nothing stopped it: the last result
  EXPECT_EQ(Compare(list, 3), 0);  // stops at the first 0
}

TEST_F(CompareRecordsTest, BufferSharesTheStoredOutOfLineValue) {
  TdvoFieldList list;
  list.AddField(&s, mtcoIgnoreLocale);
  TRecord* stored = store.AllocRecord();
  SetText(stored, "stored");
  store.StoreRecord(stored);
  store.CopyRecord(stored, a);  // a shares the stored value: state set, no block
  ASSERT_EQ(SlotBlock(store.FieldSlotOf(a, 2)), nullptr);
  SetText(b, "stored");
  EXPECT_EQ(Compare(list), 0);
  SetText(b, "storeD");
  EXPECT_GT(Compare(list), 0);
  // A buffer that was never stored has nothing to share.
  a->SlotIndex = -1;
  try {
    Compare(list);
    FAIL() << "no error";
  } catch (const EMemTableInvalidRecord& e) {
    EXPECT_EQ(e.Message(), "Invalid record ");
  }
  a->SlotIndex = 57;  // a slot the store does not have
  EXPECT_THROW(Compare(list), EMemTableInvalidRecord);
  a->SlotIndex = stored->SlotIndex;
}

TEST_F(CompareRecordsTest, LocaleComesFromTheStore) {
  TdvoFieldList list;
  list.AddField(&t, 0);
  SetInline(a, "a");
  SetInline(b, "B");
  store.SetLocaleID(1033);
  EXPECT_EQ(Compare(list), -1);
  store.SetLocaleID(0x7FFF);
  EXPECT_THROW(Compare(list), EMemTableInvalidLocale);
  list.SetOptionsAt(0, mtcoIgnoreLocale);
  EXPECT_GT(Compare(list), 0);
  // The store keeps the collation it looked up until its locale changes,
  // also through the parts of the locale.
  list.SetOptionsAt(0, 0);
  store.SetLanguageID(9);
  store.SetSubLanguageID(1);
  ASSERT_EQ(store.LocaleID(), 1033);
  EXPECT_EQ(Compare(list), -1);
}

TEST_F(CompareRecordsTest, CalculatedFieldsLiveInTheCalculatedBuffer) {
  TdvoFieldList list;
  list.AddField(&calc, 0);
  SetInt(a, 10, calc);
  SetInt(b, 9, calc);
  EXPECT_EQ(store.FieldSlot(a, calc), a->Values() + store.CalcStart() + 2);
  EXPECT_EQ(Compare(list), 1);
  TFieldInfo outside{0, ftInteger, 0, 10};
  TdvoFieldList bad;
  bad.AddField(&outside, 0);
  EXPECT_THROW(Compare(bad), EMemTableError);
  TFieldInfo unknown{9, ftInteger, 0};
  TdvoFieldList bad2;
  bad2.AddField(&unknown, 0);
  EXPECT_THROW(Compare(bad2), EMemTableError);
}

TEST_F(CompareRecordsTest, CompareEventReplacesTheBuiltInOrder) {
  TdvoFieldList list;
  list.AddField(&s, mtcoCaseInsensitive);
  SetText(a, "x");
  SetText(b, "y");
  int calls = 0;
  table.onCompareFields = [&](const void* key, const void* value, TFieldType type, int options, bool&,
                              int& result) {
    ++calls;
    EXPECT_STREQ(static_cast<const char*>(key), "x");
    EXPECT_STREQ(static_cast<const char*>(value), "y");
    EXPECT_EQ(type, ftString);
    EXPECT_EQ(options, mtcoCaseInsensitive | mtcoPartialKey);
    EXPECT_EQ(result, 0);
    result = 42;
  };
  EXPECT_EQ(Compare(list, 0, false, /*partial=*/true), 42);
  EXPECT_EQ(calls, 1);
  // Nulls never reach the event.
  store.FieldSlotOf(a, 2)[0] = kSlotNull;
  EXPECT_EQ(Compare(list), -1);
  EXPECT_EQ(calls, 1);
}

TEST_F(CompareRecordsTest, CompressedValuesAreDecompressedKeyFirst) {
  TFakeTable t2;
  TdvoCommon small(&t2);
  small.SetPerformance(mtpfSmall);
  t2.defs = {Def("s", ftString, 20)};
  small.BuildRecordLayout();
  ASSERT_TRUE(small.IsCompressed(1));
  TRecord* x = small.AllocRecord();
  TRecord* y = small.AllocRecord();
  auto set = [&](TRecord* r, const char* text) {
    uint8_t* slot = small.FieldSlotOf(r, 1);
    SetSlotBlock(slot, MakeValueBlock(text, static_cast<int32_t>(std::strlen(text))));  // no terminator
    slot[0] = kSlotPresent;
  };
  set(x, "abc");
  set(y, "abd");
  TdvoFieldList list;
  TFieldInfo f{1, ftString, 20};
  list.AddField(&f, mtcoIgnoreLocale);
  // Without the event the stored bytes are used as they are, bounded by the block.
  EXPECT_LT(small.CompareRecords(list, 0, x, y, false, false, 0), 0);
  std::vector<std::string> seen;
  static const uint8_t kSame[] = "same";
  t2.onDecompressField = [&](const TFieldInfo&, const uint8_t* buffer, int32_t& size, const uint8_t*& result) {
    seen.emplace_back(reinterpret_cast<const char*>(buffer), static_cast<size_t>(size));
    result = kSame;
    size = 5;
  };
  EXPECT_EQ(small.CompareRecords(list, 0, x, y, false, false, 0), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"abc", "abd"}));
  small.FreeRecord(x, true, true);
  small.FreeRecord(y, true, true);
}

}  // namespace
}  // namespace ts
