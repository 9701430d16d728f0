// Every screen of the grade-7 program as a participant meets it in a run on
// the demo materials, saved to the build folder as the record of how each
// screen looks: the top bar as the screens before left it, the participant's
// variant current, the counting screens one second under way.
#include "grade7_fixture.h"
#include "hardware_check.h"
#include "screen_picture.h"
#include "spoken_code.h"

#include "instruction.h"
#include "play_answers.h"
#include "spoken_tasks.h"
#include "written_tasks.h"

#include "screens/choice_task.h"
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
  // A counting screen shot, then ended early; the boxes (index, item) are
  // picked first, so that the picture shows options over the page.
  void ShotAndEnd(int code, const std::vector<std::pair<int, int>> &picks = {}) {
    if (!picks.empty()) {
      auto *task = dynamic_cast<TChoiceFrame *>(Window().CurrentFrame());
      ASSERT_NE(task, nullptr) << code;
      for (const auto &[box, item] : picks) task->Boxes()[box]->setCurrentIndex(item);
    }
    CountingShot(code);
    EndEarly();
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
  RecordSpokenCode(*spoken);
  loop_.Advance(100);

  CountingShot(10);
  loop_.AdvanceSeconds(w.FPrepare1Seconds);

  ShotAndEnd(11, {{0, 1}, {4, 2}});
  ShotAndEnd(20);
  ShotAndEnd(21);

  auto *prepare3 = Now<TfrmPrepare3>();
  ASSERT_NE(prepare3, nullptr);
  prepare3->nPhoto->Item(2)->setChecked(true);
  ShotAndEnd(30);
  CountingShot(32);
  // Without a photo the preparation leads to 39 instead, in the same state:
  // task 3 leaves the main window as the preparation left it.
  w.StartFrame(39);
  ShotAndEnd(39);

  ShotAndEnd(40, {{2, 6}});
  ShotAndEnd(44);
  ShotAndEnd(50, {{0, 2}});
  ShotAndEnd(60);

  auto *review = Now<edition07::TfrmPlayAnswers>();
  ASSERT_NE(review, nullptr);
  Shot(1000);
  review->Button1->click();
  loop_.Advance(100);
  Shot(1001);
}
