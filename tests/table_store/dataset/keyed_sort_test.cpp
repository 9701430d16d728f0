// The index sort through drawn keys against the record compare it replaces:
// random tables with ties, nulls, case and locale options, both directions
// and one to five key fields, some records numbered and some not. The
// expected order is the same quicksort run over CompareForIndex.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/errors.h"
#include "table_store/indexes/index.h"
#include "table_store/indexes/index_sort.h"
#include "table_store/indexes/key_fields.h"

namespace ts {
namespace {

std::string RandomText(std::mt19937& rng) {
  // Few letters, both cases, Latin and Cyrillic, so that ties and
  // case-only differences are common.
  static const char letters[] = "aAbB\xe0\xc0\xe1\xc1\xb8\xa8 -";
  std::string s(rng() % 5, ' ');
  for (char& c : s) c = letters[rng() % (sizeof letters - 1)];
  return s;
}

std::unique_ptr<TdvoMemTable> RandomTable(unsigned seed, int32_t localeId, TdvoPerformance performance,
                                          int records = 400) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("i");
  table->AddField<TStringField>("s", 8);
  table->AddField<TStringField>("long", 20);  // out of line unless mtpfFast
  table->AddField<TFloatField>("f");
  table->AddField<TSmallintField>("small");
  table->AddField<TBooleanField>("b");
  table->AddField<TLargeintField>("big");
  table->SetPerformance(performance);
  table->SetLocaleID(localeId);
  table->Open();
  std::mt19937 rng(seed);
  auto maybe = [&rng] { return rng() % 6 != 0; };  // one value in six stays null
  for (int r = 0; r < records; ++r) {
    table->Append();
    if (maybe()) table->FieldNamed("i").SetAsInteger(static_cast<int>(rng() % 7) - 3);
    if (maybe()) table->FieldNamed("s").SetAsString(RandomText(rng));
    if (maybe()) table->FieldNamed("long").SetAsString(RandomText(rng) + RandomText(rng));
    if (maybe()) {
      const double floats[] = {-1.5, 0.0, -0.0, 2.25, 1e300, NAN};
      table->FieldNamed("f").SetAsFloat(floats[rng() % 6]);
    }
    if (maybe()) table->FieldNamed("small").SetAsInteger(static_cast<int>(rng() % 3));
    if (maybe()) table->FieldNamed("b").SetAsBoolean(rng() % 2 != 0);
    if (maybe()) table->FieldNamed("big").SetAsLargeInt(static_cast<int64_t>(rng() % 3) << 40);
    table->Post();
  }
  // Loaded records carry no number; maintained ones do. Mix both.
  for (int slot = 0; slot < table->Store().SlotCount(); ++slot)
    if (TRecord* record = table->Store().StoredRecord(slot)) record->RowNumber = rng() % 3 == 0 ? slot : -1;
  return table;
}

TEST(KeyedSort, OrdersExactlyAsTheRecordCompareToTheLastTie) {
  const char* keys[] = {
      "i", "i:D", "i:N", "small", "b:D", "s", "s:C", "s:L", "s:CL", "s:D", "long:CD", "f", "f:D", "small;b", "big:D;i",
      "s:N;i", "i:N;s:L", "b;s:CL;i:D", "long:L;f;small:D;s:C", "i;s;f:D;b;big", "s:CDL;long:N;i:ND;f;b:D",
  };
  struct TCase {
    int32_t locale;
    TdvoPerformance performance;
  };
  unsigned seed = 1;
  for (const TCase& c : {TCase{1024, mtpfFast}, TCase{1049, mtpfBalanced}, TCase{1033, mtpfSmall}}) {
    for (const char* key : keys) {
      SCOPED_TRACE(std::string(key) + " locale " + std::to_string(c.locale));
      auto table = RandomTable(seed++, c.locale, c.performance);
      TdvoIndex index("ix", table.get(), key, 0, true, false);
      index.RebuildIndex();
      std::vector<TRecord*> expected = index.Entries();
      // Start the expected sort from the refill order, as the index did.
      index.RefillFromStore();
      expected = index.Entries();
      SortRange(expected, 0, static_cast<int>(expected.size()) - 1, [&index](const TRecord* a, const TRecord* b) {
        return index.CompareForIndex(nullptr, a, b, false, true);
      });
      index.RebuildIndex();
      EXPECT_EQ(index.Entries(), expected);
    }
  }
}

// Enough records that collation keys are drawn in parts on several threads.
TEST(KeyedSort, KeysDrawnInPartsOrderAsTheRecordCompare) {
  for (const char* key : {"s", "long:CD;i"}) {
    SCOPED_TRACE(key);
    auto table = RandomTable(99, 1049, mtpfBalanced, 40000);
    TdvoIndex index("ix", table.get(), key, 0, true, false);
    index.RefillFromStore();
    std::vector<TRecord*> expected = index.Entries();
    SortRange(expected, 0, static_cast<int>(expected.size()) - 1, [&index](const TRecord* a, const TRecord* b) {
      return index.CompareForIndex(nullptr, a, b, false, true);
    });
    index.RebuildIndex();
    EXPECT_EQ(index.Entries(), expected);
  }
}

// Every thread the process starts is counted on its way to the C library.
std::atomic<int> threadsStarted{0};

// A process kept to fewer processors (a benchmark's one-thread side, a
// station started under a processor mask) draws its keys on no more
// threads: a sort large enough to draw in parts starts none under a mask
// of one processor, and one beside its own under a mask of two.
TEST(KeyedSort, KeysAreDrawnOnNoMoreThreadsThanTheProcessorsThisThreadMayUse) {
  cpu_set_t saved;
  ASSERT_EQ(::sched_getaffinity(0, sizeof saved, &saved), 0);
  auto table = RandomTable(7, 1049, mtpfBalanced, 40000);
  for (int count = 1; count <= std::min(2, CPU_COUNT(&saved)); ++count) {
    cpu_set_t kept;
    CPU_ZERO(&kept);
    for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&kept) < count; ++cpu)
      if (CPU_ISSET(cpu, &saved)) CPU_SET(cpu, &kept);
    ASSERT_EQ(::sched_setaffinity(0, sizeof kept, &kept), 0);
    TdvoIndex index("ix", table.get(), "s", 0, true, false);
    const int before = threadsStarted;
    index.RebuildIndex();
    EXPECT_EQ(threadsStarted - before, count - 1) << count << " processors";
    EXPECT_EQ(index.EntryCount(), 40000);
  }
  ASSERT_EQ(::sched_setaffinity(0, sizeof saved, &saved), 0);
}

TEST(KeyedSort, UniqueIndexFindsEqualKeysThatDifferOnlyWhereTheOptionsIgnore) {
  struct TCase {
    const char* key;
    const char* second;  // beside "Ab"
    bool duplicate;
  };
  for (const TCase& c : {TCase{"s:L", "AB", false}, TCase{"s:CL", "aB", true}, TCase{"s:C", "aB", true},
                         TCase{"s", "ab", false}, TCase{"s:CL", "\xe0" "b", false}}) {
    SCOPED_TRACE(c.key);
    TdvoMemTable table("t");
    table.AddField<TStringField>("s", 8);
    table.Open();
    for (const char* v : {"zz", "Ab", c.second, "a"}) {
      table.Append();
      table.FieldNamed("s").SetAsString(v);
      table.Post();
    }
    TdvoIndex index("ix", &table, c.key, mtcoUnique, true, false);
    if (c.duplicate)
      EXPECT_THROW(index.RebuildIndex(), EMemTableDupKey);
    else
      EXPECT_NO_THROW(index.RebuildIndex());
    EXPECT_EQ(index.EntryCount(), 4);
  }
}

}  // namespace
}  // namespace ts

namespace ts {
namespace {

// Searches that pass entries by their heads answer as the record compare
// does: the same table searched once more with a compare event that does
// exactly what the record compare does (an event turns heads off).
TEST(KeyedSort, SearchesThroughHeadsAnswerAsTheRecordCompare) {
  struct TCase {
    const char* index;
    const char* search;  // the key list a locate would pass
  };
  const TCase cases[] = {
      {"i", "i"},       {"i:D", "i:D"},   {"s:CL", "s:CL"},     {"s:CL", "s:CLP"}, {"s", "s"},         {"s:C", "s:C"},
      {"s:CD", "s:CD"}, {"s:L", "s:LP"}, {"i;s:C", "i;s:C"}, {"long:C", "long:C"}, {"s:N", "s:N"}, {"i:N;s", "i"},
  };
  unsigned seed = 50;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.index) + " / " + c.search);
    auto table = RandomTable(seed++, 1049, mtpfBalanced);
    TdvoIndex index("ix", table.get(), c.index, 0, true, false);
    index.RebuildIndex();
    // Records put in after the build carry heads drawn on insert.
    for (int k = 0; k < 40; ++k) {
      TRecord* record = table->Store().StoredRecord(k);
      index.RemoveEntry(index.FindRecordPosition(record));
      int position = -1;
      bool found = false;
      index.SearchIndex(nullptr, record, true, false, position, found);
      index.InsertEntry(position, record);
    }
    TdvoFieldList list;
    ParseKeyFieldList(*table, list, c.search);
    std::vector<std::tuple<int, int, bool>> answers[2];
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1)
        table->OnCompareFields = [&table](TDataSet&, const void* key, const void* value, TFieldType type, int options,
                                          bool& full, int& result) {
          const auto locale = static_cast<uint32_t>(table->Store().LocaleID());
          result = CompareFieldValues(key, value, type, locale, options, full);
        };
      for (int slot = 0; slot < table->Store().SlotCount(); slot += 3) {
        for (bool nearest : {false, true}) {
          int position = -1;
          bool found = false;
          const int r = index.SearchIndex(&list, table->Store().StoredRecord(slot), nearest, false, position, found);
          answers[pass].emplace_back(r < 0 ? -1 : (r > 0 ? 1 : 0), position, found);
        }
      }
    }
    EXPECT_EQ(answers[0], answers[1]);
  }
}

}  // namespace
}  // namespace ts

// Ahead of the C library's own: the count, then the library's thread.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) noexcept {
  using TCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const auto next = reinterpret_cast<TCreate>(::dlsym(RTLD_NEXT, "pthread_create"));
  ++ts::threadsStarted;
  return next(thread, attributes, start, argument);
}
