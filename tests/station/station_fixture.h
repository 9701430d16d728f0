// A main window on a hand-ticked loop, scripted boxes and scripted audio, in
// a fresh working folder of its own.
#pragma once

#include "audio_handles.h"
#include "edition_settings.h"
#include "fake_audio.h"
#include "frame.h"
#include "main_window.h"
#include "main_window11.h"
#include "manual_loop.h"
#include "materials_file.h"
#include "scripted_messages.h"
#include "station_loop.h"
#include "station_tables.h"

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/field_types.h"

#include <QAbstractButton>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace station::testing {

struct Variant {
  int varNo;
  std::string subjname;
};

// The table saved in the binary stream format with the station's options.
inline std::string TableBody(ts::TdvoMemTable &table) {
  auto format = MakeStationFormat();
  ts::TMemoryStream stream;
  table.SaveStreamWithFormat(stream, format.get());
  return std::string(reinterpret_cast<const char *>(stream.Memory()), std::size_t(stream.Size()));
}

// A materials body: the station's own table with one record per variant.
inline std::string MaterialsBody(const std::vector<Variant> &variants) {
  auto table = MakeComplectsTable();
  table->Open();
  for (const Variant &v : variants) {
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(v.varNo);
    table->FieldNamed("subjname").SetAsString(v.subjname);
    table->Post();
  }
  return TableBody(*table);
}

// A materials body of one variant 0 with the station's declared fields but
// `field`: left out, or with `asNumber` an integer field in its place.
inline std::string MaterialsBodyWithout(const std::string &field, bool asNumber = false) {
  const auto declared = MakeComplectsTable();
  ts::TdvoMemTable table("complects");
  for (int i = 0; i < declared->FieldCount(); ++i) {
    const ts::TField &f = declared->Field(i);
    if (f.FieldName() == field) {
      if (asNumber) table.AddField<ts::TIntegerField>(field);
    } else if (f.DataType() == ts::ftInteger) {
      table.AddField<ts::TIntegerField>(f.FieldName());
    } else if (f.DataType() == ts::ftString) {
      table.AddField<ts::TStringField>(f.FieldName(), f.Size());
    } else {
      table.AddField<ts::TBlobField>(f.FieldName());
    }
  }
  table.Open();
  table.Append();
  if (field != "VarNo") table.FieldNamed("VarNo").SetAsInteger(0);
  table.Post();
  return TableBody(table);
}

// A screen that records what happens to it.
class ProbeFrame : public TFrame {
 public:
  struct Log {
    std::vector<std::string> events;
  };
  ProbeFrame(TfrmMain &main, std::string name, Log &log, std::function<void(ProbeFrame &)> onTick)
      : TFrame(main), name_(std::move(name)), log_(log), on_tick_(std::move(onTick)) {
    Timer1 = &AddTimer(1000, [this] {
      ++FTicks;
      if (on_tick_) on_tick_(*this);
      // Touches the frame after the handler may have switched screens.
      log_.events.push_back(name_ + " tick " + std::to_string(FTicks));
    });
  }
  ~ProbeFrame() override { log_.events.push_back(name_ + " destroyed"); }
  void Start(std::optional<int> arg) override {
    log_.events.push_back(name_ + " start " + (arg ? std::to_string(*arg) : "none"));
    FTicks = 0;
    Timer1->SetEnabled(true);
  }
  TfrmMain &Main() { return main_; }
  StationTimer *Timer1 = nullptr;
  int FTicks = 0;

 private:
  std::string name_;
  Log &log_;
  std::function<void(ProbeFrame &)> on_tick_;
};

class StationFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/station_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::filesystem::current_path(dir_);
    FakeAudio::Get().Reset();
    RecChannel = RecPlayStream = TestWavStream = Prepare1Stream = Task1Stream = AnswerPlayStream = 0;
    settings_ = Grade11Settings();
  }
  void TearDown() override {
    window_.reset();
    std::filesystem::current_path(old_cwd_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Adds a probe screen to the table; its tick runs `onTick`.
  void AddScreen(int code, std::optional<int> arg = std::nullopt, std::function<void(ProbeFrame &)> onTick = {}) {
    settings_.screens[code] = ScreenRow{
        [this, code, onTick](TfrmMain &main) -> std::unique_ptr<TFrame> {
          return std::make_unique<ProbeFrame>(main, "screen" + std::to_string(code), log_, onTick);
        },
        arg};
  }

  TfrmMain &Window() {
    if (!window_) window_ = MakeMainWindow(settings_, StationServices{loop_, boxes_});
    return *window_;
  }

  void WriteFile(const std::string &name, const std::string &bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  void WriteGoodMaterials() {
    WriteFile("klt-re11.kim", PackMaterials(MaterialsBody({{1, "one"}, {0, "zero"}, {2, "two"}})));
  }

  // Writes `bytes` into a blob field of the current materials record.
  void PutMaterialsBlob(const std::string &field, const std::string &bytes) {
    ts::TdvoMemTable &t = *Window().complects;
    t.Edit();
    auto stream = t.OpenBlobStream(t.FieldNamed(field), ts::TBlobStreamMode::Write);
    stream->WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
    stream.reset();
    t.Post();
  }

  static std::string ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // A window whose materials hold one record, variant 0, with the task pages
  // read from `pagesPath`.
  TfrmMain &WithVariantZero(const std::string &pagesPath) {
    TfrmMain &w = Window();
    w.complects->Open();
    w.complects->Append();
    w.complects->FieldNamed("VarNo").SetAsInteger(0);
    w.complects->Post();
    const std::string pages = ReadBytes(pagesPath);
    EXPECT_GT(pages.size(), 1000u) << "demo pages are built with the tests";
    PutMaterialsBlob("VariantText", pages);
    return w;
  }

  ProbeFrame *Current() { return dynamic_cast<ProbeFrame *>(Window().CurrentFrame()); }
  bool Logged(const std::string &event) const {
    return std::find(log_.events.begin(), log_.events.end(), event) != log_.events.end();
  }

  std::filesystem::path old_cwd_;
  std::string dir_;
  ManualLoop loop_;
  ScriptedMessages boxes_{loop_};
  EditionSettings settings_;
  ProbeFrame::Log log_;
  std::unique_ptr<TfrmMain> window_;
};

inline QString U(const char *utf8) { return QString::fromUtf8(utf8); }

// A size limit on the files this process writes, for as long as it lives:
// past it a file cannot grow, as on a full disk.
class SizeLimit {
 public:
  explicit SizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~SizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  SizeLimit(const SizeLimit &) = delete;
  SizeLimit &operator=(const SizeLimit &) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

}  // namespace station::testing
