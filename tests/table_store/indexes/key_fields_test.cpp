#include <gtest/gtest.h>

#include "index_test_table.h"
#include "table_store/errors.h"
#include "table_store/indexes/index.h"
#include "table_store/indexes/index_def.h"
#include "table_store/indexes/key_fields.h"

namespace ts {
namespace {

using testing::TIndexTestTable;

TEST(KeyOptionLetters, EachLetterInEitherCaseAnywhereInTheText) {
  EXPECT_EQ(KeyOptionLetters("C"), mtcoCaseInsensitive);
  EXPECT_EQ(KeyOptionLetters("D"), mtcoDescending);
  EXPECT_EQ(KeyOptionLetters("N"), mtcoIgnoreNullKey);
  EXPECT_EQ(KeyOptionLetters("P"), mtcoPartialKey);
  EXPECT_EQ(KeyOptionLetters("L"), mtcoIgnoreLocale);
  EXPECT_EQ(KeyOptionLetters("DESC"), mtcoDescending | mtcoCaseInsensitive);
  EXPECT_EQ(KeyOptionLetters("dn"), mtcoDescending | mtcoIgnoreNullKey);
  EXPECT_EQ(KeyOptionLetters(" x-p,l "), mtcoPartialKey | mtcoIgnoreLocale);
  EXPECT_EQ(KeyOptionLetters("ABU"), 0);
  EXPECT_EQ(KeyOptionLetters(""), 0);
}

class ParseKeyFieldListTest : public ::testing::Test {
 protected:
  TIndexTestTable table;
  TdvoFieldList list;
};

TEST_F(ParseKeyFieldListTest, NamesWithOptionsInOrder) {
  ParseKeyFieldList(table, list, "name:cd; ID ;\tid:L:P\r\n");
  ASSERT_EQ(list.FieldCount(), 3);
  EXPECT_EQ(list.FieldAt(0), table.Name());
  EXPECT_EQ(list.OptionsAt(0), mtcoCaseInsensitive | mtcoDescending);
  EXPECT_EQ(list.FieldAt(1), table.Id());
  EXPECT_EQ(list.OptionsAt(1), 0);
  // Everything after the first colon is option text.
  EXPECT_EQ(list.OptionsAt(2), mtcoIgnoreLocale | mtcoPartialKey);
}

TEST_F(ParseKeyFieldListTest, ClearsTheListFirstAndAnEmptyTextGivesNoFields) {
  list.AddField(table.Id(), 0);
  ParseKeyFieldList(table, list, "");
  EXPECT_EQ(list.FieldCount(), 0);
  ParseKeyFieldList(table, list, "Id;");
  EXPECT_EQ(list.FieldCount(), 1);
}

TEST_F(ParseKeyFieldListTest, BlankBeforeTheColonStaysInTheName) {
  try {
    ParseKeyFieldList(table, list, "Id :D");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tbl: Field 'Id ' not found");
  }
}

TEST_F(ParseKeyFieldListTest, UnknownAndEmptyNamesRaiseTheTablesError) {
  EXPECT_THROW(ParseKeyFieldList(table, list, "Id;Nope"), EDatabaseError);
  EXPECT_THROW(ParseKeyFieldList(table, list, "Id;;Name"), EDatabaseError);
}

TEST_F(ParseKeyFieldListTest, UnindexableFieldsNameTheirDisplayName) {
  for (const char* text : {"Data", "Id;total:d"}) {
    try {
      ParseKeyFieldList(table, list, text);
      FAIL() << text;
    } catch (const EMemTableError&) {
      FAIL() << "wrong class for " << text;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), std::string("Can't index on field ") + (text[0] == 'D' ? "Data" : "Total") + " label");
    }
  }
}

TEST_F(ParseKeyFieldListTest, CalculatedFieldTurnsRecalcOnIndexOn) {
  ParseKeyFieldList(table, list, "Id");
  EXPECT_FALSE(table.recalcOnIndex);
  ParseKeyFieldList(table, list, "Id;calc");
  EXPECT_TRUE(table.recalcOnIndex);
}

TEST_F(ParseKeyFieldListTest, ApplyKeyOptionSetsNamedAndClearsTheRest) {
  ParseKeyFieldList(table, list, "Id:D;Name:DC");
  ApplyKeyOption(table, list, mtcoDescending, "name");
  EXPECT_EQ(list.OptionsAt(0), 0);
  EXPECT_EQ(list.OptionsAt(1), mtcoDescending | mtcoCaseInsensitive);
  ApplyKeyOption(table, list, mtcoPartialKey, "Name;Id");
  EXPECT_EQ(list.OptionsAt(0), mtcoPartialKey);
}

TEST_F(ParseKeyFieldListTest, SameKeyFieldsIgnoresOptionsButNotOrder) {
  TdvoFieldList other;
  ParseKeyFieldList(table, list, "Id;Name:C");
  ParseKeyFieldList(table, other, "id:D;NAME");
  EXPECT_TRUE(SameKeyFields(list, other));
  ParseKeyFieldList(table, other, "Name;Id");
  EXPECT_FALSE(SameKeyFields(list, other));
  ParseKeyFieldList(table, other, "Id");
  EXPECT_FALSE(SameKeyFields(list, other));
}

TEST(IndexOptions, DefinitionOptionsMapToCompareOptions) {
  EXPECT_EQ(IndexOptionsToCompareOptions(ixUnique), mtcoUnique);
  EXPECT_EQ(IndexOptionsToCompareOptions(ixDescending | ixCaseInsensitive),
            mtcoDescending | mtcoCaseInsensitive);
  EXPECT_EQ(IndexOptionsToCompareOptions(ixNonMaintained), mtcoNonMaintained);
  EXPECT_EQ(IndexOptionsToCompareOptions(ixPrimary | ixExpression), 0);
}

TEST_F(ParseKeyFieldListTest, IndexOptionsApplyToEveryKeyFieldBesideTheLetters) {
  TdvoIndex index("ix", &table, "Id;Name:N", mtcoDescending | mtcoUnique, true, false);
  EXPECT_EQ(index.FieldList().OptionsAt(0), mtcoDescending);
  EXPECT_EQ(index.FieldList().OptionsAt(1), mtcoDescending | mtcoIgnoreNullKey);
  EXPECT_EQ(index.Options(), mtcoDescending | mtcoUnique);
  EXPECT_TRUE(index.InOrder());  // nothing stored yet
  EXPECT_TRUE(index.IsEnabled());
  EXPECT_FALSE(index.IsRowOrder());
  EXPECT_FALSE(index.KeepContents());
  EXPECT_FALSE(index.IsFiltered());
}

}  // namespace
}  // namespace ts
