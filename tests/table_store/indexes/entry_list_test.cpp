#include "table_store/indexes/entry_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

#include "index_test_table.h"

namespace ts {
namespace {

using testing::TIndexTestTable;

TRecord* Fake(size_t n) { return reinterpret_cast<TRecord*>((n + 1) * 16); }
// Even-numbered entries carry a head naming their record, so heads and
// their presence are seen to travel along.
TEntry FakeEntry(size_t n) { return n % 2 == 0 ? TEntry(Fake(n), n) : TEntry(Fake(n)); }

// Enough operations to split and merge blocks many times over, checked
// against a flat list after each batch; a long list first filled by appends
// spreads the changes over many groups of blocks.
TEST(EntryList, FollowsAFlatListThroughInsertsAndErases) {
  struct TCase {
    int ops;
    int insertWeight;  // out of 10; the rest erase
    bool atEnds;
    int appended = 0;  // entries appended before the operations
  };
  for (const TCase& c : {TCase{20000, 7, false}, TCase{20000, 5, false}, TCase{8000, 6, true},
                         TCase{20000, 5, false, 100000}}) {
    std::mt19937 rng(static_cast<unsigned>(c.ops + c.insertWeight));
    TEntryList list;
    std::vector<TRecord*> model;
    size_t serial = 0;
    for (; serial < static_cast<size_t>(c.appended); ++serial) {
      list.PushBack(FakeEntry(serial));
      model.push_back(Fake(serial));
    }
    for (int op = 0; op < c.ops; ++op) {
      const int kind = static_cast<int>(rng() % 10);
      const int n = static_cast<int>(model.size());
      int at = n == 0 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(n));
      if (c.atEnds) at = (rng() % 2) ? 0 : n;
      if (kind < c.insertWeight || n == 0) {
        at = std::min(at, n);
        list.Insert(at, FakeEntry(serial));
        model.insert(model.begin() + at, Fake(serial++));
      } else {
        at = std::min(at, n - 1);
        list.Erase(at);
        model.erase(model.begin() + at);
      }
      if (op % 997 == 0 || op == c.ops - 1) {
        ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
        ASSERT_EQ(list.ToVector(), model);
        for (int k = 0; k < list.Count(); k += 37) {
          const TEntry& e = list.Entry(k);
          ASSERT_EQ(e.Record(), model[static_cast<size_t>(k)]);
          if (e.HasHead()) {
            ASSERT_EQ(Fake(e.Head()), e.Record());
          }
          ASSERT_EQ(e.HasHead(), reinterpret_cast<uintptr_t>(e.Record()) / 16 % 2 == 1);
        }
        if (!model.empty()) {
          EXPECT_EQ(list.IndexOf(model.back()), list.Count() - 1);
        }
      }
    }
    EXPECT_EQ(list.IndexOf(Fake(serial + 5)), -1);
    const std::vector<TEntry> entries = list.ToEntries();
    list.Assign(entries);
    EXPECT_EQ(list.ToVector(), model);
    // Refilled in place from slots, some of them empty: fewer entries than
    // the list holds, then more; the list goes on taking changes.
    for (const size_t slotCount : {model.size() / 3, model.size() * 2 + 700}) {
      std::vector<TRecord*> slots(slotCount);
      model.clear();
      for (size_t i = 0; i < slotCount; ++i)
        if (i % 5 != 2) model.push_back(slots[i] = Fake(serial++));
      list.AssignRecords(slots.data(), slots.size());
      list.Insert(list.Count() / 2, FakeEntry(serial));
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(model.size() / 2), Fake(serial++));
      list.Erase(0);
      model.erase(model.begin());
      ASSERT_EQ(list.ToVector(), model);
      for (int k = 0; k < list.Count(); k += 41) ASSERT_EQ(list.At(k), model[static_cast<size_t>(k)]);
    }
    list.Clear();
    EXPECT_TRUE(list.Empty());
  }
}

// Maintenance over thousands of records with many equal keys and some null
// ones, checked against a flat list kept by the rule itself: a new or moved
// record goes before the first entry that is not below its key (a null sorts
// before every value, descending or not); the current index also numbers the
// record and moves the cursor to it.
TEST(EntryList, MaintenanceKeepsPositionsAndRowNumbersOfTheCurrentIndex) {
  for (const char* key : {"Id", "Id:D"}) {
    SCOPED_TRACE(key);
    TIndexTestTable table;
    TdvoIndex* index = table.indexes->AddIndexFromDef(TIndexDef{"ix", key, 0});
    table.current = index;
    const bool down = key[2] != '\0';
    std::vector<TRecord*> model;
    auto keyOf = [&](const TRecord* r) {
      return table.store.FieldSlot(r, *table.Id())[0] == kSlotNull ? std::optional<int>() : table.IdOf(r);
    };
    auto below = [&](std::optional<int> entry, std::optional<int> id) {
      if (!entry || !id) return !entry && id.has_value();
      return down ? *entry > *id : *entry < *id;
    };
    auto placeOf = [&](std::optional<int> id) {
      const auto it = std::find_if(model.begin(), model.end(), [&](TRecord* r) { return !below(keyOf(r), id); });
      return static_cast<int>(it - model.begin());
    };
    std::mt19937 rng(9);
    for (int op = 0; op < 6000; ++op) {
      const int kind = static_cast<int>(rng() % 10);
      const int drawn = static_cast<int>(rng() % 500) - 250;
      const std::optional<int> id = drawn % 23 == 0 ? std::optional<int>() : drawn;
      const int written = id.value_or(TIndexTestTable::kNull);
      if (kind < 6 || model.size() < 2) {
        const int at = placeOf(id);
        TRecord* r = table.Insert(written);
        model.insert(model.begin() + at, r);
        ASSERT_EQ(table.cursor, at);
        ASSERT_EQ(r->RowNumber, at);
      } else {
        const int pos = static_cast<int>(rng() % model.size());
        TRecord* r = model[static_cast<size_t>(pos)];
        model.erase(model.begin() + pos);
        if (kind < 8) {
          table.Delete(r, pos);
          ASSERT_EQ(table.cursor, pos);
        } else {
          const bool same = keyOf(r) == id;
          const int at = same ? pos : placeOf(id);
          model.insert(model.begin() + at, r);
          table.Edit(r, written, nullptr, kind == 8 ? pos : -1);
          if (!same) {
            ASSERT_EQ(table.cursor, at);
            ASSERT_EQ(r->RowNumber, at);
          }
        }
      }
      if (op % 500 == 0) {
        ASSERT_EQ(index->Entries(), model);
      }
    }
    EXPECT_EQ(index->Entries(), model);
    EXPECT_TRUE(index->InOrder());
  }
}

// Null keys carry no head: a record keyed 0 goes after them, though a head
// of 0 would equal theirs.
TEST(EntryList, AKeyAfterNullKeysGoesBehindThem) {
  TIndexTestTable table;
  TdvoIndex* index = table.indexes->AddIndexFromDef(TIndexDef{"ix", "Id", 0});
  table.current = index;
  for (int i = 0; i < 3; ++i) table.Insert(TIndexTestTable::kNull);
  for (int id = 1; id <= 25; ++id) table.Insert(id);
  table.Insert(0);
  EXPECT_EQ(table.cursor, 3);
}

}  // namespace
}  // namespace ts
