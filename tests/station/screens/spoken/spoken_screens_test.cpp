// The spoken part's four screens through the main window's screen table:
// pages, top bar, countdown before counting, recordings, photo choice and
// every hand-over.
#include "spoken_fixture.h"

#include "screens/spoken_tasks.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>

using namespace station;
using namespace station::testing;

namespace {

class SpokenScreens : public SpokenFixture {
 protected:
  template <class Frame>
  Frame *Shown() {
    return dynamic_cast<Frame *>(Window().CurrentFrame());
  }
  std::string Recording(const char *suffix) const { return ParticipantFolder() + "0042" + suffix; }
  bool Opened(const std::string &path) const {
    const auto &files = FakeAudio::Get().openedFiles;
    return std::find(files.begin(), files.end(), path) != files.end();
  }
};

const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 255, 0);

}  // namespace

TEST_F(SpokenScreens, EditionTableHoldsTheSpokenScreensAndTheirArguments) {
  const EditionSettings s = Grade11Settings();
  TfrmMain &w = Station();
  auto made = [&](int code) { return s.screens.at(code).create(w); };
  EXPECT_NE(dynamic_cast<TfrmPrepare5 *>(made(50).get()), nullptr);
  EXPECT_NE(dynamic_cast<TfrmTask5 *>(made(51).get()), nullptr);
  EXPECT_NE(dynamic_cast<TfrmPrepare6 *>(made(60).get()), nullptr);
  EXPECT_FALSE(s.screens.at(50).startArg.has_value());
  EXPECT_EQ(s.screens.at(51).startArg, 0);
  EXPECT_FALSE(s.screens.at(60).startArg.has_value());
  for (auto [code, photo] : std::initializer_list<std::pair<int, int>>{{61, 1}, {62, 2}, {63, 3}, {69, 0}}) {
    EXPECT_NE(dynamic_cast<TfrmTask6 *>(made(code).get()), nullptr) << code;
    EXPECT_EQ(s.screens.at(code).startArg, photo) << code;
  }
}

TEST_F(SpokenScreens, PreparationFiveCountsItsLimitAndLeadsToTaskFive) {
  AddScreen(51, 0);
  TfrmMain &w = Station();
  Grade11(w).FOralPartStarted = false;
  w.FPrepare5Seconds = 5;
  w.StartFrame(50);
  auto *f = Shown<TfrmPrepare5>();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(Grade11(w).FOralPartStarted) << "the clock's 20-minute warning is off from here";
  EXPECT_TRUE(digits_.empty()) << "no countdown before a preparation for task 5";
  EXPECT_EQ(f->Image1->pixmap().toImage(), Page(5));
  EXPECT_EQ(f->Panel1->text(), U("Подготовка к выполнению задания № 5"));
  EXPECT_EQ(f->Panel1->height(), 41);
  EXPECT_EQ(f->Button1->text(), U("Я готов!"));
  EXPECT_EQ(w.lblProcessName->text(), U("Подготовка к заданию № 5:"));
  EXPECT_EQ(w.lblProcessTime->text(), U("5 сек."));
  EXPECT_FALSE(w.lblProcessTime->isHidden());
  EXPECT_FALSE(w.ProcessBar->isHidden());
  EXPECT_EQ(w.ProcessBar->maximum(), 5);
  EXPECT_EQ(w.ProcessBar->value(), 0);

  QStringList shown;
  for (int i = 0; i < 5; ++i) {
    Seconds(1);
    shown << w.lblProcessTime->text();
  }
  EXPECT_EQ(shown, (QStringList{U("4 сек."), U("3 сек."), U("2 сек."), U("1 сек."), U("0 сек.")}));
  EXPECT_EQ(w.ProcessBar->value(), 5);
  EXPECT_EQ(w.CurrentFrame(), f);
  Seconds(1);
  EXPECT_TRUE(Logged("screen51 start 0"));
}

TEST_F(SpokenScreens, PreparationFiveEndsEarlyOnlyAtTheNextTickAfterYes) {
  AddScreen(51, 0);
  TfrmMain &w = Station();
  w.StartFrame(50);
  auto *f = Shown<TfrmPrepare5>();
  ASSERT_NE(f, nullptr);
  Seconds(3);
  boxes_.Queue(BoxAnswer::No);
  f->Button1Click();
  Seconds(1);
  EXPECT_EQ(w.CurrentFrame(), f) << "No changes nothing";
  boxes_.Queue(BoxAnswer::Yes);
  f->Button1Click();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].text, U("Завершить подготовку к заданию?"));
  EXPECT_EQ(boxes_.shown[1].caption, U("Внимание!"));
  EXPECT_EQ(boxes_.shown[1].buttons, BoxButtons::YesNo);
  EXPECT_EQ(w.CurrentFrame(), f) << "never at once";
  Seconds(1);
  EXPECT_TRUE(Logged("screen51 start 0"));
}

TEST_F(SpokenScreens, EveryScreenGoesToTheReviewOnceTheWorkTimeIsOver) {
  for (int code : {50, 51, 60, 62}) {
    SCOPED_TRACE(code);
    Restart();
    settings_.screens = Grade11Settings().screens;
    AddScreen(1000);
    TfrmMain &w = Station();
    w.FExamSeconds = 100;
    w.FElapsedSeconds = 100;
    w.StartFrame(code);
    auto *f = dynamic_cast<TTimedFrame *>(w.CurrentFrame());
    ASSERT_NE(f, nullptr);
    // Equal is not over: the screen goes on.
    Seconds(1);
    EXPECT_EQ(w.CurrentFrame(), f);
    EXPECT_EQ(w.lblProcessTime->text(), U("119 сек."));
    w.FElapsedSeconds = 101;
    Seconds(1);
    EXPECT_TRUE(Logged("screen1000 start none"));
  }
}

TEST_F(SpokenScreens, TaskFiveRecordsAfterTheCountdownIntoTheParticipantsFolder) {
  AddScreen(60);
  TfrmMain &w = Station();
  w.FTask5Seconds = 3;
  Grade11(w).FOralPartDone = false;
  w.FExamSeconds = 4500;
  w.TimerControl->SetEnabled(true);
  FakeAudio &audio = FakeAudio::Get();
  w.StartFrame(51);
  auto *f = Shown<TfrmTask5>();
  ASSERT_NE(f, nullptr);
  // The countdown ran first; its time is not the task's.
  ASSERT_EQ(digits_.size(), 1u);
  EXPECT_EQ(loop_.NowMs(), 1500);
  EXPECT_EQ(w.FElapsedSeconds, 1) << "the exam clock went on during the countdown";
  EXPECT_EQ(f->FTicks, 0);
  EXPECT_TRUE(f->Timer1->Enabled());
  EXPECT_EQ(f->Image1->pixmap().toImage(), Page(6));
  EXPECT_EQ(f->Panel1->text(), U("Выполнение задания № 5. Идет запись..."));
  EXPECT_EQ(f->Button1->text(), U("Завершить ответ!"));
  EXPECT_EQ(w.lblProcessName->text(), U("Отвечайте! Идет запись:"));
  EXPECT_EQ(w.lblProcessTime->text(), U("3 сек."));
  EXPECT_TRUE(std::filesystem::is_directory(ParticipantFolder()));
  EXPECT_EQ(audio.lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", Recording("_5.ogg"), "-"}));
  EXPECT_EQ(RecChannel, 101u);

  audio.calls.clear();
  Seconds(3);
  EXPECT_FALSE(audio.Called("ChannelStop")) << "recording until the time is up";
  Seconds(1);
  const int stop = audio.IndexOf("ChannelStop 101");
  ASSERT_GE(stop, 1);
  EXPECT_EQ(audio.calls[std::size_t(stop - 1)], "ChannelIsActive 101") << "first asked whether the recording still runs";
  EXPECT_EQ(RecChannel, 0u);
  EXPECT_TRUE(Opened(Recording("_5.ogg"))) << "the recording is opened for playback";
  EXPECT_TRUE(Grade11(w).FOralPartDone);
  EXPECT_TRUE(Logged("screen60 start none"));
}

TEST_F(SpokenScreens, TaskFiveStoppedByTheWorkTimeKeepsItsRecordingAndIsDone) {
  AddScreen(1000);
  TfrmMain &w = Station();
  w.FExamSeconds = 10;
  w.FElapsedSeconds = 11;
  w.StartFrame(51);
  ASSERT_NE(Shown<TfrmTask5>(), nullptr);
  Seconds(1);
  EXPECT_TRUE(FakeAudio::Get().Called("ChannelStop 101"));
  EXPECT_TRUE(Opened(Recording("_5.ogg")));
  EXPECT_TRUE(Grade11(w).FOralPartDone);
  EXPECT_TRUE(Logged("screen1000 start none"));
}

TEST_F(SpokenScreens, TaskFiveWhoseRecordingFailsStillCountsAndEnds) {
  AddScreen(60);
  TfrmMain &w = Station();
  w.FTask5Seconds = 2;
  FakeAudio::Get().nextRecordHandle = 0;
  w.StartFrame(51);
  auto *f = Shown<TfrmTask5>();
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(
      U("Невозможно начать запись. Возможно работу приложения блокирует антивирус")));
  EXPECT_EQ(RecChannel, 0u);
  Seconds(2);
  EXPECT_EQ(w.CurrentFrame(), f);
  Seconds(1);
  EXPECT_TRUE(Opened(Recording("_5.ogg"))) << "stopped all the same";
  EXPECT_TRUE(Logged("screen60 start none"));

  // A recording that ends by itself while the task runs (its file cannot be
  // written) is told then, with its file, and not again when the task ends.
  boxes_.shown.clear();
  FakeAudio::Get().nextRecordHandle = 101;
  FakeAudio::Get().encoderWrites = false;
  w.FTask5Seconds = 5;
  w.StartFrame(51);
  ASSERT_NE(Shown<TfrmTask5>(), nullptr);
  ASSERT_NE(RecChannel, 0u);
  FakeAudio::Get().channelEnded = true;
  FakeAudio::Get().encoderActive = false;
  Seconds(1);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(U("Невозможно записать файл \"") +
                                              QString::fromStdString(Recording("_5.ogg")) + "\"."))
      << boxes_.shown[0].text.toStdString();
  Seconds(6);
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(std::count(log_.events.begin(), log_.events.end(), "screen60 start none"), 2);
}

TEST_F(SpokenScreens, AScreenReplacedDuringItsCountdownNeitherCountsNorRecords) {
  AddScreen(1000);
  TfrmMain &w = Station();
  onStep_ = [&](int step) {
    if (step == 2) w.StartFrame(1000);
  };
  w.StartFrame(51);
  EXPECT_TRUE(Logged("screen1000 start none"));
  EXPECT_FALSE(FakeAudio::Get().Called("RecordStart"));
  EXPECT_FALSE(std::filesystem::exists(ParticipantFolder()));
  EXPECT_EQ(loop_.EnabledTimerCount(), 1) << "only the new screen's timer runs";
}

TEST_F(SpokenScreens, PreparationSixShowsItsPageFromTheCornerAfterTheCountdown) {
  TfrmMain &w = Station();
  w.Panel1->hide();
  w.StartFrame(60);
  auto *f = Shown<TfrmPrepare6>();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(digits_.size(), 1u);
  EXPECT_EQ(f->FTicks, 0);
  EXPECT_TRUE(f->Timer1->Enabled());
  EXPECT_EQ(f->FPhotoChoice, 9);
  EXPECT_FALSE(w.Panel1->isHidden()) << "the top bar is shown";
  EXPECT_EQ(f->Image1->pixmap().toImage(), Page(7));
  EXPECT_EQ(f->Image1->alignment(), Qt::AlignLeft | Qt::AlignTop);
  EXPECT_EQ(f->Panel1->text(), U("Подготовка к выполнению задания № 6"));
  EXPECT_EQ(f->Panel1->height(), 60);
  EXPECT_EQ(w.lblProcessName->text(), U("Подготовка к заданию № 6:"));
  EXPECT_EQ(w.lblProcessTime->text(), U("120 сек."));
  EXPECT_EQ(f->nPhoto->title(), U(" Выбор фото "));
  EXPECT_EQ(f->nPhoto->size(), QSize(210, 48));
  ASSERT_EQ(f->nPhoto->Count(), 4);
  EXPECT_EQ(f->nPhoto->Item(0)->text(), U("нет"));
  EXPECT_EQ(f->nPhoto->Item(3)->text(), U("3"));
  EXPECT_EQ(f->nPhoto->ItemIndex(), 0);
  EXPECT_EQ(f->nPhoto->Colour(), kYellow);
}

TEST_F(SpokenScreens, PhotoChoiceColoursEachSecondAndPicksTheTaskSixScreen) {
  AddScreen(62, 2);
  TfrmMain &w = Station();
  w.FPrepare6Seconds = 3;
  w.StartFrame(60);
  auto *f = Shown<TfrmPrepare6>();
  ASSERT_NE(f, nullptr);
  f->nPhoto->Item(2)->click();
  EXPECT_EQ(f->nPhoto->Colour(), kYellow) << "the colour follows at the next second";
  Seconds(1);
  EXPECT_EQ(f->nPhoto->Colour(), kGreen);
  f->nPhoto->Item(0)->click();
  Seconds(1);
  EXPECT_EQ(f->nPhoto->Colour(), kYellow);
  f->nPhoto->Item(2)->click();
  Seconds(2);
  EXPECT_TRUE(Logged("screen62 start 2"));
}

TEST_F(SpokenScreens, NoPhotoLeadsToTheScreenWithoutPhotoEvenAfterAnEarlyEnd) {
  AddScreen(69, 0);
  TfrmMain &w = Station();
  w.StartFrame(60);
  auto *f = Shown<TfrmPrepare6>();
  ASSERT_NE(f, nullptr);
  boxes_.Queue(BoxAnswer::Yes);
  f->Button1Click();
  EXPECT_EQ(boxes_.shown.back().text, U("Завершить подготовку к заданию?"));
  Seconds(1);
  EXPECT_TRUE(Logged("screen69 start 0"));
}

TEST_F(SpokenScreens, TaskSixShowsThePhotosPageRecordsAndAlwaysEndsInTheReview) {
  for (auto [code, page] : std::initializer_list<std::pair<int, int>>{{61, 8}, {62, 9}, {63, 10}, {69, 7}}) {
    SCOPED_TRACE(code);
    Restart();
    settings_.screens = Grade11Settings().screens;
    AddScreen(1000);
    TfrmMain &w = Station();
    w.FTask6Seconds = 2;
    w.StartFrame(code);
    auto *f = Shown<TfrmTask6>();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(digits_.size(), 1u);
    EXPECT_EQ(f->Image1->pixmap().toImage(), Page(page));
    EXPECT_EQ(f->Panel1->text(), U("Выполнение задания № 6. Идет запись..."));
    EXPECT_EQ(w.lblProcessName->text(), U("Отвечайте! Идет запись:"));
    EXPECT_EQ(FakeAudio::Get().lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", Recording("_6.ogg"), "-"}));
    Seconds(3);
    EXPECT_TRUE(Opened(Recording("_6.ogg")));
    EXPECT_TRUE(Logged("screen1000 start none"));
  }
}

TEST_F(SpokenScreens, TaskSixEndedEarlyStopsItsRecordingAtTheNextTick) {
  AddScreen(1000);
  TfrmMain &w = Station();
  w.StartFrame(63);
  auto *f = Shown<TfrmTask6>();
  ASSERT_NE(f, nullptr);
  Seconds(5);
  boxes_.Queue(BoxAnswer::Yes);
  f->Button1Click();
  EXPECT_EQ(boxes_.shown.back().text, U("Вы уверены, что хотите завершить выполнение задания?"));
  EXPECT_FALSE(FakeAudio::Get().Called("ChannelStop"));
  Seconds(1);
  EXPECT_TRUE(FakeAudio::Get().Called("ChannelStop 101"));
  EXPECT_TRUE(Logged("screen1000 start none"));
}

TEST_F(SpokenScreens, TheWholeSpokenPartRunsFromPreparationFiveToTheReview) {
  AddScreen(1000);
  TfrmMain &w = Station();
  Grade11(w).FOralPartDone = false;
  w.StartFrame(50);
  ASSERT_NE(Shown<TfrmPrepare5>(), nullptr);
  boxes_.Queue(BoxAnswer::Yes);
  Shown<TfrmPrepare5>()->Button1Click();
  Seconds(1);
  // Straight to task 5, whose countdown runs before its recording.
  ASSERT_NE(Shown<TfrmTask5>(), nullptr);
  EXPECT_EQ(digits_.size(), 1u);
  Seconds(121);
  EXPECT_TRUE(Grade11(w).FOralPartDone);
  auto *prep6 = Shown<TfrmPrepare6>();
  ASSERT_NE(prep6, nullptr);
  prep6->nPhoto->Item(3)->click();
  Seconds(121);
  auto *task6 = Shown<TfrmTask6>();
  ASSERT_NE(task6, nullptr);
  EXPECT_EQ(task6->FStartArg, 3);
  EXPECT_EQ(task6->Image1->pixmap().toImage(), Page(10));
  Seconds(121);
  EXPECT_TRUE(Logged("screen1000 start none"));
  EXPECT_EQ(digits_.size(), 3u) << "countdowns before task 5, preparation 6 and task 6";
  EXPECT_TRUE(Opened(Recording("_5.ogg")));
  EXPECT_TRUE(Opened(Recording("_6.ogg")));
  EXPECT_TRUE(boxes_.shown.size() == 1u) << "only the early-end question";
}

TEST_F(SpokenScreens, ScreenshotOfThePhotoChoice) {
  TfrmMain &w = Station();
  w.StartFrame(60);
  auto *f = Shown<TfrmPrepare6>();
  ASSERT_NE(f, nullptr);
  f->nPhoto->Item(1)->click();
  Seconds(1);
  w.show();
  QCoreApplication::sendPostedEvents();
  const QPixmap shot = w.grab();
  EXPECT_EQ(shot.size(), QSize(1016, 713));
  // The choice stays inside the bottom panel, left of the button, clear of the caption.
  const QRect choice(f->nPhoto->mapTo(f, QPoint(0, 0)), f->nPhoto->size());
  const QRect panel(f->Panel1->mapTo(f, QPoint(0, 0)), f->Panel1->size());
  EXPECT_TRUE(panel.contains(choice));
  EXPECT_LT(choice.right(), f->Button1->mapTo(f, QPoint(0, 0)).x());
  const int captionRight = f->Panel1->indent() + f->Panel1->fontMetrics().horizontalAdvance(f->Panel1->text());
  EXPECT_LT(captionRight, choice.left());
  EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR) + "/photo_choice.png"));
}
