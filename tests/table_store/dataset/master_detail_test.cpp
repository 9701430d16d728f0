// A detail table following its master through a data source: the records it
// shows as the master moves, new records preset from the master, circular
// links refused, the save that ignores the link, and either side going away.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/data_source.h"
#include "tables.h"

namespace ts {
namespace {

class MasterDetail : public ::testing::Test {
 protected:
  void SetUp() override {
    master.AddField<TIntegerField>("id");
    detail.AddField<TIntegerField>("mid");
    detail.AddField<TStringField>("text", 10);
    detail.Open();
    for (const auto& [mid, text] : {std::pair{1, "a"}, {2, "b"}, {2, "c"}, {3, "d"}, {9, "z"}}) {
      detail.Append();
      detail.FieldNamed("mid").SetAsInteger(mid);
      detail.FieldNamed("text").SetAsString(text);
      detail.Post();
    }
    master.Open();
    for (int id = 1; id <= 3; ++id) {
      master.Append();
      master.FieldNamed("id").SetAsInteger(id);
      master.Post();
    }
    master.First();
    detail.SetDetailFields("mid");
    detail.SetMasterFields("id");
    detail.SetMasterSource(&source);
  }

  // The detail's texts in view order, e.g. "b,c".
  std::string Texts() {
    std::string texts;
    for (detail.First(); !detail.Eof(); detail.Next())
      texts += (texts.empty() ? "" : ",") + detail.FieldNamed("text").AsString();
    return texts;
  }

  TdvoMemTable master{"master"};
  TDataSource source{&master};
  TdvoMemTable detail{"detail"};
};

TEST_F(MasterDetail, TheDetailFollowsTheMasterRecordByRecord) {
  const char* expected[] = {"a", "b,c", "d"};
  int row = 0;
  for (master.First(); !master.Eof(); master.Next(), ++row) {
    // The master's move alone puts the detail on its first matching record.
    EXPECT_EQ(detail.FieldNamed("text").AsString(), std::string(expected[row]).substr(0, 1));
    EXPECT_EQ(Texts(), expected[row]);
  }
  EXPECT_EQ(row, 3);
  // Every move to another master record, whichever road it takes.
  const TBookmark third = master.GetBookmark();
  ASSERT_TRUE(master.LocateRecord("id", TValue::Integer(2)));
  EXPECT_EQ(Texts(), "b,c");
  master.GotoBookmark(&third);
  EXPECT_EQ(Texts(), "d");
  ASSERT_TRUE(master.FindFirst());
  EXPECT_EQ(Texts(), "a");
  master.First();
  master.Last();
  EXPECT_EQ(detail.RecordCount(), 1);
  // Without a detail field list the current index's fields take the key.
  detail.SetDetailFields("");
  detail.IndexDefs().Add("byMid", "mid");
  detail.SyncIndexes();
  detail.SetIndexName("byMid");
  master.First();
  EXPECT_EQ(Texts(), "a");
}

TEST_F(MasterDetail, ANewDetailRecordTakesTheMastersKey) {
  master.Next();
  detail.Append();
  EXPECT_EQ(detail.FieldNamed("mid").AsInteger(), 2);
  detail.FieldNamed("text").SetAsString("e");
  detail.Post();
  EXPECT_EQ(Texts(), "b,c,e");
}

TEST_F(MasterDetail, ALinkBackToTheTableIsRefusedWithItsName) {
  TDataSource detailSource(&detail);
  TdvoMemTable third("third");
  TDataSource thirdSource(&third);
  third.SetMasterSource(&detailSource);  // master <- detail <- third is fine
  for (TDataSource* circular : {&detailSource, &thirdSource}) {
    try {
      master.SetMasterSource(circular);
      ADD_FAILURE() << "a circular link was taken";
    } catch (const EDatabaseError& error) {
      EXPECT_STREQ(error.what(), "master: Selfreferencing master/detail relations not allowed.");
    }
  }
  EXPECT_EQ(master.MasterSource(), nullptr);
  EXPECT_THROW(master.SetMasterSource(&source), EDatabaseError);
}

TEST_F(MasterDetail, ASaveWritesEveryRecordAndKeepsTheLink) {
  TdvoBinaryStreamFormat format;
  TMemoryStream stream;
  detail.SaveStreamWithFormat(stream, &format);
  EXPECT_EQ(Texts(), "a");
  TdvoMemTable copy;
  copy.LoadStreamWithFormat(stream, &format);
  EXPECT_EQ(copy.RecordCount(), 5);
}

TEST_F(MasterDetail, AFillFromAnotherDataSetTakesEveryRecordAndKeepsTheLink) {
  TdvoMemTable other;
  other.AddField<TIntegerField>("mid");
  other.AddField<TStringField>("text", 10);
  other.Open();
  for (int mid : {3, 1, 2}) {
    other.Append();
    other.FieldNamed("mid").SetAsInteger(mid);
    other.FieldNamed("text").SetAsString("n" + std::to_string(mid));
    other.Post();
  }
  detail.FillFromDataSet(&other, 0);
  EXPECT_EQ(detail.LoadCount(), 3);
  EXPECT_EQ(detail.MasterSource(), &source);
  EXPECT_EQ(Texts(), "n1");
  master.Next();
  EXPECT_EQ(Texts(), "n2");
}

// The master's fields made anew while the store held back its notices (a
// load) or not (a fill with the structure): the link follows the new ones.
TEST_F(MasterDetail, TheLinkFollowsTheMastersFieldsWhenTheyAreMadeAnew) {
  const std::pair<const char*, std::function<void()>> roads[] = {
      {"load with definitions",
       [&] {
         TdvoBinaryStreamFormat format;
         TMemoryStream stream;
         master.SaveStreamWithFormat(stream, &format);
         master.LoadStreamWithFormat(stream, &format);
       }},
      {"fill with the structure",
       [&] {
         TdvoMemTable copy("copy");
         copy.AddField<TIntegerField>("id");
         copy.Open();
         for (int id = 1; id <= 3; ++id) copy.AppendRecord({TValue::Integer(id)});
         master.FillFromDataSet(&copy, cfStructure);
       }},
  };
  for (const auto& [what, renew] : roads) {
    renew();
    master.First();
    master.Next();
    EXPECT_EQ(Texts(), "b,c") << what;
    detail.Append();
    EXPECT_EQ(detail.FieldNamed("mid").AsInteger(), 2) << what;
    detail.Cancel();
  }
}

// The sanitizer build checks that no side keeps a reference to a freed one.
TEST(MasterDetailLifetime, MasterSourceOrDetailMayGoFirst) {
  for (int first = 0; first < 3; ++first) {
    auto master = std::make_unique<TdvoMemTable>("m");
    master->AddField<TIntegerField>("id");
    auto source = std::make_unique<TDataSource>(master.get());
    auto detail = std::make_unique<TdvoMemTable>("d");
    detail->AddField<TIntegerField>("mid");
    detail->SetDetailFields("mid");
    detail->SetMasterFields("id");
    detail->SetMasterSource(source.get());
    detail->Open();
    master->Open();
    master->Append();
    master->FieldNamed("id").SetAsInteger(4);
    master->Post();
    detail->Append();
    detail->Post();
    if (first == 0) {
      master.reset();
      EXPECT_EQ(source->DataSet(), nullptr);
      detail->Refresh();
      EXPECT_EQ(detail->FieldNamed("mid").AsInteger(), 4);
    } else if (first == 1) {
      source.reset();
      EXPECT_EQ(detail->MasterSource(), nullptr);
      EXPECT_EQ(detail->RecordCount(), 1);
      master->Next();
    } else {
      detail.reset();
      master->First();
    }
  }
}

}  // namespace
}  // namespace ts
