// The editing cycle of a table: open, append, insert, edit, post, cancel,
// delete, navigation, field access by name and the dataset's messages.
#include <gtest/gtest.h>

#include <string>

#include "tables.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/messages.h"

namespace ts {
namespace {

using testing::MakeAnswers;

template <typename E, typename F>
std::string MessageOf(F&& action) {
  try {
    action();
  } catch (const E& e) {
    return e.Message();
  }
  return "<no error>";
}

TEST(EditingCycle, AnswersRecordLikeTheStationKeepsIt) {
  auto answers = MakeAnswers();
  answers->Open();
  EXPECT_TRUE(answers->IsEmpty());
  answers->Append();
  for (int i = 1; i <= 6; ++i) answers->FieldNamed("a" + std::to_string(i)).SetAsString("");
  answers->FieldNamed("VarNo").SetAsString("");
  answers->Post();
  EXPECT_EQ(answers->State(), dsBrowse);
  EXPECT_EQ(answers->RecordCount(), 1);
  // Empty text is a value, not null: a later save writes it as such.
  EXPECT_FALSE(answers->FieldNamed("a1").IsNull());
  EXPECT_EQ(answers->FieldNamed("a1").AsString(), "");

  answers->Edit();
  answers->FieldNamed("a1").SetAsString("1230");
  answers->FieldNamed("VarNo").SetAsInteger(3);
  answers->Post();
  answers->First();
  EXPECT_EQ(answers->FieldNamed("a1").AsString(), "1230");
  EXPECT_EQ(answers->FieldNamed("varno").AsInteger(), 3);
  EXPECT_EQ(answers->FieldNamed("VARNO").AsString(), "3");

  answers->Edit();
  answers->FieldNamed("a1").SetAsString("changed");
  EXPECT_EQ(answers->FieldNamed("a1").AsString(), "changed");
  answers->Cancel();
  EXPECT_EQ(answers->FieldNamed("a1").AsString(), "1230");
  EXPECT_EQ(answers->RecordCount(), 1);
}

TEST(EditingCycle, TextLongerThanTheFieldIsCutToItsSize) {
  auto answers = MakeAnswers();
  answers->Open();
  answers->Append();
  answers->FieldNamed("a1").SetAsString(std::string(1600, 'x'));
  answers->FieldNamed("VarNo").SetAsString(std::string(25, '7'));
  answers->Post();
  EXPECT_EQ(answers->FieldNamed("a1").AsString(), std::string(1500, 'x'));
  EXPECT_EQ(answers->FieldNamed("VarNo").AsString(), std::string(20, '7'));
}

TEST(EditingCycle, LongTextsOutOfLineSurviveEditAndCancel) {
  for (TdvoPerformance performance : {mtpfFast, mtpfBalanced, mtpfSmall}) {
    auto answers = MakeAnswers();
    answers->SetPerformance(performance);
    answers->Open();
    answers->Append();
    answers->FieldNamed("a2").SetAsString(std::string(1400, 'q'));
    answers->Post();
    answers->Edit();
    answers->FieldNamed("a2").SetAsString("short");
    EXPECT_EQ(answers->FieldNamed("a2").AsString(), "short");
    answers->Cancel();
    EXPECT_EQ(answers->FieldNamed("a2").AsString(), std::string(1400, 'q')) << int(performance);
    answers->Edit();
    answers->FieldNamed("a2").Clear();
    answers->Post();
    EXPECT_TRUE(answers->FieldNamed("a2").IsNull()) << int(performance);
  }
}

TEST(EditingCycle, ErrorsCarryTheTableName) {
  auto answers = MakeAnswers();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { answers->Append(); }),
            "answers: Cannot perform this operation on a closed dataset");
  answers->Open();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { answers->FieldNamed("zz"); }), "answers: Field 'zz' not found");
  answers->Append();
  answers->Post();
  // A write outside edit and insert changes nothing.
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { answers->FieldNamed("a1").SetAsString("x"); }),
            "answers: Dataset is not in edit mode.");
  EXPECT_TRUE(answers->FieldNamed("a1").IsNull());

  TdvoMemTable unnamed;
  unnamed.AddField<TStringField>("f", 5);
  unnamed.Open();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { unnamed.FieldNamed("g"); }), "Field 'g' not found");
}

TEST(EditingCycle, ReadOnlyTableAndReadOnlyFields) {
  auto answers = MakeAnswers();
  answers->Open();
  answers->Append();
  answers->Post();
  answers->SetReadOnly(true);
  for (auto op : {&TDataSet::Edit, &TDataSet::Append, &TDataSet::Insert}) {
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { (answers.get()->*op)(); }),
              "answers: Cannot modify a read-only dataset");
    EXPECT_EQ(answers->State(), dsBrowse);
  }
  // Switched on while editing: every field refuses, read-only or not.
  answers->SetReadOnly(false);
  answers->Edit();
  answers->SetReadOnly(true);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { answers->FieldNamed("a1").SetAsString("x"); }),
            "Field a1 is read only");
  answers->SetReadOnly(false);
  answers->FieldNamed("VarNo").SetReadOnly(true);
  answers->FieldNamed("VarNo").SetDisplayLabel("Variant");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { answers->FieldNamed("VarNo").SetAsString("1"); }),
            "Field Variant is read only");
  answers->FieldNamed("a1").SetAsString("fine");
  answers->Post();
  EXPECT_EQ(answers->FieldNamed("a1").AsString(), "fine");
}

TEST(EditingCycle, RequiredFieldStopsThePostUntilFilled) {
  auto answers = MakeAnswers();
  answers->FieldNamed("VarNo").SetRequired(true);
  answers->Open();
  answers->Append();
  answers->FieldNamed("a1").SetAsString("x");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { answers->Post(); }), "Field 'VarNo' must have a value");
  EXPECT_EQ(answers->State(), dsInsert);
  EXPECT_EQ(answers->Store().SlotCount(), 0);
  answers->FieldNamed("VarNo").SetAsString("0");
  answers->Post();
  EXPECT_EQ(answers->RecordCount(), 1);
}

TEST(EditingCycle, OpenNeedsFieldsAndMakesAutomaticOnes) {
  TdvoMemTable table("t");
  EXPECT_EQ(MessageOf<EMemTableError>([&] { table.Open(); }), "There must be at least one field");
  EXPECT_FALSE(table.Active());

  table.FieldDefs().Add("id", ftInteger);
  table.FieldDefs().Add("name", ftString, 30, true);
  table.Open();
  ASSERT_EQ(table.FieldCount(), 2);
  EXPECT_TRUE(table.DefaultFields());
  EXPECT_TRUE(table.FieldNamed("NAME").Required());
  table.Close();
  EXPECT_EQ(table.FieldCount(), 0);  // automatic fields go with the close

  // Persistent fields rebuild the definitions, whatever was declared.
  auto answers = MakeAnswers();
  answers->FieldDefs().Add("other", ftInteger);
  answers->Open();
  EXPECT_EQ(answers->FieldDefs().Count(), 7);
  answers->Close();
  EXPECT_EQ(answers->FieldCount(), 7);
}

TEST(EditingCycle, UnsupportedTypeStopsTheOpenWithTheLayoutMessage) {
  TdvoMemTable table("t");
  table.FieldDefs().Add("w", ftWideString, 10);
  EXPECT_EQ(MessageOf<EMemTableError>([&] { table.Open(); }), "Fielddef w (w) Datatype 24 not supported.");
  EXPECT_FALSE(table.Active());
}

// Three records 1, 2, 3 in field "n".
std::unique_ptr<TdvoMemTable> Numbers() {
  auto table = std::make_unique<TdvoMemTable>("numbers");
  table->AddField<TIntegerField>("n");
  table->Open();
  for (int i = 1; i <= 3; ++i) {
    table->Append();
    table->FieldNamed("n").SetAsInteger(i);
    table->Post();
  }
  return table;
}

std::string Walk(TdvoMemTable& table) {
  std::string out;
  table.First();
  while (!table.Eof()) {
    out += table.FieldNamed("n").AsString() + " ";
    table.Next();
  }
  return out;
}

TEST(EditingCycle, NavigationAndPositions) {
  auto table = Numbers();
  table->First();
  EXPECT_TRUE(table->Bof());
  EXPECT_EQ(table->RecNo(), 1);
  table->Next();
  table->Next();
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 3);
  EXPECT_FALSE(table->Eof());
  table->Next();
  EXPECT_TRUE(table->Eof());
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 3);
  table->Prior();
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 2);
  table->Last();
  EXPECT_EQ(table->RecNo(), 3);
  EXPECT_EQ(table->MoveBy(-5), -2);
  EXPECT_TRUE(table->Bof());
  EXPECT_EQ(Walk(*table), "1 2 3 ");
}

TEST(EditingCycle, InsertGoesBeforeTheCurrentRecordAppendAfterTheLast) {
  auto table = Numbers();
  table->First();
  table->Next();
  table->Insert();
  table->FieldNamed("n").SetAsInteger(10);
  table->Post();
  EXPECT_EQ(table->RecNo(), 2);
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 10);
  table->First();
  table->Append();
  table->FieldNamed("n").SetAsInteger(20);
  table->Post();
  EXPECT_EQ(table->RecNo(), 5);
  EXPECT_EQ(Walk(*table), "1 10 2 3 20 ");

  // Cancelled inserts leave nothing behind.
  table->First();
  table->Insert();
  table->FieldNamed("n").SetAsInteger(99);
  table->Cancel();
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 1);
  EXPECT_EQ(Walk(*table), "1 10 2 3 20 ");
}

TEST(EditingCycle, FirstAndLastOnASingleRecord) {
  auto answers = MakeAnswers();
  answers->Open();
  answers->Append();
  answers->Post();
  answers->First();
  EXPECT_EQ(answers->RecNo(), 1);
  answers->Last();
  EXPECT_EQ(answers->RecNo(), 1);
  EXPECT_FALSE(answers->IsEmpty());
}

TEST(EditingCycle, EditOnAnEmptyTableStartsAnInsert) {
  auto answers = MakeAnswers();
  answers->Open();
  answers->Edit();
  EXPECT_EQ(answers->State(), dsInsert);
  answers->Cancel();
  EXPECT_TRUE(answers->IsEmpty());
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { answers->Delete(); }),
            "answers: Cannot perform this operation on an empty dataset");
}

TEST(EditingCycle, DeleteWalksOnAndEmptiesTheTable) {
  auto table = Numbers();
  table->First();
  table->Next();
  table->Delete();
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 3);
  EXPECT_EQ(Walk(*table), "1 3 ");
  table->Last();
  table->Delete();
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 1);
  table->Delete();
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_TRUE(table->FieldNamed("n").IsNull());
}

TEST(EditingCycle, NavigationPostsAModifiedEditAndCancelsAnUntouchedOne) {
  auto table = Numbers();
  table->First();
  table->Edit();
  table->FieldNamed("n").SetAsInteger(100);
  table->Next();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(Walk(*table), "100 2 3 ");
  table->First();
  table->Append();
  table->Next();  // nothing written: the new record is dropped
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST(EditingCycle, EventsRunInTheirOrder) {
  auto table = Numbers();
  std::string log;
  table->BeforeInsert = [&](TDataSet&) { log += "BI "; };
  table->OnNewRecord = [&](TDataSet& d) {
    log += "NR ";
    d.FieldByName("n").SetAsInteger(7);
  };
  table->AfterInsert = [&](TDataSet&) { log += "AI "; };
  table->BeforePost = [&](TDataSet&) { log += "BP "; };
  table->AfterPost = [&](TDataSet&) { log += "AP "; };
  table->BeforeCancel = [&](TDataSet&) { log += "BC "; };
  table->AfterCancel = [&](TDataSet&) { log += "AC "; };
  table->Append();
  EXPECT_EQ(table->FieldNamed("n").AsInteger(), 7);
  table->Post();
  table->Edit();
  table->Cancel();
  EXPECT_EQ(log, "BI NR AI BP AP BC AC ");
}

TEST(EditingCycle, ErrorInOnNewRecordReturnsToBrowse) {
  auto table = Numbers();
  table->Last();
  table->OnNewRecord = [](TDataSet&) { throw EDatabaseError("no"); };
  EXPECT_THROW(table->Append(), EDatabaseError);
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST(EditingCycle, PostErrorHandlerMayRetry) {
  auto table = Numbers();
  table->IndexDefs().Add("byN", "n", ixUnique);
  table->SyncIndexes();
  table->Append();
  table->FieldNamed("n").SetAsInteger(2);
  int calls = 0;
  table->OnPostError = [&](TDataSet& d, EDatabaseError& e, TDataAction& action) {
    ++calls;
    EXPECT_EQ(e.Message(), "Duplicate index value. Operation aborted.");
    d.FieldByName("n").SetAsInteger(4);
    action = TDataAction::Retry;
  };
  table->Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(table->RecordCount(), 4);
}

TEST(EditingCycle, FieldWriteOnAClosedTableDoesNothing) {
  auto answers = MakeAnswers();
  EXPECT_TRUE(answers->FieldNamed("a1").IsNull());
  answers->FieldNamed("a1").SetAsString("x");  // no record to write into
  EXPECT_EQ(answers->FieldNamed("a1").AsString(), "");
}

}  // namespace
}  // namespace ts
