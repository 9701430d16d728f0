// The listening task's two screens and the eye break on a hand-ticked
// station: what they count, what they store and where they lead.
#include "../../station_fixture.h"

#include "screens/gym_eyes.h"
#include "screens/prepare1.h"
#include "screens/task1.h"

#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace station;
using namespace station::testing;

namespace {

const char kStationKey[] = "2020-05-01_5_000123_0042_3";
// Both audio files last a second or a little more: limit 1 + 2.
constexpr int kAudioLimit = 3;

class TimedScreens : public StationFixture {
 protected:
  void SetUp() override {
    StationFixture::SetUp();
    for (int code : {20, 30, 40, 50, 1000}) AddScreen(code);
  }

  // A station as code entry leaves it, with one variant holding the
  // listening task's materials.
  TfrmMain &Ready(const std::string &options = "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\nsix\r\n7\r\n8\r\n9\r\n"
                                               "10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n16\r\n",
                  const std::string &coords = "100 10 200\n130 20 210 words\n160 30 220\n190 40 230\n220 50 240\n") {
    TfrmMain &w = WithVariantZero(STATION_DEMO_BUILD_DIR "/v0/VariantText.pdf");
    PutMaterialsBlob("AudioPrep", WavBytes(1.0));
    PutMaterialsBlob("Audio", WavBytes(1.25));
    PutMaterialsBlob("answer1", options);
    PutMaterialsBlob("coords1", coords);
    w.PrepareAnswers();
    w.answers->Edit();
    w.answers->FieldNamed("a1").SetAsString("00000");
    w.answers->Post();
    w.FStationKey = kStationKey;
    w.FStudID = "0042";
    w.FGymEyesDue = true;
    Grade11(w).FOralPartDone = true;
    w.FElapsedSeconds = 600;
    w.Label1->hide();
    return w;
  }

  template <class Frame>
  Frame *Start(int code) {
    Window().StartFrame(code);
    auto *frame = dynamic_cast<Frame *>(Window().CurrentFrame());
    EXPECT_NE(frame, nullptr) << "screen " << code;
    return frame;
  }
  bool Now(int code) { return Logged("screen" + std::to_string(code) + " start none") && Current() != nullptr; }
  QString SecondsShown() { return Window().lblProcessTime->text(); }
  std::string Answer(const char *field) { return Window().answers->FieldNamed(field).AsString(); }
  bool Exists(const char *file) { return std::filesystem::exists(dir_ + "/" + file); }
};

TEST_F(TimedScreens, PreparationPlaysItsAudioForItsLengthAndCannotBeCutShort) {
  TfrmMain &w = Ready();
  auto *frame = Start<TfrmPrepare1>(10);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Panel1->text(), U("Подготовка к выполнению задания № 1"));
  EXPECT_EQ(frame->Panel1->height(), 41);
  EXPECT_TRUE(frame->Button1->isHidden());
  EXPECT_EQ(w.FPrepare1Seconds, kAudioLimit);
  EXPECT_EQ(ReadBytes(dir_ + "/~$t1a.tmp"), WavBytes(1.0));
  const HSTREAM stream = Prepare1Stream;
  EXPECT_NE(stream, 0u);
  FakeAudio &audio = FakeAudio::Get();
  EXPECT_TRUE(audio.Called("StreamCreateFile 0 " + dir_ + "/~$t1a.tmp 0 0 0"));
  EXPECT_TRUE(audio.Called("ChannelPlay " + std::to_string(stream) + " 1"));
  EXPECT_EQ(w.lblProcessName->text(), U("Воспроизводится запись:"));
  EXPECT_EQ(SecondsShown(), U("3 сек."));
  EXPECT_FALSE(w.lblProcessTime->isHidden());
  EXPECT_FALSE(w.ProcessBar->isHidden());
  EXPECT_EQ(w.ProcessBar->maximum(), kAudioLimit);
  EXPECT_TRUE(w.Label1->isHidden());

  // The whole-work time does not end the preparation.
  w.FElapsedSeconds = w.FExamSeconds + 100;
  for (int tick = 1; tick <= kAudioLimit; ++tick) {
    loop_.AdvanceSeconds(1);
    ASSERT_EQ(w.CurrentFrame(), frame) << tick;
    EXPECT_EQ(SecondsShown(), QString::number(kAudioLimit - tick) + U(" сек."));
    EXPECT_EQ(w.ProcessBar->value(), tick);
  }
  loop_.AdvanceSeconds(1);
  EXPECT_NE(dynamic_cast<TfrmTask1 *>(w.CurrentFrame()), nullptr);
  EXPECT_FALSE(Exists("~$t1a.tmp"));
  const int stop = audio.IndexOf("ChannelStop " + std::to_string(stream));
  const int free = audio.IndexOf("StreamFree " + std::to_string(stream));
  EXPECT_GE(stop, 0);
  EXPECT_GT(free, stop);
}

TEST_F(TimedScreens, ListeningTaskFillsItsBoxesAndStoresThePicksWhenItsTimeIsUp) {
  TfrmMain &w = Ready();
  auto *frame = Start<TfrmTask1>(11);
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(Grade11(w).FOralPartDone);
  EXPECT_EQ(frame->Panel1->text(), U("Выполнение задания № 1."));
  EXPECT_EQ(frame->Button1->text(), U("Завершить ответ!"));
  EXPECT_FALSE(frame->Image1->pixmap().isNull());
  EXPECT_EQ(w.FTask1Seconds, kAudioLimit);
  EXPECT_EQ(SecondsShown(), U("3 сек."));
  EXPECT_EQ(ReadBytes(dir_ + "/~$t1.tmp"), WavBytes(1.25));
  EXPECT_FALSE(Exists("~$t1ans.tmp"));
  EXPECT_FALSE(Exists("~$t1coords.tmp"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/Answer_" + kStationKey + "/0042"));

  EXPECT_EQ(frame->t1->geometry(), QRect(10, 100, 200, 24));
  EXPECT_EQ(frame->t2->geometry(), QRect(20, 130, 210, 24));
  EXPECT_EQ(frame->t5->geometry(), QRect(50, 220, 240, 24));
  // Three lines a box in order; the sixteenth line is not used.
  const char *first[] = {"one", "four", "7", "10", "13"};
  for (int k = 0; k < 5; ++k) {
    QComboBox *box = frame->Boxes()[k];
    ASSERT_EQ(box->count(), 3) << k;
    EXPECT_EQ(box->itemText(0), first[k]) << k;
    EXPECT_EQ(box->currentIndex(), -1) << k;
  }
  EXPECT_EQ(frame->t5->itemText(2), "15");

  frame->t1->setCurrentIndex(1);
  frame->t5->setCurrentIndex(2);
  // The whole-work time does not end the listening task either.
  w.FElapsedSeconds = w.FExamSeconds + 100;
  loop_.AdvanceSeconds(kAudioLimit);
  ASSERT_EQ(w.CurrentFrame(), frame);
  EXPECT_EQ(Answer("a1"), "00000") << "stored only at the end";
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(20));
  EXPECT_EQ(Answer("a1"), "20003");
  EXPECT_FALSE(Exists("~$t1.tmp"));
  EXPECT_TRUE(FakeAudio::Get().Called("StreamFree " + std::to_string(Task1Stream)));
}

TEST_F(TimedScreens, ShortListsAndPositionsLeaveEmptyItemsAndBoxesAtZero) {
  Ready("a\nb\nc\nd\n", "5 6 7\n");
  auto *frame = Start<TfrmTask1>(11);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->t2->count(), 3);
  EXPECT_EQ(frame->t2->itemText(0), "d");
  EXPECT_EQ(frame->t2->itemText(1), "");
  EXPECT_EQ(frame->t5->count(), 3);
  EXPECT_EQ(frame->t3->geometry(), QRect(0, 0, 0, 24));
  loop_.AdvanceSeconds(kAudioLimit + 1);
  EXPECT_EQ(Answer("a1"), "00000");
}

TEST_F(TimedScreens, DamagedMaterialsAreReportedAndTheScreensStillPlayCountAndHandOver) {
  // Bad positions: the task still plays its audio for its length.
  TfrmMain &w = Ready(std::string("a\n"), "1 2 wide\n");
  w.StartFrame(11);
  ASSERT_EQ(boxes_.shown.size(), 1u) << "the error is reported";
  EXPECT_EQ(boxes_.shown.back().text, U("Invalid numeric input"));
  auto *frame = dynamic_cast<TfrmTask1 *>(w.CurrentFrame());
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->Timer1->Enabled());
  EXPECT_TRUE(FakeAudio::Get().Called("ChannelPlay " + std::to_string(Task1Stream) + " 1"));
  EXPECT_FALSE(Exists("~$t1coords.tmp"));
  for (QComboBox *box : frame->Boxes()) EXPECT_EQ(box->width(), 0) << "no box without a place in the corner";
  loop_.AdvanceSeconds(kAudioLimit + 1);
  EXPECT_TRUE(Now(20));

  // The preparation's audio cannot be copied out: the preparation, which
  // has no button, still counts down its limit and hands over.
  std::filesystem::create_directory(dir_ + "/~$t1a.tmp");
  boxes_.shown.clear();
  w.FPrepare1Seconds = 2;
  w.StartFrame(10);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown.back().text.indexOf("~$t1a.tmp"), -1) << boxes_.shown.back().text.toStdString();
  EXPECT_TRUE(dynamic_cast<TfrmPrepare1 *>(w.CurrentFrame())->Timer1->Enabled());
  loop_.AdvanceSeconds(3);
  auto *task = dynamic_cast<TfrmTask1 *>(w.CurrentFrame());
  ASSERT_NE(task, nullptr);
  EXPECT_TRUE(task->Timer1->Enabled());

  // A full disk when the task's audio is unpacked (a size limit stands for
  // it): told in the station's words, and the task is set up in full
  // without its audio: its own title, the limit of no audio, the boxes
  // filled and placed.
  PutMaterialsBlob("coords1", "100 10 200\n130 20 210\n160 30 220\n190 40 230\n220 50 240\n");
  boxes_.shown.clear();
  w.lblProcessName->setText(U("Подготовка:"));
  w.FTask1Seconds = 4500;
  {
    SizeLimit disk(4096);
    w.StartFrame(11);
  }
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text.toStdString(),
            U("Невозможно записать файл \"%1/~$t1.tmp\".\n\rПричина: файл превышает допустимый размер")
                .arg(QString::fromStdString(dir_))
                .toStdString());
  auto *unpacked = dynamic_cast<TfrmTask1 *>(w.CurrentFrame());
  ASSERT_NE(unpacked, nullptr);
  EXPECT_EQ(w.lblProcessName->text(), U("Воспроизводится запись:"));
  EXPECT_EQ(w.FTask1Seconds, 2);
  EXPECT_EQ(SecondsShown(), U("2 сек."));
  EXPECT_FALSE(Exists("~$t1.tmp")) << "no part of the audio is left to play";
  for (QComboBox *box : unpacked->Boxes()) EXPECT_EQ(box->count(), 3);
  EXPECT_EQ(unpacked->t5->geometry(), QRect(50, 220, 240, 24));
  loop_.AdvanceSeconds(3);
  EXPECT_TRUE(Now(20));
}

TEST_F(TimedScreens, ConfirmedEarlyEndEndsTheListeningTaskAtTheNextTick) {
  TfrmMain &w = Ready();
  auto *frame = Start<TfrmTask1>(11);
  ASSERT_NE(frame, nullptr);
  boxes_.Queue(BoxAnswer::No);
  frame->Button1->click();
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(w.CurrentFrame(), frame) << "No changes nothing";
  ASSERT_FALSE(boxes_.shown.empty());
  EXPECT_EQ(boxes_.shown.back().text, U("Вы уверены, что хотите завершить выполнение задания?"));
  EXPECT_EQ(boxes_.shown.back().caption, U("Внимание!"));
  EXPECT_EQ(boxes_.shown.back().buttons, BoxButtons::YesNo);
  EXPECT_EQ(boxes_.shown.back().owner, BoxOwner::None);

  frame->t3->setCurrentIndex(0);
  boxes_.Queue(BoxAnswer::Yes);
  frame->Button1->click();
  EXPECT_EQ(w.CurrentFrame(), frame) << "never at once";
  EXPECT_EQ(frame->FTicks, 10000);
  // The recording plays on until that tick.
  EXPECT_LT(FakeAudio::Get().IndexOf("ChannelStop " + std::to_string(Task1Stream)), 0);
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(20));
  EXPECT_EQ(Answer("a1"), "00100");
}

TEST_F(TimedScreens, ConfirmedEarlyEndEndsTheScreenWhateverItsLimit) {
  TfrmMain &w = Ready();
  // Limits at and above the early-end value of the break (3000).
  for (int limit : {3000, 5000}) {
    w.FGymEyesSeconds = limit;
    auto *frame = Start<TfrmGymEyes>(22);
    ASSERT_NE(frame, nullptr);
    loop_.AdvanceSeconds(1);
    boxes_.Queue(BoxAnswer::Yes);
    frame->Button1->click();
    EXPECT_TRUE(frame->FEndRequested);
    loop_.AdvanceSeconds(1);
    EXPECT_TRUE(Now(30)) << limit;
    log_.events.clear();
  }
}

TEST_F(TimedScreens, AudioLengthsSetTheLimitsAndUnreadableAudioCountsAsNone) {
  TfrmMain &w = Ready();
  struct Case {
    std::string audio;
    int limit;
  };
  for (const Case &c : {Case{WavBytes(12.5), 14}, Case{WavBytes(13.5), 16}, Case{WavBytes(12.4), 14},
                        Case{"not audio", 2}, Case{std::string(), 2}}) {
    PutMaterialsBlob("AudioPrep", c.audio);
    ASSERT_NE(Start<TfrmPrepare1>(10), nullptr);
    EXPECT_EQ(w.FPrepare1Seconds, c.limit) << c.audio.size();
    EXPECT_EQ(SecondsShown(), QString::number(c.limit) + U(" сек."));
  }
  // Audio longer than the early-end value: a confirmed early end still
  // ends the task at the next tick.
  PutMaterialsBlob("Audio", WavBytes(10000, 100));
  auto *task = Start<TfrmTask1>(11);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(w.FTask1Seconds, 10002);
  boxes_.Queue(BoxAnswer::Yes);
  task->Button1->click();
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(20));
}

TEST_F(TimedScreens, YesGivenAfterTheScreenWasReplacedChangesNothing) {
  TfrmMain &w = Ready();
  w.FGymEyesSeconds = 2;
  auto *frame = Start<TfrmGymEyes>(22);
  ASSERT_NE(frame, nullptr);
  // The pupil answers only after the break has run out on its own.
  boxes_.Queue(BoxAnswer::Yes, [this] { loop_.AdvanceSeconds(3); });
  frame->Button1->click();
  EXPECT_TRUE(Now(30));
  EXPECT_EQ(frame->FTicks, 3) << "the old frame took no early end";
  const int starts = int(std::count(log_.events.begin(), log_.events.end(), "screen30 start none"));
  loop_.AdvanceSeconds(2);
  EXPECT_EQ(std::count(log_.events.begin(), log_.events.end(), "screen30 start none"), starts);
  EXPECT_TRUE(Now(30));
}

TEST_F(TimedScreens, EyeBreakCountsItsSecondsAndLeadsToTheTaskAfterIt) {
  TfrmMain &w = Ready();
  auto *frame = Start<TfrmGymEyes>(22);
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(w.FGymEyesDue);
  EXPECT_EQ(frame->FNextTask, 2);
  EXPECT_FALSE(w.Label1->isHidden());
  EXPECT_TRUE(frame->Image1->pixmap().isNull());
  EXPECT_EQ(frame->Panel1->text(), U("Перерыв для выполнения комплекса упражнений гимнастики глаз"));
  EXPECT_EQ(frame->Button1->text(), U("Завершить перерыв!"));
  EXPECT_EQ(w.lblProcessName->text(), QString());
  EXPECT_EQ(SecondsShown(), U("300 сек."));
  EXPECT_EQ(w.ProcessBar->maximum(), 300);
  EXPECT_EQ(w.ProcessBar->value(), 0);
  loop_.AdvanceSeconds(300);
  ASSERT_EQ(w.CurrentFrame(), frame);
  EXPECT_EQ(SecondsShown(), U("0 сек."));
  EXPECT_EQ(w.ProcessBar->value(), 300);
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(30));

  for (const auto &[code, next] : {std::pair{33, 40}, std::pair{44, 50}}) {
    w.FGymEyesSeconds = 5;
    ASSERT_NE(Start<TfrmGymEyes>(code), nullptr);
    loop_.AdvanceSeconds(6);
    EXPECT_TRUE(Now(next)) << code;
  }
}

TEST_F(TimedScreens, EyeBreakEndsEarlyOrWithTheWholeWorkTime) {
  TfrmMain &w = Ready();
  auto *frame = Start<TfrmGymEyes>(33);
  ASSERT_NE(frame, nullptr);
  loop_.AdvanceSeconds(10);
  boxes_.Queue(BoxAnswer::Yes);
  frame->Button1->click();
  EXPECT_EQ(boxes_.shown.back().text, U("Вы уверены, что хотите завершить перерыв?"));
  EXPECT_EQ(frame->FTicks, 3000);
  EXPECT_EQ(w.CurrentFrame(), frame);
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(40));
  EXPECT_FALSE(w.FGymEyesDue) << "no second break";

  // Equal to the limit goes on; one second more ends in the answer review.
  auto *again = Start<TfrmGymEyes>(44);
  ASSERT_NE(again, nullptr);
  w.FElapsedSeconds = w.FExamSeconds;
  loop_.AdvanceSeconds(1);
  ASSERT_EQ(w.CurrentFrame(), again);
  w.FElapsedSeconds = w.FExamSeconds + 1;
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(1000));
}

// A screen whose start fails.
class FailingFrame : public TFrame {
 public:
  using TFrame::TFrame;
  void Start(std::optional<int>) override { throw std::runtime_error("materials damaged"); }
};

// An eye break whose end work fails at every try.
class FailingBreak : public TfrmGymEyes {
 public:
  using TfrmGymEyes::TfrmGymEyes;

 protected:
  int EndWork() override { throw std::runtime_error("end work failed"); }
};

TEST_F(TimedScreens, EyeBreakTickFailureIsShownAfterTheTickOneNoticeAtATime) {
  settings_.screens[22] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<FailingBreak>(m); },
                           2};
  TfrmMain &w = Ready();
  w.FGymEyesSeconds = 1;
  auto *frame = Start<FailingBreak>(22);
  ASSERT_NE(frame, nullptr);
  int ticksWhileOpen = 0;
  std::size_t boxesWhileOpen = 0;
  boxes_.Queue(BoxAnswer::Ok, [&] {
    const int before = frame->FTicks;
    loop_.AdvanceSeconds(3);
    ticksWhileOpen = frame->FTicks - before;
    boxesWhileOpen = boxes_.shown.size();
  });
  loop_.AdvanceSeconds(2);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Error");
  EXPECT_EQ(boxes_.shown[0].caption, w.Settings().title);
  EXPECT_EQ(boxes_.shown[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(ticksWhileOpen, 3) << "the break counts on while the notice is open";
  EXPECT_EQ(boxesWhileOpen, 1u) << "no second notice over the first";
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(boxes_.shown.size(), 2u) << "once closed, the next failure is shown again";
  EXPECT_EQ(w.CurrentFrame(), frame);
}

TEST_F(TimedScreens, FailedStartOfTheNextScreenIsReportedWithItsOwnText) {
  settings_.screens[30] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<FailingFrame>(m); },
                           {}};
  TfrmMain &w = Ready();
  w.FGymEyesSeconds = 1;
  ASSERT_NE(Start<TfrmGymEyes>(22), nullptr);
  loop_.AdvanceSeconds(2);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown.back().text, "materials damaged");
  EXPECT_NE(dynamic_cast<FailingFrame *>(w.CurrentFrame()), nullptr);
}

}  // namespace
