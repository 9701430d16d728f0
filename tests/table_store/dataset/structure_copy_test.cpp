// Field definitions and field objects taken over from another dataset: the
// definition limit, the types that change or drop out, and the copy options.
#include <gtest/gtest.h>

#include <string>

#include "tables.h"

namespace ts {
namespace {

TEST(StructureCopy, AtMost256DefinitionsAndNothingChangesBeyond) {
  for (int count : {256, 257}) {
    TdvoMemTable source, table;
    for (int i = 0; i < count; ++i) source.FieldDefs().Add("f" + std::to_string(i), ftInteger);
    table.FieldDefs().Add("kept", ftString, 5);
    if (count == 256) {
      table.CopyStructureFrom(&source, 0);
      EXPECT_EQ(table.FieldDefs().Count(), 256);
      table.Open();  // the copied definitions make a record layout
      EXPECT_EQ(table.FieldCount(), 256);
      continue;
    }
    try {
      table.CopyStructureFrom(&source, 0);
      ADD_FAILURE() << "257 definitions were taken";
    } catch (const EMemTableError& error) {
      EXPECT_STREQ(error.what(), "Too many fielddefs. Please raise DVO_MAX_FIELDS value.");
    }
    ASSERT_EQ(table.FieldDefs().Count(), 1);
    EXPECT_EQ(table.FieldDefs()[0].Name(), "kept");
  }
}

TEST(StructureCopy, TypesThatChangeOrDropOut) {
  TdvoMemTable source, table;
  source.FieldDefs().Add("wide", ftWideString, 12);
  source.FieldDefs().Add("guid", ftGuid, 38);
  source.FieldDefs().Add("cursor", ftCursor);
  TFieldDef& address = source.FieldDefs().Add("address", ftADT);
  address.ChildDefs().Add("street", ftWideString, 30);
  address.ChildDefs().Add("no", ftInteger);
  table.CopyStructureFrom(&source, 0);
  const TFieldDefs& defs = table.FieldDefs();
  ASSERT_EQ(defs.Count(), 3);  // the cursor type is not held by a table
  EXPECT_EQ(defs[0].DataType(), ftString);
  EXPECT_EQ(defs[0].Size(), 12);
  EXPECT_EQ(defs[1].DataType(), ftString);
  ASSERT_EQ(defs[2].ChildDefs().Count(), 2);
  EXPECT_EQ(defs[2].ChildDefs()[0].DataType(), ftString);
  EXPECT_EQ(defs[2].ChildDefs()[0].Size(), 30);
}

TEST(StructureCopy, OptionsPickDefinitionsAndCloneFieldsInPlace) {
  TdvoMemTable source("source");
  source.AddField<TIntegerField>("id");
  source.AddField<TStringField>("label", 20).SetFieldKind(fkCalculated);
  source.AddField<TStringField>("name", 20).SetDisplayLabel("Name");
  source.Open();
  source.FieldDefs().Add("orphan", ftInteger);  // a definition without a field object

  struct Case {
    TdvoCopyOptions options;
    const char* fields;
    const char* label;
  };
  const Case cases[] = {
      {0, "id,name,orphan", "name"},
      {cfFieldObjectsOnly, "id,name", "name"},
      {cfFieldObjectsOnly | cfCalcFields, "id,name,label", "name"},
      {cfFieldObjectsOnly | cfCalcFields | cfKeepOrder, "id,label,name", "name"},
      {cfFieldObjectsOnly | cfSettings, "id,name", "Name"},
  };
  for (const Case& c : cases) {
    TdvoMemTable table;
    table.CopyStructureFrom(&source, c.options);
    std::string fields;
    for (int i = 0; i < table.FieldCount(); ++i) fields += (i ? "," : "") + table.Field(i).FieldName();
    EXPECT_EQ(fields, c.fields) << int(c.options);
    EXPECT_EQ(table.FieldNamed("name").DisplayLabel(), c.label) << int(c.options);
  }
}

}  // namespace
}  // namespace ts
