#include "table_store/field_types.h"

#include <gtest/gtest.h>

#include <set>

namespace ts {
namespace {

TEST(FieldTypesTest, NamesRoundTripExactly) {
  for (int code = 0; code < kFieldTypeCount; ++code) {
    ASSERT_FALSE(FieldTypeName(code).empty()) << code;
    EXPECT_EQ(FieldTypeFromName(FieldTypeName(code)), code);
  }
  EXPECT_EQ(FieldTypeName(ftOraBlob), "HugeBlob");
  EXPECT_EQ(FieldTypeName(ftFMTBcd), "FMTBcdField");
  EXPECT_EQ(FieldTypeName(ftTimeStamp), "SQLTimeStamp");
  EXPECT_EQ(FieldTypeName(ftIDispatch), "Dispatch");
  EXPECT_EQ(FieldTypeFromName("string"), -1);  // case counts
  EXPECT_EQ(FieldTypeFromName("String "), -1);
  EXPECT_EQ(FieldTypeName(38), "");
  EXPECT_EQ(FieldTypeName(-1), "");
  EXPECT_EQ(FieldKindFromName("InternalCalc"), fkInternalCalc);
  EXPECT_EQ(FieldKindName(fkAggregate), "Aggregate");
  EXPECT_EQ(FieldKindFromName("data"), -1);
}

TEST(FieldTypesTest, SupportedBlobAndIndexableSets) {
  std::set<int> unsupported, blobs, indexable;
  for (int code = -1; code <= kFieldTypeCount; ++code) {
    if (!IsSupportedFieldType(code)) unsupported.insert(code);
    if (IsBlobFieldType(code)) blobs.insert(code);
    if (IsIndexableFieldType(code)) indexable.insert(code);
  }
  EXPECT_EQ(unsupported, (std::set<int>{-1, 0, 22, 24, 28, 29, 32, 33, 34, 35, 38}));
  EXPECT_EQ(blobs, (std::set<int>{15, 16, 17, 18, 19, 20, 21, 30, 31}));
  EXPECT_EQ(indexable,
            (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 23, 25, 26, 27, 36, 37}));
}

TEST(FieldTypesTest, StorageSizes) {
  EXPECT_EQ(FieldStorageSize(ftString, 20), 21);
  EXPECT_EQ(FieldStorageSize(ftFixedChar, 1), 2);
  EXPECT_EQ(FieldStorageSize(ftBytes, 20), 20);
  EXPECT_EQ(FieldStorageSize(ftVarBytes, 20), 22);
  EXPECT_EQ(FieldStorageSize(ftSmallint, 0), 2);
  EXPECT_EQ(FieldStorageSize(ftWord, 0), 2);
  EXPECT_EQ(FieldStorageSize(ftBoolean, 0), 2);
  EXPECT_EQ(FieldStorageSize(ftInteger, 0), 4);
  EXPECT_EQ(FieldStorageSize(ftAutoInc, 0), 4);
  for (TFieldType t : {ftFloat, ftCurrency, ftDate, ftTime, ftDateTime, ftLargeint})
    EXPECT_EQ(FieldStorageSize(t, 99), 8) << int(t);
  EXPECT_EQ(FieldStorageSize(ftBCD, 0), 34);
  EXPECT_EQ(FieldStorageSize(ftFMTBcd, 0), 34);
  EXPECT_EQ(FieldStorageSize(ftTimeStamp, 0), 16);
  for (TFieldType t : {ftBlob, ftMemo, ftOraClob, ftADT, ftArray, ftWideString, ftUnknown})
    EXPECT_EQ(FieldStorageSize(t, 50), 0) << int(t);
  // Sizes beyond 32 bits and below zero neither wrap nor go negative.
  EXPECT_EQ(FieldStorageSize(ftString, 2147483647), 2147483648LL);
  EXPECT_EQ(FieldStorageSize(ftString, -5), 1);
  EXPECT_EQ(FieldStorageSize(ftBytes, -5), 0);
}

TEST(FieldTypesTest, OutOfLineDependsOnSizeAndPerformance) {
  for (TFieldType t : {ftString, ftBytes, ftVarBytes, ftFixedChar}) {
    for (TdvoPerformance p : {mtpfFast, mtpfBalanced, mtpfSmall})
      EXPECT_FALSE(IsOutOfLineField(t, 12, p)) << int(t) << " " << int(p);
    EXPECT_FALSE(IsOutOfLineField(t, 13, mtpfFast)) << int(t);
    EXPECT_TRUE(IsOutOfLineField(t, 13, mtpfBalanced)) << int(t);
    EXPECT_TRUE(IsOutOfLineField(t, 13, mtpfSmall)) << int(t);
  }
  for (int t : {15, 16, 17, 18, 19, 20, 21, 30, 31}) EXPECT_TRUE(IsOutOfLineField(t, 0, mtpfFast)) << t;
  EXPECT_FALSE(IsOutOfLineField(ftInteger, 100, mtpfSmall));
  EXPECT_FALSE(IsOutOfLineField(ftADT, 100, mtpfSmall));
}

}  // namespace
}  // namespace ts
