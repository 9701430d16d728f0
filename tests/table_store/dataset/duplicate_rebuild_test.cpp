// A rebuild that meets two equal keys of a unique index: every road that
// rebuilds indexes (sync, load, opening an attached table, opening over a
// persistent file) reports the duplicate, and every index an open table
// can select still holds every record, in its order, also after later posts;
// an Open that reports it leaves the table closed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "table_store/binary_format/binary_stream_format.h"
#include "tables.h"

namespace ts {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDuplicate = "EMemTableDupKey: Duplicate index value. Operation aborted.";

using testing::MessageOf;

void DeclareFields(TdvoMemTable& table) {
  table.AddField<TIntegerField>("id");
  table.AddField<TStringField>("name", 10);
}

void AddUniqueId(TdvoMemTable& table) { table.IndexDefs().Add("uniqueId", "id", ixUnique); }
void AddByName(TdvoMemTable& table) { table.IndexDefs().Add("byName", "name:D"); }

void AppendRow(TdvoMemTable& table, int id, const char* name) {
  table.Append();
  table.FieldNamed("id").SetAsInteger(id);
  table.FieldNamed("name").SetAsString(name);
  table.Post();
}

// Rows (1, a), (2, b), (1, c).
void AppendDuplicates(TdvoMemTable& table) {
  AppendRow(table, 1, "a");
  AppendRow(table, 2, "b");
  AppendRow(table, 1, "c");
}

// The duplicate rows saved with the definitions of a unique index on id and
// a second index.
void SaveDuplicates(TStream& stream) {
  TdvoMemTable source("source");
  DeclareFields(source);
  source.Open();
  AppendDuplicates(source);
  AddUniqueId(source);
  AddByName(source);
  TdvoBinaryStreamFormat format;
  source.SaveStreamWithFormat(stream, &format);
}

// Writes one field of the record at `recNo` (1-based) of the current index.
void EditAt(TdvoMemTable& table, int recNo, const char* field, const char* value) {
  table.First();
  for (int k = 1; k < recNo; ++k) table.Next();
  table.Edit();
  table.FieldNamed(field).SetAsString(value);
  table.Post();
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file's bytes and its identity (device, inode, modification time): a
// write-back of the very bytes it held, in place or through a file that
// replaces it, still shows. "none" while there is no file.
std::string FileState(const fs::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return "none";
  return ReadFile(path) + "|" + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + ":" +
         std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
}

// The records one index shows, walked through the table, as sorted
// "id:name" texts: indexes compare as sets of records.
std::string Shown(TdvoMemTable& table, TdvoIndex* index) {
  table.SelectIndex(index);
  std::vector<std::string> rows;
  for (table.First(); !table.Eof(); table.Next())
    rows.push_back(table.FieldNamed("id").AsString() + ":" + table.FieldNamed("name").AsString());
  std::sort(rows.begin(), rows.end());
  std::string text;
  for (const std::string& row : rows) text += row + " ";
  return text;
}

// Every index of an open table shows the records of its row order, a sorted
// index in key order (equal neighbours where a duplicate is held).
void ExpectEveryIndexWhole(TdvoMemTable& table, const std::string& rows) {
  ASSERT_TRUE(table.Active()) << table.Name();
  TdvoIndexes& indexes = table.Indexes();
  EXPECT_EQ(Shown(table, nullptr), rows) << table.Name();
  for (int i = 0; i < indexes.IndexCount(); ++i) {
    TdvoIndex* index = indexes.IndexAt(i);
    EXPECT_EQ(Shown(table, index), rows) << table.Name() << " " << index->Name();
    if (!index->KeepSorted()) continue;
    const std::vector<TRecord*> entries = index->Entries();
    for (size_t k = 1; k < entries.size(); ++k)
      EXPECT_LE(index->CompareForIndex(nullptr, entries[k - 1], entries[k], false, false), 0)
          << table.Name() << " " << index->Name() << " at " << k;
  }
  table.SelectIndex(nullptr);
}

TEST(DuplicateRebuild, EveryIndexStaysWholeAndAFailedOpenLeavesTheTableClosed) {
  const fs::path persistentFile =
      fs::path(::testing::TempDir()) / ("duplicate_rebuild_" + std::to_string(::getpid()) + ".dat");
  struct Case {
    const char* what;
    // Index definitions and records before the step; the step must raise.
    std::function<void(TdvoMemTable& owner, TdvoMemTable& view)> prepare, step;
    bool viewOpen;  // whether the attached table is open after the step
    bool ownerOpen = true;
    bool ownerKept = false;  // the owner stays on its record
    std::string error = kDuplicate;
  };
  TdvoBinaryStreamFormat persistentFormat;
  const std::vector<Case> cases{
      {"sync after posts with the indexes off",
       [](TdvoMemTable& owner, TdvoMemTable&) {
         AddUniqueId(owner);
         AddByName(owner);
         owner.Open();
         owner.SetEnableIndexes(false);
         AppendDuplicates(owner);
         owner.SetEnableIndexes(true);
       },
       [](TdvoMemTable& owner, TdvoMemTable&) { owner.SyncIndexes(); }, false},
      {"sync past a definition that cannot be built",
       [](TdvoMemTable& owner, TdvoMemTable&) {
         AddByName(owner);
         owner.Open();
         owner.SetEnableIndexes(false);
         AppendDuplicates(owner);
         owner.SetEnableIndexes(true);
         owner.IndexDefs().Add("unknown", "nope");
         AddUniqueId(owner);
       },
       [](TdvoMemTable& owner, TdvoMemTable&) { owner.SyncIndexes(); }, false, true, false,
       "EDatabaseError: owner: Field 'nope' not found"},
      {"a load with definitions",
       [](TdvoMemTable& owner, TdvoMemTable&) {
         AddUniqueId(owner);
         AddByName(owner);
         owner.Open();
       },
       [](TdvoMemTable& owner, TdvoMemTable&) {
         TMemoryStream stream;
         SaveDuplicates(stream);
         TdvoBinaryStreamFormat format;
         owner.LoadStreamWithFormat(stream, &format);
       },
       false},
      {"a load into the owner of an open attached table",
       [](TdvoMemTable& owner, TdvoMemTable& view) {
         AddUniqueId(owner);
         AddByName(owner);
         AddByName(view);
         view.Open();
       },
       [](TdvoMemTable& owner, TdvoMemTable&) {
         TMemoryStream stream;
         SaveDuplicates(stream);
         TdvoBinaryStreamFormat format;
         format.sfDef = sfSaveDef;
         format.sfIndexDef = sfSaveIndexDef;
         owner.LoadStreamWithFormat(stream, &format);
       },
       true},
      {"opening an attached table over duplicates",
       [](TdvoMemTable& owner, TdvoMemTable& view) {
         AddByName(owner);
         AddUniqueId(view);
         AddByName(view);
         owner.Open();
         AppendDuplicates(owner);
         owner.First();
         owner.Next();
       },
       [](TdvoMemTable&, TdvoMemTable& view) { view.Open(); }, false, true, true},
      {"opening over a persistent file",
       [&persistentFile, &persistentFormat](TdvoMemTable& owner, TdvoMemTable&) {
         {
           TFileStream file(persistentFile.string(), TFileMode::Create);
           SaveDuplicates(file);
         }
         // A day old: a write in the same clock tick still moves the time.
         fs::last_write_time(persistentFile, fs::file_time_type::clock::now() - std::chrono::hours(24));
         owner.SetPersistentFormat(&persistentFormat);
         owner.SetPersistentFile(persistentFile.string());
         owner.SetPersistent(true);
       },
       [](TdvoMemTable& owner, TdvoMemTable&) { owner.Open(); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TdvoMemTable owner("owner");
    TdvoMemTable view("view");
    DeclareFields(owner);
    owner.SetAttachMaxCount(2);
    view.SetAttachedTo(&owner);
    c.prepare(owner, view);
    const int ownerRecord = owner.Active() ? owner.RecNo() : -1;
    const std::string fileBefore = FileState(persistentFile);
    EXPECT_EQ(MessageOf([&] { c.step(owner, view); }), c.error);
    EXPECT_EQ(view.Active(), c.viewOpen);
    EXPECT_EQ(owner.Active(), c.ownerOpen);
    // Nothing of a failed open is written back over its persistent file.
    EXPECT_EQ(FileState(persistentFile), fileBefore);
    if (!c.ownerOpen) continue;
    if (c.ownerKept) {
      EXPECT_EQ(owner.RecNo(), ownerRecord);
    }
    // The records stay; every index holds all of them.
    const std::string loaded = "1:a 1:c 2:b ";
    ExpectEveryIndexWhole(owner, loaded);
    if (view.Active()) ExpectEveryIndexWhole(view, loaded);
    // Later posts through the owner reach every index, also those of a key
    // that is held twice.
    EXPECT_EQ(MessageOf([&] {
                AppendRow(owner, 7, "g");
                EditAt(owner, 3, "name", "y");  // (1, c), the second of the key's two
                EditAt(owner, 1, "name", "z");  // (1, a)
                EditAt(owner, 2, "id", "5");    // (2, b)
              }),
              "no error");
    owner.Cancel();  // a refused post leaves the record in edit
    const std::string posted = "1:y 1:z 5:b 7:g ";
    ExpectEveryIndexWhole(owner, posted);
    if (view.Active()) ExpectEveryIndexWhole(view, posted);
    // With the duplicate gone, every table of the store opens whole.
    EXPECT_EQ(MessageOf([&] {
                owner.First();
                owner.Delete();
                if (!view.Active()) view.Open();
              }),
              "no error");
    ExpectEveryIndexWhole(owner, "1:y 5:b 7:g ");
    ExpectEveryIndexWhole(view, "1:y 5:b 7:g ");
  }
  fs::remove(persistentFile);
}

}  // namespace
}  // namespace ts
