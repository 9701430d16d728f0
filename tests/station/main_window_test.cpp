#include "station_fixture.h"

#include "container_damages.h"
#include "paths.h"

#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/dataset/mem_table.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QProgressBar>
#include <QVBoxLayout>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>

using namespace station;
using namespace station::testing;

namespace {
const char kMaterialsMessage[] = "Отсутвует или поврежден КИМ - файл klt-re11.kim";
}

using StationStartup = StationFixture;

TEST_F(StationStartup, WindowAndFieldsHaveTheirStartValues) {
  TfrmMain &w = Window();
  EXPECT_EQ(w.size(), QSize(1016, 713));
  EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w.windowTitle(), U("КЛТ-11. Иностранный язык - 2020"));
  EXPECT_EQ(w.Panel1->height(), 50);
  EXPECT_EQ(w.Label1->pos(), QPoint(8, 15));
  EXPECT_EQ(w.lblProcessName->x() + w.lblProcessName->width(), 817);
  w.lblProcessName->setText(U("Воспроизводится запись:"));
  EXPECT_LE(w.lblProcessName->sizeHint().width(), w.lblProcessName->width()) << "the longest title is not cut";
  w.lblProcessName->setText(U("Подготовка:"));
  EXPECT_EQ(w.lblProcessName->y(), 16);
  EXPECT_TRUE(w.lblProcessName->alignment() & Qt::AlignRight);
  EXPECT_EQ(w.lblProcessName->text(), U("Подготовка:"));
  EXPECT_EQ(w.ProcessBar->geometry(), QRect(824, 15, 120, 20));
  EXPECT_FALSE(w.ProcessBar->isTextVisible());
  EXPECT_EQ(w.lblProcessTime->pos(), QPoint(949, 16));
  EXPECT_EQ(w.lblProcessTime->text(), U("999 сек."));
  for (QLabel *l : {w.Label1, w.lblProcessName, w.lblProcessTime}) {
    EXPECT_EQ(QFontInfo(l->font()).family(), "Liberation Sans") << "fonts-liberation2 must be installed";
    EXPECT_EQ(l->font().pixelSize(), 16);
    EXPECT_TRUE(l->font().bold());
  }
  EXPECT_FALSE(w.TimerControl->Enabled());
  EXPECT_EQ(w.TimerControl->Interval(), 1000);

  EXPECT_FALSE(Grade11(w).FOralPartDone);
  EXPECT_EQ(w.FPrepare1Seconds, 25);
  EXPECT_EQ(w.FPrepare5Seconds, 120);
  EXPECT_EQ(w.FPrepare6Seconds, 120);
  for (int v : {w.FTask1Seconds, w.FTask2Seconds, w.FTask3Seconds, w.FTask4Seconds, w.FExamSeconds})
    EXPECT_EQ(v, 4500);
  EXPECT_EQ(w.FTask5Seconds, 120);
  EXPECT_EQ(w.FTask6Seconds, 120);
  EXPECT_EQ(w.FGymEyesSeconds, 300);
  EXPECT_FALSE(w.FGymEyesDue);
  EXPECT_EQ(Grade11(w).FGymEyesAfterSeconds, 2100);
  EXPECT_EQ(w.FElapsedSeconds, 0);
  EXPECT_FALSE(Grade11(w).FOralPartStarted);
  EXPECT_EQ(w.FStudID, "0000");
  EXPECT_TRUE(w.FVariant.isEmpty() && w.FStationKey.isEmpty() && w.FSubjID.isEmpty() && w.FExamDate.isEmpty());
  EXPECT_EQ(w.FAppDir, ProgramFolder());
  EXPECT_EQ(w.FAppDir.back(), '/');
  EXPECT_FALSE(w.FCanClose);
  EXPECT_TRUE(w.FAudioReady);
  EXPECT_EQ(w.FPageNo, 0);
  EXPECT_EQ(w.FPageDPI, 0);
  EXPECT_EQ(w.CurrentFrame(), nullptr);
  EXPECT_EQ(w.AnswerRoot(), AbsoluteWorkingFolder());
}

TEST_F(StationStartup, TablesAreDeclaredWithTheirFieldsAndSettings) {
  TfrmMain &w = Window();
  const std::vector<std::pair<std::string, ts::TFieldType>> materials = {
      {"subjid", ts::ftInteger}, {"subjname", ts::ftString}, {"ExamDate", ts::ftString}, {"Zone", ts::ftInteger},
      {"VarNo", ts::ftInteger},  {"Intro", ts::ftBlob},      {"TestRTF", ts::ftBlob},   {"VarCnt", ts::ftInteger},
      {"Audio", ts::ftBlob},     {"AudioPrep", ts::ftBlob},  {"VariantText", ts::ftBlob}};
  ASSERT_EQ(w.complects->FieldCount(), 23);
  for (std::size_t i = 0; i < materials.size(); ++i) {
    EXPECT_EQ(w.complects->Field(int(i)).FieldName(), materials[i].first);
    EXPECT_EQ(w.complects->Field(int(i)).DataType(), materials[i].second) << materials[i].first;
  }
  EXPECT_EQ(w.complects->FieldNamed("subjname").Size(), 255);
  EXPECT_EQ(w.complects->FieldNamed("ExamDate").Size(), 10);
  for (int i = 1; i <= 6; ++i) {
    EXPECT_EQ(w.complects->Field(10 + i).FieldName(), "coords" + std::to_string(i));
    EXPECT_EQ(w.complects->Field(16 + i).FieldName(), "answer" + std::to_string(i));
    EXPECT_EQ(w.complects->Field(16 + i).DataType(), ts::ftBlob);
  }
  EXPECT_EQ(&w.complects->FieldNamed("SUBJID"), &w.complects->FieldNamed("subjid")) << "names match without case";

  ASSERT_EQ(w.answers->FieldCount(), 7);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(w.answers->Field(i).FieldName(), "a" + std::to_string(i + 1));
    EXPECT_EQ(w.answers->Field(i).DataType(), ts::ftString);
    EXPECT_EQ(w.answers->Field(i).Size(), 1500);
  }
  EXPECT_EQ(w.answers->Field(6).FieldName(), "VarNo");
  EXPECT_EQ(w.answers->Field(6).Size(), 20);
  for (ts::TdvoMemTable *t : {w.complects.get(), w.answers.get()}) {
    EXPECT_EQ(t->Version(), "3.08");
    EXPECT_EQ(t->LocaleID(), 1024);
    EXPECT_EQ(t->AttachMaxCount(), 1);
    EXPECT_FALSE(t->Active());
  }
}

TEST_F(StationStartup, AnswersHoldOneEmptyPostedRecord) {
  AddScreen(1);
  WriteGoodMaterials();
  ASSERT_TRUE(Window().FormCreate());
  ts::TdvoMemTable &answers = *Window().answers;
  ASSERT_TRUE(answers.Active());
  EXPECT_EQ(answers.State(), ts::dsBrowse) << "posted";
  EXPECT_EQ(answers.RecordCount(), 1);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(answers.FieldNamed("a" + std::to_string(i)).AsString(), "");
  EXPECT_TRUE(answers.FieldNamed("VarNo").IsNull()) << "set only once a participant code is accepted";
  // A screen writes an answer that is longer than the field: it is cut, not
  // spilled into the next one.
  answers.Edit();
  answers.FieldNamed("a1").SetAsString(std::string(1600, '1'));
  answers.Post();
  EXPECT_EQ(answers.FieldNamed("a1").AsString(), std::string(1500, '1'));
  EXPECT_EQ(answers.FieldNamed("a2").AsString(), "");
}

TEST_F(StationStartup, VariantZeroBecomesCurrentOrTheFirstRecordStays) {
  const std::vector<std::pair<std::vector<int>, std::string>> cases = {
      {{1, 0, 2, 0}, "variant 0 at 2"}, {{2, 1}, "variant 2 at 1"}, {{0}, "variant 0 at 1"}};
  for (const auto &[varNos, expected] : cases) {
    SCOPED_TRACE(expected);
    window_.reset();
    ts::TdvoMemTable &complects = *Window().complects;
    complects.Open();
    for (std::size_t i = 0; i < varNos.size(); ++i) {
      complects.Append();
      complects.FieldNamed("VarNo").SetAsInteger(varNos[i]);
      complects.FieldNamed("subjname").SetAsString("variant " + std::to_string(varNos[i]) + " at " +
                                                   std::to_string(i + 1));
      complects.Post();
    }
    complects.Last();
    complects.First();
    Window().LocateFirstVariant();
    EXPECT_EQ(complects.FieldNamed("subjname").AsString(), expected);
  }
}

TEST_F(StationStartup, GoodMaterialsStartAudioAndTheFirstScreen) {
  AddScreen(1);
  WriteGoodMaterials();
  ASSERT_TRUE(Window().FormCreate());
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_FALSE(std::filesystem::exists("kim.tmp"));
  ASSERT_NE(Current(), nullptr);
  EXPECT_TRUE(Logged("screen1 start none"));
  const auto &calls = FakeAudio::Get().calls;
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], "GetVersion");
  EXPECT_EQ(calls[1], "RecordInit -1");
  EXPECT_EQ(calls[2], "Init -1 44100 0 window");
  EXPECT_TRUE(Window().FAudioReady);
  EXPECT_EQ(MainWnd, &Window());

  window_.reset();  // shut-down releases the audio library in order
  const auto &after = FakeAudio::Get().calls;
  ASSERT_EQ(after.size(), 6u);
  EXPECT_EQ(after[3], "RecordFree");
  EXPECT_EQ(after[4], "Free");
  EXPECT_EQ(after[5], "Stop");
  EXPECT_TRUE(Logged("screen1 destroyed"));
}

TEST_F(StationStartup, BadMaterialsEndTheProgramWithoutScreenOrAudio) {
  AddScreen(1);
  const std::string body = MaterialsBody({{0, "zero"}, {1, "one"}});
  const std::string packed = PackMaterials(body);
  std::vector<std::pair<std::string, std::string>> cases = {
      {"missing", ""},
      {"not a table", PackMaterials(std::string(5000, 'b'))},
      {"table cut short", PackMaterials(body.substr(0, body.size() / 2))},
      {"signature alone", PackMaterials("TPF0")},
      {"count 0", std::string(4, '\0') + packed.substr(4)},
      {"count -1", std::string(4, '\xFF') + packed.substr(4)},
      {"truncated", packed.substr(0, packed.size() - 10)},
      {"not zlib", packed.substr(0, 4) + "garbage garbage garbage"},
      {"shorter than a count", "\x01"},
      // No variant, or no field that start-up, the hardware check or a task
      // screen reads.
      {"no variant", PackMaterials(MaterialsBody({}))},
      {"without VarNo", PackMaterials(MaterialsBodyWithout("VarNo"))},
      {"without SubjID", PackMaterials(MaterialsBodyWithout("subjid"))},
      {"without ExamDate", PackMaterials(MaterialsBodyWithout("ExamDate"))},
      {"without coords3", PackMaterials(MaterialsBodyWithout("coords3"))},
      {"VariantText not a blob", PackMaterials(MaterialsBodyWithout("VariantText", true))},
      // Neither may block the start: nothing would ever be shown.
      {"named pipe", ""},
      {"folder", ""},
  };
  // Damage that only the stream's end shows, in materials that load whole.
  const std::string demo = ReadBytes(STATION_DEMO_BUILD_DIR "/klt-re11.kim");
  for (const ContainerDamage &damage : ContainerDamages())
    if (damage.result != InflateResult::Ok) cases.emplace_back(damage.name, damage.apply(demo));
  // On a small disk it must not be blamed on the disk: it is refused before
  // anything is written.
  cases.emplace_back("compression bomb", CompressionBomb());
  for (const auto &[name, bytes] : cases) {
    SCOPED_TRACE(name);
    window_.reset();
    boxes_.shown.clear();
    FakeAudio::Get().Reset();
    std::filesystem::remove("klt-re11.kim");
    if (name == "named pipe") {
      ASSERT_EQ(::mkfifo("klt-re11.kim", 0600), 0);
    } else if (name == "folder") {
      std::filesystem::create_directory("klt-re11.kim");
    } else if (name != "missing") {
      WriteFile("klt-re11.kim", bytes);
    }
    if (name == "compression bomb") {
      rlimit old{};
      ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
      const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 1 << 20;
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
      EXPECT_FALSE(Window().FormCreate());
      ::setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, oldHandler);
    } else {
      EXPECT_FALSE(Window().FormCreate());
    }
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, U(kMaterialsMessage));
    EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка..."));
    EXPECT_EQ(boxes_.shown[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::None);
    EXPECT_EQ(Window().CurrentFrame(), nullptr);
    EXPECT_TRUE(log_.events.empty());
    EXPECT_FALSE(std::filesystem::exists("kim.tmp")) << "the temporary body is removed when loading fails";
    window_.reset();
    EXPECT_TRUE(FakeAudio::Get().calls.empty()) << "no audio initialised or released";
  }
}

TEST_F(StationStartup, UnpackedMaterialsThatCannotBeWrittenAreNotBlamedOnThem) {
  AddScreen(1);
  WriteGoodMaterials();
  const std::string materials = ReadBytes("klt-re11.kim");
  const char kTakenName[] = "имя kim.tmp занято папкой или особым файлом";
  struct Case {
    const char *name;
    std::function<void()> arrange;
    const char *reason;
  };
  // A file size limit below the body stands for a full disk: the write
  // fails part way, whoever runs the test (root passes by permissions).
  const std::vector<Case> cases = {
      {"folder named kim.tmp", [] { std::filesystem::create_directory("kim.tmp"); }, kTakenName},
      {"named pipe named kim.tmp", [] { ASSERT_EQ(::mkfifo("kim.tmp", 0600), 0); }, kTakenName},
      {"write fails part way", nullptr, "файл превышает допустимый размер"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    window_.reset();
    boxes_.shown.clear();
    FakeAudio::Get().Reset();
    std::filesystem::remove("kim.tmp");
    if (c.arrange) {
      c.arrange();
      EXPECT_FALSE(Window().FormCreate());
    } else {
      rlimit old{};
      ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
      const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 256;
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
      const bool started = Window().FormCreate();
      ::setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, oldHandler);
      EXPECT_FALSE(started);
    }
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text,
              U("Невозможно записать распакованный КИМ в рабочую папку (файл kim.tmp).\n\rПричина: ") + U(c.reason));
    EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка..."));
    EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::None);
    EXPECT_EQ(Window().CurrentFrame(), nullptr);
    EXPECT_TRUE(log_.events.empty());
    EXPECT_EQ(ReadBytes("klt-re11.kim"), materials) << "the materials are never touched";
    // What held the name stays; a body written part way does not.
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status("kim.tmp")), c.arrange != nullptr);
    window_.reset();
    EXPECT_TRUE(FakeAudio::Get().calls.empty()) << "no audio initialised or released";
  }
}

TEST_F(StationStartup, MaterialsFileThatHoldsMoreThanItsCountLoads) {
  AddScreen(1);
  // The bytes after the table would make it unreadable if they were read.
  WriteFile("klt-re11.kim", PackMaterials(MaterialsBody({{0, "zero"}, {1, "one"}}), std::string(100000, 'z')));
  ASSERT_TRUE(Window().FormCreate());
  EXPECT_NE(Current(), nullptr);
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(Window().complects->RecordCount(), 2);
  // Nor is what follows the stream's end.
  const std::string demo = ReadBytes(STATION_DEMO_BUILD_DIR "/klt-re11.kim");
  for (const ContainerDamage &change : ContainerDamages()) {
    if (change.result != InflateResult::Ok) continue;
    SCOPED_TRACE(change.name);
    window_.reset();
    WriteFile("klt-re11.kim", change.apply(demo));
    ASSERT_TRUE(Window().FormCreate());
    EXPECT_NE(Current(), nullptr);
    EXPECT_TRUE(boxes_.shown.empty());
  }
}

TEST_F(StationStartup, VariantZeroIsCurrentWhenTheFirstScreenStarts) {
  ts::TdvoMemTable *complects = nullptr;
  std::string seen_at_start;
  settings_.screens[1] = ScreenRow{[&](TfrmMain &main) -> std::unique_ptr<TFrame> {
                                     seen_at_start = complects->FieldNamed("subjname").AsString();
                                     return std::make_unique<ProbeFrame>(main, "screen1", log_, nullptr);
                                   },
                                   std::nullopt};
  const std::vector<std::pair<std::vector<Variant>, std::string>> cases = {
      {{{2, "two"}, {0, "zero"}, {1, "one"}, {0, "zero again"}}, "zero"},
      {{{2, "two"}, {1, "one"}}, "two"},
  };
  for (const auto &[variants, expected] : cases) {
    SCOPED_TRACE(expected);
    window_.reset();
    WriteFile("klt-re11.kim", PackMaterials(MaterialsBody(variants)));
    complects = Window().complects.get();
    ASSERT_TRUE(Window().FormCreate());
    EXPECT_EQ(seen_at_start, expected);
    EXPECT_EQ(complects->RecordCount(), int(variants.size()));
  }
}

TEST_F(StationStartup, FieldsAreThoseStoredInTheMaterialsFile) {
  AddScreen(1);
  // Written by another tool: other field names' case, other order, and an
  // extra field; the station finds what it reads by name.
  ts::TdvoMemTable stored("stored");
  stored.AddField<ts::TIntegerField>("VARNO");
  stored.AddField<ts::TStringField>("SubjName", 80);
  stored.AddField<ts::TIntegerField>("Extra");
  stored.AddField<ts::TBlobField>("variantText");
  for (const char *name : {"SUBJID", "zone"}) stored.AddField<ts::TIntegerField>(name);
  stored.AddField<ts::TStringField>("examdate", 10);
  for (const char *name : {"intro", "TESTRTF", "audio", "audioprep", "ANSWER1", "Answer2", "answer4"})
    stored.AddField<ts::TBlobField>(name);
  for (int i = 4; i >= 1; --i) stored.AddField<ts::TBlobField>("Coords" + std::to_string(i));
  stored.Open();
  stored.Append();
  stored.FieldNamed("VARNO").SetAsInteger(0);
  stored.FieldNamed("SubjName").SetAsString("stored");
  stored.Post();
  WriteFile("klt-re11.kim", PackMaterials(TableBody(stored)));
  ASSERT_TRUE(Window().FormCreate());
  ts::TdvoMemTable &complects = *Window().complects;
  EXPECT_EQ(complects.FieldCount(), 18);
  EXPECT_EQ(complects.FieldNamed("subjname").AsString(), "stored");
  EXPECT_EQ(complects.FieldNamed("VarNo").AsInteger(), 0);
  EXPECT_EQ(complects.FindField("VarCnt"), nullptr) << "the declared fields are replaced";
}

TEST_F(StationStartup, WrongAudioVersionEndsTheProgramWithItsMessage) {
  AddScreen(1);
  WriteGoodMaterials();
  FakeAudio::Get().version = 0x02030000;
  EXPECT_FALSE(Window().FormCreate());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, U("Была загружена некорректная версия библиотеки BASS.DLL"));
  EXPECT_TRUE(boxes_.shown[0].caption.isEmpty());
  EXPECT_EQ(boxes_.shown[0].icon, BoxIcon::Error);
  EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::None);
  EXPECT_EQ(Window().CurrentFrame(), nullptr);
  EXPECT_FALSE(FakeAudio::Get().Called("RecordInit"));
  EXPECT_FALSE(FakeAudio::Get().Called("Init"));
}

TEST_F(StationStartup, FailedAudioDeviceIsReportedAndStartUpGoesOn) {
  AddScreen(1);
  WriteGoodMaterials();
  for (bool recordFails : {true, false}) {
    SCOPED_TRACE(recordFails ? "recording device" : "output device");
    window_.reset();
    boxes_.shown.clear();
    FakeAudio::Get().Reset();
    FakeAudio::Get().failureCode = recordFails ? 23 : 8;
    (recordFails ? FakeAudio::Get().recordInitOk : FakeAudio::Get().initOk) = false;
    ASSERT_TRUE(Window().FormCreate());
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text,
              U("Невозможно запустить устройство аудиозаписи.\n\rПроверьте подключение гарнитуры с микрофоном\n"
                "(Код ошибки: ") +
                  QString::number(recordFails ? 23 : 8) + ")");
    EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка"));
    EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::MainWindow);
    EXPECT_FALSE(Window().FAudioReady);
    EXPECT_EQ(FakeAudio::Get().Called("Init "), !recordFails) << "output only after the recording device";
    EXPECT_NE(Current(), nullptr) << "start-up goes on to the first screen";
  }
}

using StationScreens = StationFixture;

TEST_F(StationScreens, CodeWithoutScreenLeavesNone) {
  AddScreen(1);
  TfrmMain &w = Window();
  w.StartFrame(1);
  ASSERT_NE(Current(), nullptr);
  w.StartFrame(7);
  EXPECT_EQ(w.CurrentFrame(), nullptr);
  EXPECT_EQ(loop_.EnabledTimerCount(), 0) << "the old screen's timers stop at once";
  loop_.RunPosted();
  EXPECT_TRUE(Logged("screen1 destroyed"));
  w.StartFrame(7);
  EXPECT_EQ(w.CurrentFrame(), nullptr);
}

TEST_F(StationScreens, StartArgumentComesFromTheTable) {
  AddScreen(22, 2);
  AddScreen(69, 0);
  Window().StartFrame(22);
  Window().StartFrame(69);
  EXPECT_TRUE(Logged("screen22 start 2"));
  EXPECT_TRUE(Logged("screen69 start 0"));
  EXPECT_FALSE(Current()->isHidden());
}

TEST_F(StationScreens, ScreenSwitchingFromItsOwnHandlerIsDestroyedAfterItReturns) {
  AddScreen(10, std::nullopt, [](ProbeFrame &f) {
    if (f.FTicks == 3) f.Main().StartFrame(11);
  });
  AddScreen(11);
  TfrmMain &w = Window();
  w.StartFrame(10);
  ProbeFrame *first = Current();
  loop_.AdvanceSeconds(3);
  // The tick that switched finished its own work on a live frame, then the
  // frame was destroyed; the new screen runs.
  const std::vector<std::string> expected = {"screen10 start none", "screen10 tick 1", "screen10 tick 2",
                                             "screen11 start none", "screen10 tick 3", "screen10 destroyed"};
  EXPECT_EQ(log_.events, expected);
  EXPECT_NE(Current(), first);
  loop_.AdvanceSeconds(2);
  EXPECT_TRUE(Logged("screen11 tick 2"));
  EXPECT_FALSE(Logged("screen10 tick 4"));
}

TEST_F(StationScreens, ScreenReplacedWhileItsQuestionIsOpenOutlivesTheQuestion) {
  bool answered_on_current = true;
  bool asked = false;
  AddScreen(20, std::nullopt, [&](ProbeFrame &f) {
    if (f.FTicks == 1 && !asked) {
      asked = true;
      // The pupil leaves the question open; meanwhile another timer switches.
      boxes_.Queue(BoxAnswer::Yes, [&] {
        f.Main().StartFrame(30);
        loop_.AdvanceSeconds(3);
        EXPECT_FALSE(Logged("screen20 destroyed")) << "not while its question is open";
      });
      const bool yes = f.Main().AskYesNo(U("Вы уверены, что хотите завершить выполнение задания?"));
      answered_on_current = yes && f.IsCurrent();
    }
  });
  AddScreen(30);
  Window().StartFrame(20);
  loop_.AdvanceSeconds(1);
  EXPECT_FALSE(answered_on_current) << "a Yes after the screen ended does nothing";
  EXPECT_TRUE(Logged("screen20 destroyed"));
  EXPECT_TRUE(Logged("screen30 tick 3"));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].caption, U("Внимание!"));
  EXPECT_EQ(boxes_.shown[0].buttons, BoxButtons::YesNo);
  EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::None);
}

TEST_F(StationScreens, ErrorInAHandlerIsShownWithItsTextAndTheScreenGoesOn) {
  AddScreen(40, std::nullopt, [](ProbeFrame &f) {
    if (f.FTicks == 1) throw std::runtime_error("Invalid numeric input");
  });
  Window().StartFrame(40);
  loop_.AdvanceSeconds(2);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Invalid numeric input");
  EXPECT_EQ(boxes_.shown[0].caption, U("КЛТ-11. Иностранный язык - 2020"));
  EXPECT_EQ(boxes_.shown[0].icon, BoxIcon::Error);
  EXPECT_FALSE(Logged("screen40 tick 1")) << "the error ended that handler";
  EXPECT_TRUE(Logged("screen40 tick 2"));
}

TEST_F(StationScreens, ClosingIsRefusedUntilStopExam) {
  AddScreen(5);
  TfrmMain &w = Window();
  w.show();
  w.StartFrame(5);
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(w.FormCloseQuery());
  w.StopExam();
  EXPECT_TRUE(w.FCanClose);
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(w.CurrentFrame()->isHidden());
}

TEST_F(StationScreens, ScreenFillsTheClientAreaBelowTheTopBarWhileItIsShown) {
  AddScreen(1);
  TfrmMain &w = Window();
  w.show();
  w.StartFrame(1);
  QCoreApplication::sendPostedEvents();
  auto placed = [&] { return QRect(Current()->mapTo(&w, QPoint(0, 0)), Current()->size()); };
  EXPECT_EQ(placed(), QRect(0, 50, 1016, 663));
  w.Panel1->hide();
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(placed(), QRect(0, 0, 1016, 713));
}

using StationClock = StationFixture;

TEST_F(StationClock, CountsDownAndWarnsOnceAtTwentyMinutes) {
  TfrmMain &w = Window();
  w.FElapsedSeconds = 0;
  w.TimerControl->SetEnabled(true);
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(w.Label1->text(), U("Оставшееся на выполнение работы время: 75:00"));
  EXPECT_EQ(w.FElapsedSeconds, 1);
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(w.Label1->text(), U("Оставшееся на выполнение работы время: 74:59"));

  // While the warning is open the clock keeps counting.
  QStringList seen_while_open;
  boxes_.Queue(BoxAnswer::Ok, [&] {
    for (int i = 0; i < 3; ++i) {
      loop_.AdvanceSeconds(1);
      seen_while_open << w.Label1->text();
    }
  });
  loop_.AdvanceSeconds(4500 - 1200 - 1);  // up to the tick on which 1200 remain
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text,
            U("До окончания работы осталось 20 минут.\n\rПерейдите к выполнению устной части (задания 5 и 6)"));
  EXPECT_EQ(boxes_.shown[0].caption, U("Внимание!"));
  EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::None);
  const QString prefix = U("Оставшееся на выполнение работы время: ");
  EXPECT_EQ(seen_while_open, (QStringList{prefix + "19:59", prefix + "19:58", prefix + "19:57"}));

  loop_.AdvanceSeconds(1200 - 4);
  EXPECT_EQ(w.Label1->text(), prefix + "00:01");
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(w.Label1->text(), QString());
  EXPECT_EQ(w.FElapsedSeconds, 4501);
  loop_.AdvanceSeconds(3);
  EXPECT_EQ(w.Label1->text(), QString());
  EXPECT_EQ(boxes_.shown.size(), 1u) << "warned exactly once";
}

TEST_F(StationClock, NoWarningOnceTheSpokenPartWasReached) {
  TfrmMain &w = Window();
  Grade11(w).FOralPartStarted = true;
  w.FElapsedSeconds = 4500 - 1201;
  w.TimerControl->SetEnabled(true);
  loop_.AdvanceSeconds(3);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(StationClock, MinutesShowOnlyTheirLastTwoDigits) {
  TfrmMain &w = Window();
  w.FExamSeconds = 6000;  // 100 minutes
  w.TimerControl->SetEnabled(true);
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(w.Label1->text(), U("Оставшееся на выполнение работы время: 00:00"));
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(w.Label1->text(), U("Оставшееся на выполнение работы время: 99:59"));
}

namespace {

std::string ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The demo's task document of variant 0: eleven A4 pages.
std::string DemoTaskPages() { return ReadBytes(STATION_DEMO_BUILD_DIR "/v0/VariantText.pdf"); }

// Puts `bytes` into a blob field of the current materials record, making one
// record when there is none.
void PutBlob(ts::TdvoMemTable &table, const std::string &field, const std::string &bytes) {
  if (!table.Active()) table.Open();
  if (table.IsEmpty())
    table.Append();
  else
    table.Edit();
  auto stream = table.OpenBlobStream(table.FieldNamed(field), ts::TBlobStreamMode::Write);
  stream->WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  stream.reset();
  table.Post();
}

int NonWhitePixels(const QImage &image) {
  int count = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2)
      if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) ++count;
  return count;
}

}  // namespace

TEST_F(StationScreens, PagesAreRenderedAtOneHundredDotsPerInch) {
  const std::string pdf = DemoTaskPages();
  ASSERT_GT(pdf.size(), 1000u) << "demo pages are built with the tests";
  TfrmMain &w = Window();
  PutBlob(*w.complects, "VariantText", pdf);
  QLabel picture;
  w.ShowPDFPage(&picture, "variantText", 3);
  EXPECT_EQ(w.FPageNo, 3);
  EXPECT_EQ(w.FPageDPI, 100);
  const QImage shown = picture.pixmap().toImage();
  ASSERT_EQ(shown.size(), QSize(827, 1169)) << "an A4 page at 100 dpi";
  EXPECT_EQ(shown.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu) << "white where the page is empty";
  EXPECT_GT(NonWhitePixels(shown), 500) << "the page's text is drawn";

  // The last page renders; beyond it, before it, a missing field and a field
  // that is not a blob each end the handler with the error's own text.
  loop_.RunHandler([&] { w.ShowPDFPage(&picture, "VariantText", 11); });
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(w.FPageNo, 11);
  const qint64 page11 = picture.pixmap().cacheKey();
  loop_.RunHandler([&] { w.ShowPDFPage(&picture, "VariantText", 12); });
  loop_.RunHandler([&] { w.ShowPDFPage(&picture, "VariantText", 0); });
  loop_.RunHandler([&] { w.ShowPDFPage(&picture, "Nope", 1); });
  loop_.RunHandler([&] { w.ShowPDFPage(&picture, "subjname", 1); });
  ASSERT_EQ(boxes_.shown.size(), 4u);
  EXPECT_EQ(boxes_.shown[0].text, "Page-Number \"12\" is out of range [1..11]");
  EXPECT_EQ(boxes_.shown[1].text, "Page-Number \"0\" is out of range [1..11]");
  EXPECT_TRUE(boxes_.shown[2].text.contains("Field 'Nope' not found")) << boxes_.shown[2].text.toStdString();
  EXPECT_EQ(boxes_.shown[3].text, "LoadPDFFromDB(Field<>TBLOBField)");
  EXPECT_EQ(boxes_.shown[0].caption, U("КЛТ-11. Иностранный язык - 2020"));
  EXPECT_EQ(picture.pixmap().cacheKey(), page11) << "a failed page leaves the picture as it was";
}

TEST_F(StationScreens, EachPageIsReadFromTheCurrentRecord) {
  TfrmMain &w = Window();
  PutBlob(*w.complects, "VariantText", DemoTaskPages());
  QLabel picture;
  w.ShowPDFPage(&picture, "VariantText", 1);
  ASSERT_FALSE(picture.pixmap().isNull());
  // The record now holds something that is no document: the next page shows
  // the renderer's message instead of the document loaded before.
  PutBlob(*w.complects, "VariantText", "not a document");
  loop_.RunHandler([&] { w.ShowPDFPage(&picture, "VariantText", 1); });
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "There are 0 pageses in document");
}

TEST_F(StationScreens, ScreenshotOfTheMainWindow) {
  TfrmMain &w = Window();
  w.Label1->setText(U("Оставшееся на выполнение работы время: 75:00"));
  w.lblProcessName->setText(U("Воспроизводится запись:"));
  w.ProcessBar->setRange(0, 120);
  w.ProcessBar->setValue(40);
  w.lblProcessTime->setText(U("80 сек."));
  w.show();
  const QPixmap shot = w.grab();
  EXPECT_EQ(shot.size(), QSize(1016, 713));
  EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR) + "/main_window.png"));
}

namespace {
// A task screen's picture: the page centred and not scaled.
class PageScreen : public TFrame {
 public:
  using TFrame::TFrame;
  void Start(std::optional<int>) override {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel(this);
    Image1->setAlignment(Qt::AlignCenter);
    layout->addWidget(Image1);
    main_.ShowPDFPage(Image1, "VariantText", 1);
  }
  QLabel *Image1 = nullptr;
};
}  // namespace

TEST_F(StationStartup, DemoMaterialsStartTheStationAndShowTheirPages) {
  std::filesystem::copy_file(STATION_DEMO_BUILD_DIR "/klt-re11.kim", "klt-re11.kim");
  settings_.screens[1] = ScreenRow{[](TfrmMain &m) { return std::make_unique<PageScreen>(m); }, std::nullopt};
  TfrmMain &w = Window();
  ASSERT_TRUE(w.FormCreate());
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].text.toStdString();
  EXPECT_EQ(w.complects->RecordCount(), 3);
  EXPECT_EQ(w.complects->FieldNamed("VarNo").AsInteger(), 0);
  EXPECT_EQ(w.complects->FieldNamed("SubjID").AsInteger(), 5);
  auto *screen = dynamic_cast<PageScreen *>(w.CurrentFrame());
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->Image1->pixmap().size(), QSize(827, 1169));
  QLabel picture;
  for (const char *field : {"Intro", "TestRTF"}) {
    w.ShowPDFPage(&picture, field, 1);
    EXPECT_EQ(picture.pixmap().size(), QSize(827, 1169)) << field;
  }
  w.ShowPDFPage(&picture, "VariantText", 11);
  loop_.RunHandler([&] { w.ShowPDFPage(&picture, "VariantText", 12); });
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Page-Number \"12\" is out of range [1..11]");

  // The first screen with its page, as the station shows it.
  w.Label1->setText(U("Оставшееся на выполнение работы время: 75:00"));
  w.show();
  QCoreApplication::sendPostedEvents();
  const QPixmap shot = w.grab();
  EXPECT_EQ(shot.size(), QSize(1016, 713));
  EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR) + "/main_window_with_page.png"));
}
