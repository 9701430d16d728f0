// The table store beside SQLite in memory on the same work and the same
// data, in one process: records of an Integer key, a String(20) and a Float.
// SQLite runs ":memory:" with one table, prepared statements, one
// transaction and an index on the key.
//
// Every row is a fair pair (warmed, alternated, medians of repetitions,
// results compared). Appends: with a kept index on the key (random and
// ascending keys) and without an index, each side on a fresh table, its keys
// then read back in key (or row) order and compared; each row also gives the
// time per record and the heap each side holds at its end. The growth series
// appends random keys with a kept index to a table of an Integer and a
// String(20) only, at 100,000, 1,000,000 and 4,000,000 records, to show how
// the cost per record and the memory grow on both sides.
//
// Locates and index builds: LocateRecord by the key through its index and
// case-insensitive locates on the name through an index, for the keys of
// random records and, one in four, keys no record holds; each side's found
// records (key, name, value) and misses, in order, are compared. Building
// an Integer and a String index over the records. Byte compare ("name:L",
// "name:CL") meets SQLite's own byte order and NOCASE; locale compare
// ("name", "name:C") meets SQLite ordering through an ICU collator of the
// table's locale after decoding the code page, as ours does: the locale
// index build against an index on each name's sort key (ours sorts by sort
// keys too), and, as a labelled row, against a collation that compares two
// names each time. Index builds run each side on one processor, so one
// thread each; a labelled row (`Threads`) gives both up to four: ours draws
// collation keys on them, SQLite's sorter takes the helpers through PRAGMA
// threads.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/indexes/index.h"
#include "table_store/indexes/keyed_sort.h"
#include "common/digest.h"
#include "common/fair_pair.h"
#include "random_words.h"
#include "sqlite_locale_order.h"
#include "table_store/collation.h"

namespace {

using namespace ts;

constexpr int kRecords = 1000000;
constexpr int kLocates = 100000;

struct TRows {
  std::vector<int> keys;
  std::vector<std::string> names;
};

TRows MakeRows(int count, bool ascending) {
  TRows rows;
  std::mt19937 rng(11);
  rows.keys.reserve(static_cast<size_t>(count));
  rows.names.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    rows.keys.push_back(ascending ? i : static_cast<int>(rng() >> 1));
    rows.names.push_back(RandomWord(rng));
  }
  return rows;
}

// ---- SQLite side

class TSqlite {
 public:
  TSqlite() { Check(sqlite3_open(":memory:", &db_)); }
  ~TSqlite() { sqlite3_close(db_); }
  TSqlite(const TSqlite&) = delete;
  TSqlite& operator=(const TSqlite&) = delete;

  void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }
  sqlite3* Handle() { return db_; }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr));
    return statement;
  }
  // withValue: the table has the Float column `value` too.
  void Insert(const TRows& rows, bool withValue = true) {
    Exec("BEGIN");
    sqlite3_stmt* insert = Prepare(withValue ? "INSERT INTO t(id, name, value) VALUES (?, ?, ?)"
                                             : "INSERT INTO t(id, name) VALUES (?, ?)");
    for (size_t i = 0; i < rows.keys.size(); ++i) {
      sqlite3_bind_int(insert, 1, rows.keys[i]);
      sqlite3_bind_text(insert, 2, rows.names[i].data(), static_cast<int>(rows.names[i].size()), SQLITE_STATIC);
      if (withValue) sqlite3_bind_double(insert, 3, static_cast<double>(i) * 0.5);
      if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw std::runtime_error(db_ ? sqlite3_errmsg(db_) : "sqlite");
  }
  sqlite3* db_ = nullptr;
};

// ---- Our side

std::unique_ptr<TdvoMemTable> MakeTable(const char* indexFields, bool withValue = true) {
  auto table = std::make_unique<TdvoMemTable>("bench");
  table->AddField<TIntegerField>("id");
  table->AddField<TStringField>("name", 20);
  if (withValue) table->AddField<TFloatField>("value");
  if (indexFields != nullptr) table->IndexDefs().Add("byKey", indexFields);
  table->Open();
  if (indexFields != nullptr) table->SetIndexName("byKey");
  return table;
}

void Append(TdvoMemTable& table, const TRows& rows, bool withValue = true) {
  TField& id = table.FieldNamed("id");
  TField& name = table.FieldNamed("name");
  TField* value = withValue ? &table.FieldNamed("value") : nullptr;
  for (size_t i = 0; i < rows.keys.size(); ++i) {
    table.Append();
    id.SetAsInteger(rows.keys[i]);
    name.SetAsString(rows.names[i]);
    if (value != nullptr) value->SetAsFloat(static_cast<double>(i) * 0.5);
    table.Post();
  }
}

// ---- Appends

// The keys a table holds, in the order of its current index, and their count.
std::string KeysInOrder(TdvoMemTable& table) {
  bench_fair::Digest digest;
  TField& id = table.FieldNamed("id");
  int64_t count = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    const int32_t key = id.AsInteger();
    digest.Add(&key, sizeof key);
    ++count;
  }
  return std::to_string(count) + " records, keys " + digest.Hex();
}

std::string KeysInOrder(TSqlite& db, bool indexed) {
  bench_fair::Digest digest;
  sqlite3_stmt* select = db.Prepare(indexed ? "SELECT id FROM t ORDER BY id" : "SELECT id FROM t ORDER BY rowid");
  int64_t count = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    const int32_t key = sqlite3_column_int(select, 0);
    digest.Add(&key, sizeof key);
    ++count;
  }
  sqlite3_finalize(select);
  return std::to_string(count) + " records, keys " + digest.Hex();
}

// Both sides start from an empty table made before the clock starts and
// append the same rows; SQLite in one transaction through one prepared
// statement (prepared inside its run, as ours looks up its fields inside
// its own).
bench_fair::Pair AppendPair(int count, bool indexed, bool ascending, bool withValue) {
  auto rows = std::make_shared<const TRows>(MakeRows(count, ascending));
  auto table = std::make_shared<std::unique_ptr<TdvoMemTable>>();
  auto db = std::make_shared<std::unique_ptr<TSqlite>>();
  bench_fair::Pair pair;
  pair.peerName = indexed ? "SQLite, index on id" : "SQLite, no index";
  pair.items = count;
  pair.heap = true;
  pair.ours.setUp = [table, indexed, withValue] { *table = MakeTable(indexed ? "id" : nullptr, withValue); };
  pair.ours.run = [table, rows, withValue] { Append(**table, *rows, withValue); };
  pair.ours.result = [table] { return KeysInOrder(**table); };
  pair.ours.tearDown = [table] { table->reset(); };
  pair.peer.setUp = [db, indexed, withValue] {
    *db = std::make_unique<TSqlite>();
    (*db)->Exec(withValue ? "CREATE TABLE t(id INTEGER, name TEXT, value REAL)" : "CREATE TABLE t(id INTEGER, name TEXT)");
    if (indexed) (*db)->Exec("CREATE INDEX t_id ON t(id)");
  };
  pair.peer.run = [db, rows, withValue] { (*db)->Insert(*rows, withValue); };
  pair.peer.result = [db, indexed] { return KeysInOrder(**db, indexed); };
  pair.peer.tearDown = [db] { db->reset(); };
  return pair;
}

// ---- Locates and index builds over one shared set of records

struct TLoaded {
  TRows rows = MakeRows(kRecords, false);
  std::unique_ptr<TdvoMemTable> table = MakeTable(nullptr);
  TSqlite db;
  bool localeIndex = false;
  TLoaded() {
    Append(*table, rows);
    table->IndexDefs().Add("byId", "id");
    table->IndexDefs().Add("byNameBytes", "name:CL");
    table->IndexDefs().Add("byNameLocale", "name:C");
    table->SyncIndexes();
    db.Exec("CREATE TABLE t(id INTEGER, name TEXT, value REAL)");
    db.Insert(rows);
    std::string locale;
    if (!LocaleNameForLcid(static_cast<uint32_t>(table->LocaleID()), locale))
      throw std::runtime_error("the table's locale has no collator");
    TSqliteLocaleOrder::RegisterCollation(db.Handle(), "LOCALE", locale, false);
    TSqliteLocaleOrder::RegisterCollation(db.Handle(), "LOCALE_NOCASE", locale, true);
    TSqliteLocaleOrder::RegisterSortKey(db.Handle(), "LOCALE_KEY", locale);
    db.Exec("CREATE INDEX t_id ON t(id)");
    db.Exec("CREATE INDEX t_name_nocase ON t(name COLLATE NOCASE)");
  }
  // Made only for the pair that needs it: a million collator calls and more.
  void NeedLocaleIndex() {
    if (!localeIndex) db.Exec("CREATE INDEX t_name_locale_nocase ON t(name COLLATE LOCALE_NOCASE)");
    localeIndex = true;
  }
  static TLoaded& Get() {
    static TLoaded loaded;
    return loaded;
  }
};

// What the locates look for: the keys of random records and, every fourth,
// a key no record holds (an integer between the stored ones, a name with a
// digit in it, which no stored name has). Only records whose key no other
// record shares are looked for: among equal keys ours finds the first in its
// index's order, which leaves ties as its sort does, SQLite the lowest
// rowid, and both are right. A name counts as shared when another has the
// same letters up to case, in the code page's bytes or through the locale.
struct TLookFor {
  std::vector<int> keys;
  std::vector<std::string> names;
};

std::string FoldedBytes(std::string name) {
  for (char& c : name) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF)) c = static_cast<char>(b + 32);
    if (b == 0xA8) c = static_cast<char>(0xB8);  // the code page's capital Yo
  }
  return name;
}

TLookFor LocateKeys(const TRows& rows, TCollationRef collation) {
  std::unordered_map<int, int> keyCount;
  std::unordered_map<std::string, int> foldedCount, localeCount;
  std::vector<std::string> localeKeys(rows.names.size());
  for (size_t i = 0; i < rows.keys.size(); ++i) {
    ++keyCount[rows.keys[i]];
    ++foldedCount[FoldedBytes(rows.names[i])];
    if (!CollationSortKey(collation, kNormIgnoreCase, rows.names[i].data(), rows.names[i].size(), localeKeys[i]))
      throw std::runtime_error("the collator failed");
    ++localeCount[localeKeys[i]];
  }
  auto alone = [&](size_t row) {
    return keyCount[rows.keys[row]] == 1 && foldedCount[FoldedBytes(rows.names[row])] == 1 &&
           localeCount[localeKeys[row]] == 1;
  };
  std::mt19937 rng(7);
  TLookFor look;
  for (int i = 0; i < kLocates; ++i) {
    if (i % 4 == 3) {
      int key = 0;
      do key = static_cast<int>(rng() >> 1);
      while (keyCount.count(key) != 0);
      std::string name = RandomWord(rng);
      name[name.size() / 2] = static_cast<char>('0' + i % 10);
      look.keys.push_back(key);
      look.names.push_back(std::move(name));
    } else {
      size_t row = 0;
      do row = rng() % rows.keys.size();
      while (!alone(row));
      look.keys.push_back(rows.keys[row]);
      look.names.push_back(rows.names[row]);
    }
  }
  return look;
}

// Every locate's outcome in order: the record found (its key, name and
// value) or that none was.
class TFoundDigest {
 public:
  void Found(int32_t key, std::string_view name, double value) {
    digest_.Add("+", 1);
    const uint32_t length = static_cast<uint32_t>(name.size());
    digest_.Add(&key, sizeof key);
    digest_.Add(&length, sizeof length);
    digest_.Add(name);
    digest_.Add(&value, sizeof value);
    ++found_;
  }
  void Missed() {
    digest_.Add("-", 1);
    ++missed_;
  }
  std::string Text() const {
    return std::to_string(found_) + " found, " + std::to_string(missed_) + " missed, digest " + digest_.Hex();
  }

 private:
  bench_fair::Digest digest_;
  int64_t found_ = 0;
  int64_t missed_ = 0;
};

// byName: locate on the name, case-insensitive (the index's options come from
// `locateFields`; `collation` is SQLite's); else on the key.
bench_fair::Pair Locate(const char* indexName, const char* locateFields, bool byName, const char* collation) {
  TLoaded& m = TLoaded::Get();
  if (std::string(collation) == "LOCALE_NOCASE") m.NeedLocaleIndex();
  // Made once for every locate pair.
  static const auto made =
      std::make_shared<const TLookFor>(LocateKeys(m.rows, CollationFor(static_cast<uint32_t>(m.table->LocaleID()))));
  const std::shared_ptr<const TLookFor> look = made;
  auto oursFound = std::make_shared<TFoundDigest>();
  auto peerFound = std::make_shared<TFoundDigest>();
  const std::string sql = byName ? std::string("SELECT id, name, value FROM t WHERE name = ? COLLATE ") + collation +
                                       " LIMIT 1"
                                 : "SELECT id, name, value FROM t WHERE id = ? LIMIT 1";
  std::shared_ptr<sqlite3_stmt> select(m.db.Prepare(sql.c_str()), sqlite3_finalize);
  bench_fair::Pair pair;
  pair.peerName = byName ? std::string("SQLite, COLLATE ") + collation + " index" : "SQLite, index on id";
  pair.ours.setUp = [&m, indexName, oursFound] {
    m.table->SetIndexName(indexName);
    *oursFound = TFoundDigest();
  };
  pair.ours.run = [&m, look, oursFound, locateFields, byName] {
    TField& id = m.table->FieldNamed("id");
    TField& name = m.table->FieldNamed("name");
    TField& value = m.table->FieldNamed("value");
    for (size_t i = 0; i < look->keys.size(); ++i) {
      const TValue key = byName ? TValue::String(look->names[i]) : TValue::Integer(look->keys[i]);
      if (m.table->LocateRecord(locateFields, key, byName ? loCaseInsensitive : 0))
        oursFound->Found(id.AsInteger(), name.AsString(), value.AsFloat());
      else
        oursFound->Missed();
    }
  };
  pair.ours.result = [oursFound] { return oursFound->Text(); };
  pair.peer.setUp = [peerFound] { *peerFound = TFoundDigest(); };
  pair.peer.run = [&m, look, peerFound, select, byName] {
    sqlite3_stmt* s = select.get();
    for (size_t i = 0; i < look->keys.size(); ++i) {
      if (byName)
        sqlite3_bind_text(s, 1, look->names[i].data(), static_cast<int>(look->names[i].size()), SQLITE_STATIC);
      else
        sqlite3_bind_int(s, 1, look->keys[i]);
      if (sqlite3_step(s) == SQLITE_ROW)
        peerFound->Found(sqlite3_column_int(s, 0),
                         std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                                          static_cast<size_t>(sqlite3_column_bytes(s, 1))),
                         sqlite3_column_double(s, 2));
      else
        peerFound->Missed();
      sqlite3_reset(s);
    }
  };
  pair.peer.result = [peerFound] { return peerFound->Text(); };
  return pair;
}

// The keys in an index's order, folded into one text.
class TKeyDigest {
 public:
  void Add(const std::string& key) {
    const uint32_t length = static_cast<uint32_t>(key.size());  // the keys' bounds count
    digest_.Add(&length, sizeof length);
    digest_.Add(key);
    ++count_;
  }
  std::string Text() const { return std::to_string(count_) + " keys, digest " + digest_.Hex(); }

 private:
  bench_fair::Digest digest_;
  long long count_ = 0;
};

// Keeps this thread, and the threads it starts, to some of the processors
// it may run on now (the one it is on first), until Release.
class TProcessors {
 public:
  void Keep(int count) {
    if (::sched_getaffinity(0, sizeof saved_, &saved_) != 0) throw std::runtime_error("no processor mask");
    cpu_set_t kept;
    CPU_ZERO(&kept);
    const int here = ::sched_getcpu();
    if (here >= 0 && CPU_ISSET(here, &saved_)) CPU_SET(here, &kept);
    for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&kept) < count; ++cpu)
      if (CPU_ISSET(cpu, &saved_)) CPU_SET(cpu, &kept);
    if (::sched_setaffinity(0, sizeof kept, &kept) != 0) throw std::runtime_error("the processors cannot be kept");
    kept_ = true;
  }
  void Release() {
    if (kept_) ::sched_setaffinity(0, sizeof saved_, &saved_);
    kept_ = false;
  }

 private:
  cpu_set_t saved_{};
  bool kept_ = false;
};

// An index made over the records and freed after each run, untimed; beside
// SQLite's CREATE INDEX on `sqliteColumn`, dropped after each run. The keys
// of both, read in index order, must be the same. Both sides run on the
// same number of threads: ours draws collation keys on as many as
// KeyDrawThreads gives, and SQLite's sorter gets that many less its own as
// helpers (PRAGMA threads). `processors` > 0 keeps each side to that many
// processors (1: both sides on one thread); 0 leaves them all.
bench_fair::Pair BuildIndex(const char* fields, const char* sqliteColumn, bool text, int processors) {
  TLoaded& m = TLoaded::Get();
  auto index = std::make_shared<std::unique_ptr<TdvoIndex>>();
  auto kept = std::make_shared<TProcessors>();
  const int threads = processors > 0 ? std::min(processors, static_cast<int>(KeyDrawThreads()))
                                     : static_cast<int>(KeyDrawThreads());
  // Each side's set-up makes sure of the threads it will have.
  auto keep = [kept, processors, threads] {
    if (processors > 0) kept->Keep(processors);
    if (static_cast<int>(KeyDrawThreads()) != threads)
      throw std::runtime_error("the sides would not have the same threads");
  };
  bench_fair::Pair pair;
  pair.peerName = std::string("SQLite, CREATE INDEX on ") + sqliteColumn + ", " + std::to_string(threads) +
                  (threads == 1 ? " thread" : " threads") + " each";
  pair.ours.setUp = [&m, keep] {
    keep();
    m.table->SetIndexName("");
  };
  pair.ours.run = [&m, index, fields] {
    *index = std::make_unique<TdvoIndex>("bench", m.table.get(), fields, 0, true, false);
    (*index)->RebuildIndex();
  };
  pair.ours.result = [&m, index, text] {
    TField& key = m.table->FieldNamed(text ? "name" : "id");
    TKeyDigest digest;
    for (int i = 0; i < (*index)->EntryCount(); ++i) {
      m.table->SetOverrideRecord((*index)->EntryAt(i));
      digest.Add(text ? key.AsString() : std::to_string(key.AsInteger()));
    }
    m.table->SetOverrideRecord(nullptr);
    return digest.Text();
  };
  pair.ours.tearDown = [index, kept] {
    index->reset();
    kept->Release();
  };
  pair.peer.setUp = [&m, keep, threads] {
    keep();
    const std::string helpers = std::to_string(threads - 1);
    m.db.Exec(("PRAGMA threads = " + helpers).c_str());
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> read(m.db.Prepare("PRAGMA threads"), sqlite3_finalize);
    if (sqlite3_step(read.get()) != SQLITE_ROW || std::to_string(sqlite3_column_int(read.get(), 0)) != helpers)
      throw std::runtime_error("SQLite does not take " + helpers + " helper threads");
  };
  const std::string create = std::string("CREATE INDEX t_build ON t(") + sqliteColumn + ")";
  pair.peer.run = [&m, create] { m.db.Exec(create.c_str()); };
  const std::string select = std::string("SELECT ") + (text ? "name" : "id") + " FROM t INDEXED BY t_build ORDER BY " +
                             sqliteColumn;
  pair.peer.result = [&m, select] {
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> walk(m.db.Prepare(select.c_str()), sqlite3_finalize);
    TKeyDigest digest;
    while (sqlite3_step(walk.get()) == SQLITE_ROW)
      digest.Add(std::string(reinterpret_cast<const char*>(sqlite3_column_text(walk.get(), 0)),
                             static_cast<size_t>(sqlite3_column_bytes(walk.get(), 0))));
    return digest.Text();
  };
  pair.peer.tearDown = [&m, kept] {
    m.db.Exec("DROP INDEX t_build");
    m.db.Exec("PRAGMA threads = 0");
    kept->Release();
  };
  return pair;
}

}  // namespace

int main(int argc, char** argv) {
  for (int count : {50000, 200000, kRecords})
    bench_fair::Register("Append/IndexedRandom/" + std::to_string(count),
                         [count] { return AppendPair(count, true, false, true); });
  bench_fair::Register("Append/IndexedAscending/" + std::to_string(kRecords),
                       [] { return AppendPair(kRecords, true, true, true); });
  bench_fair::Register("Append/NoIndex/" + std::to_string(kRecords),
                       [] { return AppendPair(kRecords, false, false, true); });
  for (int count : {100000, 1000000, 4000000})
    bench_fair::Register("Growth/IndexedRandom/" + std::to_string(count),
                         [count] { return AppendPair(count, true, false, false); });
  bench_fair::Register("Locate/ByKey", [] { return Locate("byId", "id", false, ""); });
  bench_fair::Register("Locate/NameNoCaseBytes", [] { return Locate("byNameBytes", "name:L", true, "NOCASE"); });
  bench_fair::Register("Locate/NameNoCaseLocale",
                       [] { return Locate("byNameLocale", "name", true, "LOCALE_NOCASE"); });
  bench_fair::Register("BuildIndex/Integer", [] { return BuildIndex("id", "id", false, 1); });
  bench_fair::Register("BuildIndex/StringBytes", [] { return BuildIndex("name:L", "name", true, 1); });
  bench_fair::Register("BuildIndex/StringLocale", [] { return BuildIndex("name", "LOCALE_KEY(name)", true, 1); });
  bench_fair::Register("BuildIndex/StringLocale/CollationPeer",
                       [] { return BuildIndex("name", "name COLLATE LOCALE", true, 1); });
  bench_fair::Register("BuildIndex/StringLocale/Threads",
                       [] { return BuildIndex("name", "LOCALE_KEY(name)", true, 0); });
  return bench_fair::Main(argc, argv);
}
