// The written tasks 2 to 4: their boxes, the answers they restore and store,
// and where each leads when it ends.
#include "../../station_fixture.h"

#include "screens/task2.h"
#include "screens/task3.h"
#include "screens/task4.h"

#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace station;
using namespace station::testing;

namespace {

void PutBlob(ts::TdvoMemTable &table, const std::string &field, const std::string &bytes) {
  table.Edit();
  auto stream = table.OpenBlobStream(table.FieldNamed(field), ts::TBlobStreamMode::Write);
  stream->WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  stream.reset();
  table.Post();
}

const char kStationKey[] = "2020-05-01_5_000123_0042_3";

// Three options in UTF-8 with its mark, and box positions with words after
// the numbers on some lines.
const char kOptions[] = "\xEF\xBB\xBF"
                        "один\r\nдва\r\nтри\r\n";
const char kCoords2[] = "100 50 200\n130 60 210 words after\n160\t70 220\n190 80 230\n220 90 240\n";
const char kCoords3[] = "300 10 100\n330 20 110\n360 30 120\n390 40 130\n420 50 140\n450 60 150\n";
const char kCoords4[] = "10 15 110\n40 25 120\n70 35 130\n100 45 140\n130 55 150\n160 65 160\n";

class WrittenTasks : public StationFixture {
 protected:
  void SetUp() override {
    StationFixture::SetUp();
    // Tasks 3 and 4 stay the real screens: the written tasks lead into each
    // other.
    for (int code : {22, 33, 44, 50, 1000}) AddScreen(code);
  }

  // A window with one variant that holds every written task's materials, and
  // a participant whose answers are as code entry leaves them.
  TfrmMain &Ready() {
    TfrmMain &w = WithVariantZero(STATION_DEMO_BUILD_DIR "/v0/VariantText.pdf");
    PutBlob(*w.complects, "answer2", kOptions);
    PutBlob(*w.complects, "answer4", "a\nb\nc\nd\n");
    PutBlob(*w.complects, "coords2", kCoords2);
    PutBlob(*w.complects, "coords3", kCoords3);
    PutBlob(*w.complects, "coords4", kCoords4);
    w.PrepareAnswers();
    SetAnswer("a2", "00000");
    SetAnswer("a3", "");
    SetAnswer("a4", "000000");
    w.FStationKey = kStationKey;
    w.FStudID = "0042";
    w.FGymEyesDue = true;
    w.FElapsedSeconds = 600;
    return w;
  }

  // A stored answer as an earlier participant or code entry left it: nothing
  // of this participant's picks is kept in memory yet.
  void SetAnswer(const char *field, const std::string &value) {
    Window().ResetParticipantMemory();
    Window().answers->Edit();
    Window().answers->FieldNamed(field).SetAsString(value);
    Window().answers->Post();
  }
  std::string Answer(const char *field) { return Window().answers->FieldNamed(field).AsString(); }

  template <class Frame>
  Frame *Start(int code) {
    Window().StartFrame(code);
    auto *frame = dynamic_cast<Frame *>(Window().CurrentFrame());
    EXPECT_NE(frame, nullptr) << "screen " << code;
    return frame;
  }

  // The pupil confirms the early end; the frame ends at the next tick.
  void EndEarly(TTimedFrame *frame) {
    boxes_.Queue(BoxAnswer::Yes);
    frame->Button1->click();
    ASSERT_EQ(Window().CurrentFrame(), frame) << "an early end waits for the next tick";
    loop_.AdvanceSeconds(1);
  }

  bool Now(int code) {
    TFrame *frame = Window().CurrentFrame();
    if (code == 30) return dynamic_cast<TfrmTask3 *>(frame) != nullptr;
    if (code == 40) return dynamic_cast<TfrmTask4 *>(frame) != nullptr;
    return Logged("screen" + std::to_string(code) + " start none") && Current() != nullptr;
  }
  bool ParticipantFolderExists() {
    return std::filesystem::is_directory(std::string("Answer_") + kStationKey + "/0042");
  }
};

std::vector<int> Picks(const std::vector<QComboBox *> &boxes) {
  std::vector<int> picks;
  for (QComboBox *b : boxes) picks.push_back(b->currentIndex());
  return picks;
}

}  // namespace

TEST_F(WrittenTasks, TaskTwoShowsItsPageBoxesOptionsAndTheStoredAnswer) {
  TfrmMain &w = Ready();
  SetAnswer("a2", "30100");
  w.Label1->hide();
  auto *task = Start<TfrmTask2>(20);
  ASSERT_NE(task, nullptr);
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].text.toStdString();

  EXPECT_EQ(task->Image1->pixmap().size(), QSize(827, 1169)) << "page 2 at 100 dpi";
  EXPECT_EQ(w.FPageNo, 2);
  EXPECT_EQ(task->Panel1->text(), U("Выполнение задания № 2."));
  EXPECT_EQ(task->Panel1->height(), 49);
  EXPECT_EQ(task->Button1->text(), U("Завершить ответ!"));

  // Positions in the frame, heights kept; words after a box's numbers skipped.
  const std::vector<QRect> expected = {{50, 100, 200, 24}, {60, 130, 210, 24}, {70, 160, 220, 24},
                                       {80, 190, 230, 24}, {90, 220, 240, 24}};
  const std::vector<QComboBox *> boxes = task->Boxes();
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    EXPECT_EQ(boxes[k]->parentWidget(), task);
    EXPECT_EQ(boxes[k]->geometry(), expected[k]) << "t" << k + 1;
    ASSERT_EQ(boxes[k]->count(), 3);
    EXPECT_EQ(boxes[k]->itemText(0), U("один"));
    EXPECT_EQ(boxes[k]->itemText(2), U("три"));
  }
  EXPECT_EQ(task->Answers, QStringList({U("один"), U("два"), U("три")}));
  EXPECT_EQ(Picks(boxes), (std::vector<int>{2, -1, 0, -1, -1}));

  EXPECT_FALSE(std::filesystem::exists("~$t2ans.tmp"));
  EXPECT_FALSE(std::filesystem::exists("~$t2coords.tmp"));
  EXPECT_TRUE(ParticipantFolderExists());

  EXPECT_FALSE(w.Panel1->isHidden());
  EXPECT_FALSE(w.Label1->isHidden()) << "task 2 shows the remaining time again";
  EXPECT_TRUE(w.lblProcessName->text().isEmpty());
  EXPECT_TRUE(w.lblProcessTime->isHidden());
  EXPECT_TRUE(w.ProcessBar->isHidden());
  EXPECT_EQ(w.ProcessBar->maximum(), 4500);
  EXPECT_EQ(w.ProcessBar->value(), 0);
  EXPECT_TRUE(task->Timer1->Enabled());

  // Unchanged picks are stored as they were restored.
  EndEarly(task);
  EXPECT_EQ(Answer("a2"), "30100");
  EXPECT_TRUE(Now(30));
}

TEST_F(WrittenTasks, DigitAnswersRestoreOnlyFromOneDigitPerBox) {
  Ready();
  // The preset picks nothing.
  auto *two = Start<TfrmTask2>(20);
  EXPECT_EQ(Picks(two->Boxes()), std::vector<int>(5, -1));
  EXPECT_TRUE(two->t1->currentText().isEmpty());

  // Task 4 with a five-digit answer restores nothing; six digits do, and a
  // digit beyond the list picks nothing.
  SetAnswer("a4", "12345");
  auto *four = Start<TfrmTask4>(40);
  EXPECT_EQ(Picks(four->Boxes()), std::vector<int>(6, -1));
  EXPECT_EQ(four->t6->geometry(), QRect(65, 160, 160, 24));
  EXPECT_EQ(four->t1->count(), 4);
  EXPECT_FALSE(std::filesystem::exists("~$t4ans.tmp"));
  EXPECT_FALSE(std::filesystem::exists("~$t4coords.tmp"));
  SetAnswer("a4", "400205");
  four = Start<TfrmTask4>(40);
  EXPECT_EQ(Picks(four->Boxes()), (std::vector<int>{3, -1, -1, 1, -1, -1}));
  EXPECT_EQ(Window().FPageNo, 4);
}

TEST_F(WrittenTasks, PicksOfTenOrMoreOptionsSurviveTheWayBackFromTheReview) {
  TfrmMain &w = Ready();
  PutBlob(*w.complects, "answer2", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n");
  w.FGymEyesDue = false;
  auto *task = Start<TfrmTask2>(20);
  task->t1->setCurrentIndex(9);
  task->t2->setCurrentIndex(2);
  EndEarly(task);
  EXPECT_EQ(Answer("a2"), "103000") << "the stored format: one number per box";
  // The way back from the review shows the picks and stores them again.
  task = Start<TfrmTask2>(20);
  EXPECT_EQ(Picks(task->Boxes()), (std::vector<int>{9, 2, -1, -1, -1}));
  EndEarly(task);
  EXPECT_EQ(Answer("a2"), "103000");
  // The next participant starts from nothing.
  w.ResetParticipantMemory();
  SetAnswer("a2", "00000");
  task = Start<TfrmTask2>(20);
  EXPECT_EQ(Picks(task->Boxes()), std::vector<int>(5, -1));
}

TEST_F(WrittenTasks, TaskTwoStoresItsPicksAndLeadsOnByTheElapsedTime) {
  TfrmMain &w = Ready();
  struct Case {
    int elapsed;
    bool due;
    int next;
  };
  // The break comes only when strictly more than 2100 seconds have passed
  // and it was not taken yet; past the whole-work time the review comes.
  for (const Case c : {Case{2100, true, 30}, Case{2101, true, 22}, Case{2101, false, 30}, Case{4500, true, 22}}) {
    log_.events.clear();
    w.FElapsedSeconds = c.elapsed;
    w.FGymEyesDue = c.due;
    SetAnswer("a2", "00000");
    auto *task = Start<TfrmTask2>(20);
    task->t2->setCurrentIndex(1);
    task->t5->setCurrentIndex(2);
    EndEarly(task);
    EXPECT_EQ(Answer("a2"), "02003") << c.elapsed;
    EXPECT_TRUE(Now(c.next)) << c.elapsed << " should lead to " << c.next;
  }

  // The whole-work time ends the task at its first tick after it has run
  // out, with the answer stored first.
  log_.events.clear();
  SetAnswer("a2", "00000");
  w.FElapsedSeconds = 4500;
  auto *task = Start<TfrmTask2>(20);
  task->t1->setCurrentIndex(0);
  loop_.AdvanceSeconds(1);
  EXPECT_EQ(w.CurrentFrame(), task) << "equal to the limit is not over";
  w.FElapsedSeconds = 4501;
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(1000));
  EXPECT_EQ(Answer("a2"), "10000");
}

TEST_F(WrittenTasks, OnlyAPickedItemOfAChoiceBoxCounts) {
  Ready();
  auto *task = Start<TfrmTask2>(20);
  task->t1->setCurrentIndex(1);
  task->t1->setEditText(U("что-то своё"));
  task->t3->setEditText(U("один"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(task->t3, &enter);
  EXPECT_EQ(task->t3->count(), 3) << "typed text never becomes an option";
  // Text that differs from the picked item unpicks it; an option's own text
  // confirmed with Enter picks that option.
  EndEarly(task);
  EXPECT_EQ(Answer("a2"), "00100");
}

TEST_F(WrittenTasks, AFailingTickOfTaskTwoIsANoticeAndTheTaskCountsOn) {
  TfrmMain &w = Ready();
  auto *task = Start<TfrmTask2>(20);
  task->t4->setCurrentIndex(2);
  boxes_.Queue(BoxAnswer::Yes);
  task->Button1->click();
  // The answers cannot be written at this tick.
  w.answers->Close();
  loop_.AdvanceSeconds(1);
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].text, "Error");
  EXPECT_EQ(boxes_.shown[1].caption, w.Settings().title);
  EXPECT_EQ(w.CurrentFrame(), task);
  EXPECT_TRUE(task->Timer1->Enabled());

  // Once the answers can be written, the next tick ends the task.
  w.answers->Open();
  if (w.answers->IsEmpty()) {
    w.answers->Append();
    w.answers->Post();
  }
  loop_.AdvanceSeconds(1);
  EXPECT_TRUE(Now(30));
  EXPECT_EQ(Answer("a2"), "00030");
  EXPECT_EQ(boxes_.shown.size(), 2u);
}

TEST_F(WrittenTasks, TaskThreeRestoresAndStoresItsWordsEmptyOnesIncluded) {
  TfrmMain &w = Ready();
  SetAnswer("a3", "a==b===c");
  auto *task = Start<TfrmTask3>(30);
  ASSERT_NE(task, nullptr);
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].text.toStdString();
  EXPECT_EQ(w.FPageNo, 3);
  EXPECT_EQ(task->Panel1->text(), U("Выполнение задания № 3."));
  std::vector<QString> texts;
  for (QLineEdit *box : task->Boxes()) texts.push_back(box->text());
  EXPECT_EQ(texts, (std::vector<QString>{"a", "", "b", "", "", "c"}));
  EXPECT_EQ(task->t1->geometry(), QRect(10, 300, 100, 21));
  EXPECT_EQ(task->t6->geometry(), QRect(60, 450, 150, 21));
  EXPECT_FALSE(std::filesystem::exists("~$t3coords.tmp"));
  EXPECT_TRUE(ParticipantFolderExists());
  EXPECT_TRUE(w.lblProcessTime->isHidden());
  EXPECT_EQ(w.ProcessBar->maximum(), 4500);

  EndEarly(task);
  EXPECT_EQ(Answer("a3"), "a==b===c");
  EXPECT_TRUE(Now(40));

  // Words stand in the answer in the tables' code page, both ways.
  log_.events.clear();
  SetAnswer("a3", "\xEA\xEE\xF2=dog");
  task = Start<TfrmTask3>(30);
  EXPECT_EQ(task->t1->text(), U("кот"));
  EXPECT_EQ(task->t2->text(), "dog");
  EXPECT_TRUE(task->t3->text().isEmpty());
  task->t3->setText(U("ёж"));
  EndEarly(task);
  EXPECT_EQ(Answer("a3"), "\xEA\xEE\xF2=dog=\xB8\xE6===");

  // Letters the code page lacks lose their diacritics; a NUL or a line break
  // never reaches the answer.
  log_.events.clear();
  task = Start<TfrmTask3>(30);
  task->t1->setText(U("café Straße niño über ǅ ☺"));
  task->t2->setText(QString::fromUtf16(u"a\0b", 3));
  task->t3->setText(QString::fromUtf16(u"x\r\ny\nz"));
  EndEarly(task);
  EXPECT_EQ(Answer("a3"), "cafe Strasse nino uber Dz ?=ab=x y z===");
}

TEST_F(WrittenTasks, TaskThreeBoxesNeverTakeTheWordSeparator) {
  Ready();
  auto *task = Start<TfrmTask3>(30);
  task->t2->setFocus();
  for (const char *key : {"x", "=", "y"}) {
    QKeyEvent press(QEvent::KeyPress, key[0] == '=' ? Qt::Key_Equal : Qt::Key_X, Qt::NoModifier, key);
    QCoreApplication::sendEvent(task->t2, &press);
  }
  EXPECT_EQ(task->t2->text(), "xy");
  EXPECT_FALSE(TfrmTask3::t1KeyPress(u'='));
  EXPECT_TRUE(TfrmTask3::t1KeyPress(u'-'));

  // Text put in at once, as a paste does, loses its separators too.
  task->t4->insert("a=b=");
  EXPECT_EQ(task->t4->text(), "ab");
  EndEarly(task);
  EXPECT_EQ(Answer("a3"), "=xy==ab==");
}

TEST_F(WrittenTasks, SixFullTaskThreeBoxesFitTheAnswerUncut) {
  Ready();
  auto *task = Start<TfrmTask3>(30);
  for (QLineEdit *box : task->Boxes()) box->setText(QString(300, u'ж'));
  EXPECT_EQ(task->t1->text().size(), TfrmTask3::kMaxWordLength);
  EndEarly(task);
  const std::string stored = Answer("a3");
  ASSERT_EQ(stored.size(), 6u * TfrmTask3::kMaxWordLength + 5u);
  EXPECT_EQ(stored.back(), '\xE6') << "the last word is whole";
  EXPECT_EQ(NthWord(6, stored, "="), std::string(std::size_t(TfrmTask3::kMaxWordLength), '\xE6'));
}

TEST_F(WrittenTasks, TaskThreeAndFourLeadOnToTheBreakTheSpokenPartOrTheReview) {
  TfrmMain &w = Ready();
  struct Case {
    int code;
    int elapsed;
    bool due;
    bool oralDone;
    int next;
  };
  const Case cases[] = {
      {30, 2100, true, false, 40}, {30, 2101, true, false, 33}, {30, 2101, false, false, 40},
      {30, 4501, true, false, 1000},
      // Task 4 offers the break whatever the elapsed time, unless the pupil
      // came back from the review after the spoken part.
      {40, 10, true, false, 44}, {40, 3000, false, false, 50}, {40, 10, true, true, 1000},
      {40, 10, false, true, 1000}, {40, 4501, false, false, 1000}};
  for (const Case &c : cases) {
    log_.events.clear();
    w.FElapsedSeconds = c.elapsed;
    w.FGymEyesDue = c.due;
    Grade11(w).FOralPartDone = c.oralDone;
    Window().StartFrame(c.code);
    auto *task = dynamic_cast<TTimedFrame *>(w.CurrentFrame());
    ASSERT_NE(task, nullptr);
    if (c.code == 40) dynamic_cast<TfrmTask4 *>(task)->t3->setCurrentIndex(3);
    if (c.code == 30) dynamic_cast<TfrmTask3 *>(task)->t6->setText("end");
    if (c.elapsed > w.FExamSeconds)
      loop_.AdvanceSeconds(1);
    else
      EndEarly(task);
    EXPECT_TRUE(Now(c.next)) << c.code << " at " << c.elapsed << " should lead to " << c.next;
    EXPECT_EQ(Answer(c.code == 40 ? "a4" : "a3"), c.code == 40 ? "004000" : "=====end");
  }
}

TEST_F(WrittenTasks, EachTaskCountsAgainstItsOwnLimit) {
  TfrmMain &w = Ready();
  w.FTask2Seconds = 2;
  w.FTask3Seconds = 3;
  w.FTask4Seconds = 4;
  for (const auto &[code, limit, next] : {std::tuple{20, 2, 30}, {30, 3, 40}, {40, 4, 44}}) {
    log_.events.clear();
    w.StartFrame(code);
    TFrame *task = w.CurrentFrame();
    EXPECT_EQ(w.ProcessBar->maximum(), limit);
    loop_.AdvanceSeconds(limit);
    EXPECT_EQ(w.CurrentFrame(), task) << code;
    EXPECT_EQ(w.lblProcessTime->text(), U("0 сек."));
    loop_.AdvanceSeconds(1);
    EXPECT_TRUE(Now(next)) << code;
  }
}

TEST_F(WrittenTasks, DamagedMaterialsAreReportedAndTheTaskStillCountsWithoutLosingTheAnswer) {
  TfrmMain &w = Ready();
  SetAnswer("a3", "a==b");
  SetAnswer("a4", "201000");
  PutBlob(*w.complects, "coords3", "300 10 x\n");
  PutBlob(*w.complects, "coords4", "10 15 abc\n");
  w.FGymEyesDue = false;
  for (int code : {30, 40}) {
    boxes_.shown.clear();
    w.StartFrame(code);
    ASSERT_EQ(boxes_.shown.size(), 1u) << code;
    EXPECT_EQ(boxes_.shown[0].text, "Invalid numeric input");
    auto *task = dynamic_cast<TTimedFrame *>(w.CurrentFrame());
    ASSERT_NE(task, nullptr);
    EXPECT_TRUE(task->Timer1->Enabled()) << code << ": the task counts and can be ended";
    for (QWidget *box : task->findChildren<QWidget *>()) {
      if (qobject_cast<QComboBox *>(box) || (qobject_cast<QLineEdit *>(box) && box->parent() == task)) {
        EXPECT_EQ(box->width(), 0) << code << ": a box without a place takes none";
      }
    }
    EndEarly(task);
  }
  EXPECT_FALSE(std::filesystem::exists("~$t4coords.tmp"));
  EXPECT_EQ(Answer("a3"), "a==b===") << "the stored words went back into the boxes";
  EXPECT_EQ(Answer("a4"), "201000") << "the stored picks went back into the boxes";
  EXPECT_TRUE(Now(50));

  // Without its option list the task stores nothing over the answer.
  PutBlob(*w.complects, "coords4", kCoords4);
  ts::TdvoMemTable &c = *w.complects;
  c.Edit();
  c.FieldNamed("answer4").Clear();
  c.Post();
  boxes_.shown.clear();
  Grade11(w).FOralPartDone = true;
  w.StartFrame(40);
  EXPECT_EQ(boxes_.shown.size(), 0u);
  auto *task = dynamic_cast<TfrmTask4 *>(w.CurrentFrame());
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(task->t1->count(), 0);
  EndEarly(task);
  EXPECT_EQ(Answer("a4"), "201000");

  // The list's copy cannot be made: the boxes are still placed, without
  // items, and the answer stays.
  std::filesystem::create_directory("~$t4ans.tmp");
  boxes_.shown.clear();
  w.StartFrame(40);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown[0].text.indexOf("~$t4ans.tmp"), -1);
  task = dynamic_cast<TfrmTask4 *>(w.CurrentFrame());
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(task->t1->count(), 0);
  EXPECT_GT(task->t1->width(), 0) << "placed by its positions all the same";
  EndEarly(task);
  EXPECT_EQ(Answer("a4"), "201000");
}
