// What a reference to a stored record reaches once the store has moved on:
// a pending edit or insert, a record buffer of another table, a bookmark and
// an index that keeps its contents, across deletes, ClearAllRecords and
// rollbacks; and the index names once the index they named is gone.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "table_store/binary_format/binary_stream_format.h"
#include "tables.h"

namespace ts {
namespace {

using testing::IdsOf;
using testing::MessageOf;

// Two tables on one store: `one` owns it, `two` is attached. Fields id,
// memo (a string kept out of line) and note (a memo); multiversion
// versioning when asked for.
struct TwoTables {
  explicit TwoTables(bool versioning) {
    one.AddField<TIntegerField>("id");
    one.AddField<TStringField>("memo", 100);
    one.AddField<TMemoField>("note");
    one.SetPerformance(mtpfBalanced);
    one.SetAttachMaxCount(2);
    one.IndexDefs().Add("byId", "id");
    two.SetAttachedTo(&one);
    two.IndexDefs().Add("byId", "id");
    one.Open();
    two.Open();
    one.SetEnableVersioning(versioning);
    one.SetVersioningMode(mtvmAllSinceCheckPoint);
  }
  void Add(int id) {
    one.Append();
    one.FieldNamed("id").SetAsInteger(id);
    one.FieldNamed("memo").SetAsString("m" + std::to_string(id));
    one.FieldNamed("note").SetAsString("n" + std::to_string(id));
    one.Post();
  }
  void Set(TdvoMemTable& table, const char* field, const std::string& value) {
    table.Edit();
    table.FieldNamed(field).SetAsString(value);
    table.Post();
  }
  // "id:memo:note" of every record `one` shows.
  std::string Rows() {
    std::string rows;
    for (one.First(); !one.Eof(); one.Next())
      rows += (rows.empty() ? "" : ",") + one.FieldNamed("id").AsString() + ":" +
              one.FieldNamed("memo").AsString() + ":" + one.FieldNamed("note").AsString();
    return rows;
  }
  // What `two` shows: its state, then each field's text or error.
  std::string Two() {
    std::string shown = two.State() == dsBrowse ? "browse" : "editing";
    for (const char* field : {"id", "memo", "note"}) {
      std::string text;
      const std::string error = MessageOf([&] { text = two.FieldNamed(field).AsString(); });
      shown += " " + (error == "no error" ? text : error);
    }
    return shown;
  }

  TdvoMemTable one{"one"};
  TdvoMemTable two{"two"};
};

constexpr const char* kGone = "EMemTableInvalidRecord: Invalid record ";

TEST(RecordReferences, AReferenceReachesItsOwnRecordOrNone) {
  struct Case {
    const char* what;
    bool versioning;
    std::function<std::string(TwoTables&)> run;
    std::string expected;
  };
  const std::string gone = std::string(" ") + kGone;
  const Case cases[] = {
      {"a pending edit whose record went, the store emptied, a new one in its place", false,
       [](TwoTables& t) {
         t.Add(1);
         t.two.First();
         t.two.Edit();
         t.two.FieldNamed("id").SetAsInteger(5);
         t.one.Delete();
         t.Add(2);
         const std::string shown = t.Two();
         return shown + " | " + MessageOf([&] { t.two.Post(); }) + " | " + t.Rows();
       },
       "editing 5" + gone + gone + " | " + kGone + " | 2:m2:n2"},
      {"a pending edit whose record another table deleted under versioning", true,
       [](TwoTables& t) {
         t.Add(1);
         t.two.First();
         t.two.Edit();
         t.two.FieldNamed("id").SetAsInteger(5);
         t.one.Delete();
         return MessageOf([&] { t.two.Post(); }) + " | " + t.Rows();
       },
       std::string(kGone) + " | "},
      {"a pending edit across ClearAllRecords", false,
       [](TwoTables& t) {
         t.Add(1);
         t.two.First();
         t.two.Edit();
         t.two.FieldNamed("memo").SetAsString("two");
         t.one.ClearAllRecords();
         t.Add(2);
         const std::string state = t.two.State() == dsBrowse ? "ended" : "open";
         return state + " | " + MessageOf([&] { t.two.Post(); }) + " | " + t.Rows();
       },
       "ended | no error | 2:m2:n2"},
      {"a pending insert across ClearAllRecords", false,
       [](TwoTables& t) {
         t.Add(1);
         t.two.Append();
         t.two.FieldNamed("id").SetAsInteger(7);
         t.two.FieldNamed("note").SetAsString("n7");
         t.one.ClearAllRecords();
         const std::string state = t.two.State() == dsBrowse ? "ended" : "open";
         return state + " | " + MessageOf([&] { t.two.Post(); }) + " | " + t.Rows();
       },
       "ended | no error | "},
      {"a pending edit across two rollbacks of its record", true,
       [](TwoTables& t) {
         t.Add(1);
         t.one.StartTransaction();
         t.Set(t.one, "memo", "a");
         t.one.StartTransaction();
         t.Set(t.one, "memo", "b");
         t.two.First();
         t.two.Edit();
         t.two.FieldNamed("id").SetAsInteger(5);
         t.one.Rollback();
         t.one.Rollback();
         // A new version at a level of that number again does not make the
         // edit current: it still shows what it read, and is refused.
         t.one.StartTransaction();
         t.Set(t.one, "memo", "c");
         const std::string shown = t.Two();
         return shown + " | " + MessageOf([&] { t.two.Post(); }) + " | " + t.Rows();
       },
       std::string("editing 5 b n1 | ") + kGone + " | 1:c:n1"},
      {"a buffer shown without refresh, its slot taken by a new record", false,
       [](TwoTables& t) {
         t.one.SetAttachedAutoRefresh(false);
         t.Add(1);
         t.Add(2);
         t.two.First();
         t.one.First();
         t.one.Delete();
         t.Add(3);
         const std::string shown = t.Two();
         // Ordered anew, the table starts from its first record, not from
         // the one that took the slot.
         t.two.SetIndexName("byId");
         return shown + " | " + t.two.FieldNamed("id").AsString();
       },
       "browse 1" + gone + gone + " | 2"},
      {"bookmarks of records a rollback brought back", true,
       [](TwoTables& t) {
         t.Add(1);
         t.Add(2);
         t.one.First();
         const TBookmark first = t.one.GetBookmark();
         t.one.StartTransaction();
         t.Set(t.one, "memo", "x");
         t.one.Next();
         const TBookmark second = t.one.GetBookmark();
         t.one.Delete();
         t.one.Rollback();
         const std::string valid = std::to_string(t.one.BookmarkValid(&first)) +
                                   std::to_string(t.one.BookmarkValid(&second));
         t.one.GotoBookmark(&second);
         const std::string at = t.one.FieldNamed("id").AsString();
         t.one.GotoBookmark(&first);
         return valid + " " + at + t.one.FieldNamed("memo").AsString();
       },
       "11 2m1"},
      {"an index that keeps its contents across a rollback of inserts", true,
       [](TwoTables& t) {
         t.Add(1);
         t.one.SetIndexName("byId");
         t.one.CurrentIndex()->SetKeepContents(true);
         t.one.StartTransaction();
         t.Add(3);
         t.Add(2);
         t.one.First();
         t.Set(t.one, "memo", "x");
         t.one.Rollback();
         return IdsOf(t.one) + " " + t.Rows() + " " + IdsOf(t.two);
       },
       "1 1:m1:n1 1"},
  };
  for (const Case& c : cases) {
    TwoTables tables(c.versioning);
    EXPECT_EQ(c.run(tables), c.expected) << c.what;
  }
}

// While a table is open, IndexName and IndexFieldNames name its current
// index, whatever took the index away.
TEST(RecordReferences, TheIndexNamesFollowTheCurrentIndex) {
  struct Case {
    const char* what;
    std::function<void(TdvoMemTable&)> removeIndex;
    const char* ids;
  };
  const Case cases[] = {
      {"a load whose definitions have no such index",
       [](TdvoMemTable& table) {
         TdvoMemTable saved("saved");
         saved.AddField<TIntegerField>("id");
         saved.AddField<TStringField>("name", 10);
         saved.IndexDefs().Add("byName", "name");
         saved.Open();
         saved.AppendRecord({TValue::Integer(3), TValue::String("b")});
         saved.AppendRecord({TValue::Integer(4), TValue::String("a")});
         TdvoBinaryStreamFormat format;
         TMemoryStream stream;
         saved.SaveStreamWithFormat(stream, &format);
         table.LoadStreamWithFormat(stream, &format);
       },
       "3,4"},
      {"a sync after its definition went",
       [](TdvoMemTable& table) {
         table.IndexDefs().Clear();
         table.SyncIndexes();
       },
       "4,3"},
      // The records wait for a rebuild: no view to compare.
      {"clearing the indexes", [](TdvoMemTable& table) { table.ClearIndexes(); }, nullptr},
  };
  for (const Case& c : cases) {
    TdvoMemTable table("t");
    table.AddField<TIntegerField>("id");
    table.IndexDefs().Add("byId", "id");
    table.Open();
    table.AppendRecord({TValue::Integer(4)});
    table.AppendRecord({TValue::Integer(3)});
    table.SetIndexName("byId");
    c.removeIndex(table);
    EXPECT_EQ(table.CurrentIndex(), table.Indexes().RowOrderIndex()) << c.what;
    EXPECT_EQ(table.IndexName() + "|" + table.IndexFieldNames(), "|") << c.what;
    if (c.ids != nullptr) {
      EXPECT_EQ(IdsOf(table), c.ids) << c.what;
    }
  }
}

}  // namespace
}  // namespace ts
