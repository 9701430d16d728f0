// Every screen of the grade-7 program at the main window's size, saved to the
// build folder for a look.
#include "grade7_fixture.h"

#include <QPixmap>

using namespace edition07::testing;

namespace {

class Screenshots : public Grade7 {};

}  // namespace

TEST_F(Screenshots, EveryScreenAtTheWindowSize) {
  TfrmMain &w = Participant();
  w.show();
  for (const int code : {1, 5, 6, 10, 11, 20, 21, 30, 32, 39, 40, 44, 50, 60, 1000, 1001}) {
    // As the run leaves it: code entry hides the clock, task 4 shows it.
    w.Label1->setVisible(code >= 40);
    w.StartFrame(code);
    ASSERT_NE(w.CurrentFrame(), nullptr) << code;
    // One tick shows the counting screens under way.
    loop_.AdvanceSeconds(1);
    if (w.CurrentFrame() == nullptr) continue;
    const QPixmap shot = w.grab();
    EXPECT_EQ(shot.size(), QSize(1016, 713)) << code;
    EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR "/grade7_screen_%1.png").arg(code))) << code;
  }
}
