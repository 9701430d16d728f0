// One grade-7 participant from the hardware check to the next participant on
// the demo materials, and the next participant's used code.
#include "grade7_fixture.h"
#include "hardware_check.h"

#include "instruction.h"
#include "play_answers.h"
#include "spoken_tasks.h"
#include "written_tasks.h"

#include "screens/finish_exam.h"
#include "screens/prepare1.h"
#include "screens/rec_stud_id.h"
#include "screens/test_hard.h"

#include "table_store/dataset/mem_table.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>

using namespace edition07;
using namespace edition07::testing;

namespace {

const char kStationKey[] = "2020-05-20_6_000123_0007_2";

class EndToEnd : public Grade7 {
 protected:
  std::string Participant(const std::string &suffix) {
    return Window().AnswerRoot() + "Answer_" + kStationKey + "/12345/12345" + suffix;
  }
  bool Opened(const std::string &path) {
    const auto &files = FakeAudio::Get().openedFiles;
    return std::find(files.begin(), files.end(), path) != files.end();
  }
  void EnterCode(const char *code) {
    auto *entry = Now<TfrmInstruction>();
    ASSERT_NE(entry, nullptr);
    entry->Edit3->setText(code);
    entry->Button1->click();
    loop_.Advance(100);
  }
};

}  // namespace

TEST_F(EndToEnd, OneParticipantFromTheHardwareCheckToTheNext) {
  TfrmMain &w = Started();
  FakeAudio &audio = FakeAudio::Get();
  EXPECT_EQ(w.windowTitle(), U("КЛТ-2019 Иностранный язык"));

  // 1: both tests confirmed and the station identified.
  auto *hard = Now<TfrmTestHard>();
  ASSERT_NE(hard, nullptr);
  FillHardwareCheck(*hard);
  hard->Action1->trigger();
  loop_.Advance(100);
  EXPECT_EQ(w.FStationKey, kStationKey);

  // 5: a five-digit code; variant 1 for an odd code.
  EnterCode("12345");
  EXPECT_EQ(w.FStudID, "12345");
  EXPECT_EQ(w.FVariant, "1");
  EXPECT_EQ(Answer("VarNo"), "1");
  EXPECT_TRUE(w.Label1->isHidden());

  // 6: the spoken code, recorded, confirmed; the exam clock starts.
  auto *spoken = Now<TfrmRecStudID>();
  ASSERT_NE(spoken, nullptr);
  spoken->btnRecID->click();
  EXPECT_EQ(audio.lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", Participant("_0.ogg"), "-"}));
  spoken->btnRecID->click();
  spoken->Button4->click();
  spoken->Action1Update();
  spoken->Action1->trigger();
  loop_.Advance(100);
  EXPECT_TRUE(w.TimerControl->Enabled());

  // 10: the preparation audio, as long as the demo's audio plus 2 seconds.
  ASSERT_NE(Now<TfrmPrepare1>(), nullptr);
  EXPECT_GT(w.FPrepare1Seconds, 2) << "the demo's preparation audio is read";
  loop_.AdvanceSeconds(w.FPrepare1Seconds + 1);

  // 11: the listening task on page 2, three options a box.
  auto *task1 = Now<edition07::TfrmTask1>();
  ASSERT_NE(task1, nullptr);
  EXPECT_EQ(w.FPageNo, 2);
  EXPECT_EQ(task1->t5->itemText(2), U("Its name is Coco."));
  task1->t1->setCurrentIndex(1);
  task1->t5->setCurrentIndex(2);
  EndEarly();
  EXPECT_EQ(Answer("a1"), "20003");

  // 20, 21: preparation and recorded answer of task 2.
  ASSERT_NE(Now<TfrmPrepare2>(), nullptr);
  EXPECT_EQ(w.FPageNo, 3);
  EndEarly();
  ASSERT_NE(Now<edition07::TfrmTask2>(), nullptr);
  EXPECT_EQ(w.FPageNo, 4);
  EXPECT_EQ(audio.lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", Participant("_2.ogg"), "-"}));
  loop_.AdvanceSeconds(10);
  EndEarly();
  EXPECT_TRUE(Opened(Participant("_2.ogg"))) << "the recording was stopped";

  // 30, 32: photo 2 chosen; task 3 on its page 7.
  auto *prepare3 = Now<TfrmPrepare3>();
  ASSERT_NE(prepare3, nullptr);
  prepare3->nPhoto->Item(2)->setChecked(true);
  EndEarly();
  auto *task3 = Now<edition07::TfrmTask3>();
  ASSERT_NE(task3, nullptr);
  EXPECT_EQ(task3->FStartArg, 2);
  EXPECT_EQ(w.FPageNo, 7);
  EXPECT_EQ(audio.lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", Participant("_3.ogg"), "-"}));
  EndEarly();
  EXPECT_TRUE(Opened(Participant("_3.ogg")));

  // 40: written task 4 with the clock shown; the break is due.
  auto *task4 = Now<edition07::TfrmTask4>();
  ASSERT_NE(task4, nullptr);
  EXPECT_FALSE(w.Label1->isHidden());
  EXPECT_EQ(task4->t1->count(), 7) << "every box offers the whole list";
  task4->t1->setCurrentIndex(0);
  task4->t3->setCurrentIndex(6);
  EndEarly();
  EXPECT_EQ(Answer("a4"), "10700");

  // 44: the eye break, then 50: four options of its own in each box.
  ASSERT_NE(Now<edition07::TfrmGymEyes>(), nullptr);
  EndEarly();
  auto *task5 = Now<edition07::TfrmTask5>();
  ASSERT_NE(task5, nullptr);
  EXPECT_EQ(task5->t2->itemText(0), U("Spring"));
  task5->t1->setCurrentIndex(2);
  task5->t5->setCurrentIndex(0);
  EndEarly();
  EXPECT_EQ(Answer("a5"), "30001");

  // 60: left untouched.
  ASSERT_NE(Now<edition07::TfrmTask6>(), nullptr);
  EndEarly();
  EXPECT_EQ(Answer("a6"), "00000");

  // 1000: the review plays the three recordings and closes the work.
  auto *review = Now<edition07::TfrmPlayAnswers>();
  ASSERT_NE(review, nullptr);
  EXPECT_EQ(review->Ans5->text(), U("Ответ на задание № 5: 30001"));
  audio.openedFiles.clear();
  review->btnPlayID->click();
  review->btnPlay2_1->click();
  review->btnPlay2_2->click();
  EXPECT_EQ(audio.openedFiles,
            (std::vector<std::string>{Participant("_0.ogg"), Participant("_2.ogg"), Participant("_3.ogg")}));
  review->Button1->click();
  loop_.Advance(100);
  EXPECT_FALSE(w.TimerControl->Enabled());
  EXPECT_TRUE(w.Label1->text().isEmpty());

  // The answers file, field by field.
  auto saved = MakeAnswersTable(1);
  saved->LoadFileWithFormat(Participant("_0.ans"), MakeStationFormat().get());
  saved->Open();
  saved->First();
  const std::vector<std::pair<const char *, const char *>> expected = {
      {"a1", "20003"}, {"a2", ""}, {"a3", ""}, {"a4", "10700"}, {"a5", "30001"}, {"a6", "00000"}, {"VarNo", "1"}};
  for (const auto &[field, value] : expected) {
    EXPECT_EQ(saved->FieldNamed(field).AsString(), value) << field;
    EXPECT_EQ(saved->FieldDefs().Find(field)->Size(), 20) << field;
  }

  // 1001, then 5 for the next participant, whose used code is refused.
  auto *finish = Now<TfrmFinishExam>();
  ASSERT_NE(finish, nullptr);
  finish->Button1->click();
  loop_.Advance(10);
  ASSERT_NE(Now<TfrmInstruction>(), nullptr);
  boxes_.shown.clear();
  EnterCode("12345");
  ASSERT_NE(Now<TfrmInstruction>(), nullptr) << "the code has answered on this station";
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text,
            U("Некорректный код участника!\n\rУчастник с таким кодом уже отвечал на данной станции"));
  EXPECT_EQ(boxes_.shown[0].caption, U("КЛТ-2020 Иностранный язык 7 класс"));
}
