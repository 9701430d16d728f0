// Bookmarks: going back to a record, validity after deletes and after the
// store was emptied, the missing-bookmark error and the order of two
// bookmarks in the row order and in a sorted index.
#include <gtest/gtest.h>

#include "tables.h"

namespace ts {
namespace {

std::unique_ptr<TdvoMemTable> MakeNumbers(std::initializer_list<int> values) {
  auto table = std::make_unique<TdvoMemTable>("numbers");
  table->AddField<TIntegerField>("n");
  table->IndexDefs().Add("byN", "n");
  table->Open();
  for (int value : values) table->AppendRecord({TValue::Integer(value)});
  table->First();
  return table;
}

int N(TdvoMemTable& table) { return table.FieldNamed("n").AsInteger(); }

TEST(Bookmarks, GoBackInAnyOrderAndRefuseWhatIsMissingOrGone) {
  auto table = MakeNumbers({30, 10, 20});
  table->Next();
  const TBookmark ten = table->GetBookmark();
  table->SetIndexName("byN");
  table->Last();
  table->GotoBookmark(&ten);
  EXPECT_EQ(N(*table), 10);
  EXPECT_EQ(table->RecNo(), 1);

  try {
    table->GotoBookmark(nullptr);
    FAIL() << "a missing bookmark was followed";
  } catch (const EMemTableError& error) {
    EXPECT_STREQ(error.what(), "Bookmark -200 not found.");
  }
  int scrolls = 0;
  table->AfterScroll = [&scrolls](TDataSet&) { ++scrolls; };
  const TBookmark empty{};
  table->GotoBookmark(&empty);
  EXPECT_EQ(scrolls, 0);
  EXPECT_FALSE(table->BookmarkValid(&empty));

  // Deleted for good: invalid, and following it leaves the cursor (the
  // freed record is never read). A record reusing the slot, and perhaps
  // the memory, does not revive it.
  EXPECT_TRUE(table->BookmarkValid(&ten));
  table->Delete();
  EXPECT_FALSE(table->BookmarkValid(&ten));
  table->Last();
  table->GotoBookmark(&ten);
  EXPECT_EQ(N(*table), 30);
  table->AppendRecord({TValue::Integer(10)});
  EXPECT_FALSE(table->BookmarkValid(&ten));
}

TEST(Bookmarks, ABookmarkFromBeforeTheStoreWasEmptiedIsInvalid) {
  auto table = MakeNumbers({1, 2});
  const TBookmark old = table->GetBookmark();
  table->ClearAllRecords();
  table->AppendRecord({TValue::Integer(5)});
  const TBookmark fresh = table->GetBookmark();
  EXPECT_FALSE(table->BookmarkValid(&old));
  EXPECT_TRUE(table->BookmarkValid(&fresh));
  EXPECT_EQ(table->CompareBookmarks(&old, &fresh), 0);
  table->GotoBookmark(&old);
  EXPECT_EQ(N(*table), 5);
  // While a new record is being added there is no bookmark to take.
  table->Append();
  EXPECT_EQ(table->GetBookmark().Record, nullptr);
}

TEST(Bookmarks, CompareFollowsTheCurrentOrder) {
  auto table = MakeNumbers({30, 10, 20, 10});
  TBookmark marks[4];
  for (TBookmark& mark : marks) {
    mark = table->GetBookmark();
    table->Next();
  }
  const TBookmark &thirty = marks[0], &firstTen = marks[1], &twenty = marks[2], &secondTen = marks[3];
  EXPECT_EQ(table->CompareBookmarks(&thirty, &firstTen), -1);  // stored order
  EXPECT_EQ(table->CompareBookmarks(&twenty, &firstTen), 1);
  EXPECT_EQ(table->CompareBookmarks(&twenty, &twenty), 0);
  table->SetIndexName("byN");
  EXPECT_EQ(table->CompareBookmarks(&thirty, &firstTen), 1);  // by key
  EXPECT_EQ(table->CompareBookmarks(&firstTen, &twenty), -1);
  EXPECT_NE(table->CompareBookmarks(&firstTen, &secondTen), 0);
  EXPECT_EQ(table->CompareBookmarks(&firstTen, &secondTen), -table->CompareBookmarks(&secondTen, &firstTen));
  EXPECT_EQ(table->CompareBookmarks(&firstTen, nullptr), 0);
}

}  // namespace
}  // namespace ts
