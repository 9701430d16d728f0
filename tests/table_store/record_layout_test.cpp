#include <gtest/gtest.h>

#include <cstring>

#include "fake_table.h"
#include "table_store/errors.h"
#include "table_store/record_store.h"
#include "table_store/value_block.h"

namespace ts {
namespace {

using testing::Def;
using testing::TFakeTable;

// a Integer, b String(20), c Blob, d String(5), e ADT{x SmallInt, y String(13)},
// f Array(2){z Word}: field numbers 1..10 (z twice).
std::vector<TFieldDefDesc> MixedDefs() {
  return {Def("a", ftInteger),
          Def("b", ftString, 20),
          Def("c", ftBlob),
          Def("d", ftString, 5),
          Def("e", ftADT, 0, {Def("x", ftSmallint), Def("y", ftString, 13)}),
          Def("f", ftArray, 2, {Def("z", ftWord)})};
}

class RecordLayoutTest : public ::testing::Test {
 protected:
  TFakeTable table;
  TdvoCommon store{&table};
};

TEST(ValueBlockTest, LengthPrefixedZeroFilledCopies) {
  TValueBlock b = NewValueBlock(5);
  EXPECT_EQ(ValueBlockLength(b), 5);
  EXPECT_EQ(b[0], 5);  // little-endian prefix
  EXPECT_EQ(b[1] | b[2] | b[3], 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ValueBlockData(b)[i], 0);
  TValueBlock m = MakeValueBlock("hello", 5);
  TValueBlock c = CopyValueBlock(m);
  ASSERT_NE(c, m);
  EXPECT_EQ(std::memcmp(ValueBlockData(c), "hello", 5), 0);
  TValueBlock big = NewValueBlock(0x12345);
  EXPECT_EQ(big[0], 0x45);
  EXPECT_EQ(big[1], 0x23);
  EXPECT_EQ(big[2], 0x01);
  EXPECT_EQ(ValueBlockLength(big), 0x12345);
  EXPECT_EQ(CopyValueBlock(nullptr), nullptr);
  EXPECT_THROW(NewValueBlock(-1), ERangeError);
  FreeValueBlock(nullptr);
  for (TValueBlock x : {b, m, c, big}) FreeValueBlock(x);
}

TEST(ValueBlockTest, BlocksFilledAfterwardKeepTheirBytesWhenCut) {
  // Small and large-page sized blocks, cut in place and across a large page.
  for (int32_t n : {3, 5 << 20}) {
    TValueBlock b = NewValueBlockForOverwrite(n);
    ASSERT_EQ(ValueBlockLength(b), n);
    for (int32_t i = 0; i < n; ++i) ValueBlockData(b)[i] = static_cast<uint8_t>(i * 7);
    const int32_t kept = n / 3 + 1;
    b = ShrinkValueBlock(b, kept);
    EXPECT_EQ(ValueBlockLength(b), kept);
    int32_t differ = 0;
    for (int32_t i = 0; i < kept; ++i) differ += ValueBlockData(b)[i] != static_cast<uint8_t>(i * 7);
    EXPECT_EQ(differ, 0) << n;
    FreeValueBlock(b);
  }
  EXPECT_THROW(NewValueBlockForOverwrite(-1), ERangeError);
}

TEST_F(RecordLayoutTest, FastKeepsEverythingButBlobsInLine) {
  table.defs = MixedDefs();
  table.calcSize = 8;
  store.BuildRecordLayout();
  EXPECT_EQ(store.FieldCount(), 10);
  const int32_t expected[] = {0, 5, 77, 27, 34, 35, 38, 53, 54, 57};
  for (int n = 1; n <= 10; ++n) EXPECT_EQ(store.FieldOffset(n), expected[n - 1]) << "field " << n;
  for (int n = 1; n <= 10; ++n) EXPECT_EQ(store.FieldFlags(n), n == 3 ? kFieldOutOfLine : 0) << n;
  EXPECT_EQ(store.CalcStart(), 60);
  EXPECT_EQ(store.BookmarkStart(), 68);
  EXPECT_EQ(store.OutOfLineStart(), 77);
  EXPECT_EQ(store.CopySize(), 77);
  EXPECT_EQ(store.OutOfLineCount(), 1);
  EXPECT_EQ(store.ValueAreaSize(), 77 + kOutOfLineSlotSize);
  EXPECT_EQ(store.RecordSize(), static_cast<int32_t>(sizeof(TRecord)) + store.ValueAreaSize());
  EXPECT_EQ(store.LayoutFieldType(10), ftWord);
  EXPECT_EQ(store.LayoutFieldSize(2), 20);
}

TEST_F(RecordLayoutTest, BalancedAndSmallMoveLongTextOutOfLine) {
  for (TdvoPerformance p : {mtpfBalanced, mtpfSmall}) {
    TFakeTable t;
    TdvoCommon s(&t);
    s.SetPerformance(p);
    t.defs = MixedDefs();
    t.calcSize = 8;
    s.BuildRecordLayout();
    EXPECT_EQ(s.FieldCount(), 10);
    // Out of line, in definition order: b (2), c (3), y (7), after fixed 23 + calc 8 + one cell.
    const int32_t expected[] = {0, 40, 49, 5, 12, 13, 58, 16, 17, 20};
    for (int n = 1; n <= 10; ++n) EXPECT_EQ(s.FieldOffset(n), expected[n - 1]) << "field " << n;
    const uint8_t ool = p == mtpfSmall ? kFieldOutOfLine | kFieldCompressed : kFieldOutOfLine;
    for (int n = 1; n <= 10; ++n)
      EXPECT_EQ(s.FieldFlags(n), (n == 2 || n == 3 || n == 7) ? ool : 0) << "field " << n;
    EXPECT_EQ(s.CalcStart(), 23);
    EXPECT_EQ(s.OutOfLineStart(), 40);
    EXPECT_EQ(s.OutOfLineCount(), 3);
    EXPECT_EQ(s.ValueAreaSize(), 40 + 3 * kOutOfLineSlotSize);
  }
}

TEST_F(RecordLayoutTest, TwelveCharactersStayInLineThirteenDoNot) {
  store.SetPerformance(mtpfBalanced);
  table.defs = {Def("s12", ftString, 12), Def("s13", ftString, 13), Def("b13", ftBytes, 13),
                Def("v13", ftVarBytes, 13), Def("f13", ftFixedChar, 13)};
  store.BuildRecordLayout();
  EXPECT_FALSE(store.IsOutOfLine(1));
  for (int n = 2; n <= 5; ++n) EXPECT_TRUE(store.IsOutOfLine(n)) << n;
}

TEST_F(RecordLayoutTest, BookmarkPartHasOneCellPerAttachSlot) {
  store.SetAttachMaxCount(3);
  table.defs = {Def("a", ftInteger)};
  store.BuildRecordLayout();
  EXPECT_EQ(store.BookmarkCellCount(), 3);
  EXPECT_EQ(store.OutOfLineStart(), 5 + 3 * kBookmarkCellSize);
  TRecord* r = store.AllocRecord();
  TRecord* other = store.AllocRecord();
  store.SetBookmarkRecord(r, 2, other);
  store.SetBookmarkFlag(r, 2, 7);
  EXPECT_EQ(store.BookmarkRecord(r, 2), other);
  EXPECT_EQ(store.BookmarkFlag(r, 2), 7);
  EXPECT_EQ(store.BookmarkRecord(r, 0), nullptr);
  EXPECT_EQ(store.BookmarkFlag(r, 1), 0);
  EXPECT_THROW(store.BookmarkRecord(r, 3), ERangeError);
  EXPECT_THROW(store.SetBookmarkFlag(r, -1, 1), ERangeError);
  store.FreeRecord(r, true, true);
  store.FreeRecord(other, true, true);
}

TEST_F(RecordLayoutTest, FailuresNameTheProblemAndKeepThePreviousLayout) {
  try {
    store.BuildRecordLayout();
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_EQ(e.Message(), "There must be at least one field");
  }
  table.defs = {Def("a", ftInteger)};
  store.BuildRecordLayout();
  const int32_t size = store.RecordSize();

  TFieldDefDesc wide = Def("w", ftWideString, 24);
  wide.DisplayName = "Wide 100%";
  table.defs = {Def("a", ftInteger), wide};
  try {
    store.BuildRecordLayout();
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_EQ(e.Message(), "Fielddef w (Wide 100%) Datatype 24 not supported.");
  }
  // An unsupported child is found too.
  table.defs = {Def("e", ftADT, 0, {Def("g", ftGuid)})};
  EXPECT_THROW(store.BuildRecordLayout(), EMemTableError);
  EXPECT_EQ(store.FieldCount(), 1);
  EXPECT_EQ(store.RecordSize(), size);
}

TEST_F(RecordLayoutTest, MoreFieldNumbersThanTheTablesHoldIsAnError) {
  table.defs.clear();
  for (int i = 0; i < kMaxFields; ++i) table.defs.push_back(Def("f" + std::to_string(i), ftSmallint));
  store.BuildRecordLayout();
  EXPECT_EQ(store.FieldCount(), kMaxFields);
  EXPECT_EQ(store.FieldOffset(kMaxFields), (kMaxFields - 1) * 3);

  table.defs.push_back(Def("one_too_many", ftSmallint));
  try {
    store.BuildRecordLayout();
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_EQ(e.Message(), "Too many fields. A record holds at most 256 fields.");
  }
  // An array repeats its children: 1 + 300 field numbers.
  table.defs = {Def("arr", ftArray, 300, {Def("v", ftInteger)})};
  EXPECT_THROW(store.BuildRecordLayout(), EMemTableError);
  EXPECT_EQ(store.FieldCount(), kMaxFields);  // the earlier layout stands
  // Numbers outside the tables read as nothing rather than as memory.
  EXPECT_EQ(store.FieldFlags(0), 0);
  EXPECT_EQ(store.FieldFlags(kMaxFields + 1), 0);
  EXPECT_EQ(store.FieldOffset(-5), 0);
}

TEST_F(RecordLayoutTest, RecordTooLargeToAddressIsAnError) {
  table.defs = {Def("huge", ftString, 2147483647)};
  EXPECT_THROW(store.BuildRecordLayout(), EMemTableError);
  table.defs = {Def("a", ftString, 1000000000), Def("b", ftString, 1000000000),
                Def("c", ftString, 1000000000)};
  EXPECT_THROW(store.BuildRecordLayout(), EMemTableError);
}

TEST_F(RecordLayoutTest, SecondLayoutKeepsOutOfLineBitsButPlacesEveryChild) {
  store.SetPerformance(mtpfBalanced);
  table.defs = {Def("a", ftInteger), Def("b", ftString, 20)};
  store.BuildRecordLayout();
  ASSERT_TRUE(store.IsOutOfLine(2));

  // Field number 2 is now an ADT: the old bit must not swallow its children.
  table.defs = {Def("a", ftInteger), Def("e", ftADT, 0, {Def("x", ftInteger), Def("y", ftInteger)}),
                Def("z", ftInteger)};
  store.BuildRecordLayout();
  EXPECT_EQ(store.FieldCount(), 5);
  const int32_t expected[] = {0, 5, 6, 11, 16};
  for (int n = 1; n <= 5; ++n) {
    EXPECT_EQ(store.FieldOffset(n), expected[n - 1]) << "field " << n;
    EXPECT_FALSE(store.IsOutOfLine(n)) << "field " << n;
  }
  EXPECT_EQ(store.OutOfLineCount(), 0);

  // An ordinary field at a number that was out of line stays out of line.
  table.defs = {Def("a", ftInteger), Def("b", ftString, 20)};
  store.BuildRecordLayout();
  table.defs = {Def("a", ftInteger), Def("n", ftInteger)};
  store.BuildRecordLayout();
  EXPECT_TRUE(store.IsOutOfLine(2));
  EXPECT_EQ(store.FieldOffset(2), store.OutOfLineStart());
}

TEST_F(RecordLayoutTest, SetupFieldEventDecidesForLongNonBlobFields) {
  store.SetPerformance(mtpfBalanced);
  std::vector<int> asked;
  table.onSetupField = [&](int fieldNo, const TFieldDefDesc& def, uint8_t& flags) {
    asked.push_back(fieldNo);
    EXPECT_EQ(flags & kFieldOutOfLine, kFieldOutOfLine);
    if (def.Name == "keep") flags &= static_cast<uint8_t>(~kFieldOutOfLine);
    if (def.Name == "pack") flags |= kFieldCompressed;
  };
  table.defs = {Def("keep", ftString, 40), Def("pack", ftString, 40), Def("blob", ftMemo),
                Def("short", ftString, 4)};
  store.BuildRecordLayout();
  EXPECT_EQ(asked, (std::vector<int>{1, 2}));  // not for the blob, not for the short text
  EXPECT_FALSE(store.IsOutOfLine(1));
  EXPECT_EQ(store.FieldOffset(1), 0);
  EXPECT_EQ(store.FieldFlags(2), kFieldOutOfLine | kFieldCompressed);
  EXPECT_EQ(store.FieldFlags(3), kFieldOutOfLine);
  EXPECT_EQ(store.FieldOffset(4), 42);
}

TEST_F(RecordLayoutTest, LayoutClearsModifiedBitsAndDataModified) {
  table.defs = {Def("a", ftInteger), Def("b", ftInteger)};
  store.BuildRecordLayout();
  store.SetFieldModified(2);
  store.SetDataModified(true);
  EXPECT_TRUE(store.IsFieldModified(2));
  store.BuildRecordLayout();
  EXPECT_FALSE(store.IsFieldModified(2));
  EXPECT_FALSE(store.DataModified());
  store.SetFieldModified(300);  // outside the table: ignored
}

TEST_F(RecordLayoutTest, FieldSlotAddressesFixedCalculatedAndOutOfLineParts) {
  store.SetPerformance(mtpfBalanced);
  table.defs = {Def("a", ftInteger), Def("b", ftString, 30)};
  table.calcSize = 10;
  store.BuildRecordLayout();
  TRecord* r = store.AllocRecord();
  EXPECT_EQ(store.FieldSlot(r, TFieldInfo(1, ftInteger, 0)), r->Values());
  EXPECT_EQ(store.FieldSlot(r, TFieldInfo(2, ftString, 30)), r->Values() + store.OutOfLineStart());
  EXPECT_EQ(store.FieldSlot(r, TFieldInfo(0, ftInteger, 0, 4)), r->Values() + store.CalcStart() + 4);
  EXPECT_EQ(store.FieldSlot(r, TFieldInfo(0, ftInteger, 0, 10)), nullptr);  // past the calc buffer
  EXPECT_EQ(store.FieldSlot(r, TFieldInfo(3, ftInteger, 0)), nullptr);      // not in this layout
  EXPECT_EQ(store.FieldSlot(static_cast<TRecord*>(nullptr), TFieldInfo(1, ftInteger, 0)), nullptr);
  store.FreeRecord(r, true, true);
}

}  // namespace
}  // namespace ts
