// The save and load pipelines as a table runs them: options, events, the
// table's switches and lock around a run, failures at every step, and the
// file roads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace ts {
namespace {

namespace fs = std::filesystem;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A folder of its own for each test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    path_ = fs::path(::testing::TempDir()) /
            ("stream_format_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

std::unique_ptr<TdvoMemTable> Numbers(int count, std::string name = "numbers") {
  auto t = std::make_unique<TdvoMemTable>(std::move(name));
  t->AddField<TIntegerField>("n");
  t->AddField<TStringField>("s", 10);
  t->Open();
  for (int i = 0; i < count; ++i) t->AppendRecord({TValue::Integer(i), TValue::String("r" + std::to_string(i))});
  return t;
}

std::vector<int> NumbersOf(TdvoMemTable& t) {
  std::vector<int> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldNamed("n").AsInteger());
  return out;
}

// The table is free again: switches back, lock free for another thread.
void ExpectReleased(TdvoMemTable& t) {
  EXPECT_FALSE(t.Store().Busy());
  EXPECT_EQ(t.TablePhase(), kPhaseNormal);
  EXPECT_FALSE(t.IgnoreReadOnly());
  EXPECT_FALSE(t.NoAutoInc());
  bool taken = false;
  std::thread other([&] {
    taken = t.Store().Lock().TryEnter();
    if (taken) t.Store().Lock().Leave(true);
  });
  other.join();
  EXPECT_TRUE(taken);
}

TEST(StreamPipelineTest, FormatDefaultsAssignAndBufferSize) {
  TdvoBinaryStreamFormat f;
  EXPECT_EQ(f.Version(), "3.00");
  f.SetVersion("9.99");
  EXPECT_EQ(f.Version(), "3.00");
  EXPECT_EQ(f.sfData, sfSaveData | sfLoadData);
  EXPECT_EQ(f.sfCalculated, 0);
  EXPECT_EQ(f.sfFieldKind, sfSaveFieldKind);
  EXPECT_EQ(f.sfFromStart, sfLoadFromStart);
  EXPECT_EQ(f.sfUsingIndex, sfSaveUsingIndex);
  EXPECT_EQ(f.BufferSize(), 16384);
  f.SetBufferSize(16383);
  EXPECT_EQ(f.BufferSize(), 16384);
  f.SetBufferSize(0);
  EXPECT_EQ(f.BufferSize(), 16384);
  f.SetBufferSize(65536);
  EXPECT_EQ(f.BufferSize(), 65536);

  TdvoBinaryStreamFormat g;
  g.sfDef = 0;
  g.sfAppend = sfSaveAppend;
  g.sfUsingIndex = 0;
  g.SetBufferSize(20000);
  f.Assign(g);
  EXPECT_EQ(f.sfDef, 0);
  EXPECT_EQ(f.sfAppend, sfSaveAppend);
  EXPECT_EQ(f.sfUsingIndex, sfSaveUsingIndex);  // not one of the fifteen sets
  EXPECT_EQ(f.BufferSize(), 65536);
}

TEST(StreamPipelineTest, ATableLetsGoOfAFormatThatIsDestroyed) {
  TdvoMemTable t;
  {
    TdvoBinaryStreamFormat f;
    t.SetDefaultFormat(&f);
    t.SetPersistentFormat(&f);
    EXPECT_EQ(t.DefaultFormat(), &f);
  }
  EXPECT_EQ(t.DefaultFormat(), nullptr);
  EXPECT_EQ(t.PersistentFormat(), nullptr);
  // And a format outlives the tables that pointed at it.
  TdvoBinaryStreamFormat f;
  { TdvoMemTable u; u.SetFormFormat(&f); }
}

TEST(StreamPipelineTest, EventsFireInOrderWithTheirStreams) {
  auto t = Numbers(3);
  TdvoBinaryStreamFormat f;
  std::vector<std::string> log;
  f.OnBeforeSave = [&](TdvoCustomStreamFormat& fmt) { log.push_back("before save " + std::to_string(&fmt == &f)); };
  f.OnAfterSave = [&](TdvoCustomStreamFormat&) { log.push_back("after save"); };
  f.OnBeforeLoad = [&](TdvoCustomStreamFormat&) { log.push_back("before load"); };
  f.OnAfterLoad = [&](TdvoCustomStreamFormat&) { log.push_back("after load"); };
  t->OnSave = [&](TDataSet&, TdvoMemTableStorageType type, TStream*) { log.push_back("save " + std::to_string(type)); };
  t->OnLoad = [&](TDataSet&, TdvoMemTableStorageType type, TStream*) { log.push_back("load " + std::to_string(type)); };
  t->OnProgress = [&](TDataSet&, int percentage, TdvoProgressCode code) {
    log.push_back("progress " + std::to_string(percentage) + " " + std::to_string(code));
  };
  TempFolder dir;
  t->SaveFileWithFormat((dir / "t.dat").string(), &f);
  t->LoadFileWithFormat((dir / "t.dat").string(), &f);
  TMemoryStream m;
  t->SaveStreamWithFormat(m, &f);
  t->LoadMemoryStreamWithFormat(m, &f);
  const std::vector<std::string> expected = {
      "save 3", "progress 0 1", "before save 1", "progress 0 1", "after save", "progress 100 1",
      "load 3", "progress 0 0", "before load", "after load", "progress 100 0",
      "progress 0 1", "before save 1", "progress 0 1", "after save", "progress 100 1",
      "load 1", "progress 0 0", "before load", "after load", "progress 100 0"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(NumbersOf(*t), (std::vector<int>{0, 1, 2}));
}

TEST(StreamPipelineTest, MissingFormatAndClosedTableTouchNoFile) {
  TempFolder dir;
  const fs::path file = dir / "answers.ans";
  WriteFile(file, "old contents");
  auto t = Numbers(1, "answers");
  EXPECT_EQ(ErrorOf([&] { t->SaveFileWithFormat(file.string(), nullptr); }), "No format specified.");
  EXPECT_EQ(ReadFile(file), "old contents");
  TMemoryStream m;
  EXPECT_EQ(ErrorOf([&] { t->SaveStreamWithFormat(m, nullptr); }), "No format specified.");
  EXPECT_EQ(ErrorOf([&] { t->LoadStreamWithFormat(m, nullptr); }), "No format specified.");
  t->Close();
  TdvoBinaryStreamFormat f;
  const fs::path other = dir / "other.ans";
  EXPECT_EQ(ErrorOf([&] { t->SaveFileWithFormat(other.string(), &f); }),
            "answers: Cannot perform this operation on a closed dataset");
  EXPECT_FALSE(fs::exists(other));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"answers.ans"}));
  EXPECT_NE(ErrorOf([&] { t->LoadFileWithFormat((dir / "missing").string(), &f); }), "");
}

TEST(StreamPipelineTest, AFailedFileSaveLeavesTheOldFileWhole) {
  TempFolder dir;
  const fs::path file = dir / "answers.ans";
  auto t = Numbers(300);
  TdvoBinaryStreamFormat f;
  t->SaveFileWithFormat(file.string(), &f);
  const std::string before = ReadFile(file);
  ASSERT_GT(before.size(), 100u);

  t->OnSaveRecord = [&](TDataSet& d, bool&) {
    if (static_cast<TdvoMemTable&>(d).FieldNamed("n").AsInteger() == 250) throw EWriteError();
  };
  EXPECT_EQ(ErrorOf([&] { t->SaveFileWithFormat(file.string(), &f); }), "Stream write error");
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"answers.ans"}));
  ExpectReleased(*t);

  // A folder where the file should go is reported, not half written.
  fs::create_directory(dir / "taken");
  t->OnSaveRecord = nullptr;
  EXPECT_NE(ErrorOf([&] { t->SaveFileWithFormat((dir / "taken").string(), &f); }), "");
  EXPECT_TRUE(fs::is_directory(dir / "taken"));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"answers.ans", "taken"}));
  const std::string nowhere = (dir / "missing" / "a.ans").string();
  EXPECT_EQ(ErrorOf([&] { t->SaveFileWithFormat(nowhere, &f); }),
            "Cannot create file \"" + nowhere + "\". No such file or directory");

  // A link at the name is replaced, not written through.
  std::ofstream(dir / "victim") << "kept";
  fs::create_symlink(dir / "victim", dir / "linked.ans");
  t->SaveFileWithFormat((dir / "linked.ans").string(), &f);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "linked.ans")));
  EXPECT_EQ(ReadFile(dir / "linked.ans"), before);
  EXPECT_EQ(ReadFile(dir / "victim"), "kept");
}

TEST(StreamPipelineTest, AppendingSavesStackStreamsAndALoadReadsTheFirst) {
  TempFolder dir;
  const fs::path file = dir / "log.dat";
  TdvoBinaryStreamFormat append;
  append.sfAppend = sfSaveAppend;
  auto first = Numbers(2);
  auto second = Numbers(5);
  first->SaveFileWithFormat(file.string(), &append);
  const auto one = fs::file_size(file);
  second->SaveFileWithFormat(file.string(), &append);
  EXPECT_GT(fs::file_size(file), 2 * one);
  const std::string bytes = ReadFile(file);
  EXPECT_EQ(bytes.find("TPF0", 4), one);

  TdvoMemTable t;
  TdvoBinaryStreamFormat f;
  t.LoadFileWithFormat(file.string(), &f);
  EXPECT_EQ(NumbersOf(t), (std::vector<int>{0, 1}));
  // Read on from where the first stream ended.
  TFileStream in(file.string(), TFileMode::OpenRead);
  f.sfFromStart = 0;
  t.LoadStreamWithFormat(in, &f);
  EXPECT_EQ(in.Position(), static_cast<int64_t>(one));
  t.LoadStreamWithFormat(in, &f);
  EXPECT_EQ(NumbersOf(t), (std::vector<int>{0, 1, 2, 3, 4}));

  // Insert: the save lands at the target's position, the rest stays.
  TMemoryStream m;
  m.WriteBuffer("head", 4);
  TdvoBinaryStreamFormat insert;
  insert.sfAppend = sfSaveInsert;
  first->SaveStreamWithFormat(m, &insert);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 8), "headTPF0");
  TdvoBinaryStreamFormat plain;
  first->SaveStreamWithFormat(m, &plain);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 4), "TPF0");
}

TEST(StreamPipelineTest, FilteredTablesSaveEveryRecordUnlessAsked) {
  auto t = Numbers(6);
  t->OnFilterRecord = [](TDataSet& d, bool& accept) {
    accept = static_cast<TdvoMemTable&>(d).FieldNamed("n").AsInteger() % 2 == 0;
  };
  t->SetFiltered(true);
  EXPECT_EQ(t->RecordCount(), 3);
  TdvoBinaryStreamFormat f;
  TMemoryStream m;
  t->SaveStreamWithFormat(m, &f);
  EXPECT_TRUE(t->Filtered());
  EXPECT_EQ(t->RecordCount(), 3);
  TdvoMemTable all;
  all.LoadStreamWithFormat(m, &f);
  EXPECT_EQ(all.RecordCount(), 6);

  f.sfFiltered = 0;
  t->SaveStreamWithFormat(m, &f);
  TdvoMemTable even;
  even.LoadStreamWithFormat(m, &f);
  EXPECT_EQ(NumbersOf(even), (std::vector<int>{0, 2, 4}));
}

TEST(StreamPipelineTest, ARangeIsLiftedForTheSaveUnlessAsked) {
  auto t = std::make_unique<TdvoMemTable>();
  t->AddField<TIntegerField>("n");
  t->IndexDefs().Add("byN", "n");
  t->SetIndexName("byN");
  t->Open();
  for (int i : {5, 4, 3, 2, 1, 0}) t->AppendRecord({TValue::Integer(i)});
  t->SetRange(TValue::Integer(2), TValue::Integer(4));
  ASSERT_EQ(t->RecordCount(), 3);
  TdvoBinaryStreamFormat f;
  TMemoryStream m;
  t->SaveStreamWithFormat(m, &f);
  EXPECT_TRUE(t->RangeActive());
  EXPECT_EQ(t->RecordCount(), 3);
  TdvoMemTable all;
  all.LoadStreamWithFormat(m, &f);
  EXPECT_EQ(all.RecordCount(), 6);
  f.sfIgnoreRange = 0;
  t->SaveStreamWithFormat(m, &f);
  TdvoMemTable inRange;
  inRange.LoadStreamWithFormat(m, &f);
  EXPECT_EQ(NumbersOf(inRange), (std::vector<int>{2, 3, 4}));
}

TEST(StreamPipelineTest, SaveMapFollowsKindVisibilityAndBlobOptions) {
  TdvoMemTable t;
  t.AddField<TIntegerField>("n");
  t.AddField<TStringField>("hidden", 10).SetVisible(false);
  auto& calc = t.AddField<TIntegerField>("twice");
  calc.SetFieldKind(fkCalculated);
  t.AddField<TStringField>("s", 10);
  t.OnCalcFields = [](TDataSet& d) {
    auto& table = static_cast<TdvoMemTable&>(d);
    table.FieldNamed("twice").SetAsInteger(2 * table.FieldNamed("n").AsInteger());
  };
  t.Open();
  t.Append();
  t.FieldNamed("n").SetAsInteger(21);
  t.FieldNamed("hidden").SetAsString("h");
  t.FieldNamed("s").SetAsString("x");
  t.Post();

  auto fieldsOf = [&](TdvoBinaryStreamFormat& f) {
    TMemoryStream m;
    t.SaveStreamWithFormat(m, &f);
    TdvoMemTable back;
    back.LoadStreamWithFormat(m, &f);
    std::string names;
    for (int i = 0; i < back.FieldCount(); ++i) names += back.Field(i).FieldName() + " ";
    return names;
  };
  TdvoBinaryStreamFormat f;
  EXPECT_EQ(fieldsOf(f), "n hidden s ");
  f.sfNonVisible = sfLoadNonVisible;
  EXPECT_EQ(fieldsOf(f), "n s ");
  f.sfCalculated = sfSaveCalculated;
  {
    TMemoryStream m;
    t.SaveStreamWithFormat(m, &f);
    TdvoMemTable back;
    back.LoadStreamWithFormat(m, &f);
    ASSERT_EQ(back.FieldCount(), 3);
    EXPECT_EQ(back.Field(1).FieldKind(), fkCalculated);
    // The calculated value was computed for the save and travelled.
    back.Close();
    back.Field(1).SetFieldKind(fkData);
    back.Open();
    TMemoryStream again;
    t.SaveStreamWithFormat(again, &f);
    TdvoBinaryStreamFormat keep;
    keep.sfDef = sfSaveDef;
    back.LoadStreamWithFormat(again, &keep);
    back.First();
    EXPECT_EQ(back.FieldNamed("twice").AsInteger(), 42);
  }
  f.sfFieldKind = 0;
  f.sfData = sfLoadData;
  EXPECT_EQ(fieldsOf(f), "twice ");
}

TEST(StreamPipelineTest, RecordAndFieldEventsDecideWhatTravels) {
  auto t = Numbers(5);
  std::vector<int> savedFields;
  t->OnSaveRecord = [](TDataSet& d, bool& accept) {
    accept = static_cast<TdvoMemTable&>(d).FieldNamed("n").AsInteger() != 1;
  };
  t->OnSaveField = [&](TDataSet&, int fieldNo, TField&) { savedFields.push_back(fieldNo); };
  TdvoBinaryStreamFormat f;
  TMemoryStream m;
  t->SaveStreamWithFormat(m, &f);
  EXPECT_EQ(savedFields.size(), 8u);
  EXPECT_EQ(t->SaveCount(), 4);

  TdvoMemTable back;
  int loadFieldCalls = 0;
  back.OnLoadRecord = [](TDataSet& d, bool& accept) {
    accept = static_cast<TdvoMemTable&>(d).FieldNamed("n").AsInteger() != 3;
  };
  back.OnLoadField = [&](TDataSet&, int, TField&) { ++loadFieldCalls; };
  back.LoadStreamWithFormat(m, &f);
  EXPECT_EQ(NumbersOf(back), (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(loadFieldCalls, 8);
  EXPECT_EQ(back.LoadCount(), 3);
}

TEST(StreamPipelineTest, CompressionEventsSeeTheRightStreams) {
  auto t = Numbers(3);
  TdvoBinaryStreamFormat f;
  int64_t positionSeen = -1, sizeSeen = -1;
  // A reversible stand-in for compression: every byte inverted.
  f.OnCompress = [&](TDataSet&, TStream& from, TStream& to) {
    positionSeen = from.Position();
    sizeSeen = from.Size();
    from.SetPosition(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(from.Size()));
    from.ReadBuffer(bytes.data(), from.Size());
    for (auto& b : bytes) b = static_cast<uint8_t>(~b);
    to.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  };
  f.OnDeCompress = [&](TDataSet&, TStream& from, TStream& to) {
    std::vector<uint8_t> bytes(static_cast<size_t>(from.Size() - from.Position()));
    from.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    for (auto& b : bytes) b = static_cast<uint8_t>(~b);
    to.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    // Left at its end: the format reads from the start all the same.
  };
  TMemoryStream m;
  t->SaveStreamWithFormat(m, &f);
  EXPECT_EQ(positionSeen, sizeSeen);
  EXPECT_EQ(m.Size(), sizeSeen);
  EXPECT_NE(m.Memory()[0], 'T');
  TdvoMemTable back;
  back.LoadStreamWithFormat(m, &f);
  EXPECT_EQ(NumbersOf(back), (std::vector<int>{0, 1, 2}));

  // A save that fails hands nothing to the event.
  positionSeen = -1;
  t->OnSaveRecord = [](TDataSet&, bool&) { throw EWriteError(); };
  TMemoryStream target;
  EXPECT_EQ(ErrorOf([&] { t->SaveStreamWithFormat(target, &f); }), "Stream write error");
  EXPECT_EQ(positionSeen, -1);
  EXPECT_EQ(target.Size(), 0);
  ExpectReleased(*t);
}

TEST(StreamPipelineTest, FailuresAtEveryStepReleaseTheTable) {
  auto source = Numbers(3);
  TdvoBinaryStreamFormat f;
  TMemoryStream good;
  source->SaveStreamWithFormat(good, &f);

  struct Case {
    const char* what;
    std::function<void(TdvoMemTable&, TdvoBinaryStreamFormat&, TMemoryStream&)> arrange;
  };
  const Case cases[] = {
      {"bad signature", [](TdvoMemTable&, TdvoBinaryStreamFormat&, TMemoryStream& m) { m.Memory()[0] = 'X'; }},
      {"bad version", [](TdvoMemTable&, TdvoBinaryStreamFormat&, TMemoryStream& m) { m.Memory()[4] = 0x06; }},
      {"short stream", [](TdvoMemTable&, TdvoBinaryStreamFormat&, TMemoryStream& m) { m.SetSize(m.Size() - 3); }},
      {"decompression", [](TdvoMemTable&, TdvoBinaryStreamFormat& fmt, TMemoryStream&) {
         fmt.OnDeCompress = [](TDataSet&, TStream&, TStream&) { throw EReadError(); };
       }},
      {"before load event", [](TdvoMemTable&, TdvoBinaryStreamFormat& fmt, TMemoryStream&) {
         fmt.OnBeforeLoad = [](TdvoCustomStreamFormat&) { throw EMemTableError("refused"); };
       }},
      {"record event", [](TdvoMemTable& t, TdvoBinaryStreamFormat&, TMemoryStream&) {
         t.OnLoadRecord = [](TDataSet&, bool&) { throw EMemTableError("refused"); };
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TdvoMemTable t("t");
    t.AddField<TIntegerField>("n");
    t.SetPersistent(false);
    t.Open();
    t.AppendRecord({TValue::Integer(7)});
    TdvoBinaryStreamFormat fmt;
    TMemoryStream m;
    m.WriteBuffer(good.Memory(), good.Size());
    c.arrange(t, fmt, m);
    EXPECT_NE(ErrorOf([&] { t.LoadStreamWithFormat(m, &fmt); }), "");
    ExpectReleased(t);
    EXPECT_TRUE(t.EnableIndexes());
    EXPECT_FALSE(fmt.Running());
    // Usable: a new record posts and a load of the sound stream works.
    if (!t.Active()) t.Open();
    t.Append();
    t.FieldNamed("n").SetAsInteger(8);
    t.Post();
    t.OnLoadRecord = nullptr;
    TdvoBinaryStreamFormat sound;
    t.LoadStreamWithFormat(good, &sound);
    EXPECT_EQ(NumbersOf(t), (std::vector<int>{0, 1, 2}));
  }
}

TEST(StreamPipelineTest, OnlyChangedRecordsAndDeltaFilters) {
  auto t = Numbers(4);
  t->SetEnableVersioning(true);
  t->First();
  t->Edit();
  t->FieldNamed("n").SetAsInteger(10);
  t->Post();                                   // modified
  t->AppendRecord({TValue::Integer(20), TValue::Null()});  // inserted
  t->Last();
  t->Delete();                                 // inserted, then deleted
  // Without sfSaveData only the changed record goes out (the data fields
  // stay out of the field map too).
  TdvoBinaryStreamFormat changed;
  changed.sfData = sfLoadData;
  TMemoryStream m;
  t->SaveStreamWithFormat(m, &changed);
  EXPECT_EQ(t->SaveCount(), 1);

  t->SetStatusFilter((1u << rsUnmodified) | (1u << rsModified) | (1u << rsInserted) | (1u << rsDeleted));

  // By physical order the deleted record is there; kept with the option.
  TdvoBinaryStreamFormat physical;
  physical.sfUsingIndex = 0;
  physical.sfDontFilterDeltas = sfSaveDontFilterDeltas;
  t->SaveStreamWithFormat(m, &physical);
  TdvoMemTable all;
  all.LoadStreamWithFormat(m, &physical);
  EXPECT_EQ(all.Store().DeletedCount(), 1);
  EXPECT_EQ(NumbersOf(all), (std::vector<int>{10, 1, 2, 3}));
  all.SetStatusFilter(1u << rsDeleted);
  EXPECT_EQ(NumbersOf(all), (std::vector<int>{20}));
  physical.sfDontFilterDeltas = 0;
  t->SaveStreamWithFormat(m, &physical);
  TdvoMemTable filtered;
  filtered.LoadStreamWithFormat(m, &physical);
  EXPECT_EQ(filtered.Store().DeletedCount(), 0);
}

TEST(StreamPipelineTest, AutoRepositionReturnsToTheRecord) {
  auto t = Numbers(5);
  TdvoBinaryStreamFormat keep;
  keep.sfDef = sfSaveDef;
  auto more = Numbers(2);
  TMemoryStream m;
  more->SaveStreamWithFormat(m, &keep);
  t->SetAutoReposition(true);
  t->First();
  t->Next();
  t->Next();
  t->LoadStreamWithFormat(m, &keep);
  EXPECT_EQ(t->RecordCount(), 7);
  EXPECT_EQ(t->FieldNamed("n").AsInteger(), 2);
  t->SetAutoReposition(false);
  t->LoadStreamWithFormat(m, &keep);
  EXPECT_EQ(t->RecordCount(), 9);
}

TEST(StreamPipelineTest, PersistentFileLoadsOnOpenAndIsReplacedOnClose) {
  TempFolder dir;
  const std::string file = (dir / "table.dat").string();
  TdvoBinaryStreamFormat f;
  {
    auto t = Numbers(3);
    t->SetPersistentFormat(&f);
    t->SetPersistentFile(file);
    t->SetPersistent(true);
    t->Close();
  }
  ASSERT_TRUE(fs::exists(file));
  TdvoMemTable t;
  t.AddField<TIntegerField>("n");
  t.AddField<TStringField>("s", 10);
  t.SetPersistentFormat(&f);
  t.SetPersistentFile(file);
  t.SetPersistent(true);
  t.SetPersistentBackup(true);
  t.SetPersistentBackupExt(".bak");
  t.Open();
  EXPECT_EQ(NumbersOf(t), (std::vector<int>{0, 1, 2}));
  t.AppendRecord({TValue::Integer(3), TValue::Null()});
  t.Close();
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"table.bak", "table.dat"}));
  t.Open();
  EXPECT_EQ(NumbersOf(t), (std::vector<int>{0, 1, 2, 3}));
  t.SetPersistent(false);
  t.Close();

  // A persistent file that cannot be written is reported and the table
  // stays open with its records.
  auto lost = Numbers(2);
  lost->SetPersistentFormat(&f);
  lost->SetPersistentFile((dir / "gone" / "t.dat").string());
  lost->SetPersistent(true);
  EXPECT_NE(ErrorOf([&] { lost->Close(); }), "");
  EXPECT_TRUE(lost->Active());
  EXPECT_EQ(lost->RecordCount(), 2);
  ExpectReleased(*lost);
  lost->SetPersistent(false);
  lost->Close();
}

TEST(StreamPipelineTest, APersistentTableGoneMidSaveOpensWithWhatIsLeft) {
  TempFolder dir;
  const std::string file = (dir / "table.dat").string();
  TdvoBinaryStreamFormat f;
  auto persistent = [&](TdvoMemTable& t) {
    t.SetPersistentFormat(&f);
    t.SetPersistentFile(file);
    t.SetPersistentBackup(true);
    t.SetPersistentBackupExt(".bak");
    t.SetPersistent(true);
  };
  // What a save that died at some step leaves, and what the next open finds.
  const struct {
    const char* left;
    const char* take;  // the file the records come from
    std::vector<int> records;
  } cases[] = {
      {"only the backup", "table.bak", {0, 1, 2}},
      {"only the new file", "table.$$$", {0, 1, 2, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    auto t = Numbers(3);
    persistent(*t);
    t->Close();
    t->Open();
    t->AppendRecord({TValue::Integer(3), TValue::Null()});
    t->Close();  // table.dat: 0..3, table.bak: 0..2
    ASSERT_EQ(dir.Names(), (std::vector<std::string>{"table.bak", "table.dat"}));
    if (std::string(c.take) == "table.bak")
      fs::remove(file);
    else
      fs::rename(file, dir / c.take);
    const std::string backup = ReadFile(dir / "table.bak");
    t->Open();
    EXPECT_EQ(NumbersOf(*t), c.records);
    t->Close();
    // The next save writes the file again and keeps the backup it found.
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(ReadFile(dir / "table.bak"), backup);
    t->SetPersistent(false);
    fs::remove_all(dir / "table.dat");
    fs::remove_all(dir / "table.bak");
    fs::remove_all(dir / "table.$$$");
  }
}

TEST(StreamPipelineTest, ASaveRemovesWhatDeadSavesOfItsFileLeftBehind) {
  TempFolder dir;
  // A process that has ended but is not yet reaped keeps its number.
  const pid_t zombie = ::fork();
  if (zombie == 0) ::_exit(0);
  siginfo_t info{};
  ::waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT);
  const std::string zombiePid = std::to_string(zombie);
  const std::string livePid = std::to_string(::getppid());
  const std::string held = "answers.ans." + zombiePid + "-7-00000007.tmp";
  const std::vector<std::string> kept = {
      held,                                             // locked: another save at work
      "answers.ans." + zombiePid + "-0-0000000.tmp",    // not a save's name
      "answers.ans." + zombiePid + "-0-00000000.tmp.x",
      "other.ans." + zombiePid + "-0-00000000.tmp",  // another file's save
  };
  for (const std::string& name : kept) WriteFile(dir / name, "x");
  // Whatever their numbers, files no one holds locked are dead saves' files.
  WriteFile(dir / ("answers.ans." + zombiePid + "-0-0badf00d.tmp"), "half a table");
  WriteFile(dir / ("answers.ans." + livePid + "-12-00000000.tmp"), "");
  WriteFile(dir / ("answers.ans." + std::to_string(::getpid()) + "-1-00000001.tmp"), "");
  const int holder = ::open((dir / held).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  auto t = Numbers(3);
  TdvoBinaryStreamFormat f;
  t->SaveFileWithFormat((dir / "answers.ans").string(), &f);
  ::close(holder);
  ::waitpid(zombie, nullptr, 0);
  std::vector<std::string> expected = kept;
  expected.push_back("answers.ans");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Names(), expected);
}

TEST(StreamPipelineTest, SavesOfOneFileAtOnceLeaveEachOthersNewFilesAlone) {
  // Each save's clean-up meets the others' new files, now and then in the
  // moment one is being made and not yet locked.
  TempFolder dir;
  const std::string file = (dir / "answers.ans").string();
  std::atomic<int> failures{0};
  auto saves = [&](int count) {
    auto t = Numbers(count);
    TdvoBinaryStreamFormat f;
    for (int i = 0; i < 100; ++i) {
      const std::string error = ErrorOf([&] { t->SaveFileWithFormat(file, &f); });
      if (!error.empty() && failures++ == 0) ADD_FAILURE() << error;
    }
  };
  std::vector<std::thread> savers;
  for (int count = 1; count <= 4; ++count) savers.emplace_back(saves, count);
  for (std::thread& saver : savers) saver.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"answers.ans"}));
}

TEST(StreamPipelineTest, AFullDiskNamesTheFileAndTheReason) {
  TempFolder dir;
  const fs::path file = dir / "answers.ans";
  auto t = Numbers(2000);
  TdvoBinaryStreamFormat f;
  WriteFile(file, "old");
  // A file size limit fails the write as a full disk does.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limit = saved;
  limit.rlim_cur = 4096;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  const std::string error = ErrorOf([&] { t->SaveFileWithFormat(file.string(), &f); });
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(error, "Cannot write file \"" + file.string() + "\". File too large");
  EXPECT_EQ(ReadFile(file), "old");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"answers.ans"}));
  ExpectReleased(*t);
}

}  // namespace
}  // namespace ts
