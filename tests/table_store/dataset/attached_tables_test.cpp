// Tables sharing one record store: what each sees of the other's changes,
// the refusals of attaching and of Standalone, closing the store's owner, and
// destroying either side in any order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "table_store/binary_format/binary_stream_format.h"
#include "tables.h"

namespace ts {
namespace {

std::unique_ptr<TdvoMemTable> MakeOwner() {
  auto table = std::make_unique<TdvoMemTable>("owner");
  table->AddField<TIntegerField>("id");
  table->AddField<TStringField>("memo", 100);
  table->SetPerformance(mtpfBalanced);
  return table;
}

using testing::AppendIdRow;
using testing::IdsOf;
using testing::MessageOf;

TEST(AttachedTables, AppendsAreSeenBothWaysThroughEachTablesOwnFields) {
  auto owner = MakeOwner();
  TdvoMemTable other("other");
  other.SetAttachMaxCount(2);
  other.SetAttachedTo(owner.get());
  ASSERT_EQ(&other.Store(), &owner->Store());
  // Fields the attached table did not declare are cloned, out of sight.
  EXPECT_FALSE(other.FieldNamed("memo").Visible());

  other.Open();  // opens the owner first
  EXPECT_TRUE(owner->Active());
  AppendIdRow(*owner, 1);
  AppendIdRow(other, 2);
  other.IndexDefs().Add("byId", "id:D", 0);
  other.SyncIndexes();
  other.SetIndexName("byId");
  AppendIdRow(*owner, 3);
  EXPECT_EQ(IdsOf(*owner), "1,2,3");
  EXPECT_EQ(IdsOf(other), "3,2,1");
  EXPECT_EQ(other.FieldNamed("memo").AsString(), "memo 1");

  owner->Close();  // the owner's close empties the store and closes the other
  EXPECT_FALSE(other.Active());
  EXPECT_EQ(owner->Store().SlotCount(), 0);
  other.Open();
  EXPECT_EQ(other.RecordCount(), 0);
}

TEST(AttachedTables, WithoutAutoRefreshTheOtherTableKeepsItsViewUntilItMoves) {
  auto owner = MakeOwner();
  TdvoMemTable other;
  owner->SetAttachMaxCount(2);
  other.SetAttachedTo(owner.get());
  other.Open();
  owner->SetAttachedAutoRefresh(false);
  AppendIdRow(*owner, 1);
  EXPECT_TRUE(other.IsEmpty());
  other.First();
  EXPECT_EQ(other.FieldNamed("id").AsInteger(), 1);
}

TEST(AttachedTables, RefusalsNameTheirCauseAndLeaveTheTableUsable) {
  auto owner = MakeOwner();
  auto second = MakeOwner();
  TdvoMemTable attached, late;
  attached.SetAttachedTo(owner.get());
  struct Case {
    const char* what;
    std::function<void()> action;
    const char* message;
  };
  const std::array<Case, 4> cases{{
      {"itself", [&] { owner->SetAttachedTo(owner.get()); },
       "EMemTableError: Cant attach memorytable to it self."},
      {"an attachment", [&] { second->SetAttachedTo(&attached); },
       "EMemTableError: Cant attach to another table which itself is an attachment."},
      {"dropping an attached table's slot", [&] { owner->SetAttachMaxCount(1); },
       "EMemTableError: Children are attached to this table."},
      {"no free slot while open", [&] {
         owner->Open();
         late.SetAttachedTo(owner.get());
       },
       "EMemTableError: Table must be closed for this operation."},
  }};
  for (const Case& c : cases) EXPECT_EQ(MessageOf(c.action), c.message) << c.what;
  EXPECT_EQ(owner->AttachedTo(), nullptr);
  EXPECT_EQ(second->AttachedTo(), nullptr);
  // The refused table keeps a store of its own and works on it.
  EXPECT_EQ(late.AttachedTo(), nullptr);
  EXPECT_NE(&late.Store(), &owner->Store());
  late.FieldDefs().Add("id", ftInteger);
  late.FieldDefs().Add("memo", ftString, 10);
  late.Open();
  AppendIdRow(late, 7);
  EXPECT_EQ(IdsOf(late), "7");
  EXPECT_EQ(owner->RecordCount(), 0);
  // The attached table kept its slot, so the owner's end still reaches it.
  owner.reset();
  EXPECT_EQ(attached.AttachedTo(), nullptr);
}

TEST(AttachedTables, StandaloneOnlyOnAClosedTableThatSharesNothing) {
  auto owner = MakeOwner();
  TdvoMemTable attached;
  attached.SetAttachedTo(owner.get());
  EXPECT_EQ(MessageOf([&] { attached.SetStandalone(true); }),
            "EMemTableError: Table is attached to another table.");
  EXPECT_EQ(MessageOf([&] { owner->SetStandalone(true); }),
            "EMemTableError: Children are attached to this table.");
  attached.SetAttachedTo(nullptr);
  owner->Open();
  EXPECT_EQ(MessageOf([&] { owner->SetStandalone(false); }), "no error");  // same value
  EXPECT_EQ(MessageOf([&] { owner->SetStandalone(true); }),
            "EMemTableError: Table must be closed for this operation.");
  owner->Close();
  owner->SetAttachMaxCount(1);
  owner->SetStandalone(true);
  EXPECT_TRUE(owner->Standalone());
  EXPECT_FALSE(attached.Standalone());
}

TEST(AttachedTables, ALoadWithDefinitionsClosesTheStoreOrIsRefusedByAnAttachment) {
  TdvoMemTable saved("saved");
  saved.FieldDefs().Add("code", ftString, 8);
  saved.Open();
  saved.Append();
  saved.FieldNamed("code").SetAsString("x1");
  saved.Post();
  TdvoBinaryStreamFormat format;
  TMemoryStream stream;
  saved.SaveStreamWithFormat(stream, &format);

  auto owner = MakeOwner();
  TdvoMemTable other("other");
  owner->SetAttachMaxCount(2);
  other.SetAttachedTo(owner.get());
  other.Open();
  AppendIdRow(*owner, 1);
  EXPECT_EQ(MessageOf([&] { other.LoadStreamWithFormat(stream, &format); }),
            "EMemTableError: Table is attached to another table.");
  EXPECT_EQ(IdsOf(other), "1");
  owner->LoadStreamWithFormat(stream, &format);
  EXPECT_FALSE(other.Active());
  EXPECT_EQ(owner->FieldCount(), 1);
  EXPECT_EQ(owner->FieldNamed("code").AsString(), "x1");
}

// A load may give the owner's field another type or size than the attached
// table's field of that name has; the attached table must not open over it.
TEST(AttachedTables, OpeningOverAFieldTheOwnerRedefinedIsRefusedNamingTheField) {
  struct Case {
    TFieldType type;
    int size;
    const char* message;
  };
  const std::array<Case, 2> cases{{
      {ftInteger, 0, "EDatabaseError: other: Type mismatch for field 'ID', expecting: String actual: Integer"},
      {ftString, 4, "EDatabaseError: other: Size mismatch for field 'ID', expecting: 200 actual: 4"},
  }};
  for (const Case& c : cases) {
    TdvoMemTable saved("saved");
    saved.FieldDefs().Add("ID", c.type, c.size);
    saved.Open();
    TdvoBinaryStreamFormat format;
    TMemoryStream stream;
    saved.SaveStreamWithFormat(stream, &format);

    TdvoMemTable owner("owner");
    owner.AddField<TStringField>("ID", 200);
    TdvoMemTable other("other");
    other.SetAttachedTo(&owner);
    owner.LoadStreamWithFormat(stream, &format);
    EXPECT_EQ(MessageOf([&] {
                other.Open();
                other.Append();
                other.FieldNamed("ID").SetAsString(std::string(200, 'x'));
                other.Post();
                other.FieldNamed("ID").AsString();
              }),
              c.message);
    EXPECT_FALSE(other.Active());
    EXPECT_EQ(owner.RecordCount(), 0);
  }
}

// A unique index of one table holds for posts through any table of the
// store, in either direction, before anything is stored.
TEST(AttachedTables, AUniqueIndexOfEitherTableRefusesPostsThroughTheOther) {
  for (bool ownerHasIt : {true, false}) {
    SCOPED_TRACE(ownerHasIt ? "the owner's index" : "the attached table's index");
    auto owner = MakeOwner();
    TdvoMemTable other("other");
    owner->SetAttachMaxCount(2);
    other.SetAttachedTo(owner.get());
    (ownerHasIt ? owner->IndexDefs() : other.IndexDefs()).Add("uniqueId", "id", ixUnique);
    owner->Open();
    other.Open();
    TdvoMemTable& poster = ownerHasIt ? other : *owner;
    AppendIdRow(poster, 1);
    AppendIdRow(poster, 2);
    EXPECT_EQ(MessageOf([&] { AppendIdRow(poster, 1); }),
              "EMemTableDupKey: Duplicate index value. Operation aborted.");
    EXPECT_EQ(poster.State(), dsInsert);
    poster.Cancel();
    poster.Last();
    poster.Edit();
    poster.FieldNamed("memo").SetAsString("own key kept");
    poster.Post();
    poster.Edit();
    poster.FieldNamed("id").SetAsInteger(1);
    EXPECT_EQ(MessageOf([&] { poster.Post(); }), "EMemTableDupKey: Duplicate index value. Operation aborted.");
    poster.Cancel();
    EXPECT_EQ(IdsOf(*owner), "1,2");
    EXPECT_EQ(IdsOf(other), "1,2");
    EXPECT_EQ(owner->FieldNamed("memo").AsString(), "own key kept");
  }
}

// A change that an event of some table refuses halfway through the index
// maintenance reaches no index of any table: each still holds every record
// once, in its order, and finds it by its stored key.
TEST(AttachedTables, AChangeAnIndexEventRefusesReachesNoIndex) {
  struct Case {
    const char* what;
    std::function<void(TdvoMemTable& owner, TdvoMemTable& other)> step;
  };
  auto editTo99 = [](TdvoMemTable& table) {
    table.LocateRecord("id", TValue::Integer(13));
    table.Edit();
    table.FieldNamed("id").SetAsInteger(99);
    table.FieldNamed("memo").SetAsString("zz");
    table.Post();
  };
  const Case cases[] = {
      {"an edit through the owner", [&](TdvoMemTable& owner, TdvoMemTable&) { editTo99(owner); }},
      {"an edit through the attached table", [&](TdvoMemTable&, TdvoMemTable& other) { editTo99(other); }},
      {"a delete a comparison refuses",
       [](TdvoMemTable& owner, TdvoMemTable&) {
         owner.LocateRecord("id", TValue::Integer(13));
         owner.OnCompareFields = [](TDataSet&, const void*, const void*, TFieldType, int, bool&, int&) {
           throw EMemTableError("refused");
         };
         const std::string outcome = MessageOf([&] { owner.Delete(); });
         owner.OnCompareFields = nullptr;
         throw EMemTableError(outcome.substr(outcome.find(": ") + 2));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto owner = MakeOwner();
    TdvoMemTable other("other");
    owner->SetAttachMaxCount(2);
    other.SetAttachedTo(owner.get());
    owner->IndexDefs().Add("byId", "id", 0);
    other.IndexDefs().Add("down", "id", ixDescending);
    other.IndexDefs().Add("byMemo", "memo", 0);
    // The attached table's second index turns the new value down.
    other.OnFilterIndex = [](TDataSet& table, TdvoIndex&, bool&) {
      if (table.FieldByName("id").AsInteger() == 99) throw EMemTableError("refused");
    };
    owner->Open();
    other.Open();
    for (int id = 1; id <= 25; ++id) AppendIdRow(*owner, id);  // enough to search by halving
    EXPECT_EQ(MessageOf([&] { c.step(*owner, other); }), "EMemTableError: refused");
    if (owner->State() != dsBrowse) owner->Cancel();
    if (other.State() != dsBrowse) other.Cancel();
    for (TdvoMemTable* table : {owner.get(), &other}) {
      for (int i = 0; i < table->Indexes().IndexCount(); ++i) {
        TdvoIndex* index = table->Indexes().IndexAt(i);
        SCOPED_TRACE(table->Name() + " " + index->Name());
        const std::vector<TRecord*> entries = index->Entries();
        EXPECT_EQ(entries.size(), 25u);
        for (size_t k = 1; k < entries.size(); ++k)
          EXPECT_LE(index->CompareForIndex(nullptr, entries[k - 1], entries[k], false, false), 0) << k;
        table->SelectIndex(index);
        const bool byMemo = index->Name() == "byMemo";
        EXPECT_TRUE(table->LocateRecord(byMemo ? "memo" : "id",
                                        byMemo ? TValue::String("memo 13") : TValue::Integer(13)));
        EXPECT_EQ(table->FieldNamed("memo").AsString(), "memo 13");
      }
      table->SelectIndex(nullptr);
    }
  }
}

// Each order in which the owner, the attached table and the detach can come;
// the sanitizer build checks that nothing is read after it is freed.
TEST(AttachedTables, EitherSideMayGoFirstWhileBothAreOpen) {
  enum Step { kDestroyOwner, kDestroyOther, kDetach };
  std::array<Step, 3> order{kDestroyOwner, kDestroyOther, kDetach};
  std::sort(order.begin(), order.end());
  do {
    auto owner = MakeOwner();
    auto other = std::make_unique<TdvoMemTable>("other");
    owner->SetAttachMaxCount(2);
    other->SetAttachedTo(owner.get());
    other->Open();
    AppendIdRow(*other, 1);
    for (Step step : order) {
      if (step == kDestroyOwner) {
        owner.reset();
        if (other) {
          EXPECT_EQ(other->AttachedTo(), nullptr);
        }
      } else if (step == kDestroyOther) {
        other.reset();
      } else if (other && other->AttachedTo() != nullptr) {
        other->SetAttachedTo(nullptr);
      }
      if (owner) {
        owner->Open();
        AppendIdRow(*owner, 2);
      }
      if (other) {
        other->Open();  // on its own store now, from its cloned fields
        AppendIdRow(*other, 3);
      }
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

}  // namespace
}  // namespace ts
