// Every screen of the grade-7 program as a participant meets it in a run on
// the demo materials, saved to the build folder as the record of how each
// screen looks: the top bar as the screens before left it, the participant's
// variant current, the counting screens one second under way.
#include "grade7_fixture.h"
#include "hardware_check.h"
#include "screen_picture.h"

#include "instruction.h"
#include "play_answers.h"
#include "spoken_tasks.h"
#include "written_tasks.h"

#include "screens/rec_stud_id.h"
#include "screens/test_hard.h"

#include <QAction>
#include <QLineEdit>
#include <QRadioButton>

using namespace edition07;
using namespace edition07::testing;

namespace {

class Screenshots : public Grade7 {
 protected:
  void Shot(int code) {
    ASSERT_NE(Window().CurrentFrame(), nullptr) << code;
    const QPixmap shot = SettledPicture(Window());
    EXPECT_EQ(shot.size(), QSize(1016, 713)) << code;
    EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR "/grade7_screen_%1.png").arg(code))) << code;
  }
  void CountingShot(int code) {
    loop_.AdvanceSeconds(1);
    Shot(code);
  }
};

}  // namespace

TEST_F(Screenshots, EveryScreenAsTheRunShowsIt) {
  TfrmMain &w = Started();
  w.show();

  auto *hard = Now<TfrmTestHard>();
  ASSERT_NE(hard, nullptr);
  Shot(1);
  FillHardwareCheck(*hard);
  hard->Action1->trigger();
  loop_.Advance(100);

  auto *entry = Now<TfrmInstruction>();
  ASSERT_NE(entry, nullptr);
  entry->Edit3->setText("12345");
  Shot(5);
  entry->Button1->click();
  loop_.Advance(100);

  auto *spoken = Now<TfrmRecStudID>();
  ASSERT_NE(spoken, nullptr);
  Shot(6);
  spoken->btnRecID->click();
  spoken->btnRecID->click();
  spoken->Button4->click();
  spoken->Action1Update();
  spoken->Action1->trigger();
  loop_.Advance(100);

  CountingShot(10);
  loop_.AdvanceSeconds(w.FPrepare1Seconds);

  // Some boxes picked, so that the pictures show options over the page.
  auto *task1 = Now<edition07::TfrmTask1>();
  ASSERT_NE(task1, nullptr);
  task1->t1->setCurrentIndex(1);
  task1->t5->setCurrentIndex(2);
  CountingShot(11);
  EndEarly();
  for (const int code : {20, 21}) {
    CountingShot(code);
    EndEarly();
  }

  auto *prepare3 = Now<TfrmPrepare3>();
  ASSERT_NE(prepare3, nullptr);
  prepare3->nPhoto->Item(2)->setChecked(true);
  CountingShot(30);
  EndEarly();
  CountingShot(32);
  // Without a photo the preparation leads to 39 instead, in the same state:
  // task 3 leaves the main window as the preparation left it.
  w.StartFrame(39);
  CountingShot(39);
  EndEarly();

  auto *task4 = Now<edition07::TfrmTask4>();
  ASSERT_NE(task4, nullptr);
  task4->t3->setCurrentIndex(6);
  CountingShot(40);
  EndEarly();
  CountingShot(44);
  EndEarly();
  auto *task5 = Now<edition07::TfrmTask5>();
  ASSERT_NE(task5, nullptr);
  task5->t1->setCurrentIndex(2);
  CountingShot(50);
  EndEarly();
  CountingShot(60);
  EndEarly();

  auto *review = Now<edition07::TfrmPlayAnswers>();
  ASSERT_NE(review, nullptr);
  Shot(1000);
  review->Button1->click();
  loop_.Advance(100);
  Shot(1001);
}
