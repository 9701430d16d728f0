// Bookmarks: going back to a record, validity after deletes and after the
// store was emptied, the missing-bookmark error and the order of two
// bookmarks in the row order and in a sorted index.
#include <gtest/gtest.h>

#include "tables.h"

namespace ts {
namespace {

std::unique_ptr<TdvoMemTable> MakeNumbers(std::initializer_list<int> values, bool versioning = false) {
  auto table = std::make_unique<TdvoMemTable>("numbers");
  table->AddField<TIntegerField>("n");
  table->IndexDefs().Add("byN", "n");
  table->SetEnableVersioning(versioning);
  table->Open();
  for (int value : values) {
    table->Append();
    table->FieldNamed("n").SetAsInteger(value);
    table->Post();
  }
  table->First();
  return table;
}

int N(TdvoMemTable& table) { return table.FieldNamed("n").AsInteger(); }

TEST(Bookmarks, GoingBackToARecordInAnyOrder) {
  auto table = MakeNumbers({30, 10, 20});
  table->Next();
  const TBookmark ten = table->GetBookmark();
  EXPECT_TRUE(table->BookmarkValid(&ten));
  table->Last();
  table->GotoBookmark(&ten);
  EXPECT_EQ(N(*table), 10);
  // The same bookmark finds its record in another index.
  table->SetIndexName("byN");
  table->Last();
  table->GotoBookmark(&ten);
  EXPECT_EQ(N(*table), 10);
  EXPECT_EQ(table->RecNo(), 1);
}

TEST(Bookmarks, MissingEmptyAndStaleBookmarks) {
  auto table = MakeNumbers({1, 2, 3});
  try {
    table->GotoBookmark(nullptr);
    FAIL() << "a missing bookmark was followed";
  } catch (const EMemTableError& error) {
    EXPECT_STREQ(error.what(), "Bookmark -200 not found.");
  }
  table->Next();
  int scrolls = 0;
  table->AfterScroll = [&scrolls](TDataSet&) { ++scrolls; };
  const TBookmark empty{};
  table->GotoBookmark(&empty);
  EXPECT_EQ(N(*table), 2);
  EXPECT_EQ(scrolls, 0);
  EXPECT_FALSE(table->BookmarkValid(&empty));
  EXPECT_FALSE(table->BookmarkValid(nullptr));

  // A record deleted for good: the bookmark is invalid and going to it
  // leaves the cursor where it is (the freed record is never read).
  const TBookmark two = table->GetBookmark();
  table->Delete();
  EXPECT_FALSE(table->BookmarkValid(&two));
  table->Last();
  table->GotoBookmark(&two);
  EXPECT_EQ(N(*table), 3);
  // A new record taking over the slot does not revive the bookmark.
  table->Append();
  table->FieldNamed("n").SetAsInteger(4);
  table->Post();
  EXPECT_FALSE(table->BookmarkValid(&two));
}

TEST(Bookmarks, ABookmarkFromBeforeTheStoreWasEmptiedIsInvalid) {
  auto table = MakeNumbers({1, 2});
  const TBookmark old = table->GetBookmark();
  table->ClearAllRecords();
  table->Append();
  table->FieldNamed("n").SetAsInteger(5);
  table->Post();
  const TBookmark fresh = table->GetBookmark();
  EXPECT_FALSE(table->BookmarkValid(&old));
  EXPECT_TRUE(table->BookmarkValid(&fresh));
  EXPECT_EQ(table->CompareBookmarks(&old, &fresh), 0);
  table->GotoBookmark(&old);
  EXPECT_EQ(N(*table), 5);
}

TEST(Bookmarks, AVersionedDeleteKeepsTheBookmarkValid) {
  auto table = MakeNumbers({1, 2, 3}, true);
  table->Next();
  const TBookmark two = table->GetBookmark();
  table->Delete();
  EXPECT_TRUE(table->BookmarkValid(&two));
  table->SetStatusFilter(StatusBit(rsDeleted));
  table->GotoBookmark(&two);
  EXPECT_EQ(N(*table), 2);
}

TEST(Bookmarks, CompareFollowsTheCurrentOrder) {
  auto table = MakeNumbers({30, 10, 20, 10});
  const TBookmark thirty = table->GetBookmark();
  table->Next();
  const TBookmark firstTen = table->GetBookmark();
  table->Next();
  const TBookmark twenty = table->GetBookmark();
  table->Next();
  const TBookmark secondTen = table->GetBookmark();
  // Row order: the order the records were stored in.
  EXPECT_EQ(table->CompareBookmarks(&thirty, &firstTen), -1);
  EXPECT_EQ(table->CompareBookmarks(&twenty, &firstTen), 1);
  EXPECT_EQ(table->CompareBookmarks(&twenty, &twenty), 0);
  // A sorted index: keys first; equal keys by position.
  table->SetIndexName("byN");
  EXPECT_EQ(table->CompareBookmarks(&thirty, &firstTen), 1);
  EXPECT_EQ(table->CompareBookmarks(&firstTen, &twenty), -1);
  EXPECT_NE(table->CompareBookmarks(&firstTen, &secondTen), 0);
  EXPECT_EQ(table->CompareBookmarks(&firstTen, &secondTen), -table->CompareBookmarks(&secondTen, &firstTen));
  EXPECT_EQ(table->CompareBookmarks(&firstTen, nullptr), 0);
}

TEST(Bookmarks, NoBookmarkWhileInsertingOrEmpty) {
  auto table = MakeNumbers({});
  EXPECT_EQ(table->GetBookmark().Record, nullptr);
  table->Append();
  EXPECT_EQ(table->GetBookmark().Record, nullptr);
  EXPECT_EQ(table->BookmarkFlagOf(table->ActiveBuffer()), bfEOF);
  table->SetBookmarkFlag(table->ActiveBuffer(), bfBOF);
  EXPECT_EQ(table->BookmarkFlagOf(table->ActiveBuffer()), bfBOF);
  table->Cancel();
  table->Append();
  table->FieldNamed("n").SetAsInteger(1);
  table->Post();
  const TBookmark one = table->GetBookmark();
  EXPECT_NE(one.Record, nullptr);
  // The bookmark data of a buffer is its record reference.
  TRecord* buffer = table->ActiveBuffer();
  table->SetBookmarkData(buffer, TBookmark{});
  EXPECT_EQ(table->BookmarkOf(buffer).Record, nullptr);
  table->SetBookmarkData(buffer, one);
  EXPECT_EQ(table->BookmarkOf(buffer).Record, one.Record);
}

}  // namespace
}  // namespace ts
