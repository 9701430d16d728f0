#include "table_store/value.h"

#include <gtest/gtest.h>

#include "table_store/errors.h"

namespace ts {
namespace {

TEST(ValueTest, KindsAndBlankness) {
  EXPECT_TRUE(TValue().IsEmpty());
  EXPECT_TRUE(TValue().IsBlank());
  EXPECT_TRUE(TValue::Null().IsBlank());
  EXPECT_FALSE(TValue::String("").IsBlank());
  EXPECT_FALSE(TValue::Integer(0).IsBlank());
  EXPECT_EQ(TValue::Currency(12345).Kind(), TValueKind::Currency);
  EXPECT_EQ(TValue::DateTime(1.5).Kind(), TValueKind::DateTime);
  EXPECT_NE(TValue::Integer(1), TValue::Float(1.0));  // equality is by kind and payload
  EXPECT_EQ(TValue::Array({TValue::Integer(1), TValue::String("a")}),
            TValue::Array({TValue::Integer(1), TValue::String("a")}));
}

TEST(ValueTest, NumericConversions) {
  EXPECT_EQ(TValue::Currency(12345).ToFloat(), 1.2345);
  EXPECT_EQ(TValue::Float(1.2345).ToCurrency(), 12345);
  EXPECT_EQ(TValue::Float(-1.23456).ToCurrency(), -12346);  // rounds to the nearest unit
  EXPECT_EQ(TValue::Integer(7).ToCurrency(), 70000);
  EXPECT_EQ(TValue::Currency(-15000).ToInteger(), -1);  // truncates toward zero
  EXPECT_EQ(TValue::Float(-2.9).ToInteger(), -2);
  EXPECT_EQ(TValue::Boolean(true).ToInteger(), 1);
  EXPECT_EQ(TValue::String(" 42 ").ToInteger(), 42);
  EXPECT_EQ(TValue::String("2.5").ToFloat(), 2.5);
  EXPECT_EQ(TValue::String("3").ToInteger(), 3);
  EXPECT_EQ(TValue().ToInteger(), 0);
  EXPECT_THROW(TValue::Float(1e30).ToInteger(), EVariantTypeCastError);
  EXPECT_THROW(TValue::Integer(INT64_MAX).ToCurrency(), EVariantTypeCastError);
  EXPECT_THROW(TValue::String("12abc").ToInteger(), EVariantTypeCastError);
  EXPECT_THROW(TValue::String("").ToFloat(), EVariantTypeCastError);
}

TEST(ValueTest, TextAndBooleanConversions) {
  EXPECT_EQ(TValue::Boolean(false).ToString(), "False");
  EXPECT_EQ(TValue::Integer(-12).ToString(), "-12");
  EXPECT_EQ(TValue::Currency(12345).ToString(), "1.2345");
  EXPECT_EQ(TValue::Currency(-10500).ToString(), "-1.05");
  EXPECT_EQ(TValue::Currency(INT64_MIN).ToString(), "-922337203685477.5808");
  EXPECT_EQ(TValue::Float(0.1).ToString(), "0.1");
  EXPECT_TRUE(TValue::String("TRUE").ToBoolean());
  EXPECT_FALSE(TValue::String("false").ToBoolean());
  EXPECT_TRUE(TValue::String("2").ToBoolean());
  EXPECT_FALSE(TValue().ToBoolean());
  EXPECT_THROW(TValue::String("yes").ToBoolean(), EVariantTypeCastError);
}

TEST(ValueTest, NullConvertsToNothingAndNamesBothKinds) {
  try {
    TValue::Null().ToBoolean();
    FAIL() << "no error";
  } catch (const EVariantTypeCastError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Boolean)");
  }
  EXPECT_THROW(TValue::Null().ToString(), EVariantTypeCastError);
  EXPECT_THROW(TValue::Array({}).ToInteger(), EVariantTypeCastError);
  EXPECT_THROW(TValue::Integer(1).ToTimeStamp(), EVariantTypeCastError);
  TSQLTimeStamp ts{2024, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(TValue::TimeStamp(ts).ToTimeStamp(), ts);
}

TEST(ValueTest, ArrayAccessIsBoundsChecked) {
  const TValue a = TValue::Array({TValue::Integer(1), TValue::String("x")});
  EXPECT_EQ(a.ArrayLength(), 2);
  EXPECT_EQ(a[1].ToString(), "x");
  EXPECT_THROW(a[2], EVariantError);
  EXPECT_THROW(a[-1], EVariantError);
  EXPECT_EQ(TValue::Integer(1).ArrayLength(), 0);
  EXPECT_THROW(TValue::Integer(1)[0], EVariantTypeCastError);
}

}  // namespace
}  // namespace ts
