// The grade-7 edition's boundaries: the 45-minute clock, task 5's four
// options a box, the restored answers, the way back from the review and a
// failed save, the code rules, and the codes that have no screen here.
#include "grade7_fixture.h"

#include "instruction.h"
#include "play_answers.h"
#include "written_tasks.h"

#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

using namespace edition07;
using namespace edition07::testing;

namespace {

class Boundary : public Grade7 {};

std::vector<QStringList> Items(const std::vector<QComboBox *> &boxes) {
  std::vector<QStringList> all;
  for (QComboBox *b : boxes) {
    QStringList items;
    for (int i = 0; i < b->count(); ++i) items << b->itemText(i);
    all.push_back(items);
  }
  return all;
}

}  // namespace

TEST_F(Boundary, TheClockShowsFortyFiveMinutesAndAWrittenTaskEndsAfterTheLimit) {
  TfrmMain &w = Participant();
  // The label before the tick's increment: 2700 - elapsed remaining.
  for (const auto &[elapsed, text] : std::vector<std::pair<int, const char *>>{
           {0, "Оставшееся на выполнение работы время: 45:00"},
           {1500, "Оставшееся на выполнение работы время: 20:00"},
           {2699, "Оставшееся на выполнение работы время: 00:01"},
           {2700, ""}}) {
    w.FElapsedSeconds = elapsed;
    w.TimerControlTimer();
    EXPECT_EQ(w.Label1->text(), U(text)) << elapsed;
  }
  EXPECT_TRUE(boxes_.shown.empty()) << "no warning at 20 minutes";

  // A written task goes on at 2700 elapsed and ends, at its first tick that
  // sees 2701, in the review without the break.
  w.TimerControl->SetEnabled(false);
  w.StartFrame(40);
  ASSERT_NE(Now<edition07::TfrmTask4>(), nullptr);
  w.FElapsedSeconds = 2700;
  loop_.AdvanceSeconds(1);
  ASSERT_NE(Now<edition07::TfrmTask4>(), nullptr) << "2700 is not over";
  w.FElapsedSeconds = 2701;
  loop_.AdvanceSeconds(1);
  EXPECT_NE(Now<edition07::TfrmPlayAnswers>(), nullptr);
  EXPECT_EQ(Answer("a4"), "00000") << "stored before the review";
}

TEST_F(Boundary, TaskFiveDealsFourLinesToEachBox) {
  struct Case {
    int lines;
    QStringList lastBox;
  };
  for (const Case &c : {Case{20, {"L17", "L18", "L19", "L20"}}, Case{21, {"L17", "L18", "L19", "L20"}},
                        Case{18, {"L17", "L18", "", ""}}}) {
    Restart();
    Participant();
    std::string list;
    for (int i = 1; i <= c.lines; ++i) list += "L" + std::to_string(i) + "\r\n";
    PutMaterialsBlob("answer5", list);
    Window().StartFrame(50);
    auto *task = Now<edition07::TfrmTask5>();
    ASSERT_NE(task, nullptr);
    const auto items = Items(task->Boxes());
    EXPECT_EQ(items.front(), (QStringList{"L1", "L2", "L3", "L4"})) << c.lines;
    EXPECT_EQ(items.back(), c.lastBox) << c.lines;
  }
}

TEST_F(Boundary, StoredAnswersAreRestoredOnlyWhenTheyHaveFiveDigits) {
  for (const auto &[stored, picks] : std::vector<std::pair<std::string, std::vector<int>>>{
           {"30201", {2, -1, 1, -1, 0}}, {"00000", {-1, -1, -1, -1, -1}}, {"3020", {-1, -1, -1, -1, -1}}}) {
    Restart();
    Participant();
    SetAnswer("a5", stored);
    Window().StartFrame(50);
    ASSERT_NE(Now<edition07::TfrmTask5>(), nullptr);
    EXPECT_EQ(Picks(Now<edition07::TfrmTask5>()->Boxes()), picks) << stored;
  }
}

TEST_F(Boundary, TaskSixLeftUntouchedStoresFiveZeros) {
  TfrmMain &w = Participant();
  SetAnswer("a6", "12345");
  w.StartFrame(60);
  ASSERT_NE(Now<edition07::TfrmTask6>(), nullptr);
  for (QComboBox *box : Now<edition07::TfrmTask6>()->Boxes()) box->setCurrentIndex(-1);
  EndEarly();
  EXPECT_EQ(Answer("a6"), "00000");
  EXPECT_NE(Now<edition07::TfrmPlayAnswers>(), nullptr) << "task 6 always leads to the review";
}

TEST_F(Boundary, TheWayBackIsOpenUntilTheLimitAndSkipsTheBreak) {
  for (const int elapsed : {2699, 2700}) {
    Restart();
    TfrmMain &w = Participant();
    w.TimerControl->SetEnabled(false);  // the test sets the clock itself
    w.StartFrame(1000);
    w.FElapsedSeconds = elapsed;
    boxes_.shown.clear();
    Now<edition07::TfrmPlayAnswers>()->btnPlay2_6->click();
    loop_.Advance(1000);
    if (elapsed == 2700) {
      ASSERT_EQ(boxes_.shown.size(), 1u);
      EXPECT_EQ(boxes_.shown[0].text, U("Время на выполнение заданинй истекло"));
      EXPECT_NE(Now<edition07::TfrmPlayAnswers>(), nullptr);
      continue;
    }
    EXPECT_TRUE(boxes_.shown.empty());
    ASSERT_NE(Now<edition07::TfrmTask4>(), nullptr) << "back to task 4";
    EXPECT_FALSE(w.FGymEyesDue);
    EndEarly();
    EXPECT_NE(Now<edition07::TfrmTask5>(), nullptr) << "no second break";
  }
}

TEST_F(Boundary, AFailedSaveKeepsTheReviewOpenAndTheClockRunning) {
  TfrmMain &w = Participant();
  // The participant's folder cannot take the file: its name is taken by a file.
  std::filesystem::create_directories(Window().AnswerRoot() + "Answer_" + kKey);
  std::ofstream(Folder()) << "not a folder";
  w.StartFrame(1000);
  auto *review = Now<edition07::TfrmPlayAnswers>();
  review->Button1->click();
  loop_.Advance(100);
  ASSERT_EQ(Now<edition07::TfrmPlayAnswers>(), review);
  EXPECT_EQ(boxes_.shown.size(), 1u) << "the error is shown";
  EXPECT_TRUE(w.TimerControl->Enabled());
  // Once the folder is there, the same button closes the work.
  std::filesystem::remove(Folder());
  std::filesystem::create_directory(Folder());
  review->Button1->click();
  loop_.Advance(100);
  EXPECT_TRUE(std::filesystem::exists(Folder() + "/12345_0.ans"));
  EXPECT_FALSE(w.TimerControl->Enabled());
}

TEST_F(Boundary, CodesAreFiveDigitsAndTheVariantFollowsTheirParity) {
  struct Case {
    const char *typed;
    const char *variant;  // empty: refused
    const char *reason;
  };
  const char *kShort = "Некорректный код участника!\n\rКод участника должен состоять из 5 цифр";
  for (const Case &c : {Case{"12345", "1", ""}, Case{"01234", "2", ""}, Case{"00001", "1", ""},
                        Case{"00000", "2", ""}, Case{"1234", "", kShort}, Case{"12a45", "", kShort},
                        Case{" 1234", "", kShort}}) {
    Restart();
    TfrmMain &w = Started();
    w.StartFrame(5);
    boxes_.shown.clear();
    auto *entry = Now<TfrmInstruction>();
    entry->Edit3->setText(c.typed);  // as pasted: the key filter does not see it
    entry->Button1->click();
    if (*c.variant == '\0') {
      ASSERT_EQ(boxes_.shown.size(), 1u) << c.typed;
      EXPECT_EQ(boxes_.shown[0].text, U(c.reason)) << c.typed;
      EXPECT_EQ(w.FStudID, "00000") << c.typed;
      continue;
    }
    EXPECT_TRUE(boxes_.shown.empty()) << c.typed;
    EXPECT_EQ(w.FStudID, c.typed);
    EXPECT_EQ(w.FVariant, c.variant) << c.typed;
    EXPECT_EQ(Answer("a2"), "") << "tasks 2 and 3 are recordings";
    EXPECT_EQ(Answer("a5"), "00000");
  }
}

TEST_F(Boundary, GradeElevenCodesLeaveNoScreen) {
  TfrmMain &w = Started();
  for (const int code : {22, 51, 61, 62, 63, 69}) {
    w.StartFrame(40);
    w.StartFrame(code);
    EXPECT_EQ(w.CurrentFrame(), nullptr) << code;
  }
}

TEST_F(Boundary, TwoDigitPicksSurviveTheWayBack) {
  TfrmMain &w = Participant();
  std::string list;
  for (int i = 1; i <= 12; ++i) list += "option " + std::to_string(i) + "\n";
  PutMaterialsBlob("answer4", list);
  w.FGymEyesDue = false;
  w.StartFrame(40);
  Now<edition07::TfrmTask4>()->t1->setCurrentIndex(9);
  Now<edition07::TfrmTask4>()->t3->setCurrentIndex(2);
  EndEarly();
  ASSERT_NE(Now<edition07::TfrmTask5>(), nullptr);
  EXPECT_EQ(Answer("a4"), "100300") << "the stored form: one number a box";
  w.StartFrame(1000);
  Now<edition07::TfrmPlayAnswers>()->btnPlay2_6->click();
  loop_.Advance(1000);
  ASSERT_NE(Now<edition07::TfrmTask4>(), nullptr);
  EXPECT_EQ(Picks(Now<edition07::TfrmTask4>()->Boxes()), (std::vector<int>{9, -1, 2, -1, -1}));
  EndEarly();
  EXPECT_EQ(Answer("a4"), "100300") << "not overwritten with zeros";
}

TEST_F(Boundary, MissingMaterialsEndTheProgramWithTheGradeSevenMessage) {
  // A named pipe in the materials' place must not block the start; a table
  // without a field that a grade-7 screen reads is damaged materials.
  for (const char *name : {"missing", "named pipe", "without SubjID", "without answer5", "without VarNo"}) {
    SCOPED_TRACE(name);
    const std::string c = name;
    window_.reset();
    boxes_.shown.clear();
    std::filesystem::remove("klt-fl7.kim");
    if (c == "named pipe") {
      ASSERT_EQ(::mkfifo("klt-fl7.kim", 0600), 0);
    } else if (c != "missing") {
      const std::string field = c.substr(c.find(' ') + 1);
      WriteFile("klt-fl7.kim", PackMaterials(MaterialsBodyWithout(field == "SubjID" ? "subjid" : field)));
    }
    EXPECT_FALSE(Window().FormCreate());
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, U("Отсутвует или поврежден КИМ - файл klt-fl7.kim"));
    EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка..."));
    EXPECT_EQ(Window().CurrentFrame(), nullptr);
  }
}

TEST_F(Boundary, AScreenWhosePageIsMissingStillCountsAndHandsOver) {
  TfrmMain &w = Participant();
  // A full disk when the listening task unpacks its audio (a size limit
  // stands for it): the task is set up in full without it.
  PutMaterialsBlob("Audio", std::string(64 * 1024, '\0'));
  w.lblProcessName->setText(QString::fromUtf8("Подготовка:"));
  {
    SizeLimit disk(4096);
    w.StartFrame(11);
  }
  auto *listening = dynamic_cast<edition07::TfrmTask1 *>(w.CurrentFrame());
  ASSERT_NE(listening, nullptr);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(QString::fromUtf8("Невозможно записать файл")));
  EXPECT_EQ(w.lblProcessName->text(), QString::fromUtf8("Воспроизводится запись:"));
  EXPECT_EQ(w.FTask1Seconds, 2);
  for (QComboBox *box : listening->Boxes()) {
    EXPECT_EQ(box->count(), 3);
    EXPECT_GT(box->width(), 0);
  }
  EndEarly();

  std::ifstream in(GRADE7_DEMO_DIR "/testrtf.pdf", std::ios::binary);
  PutMaterialsBlob("VariantText", std::string(std::istreambuf_iterator<char>(in), {}));  // one page only
  for (const int code : {20, 40}) {
    boxes_.shown.clear();
    w.StartFrame(code);
    auto *frame = dynamic_cast<TTimedFrame *>(w.CurrentFrame());
    ASSERT_NE(frame, nullptr) << code;
    EXPECT_EQ(boxes_.shown.size(), 1u) << "the error is shown: " << code;
    EXPECT_TRUE(frame->Timer1->Enabled()) << code;
    EndEarly();
    EXPECT_NE(w.CurrentFrame(), frame) << "handed over: " << code;
  }
}
