// The countdown overlay on its own: its steps, a click, showing again, and
// the exam clock going on while it counts.
#include "spoken_fixture.h"

#include <QCoreApplication>
#include <QMouseEvent>

using namespace station;
using namespace station::testing;

using Countdown = SpokenFixture;

TEST_F(Countdown, CountsFiveToZeroInQuarterSecondsThenCloses) {
  TfrmMain &w = Station();
  bool blankAtFirst = false;
  const std::int64_t before = loop_.NowMs();
  overlay_->RunModalLoop = [&](T_FiveSec &o) {
    // Nothing is shown until the first quarter second has passed.
    loop_.Advance(249);
    blankAtFirst = o.Showing() && o.isVisible() && o.Panel1->text().isEmpty();
    loop_.Advance(1);
    digits_.push_back({o.Panel1->text()});
    for (int step = 0; o.Showing() && step < 100; ++step) {
      loop_.Advance(250);
      digits_.back().push_back(o.Panel1->text());
    }
  };
  overlay_->ShowModal();
  EXPECT_TRUE(blankAtFirst);
  ASSERT_EQ(digits_.size(), 1u);
  // 5 to 1 stay up a quarter second each; 0 is painted and the overlay closes
  // at once, emptying its caption.
  EXPECT_EQ(digits_[0], (QStringList{"5", "4", "3", "2", "1", ""}));
  EXPECT_EQ(loop_.NowMs() - before, 1500);
  EXPECT_FALSE(overlay_->Showing());
  EXPECT_FALSE(overlay_->isVisible());
  EXPECT_FALSE(overlay_->Timer2->Enabled());
  EXPECT_EQ(FiveSecCounter, -1);
  EXPECT_EQ(overlay_->geometry(), w.geometry()) << "it covers the main window";
  EXPECT_EQ(overlay_->Panel1->font().pixelSize(), 107);
}

namespace {
// Records the panel's caption each time it is painted.
class PaintWatch : public QObject {
 public:
  QStringList painted;
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Paint) painted << static_cast<QLabel *>(watched)->text();
    return false;
  }
};
}  // namespace

TEST_F(Countdown, EveryDigitIsPaintedAtItsStepZeroIncluded) {
  Station();
  PaintWatch watch;
  overlay_->Panel1->installEventFilter(&watch);
  auto steps = overlay_->RunModalLoop;
  overlay_->RunModalLoop = [&](T_FiveSec &o) {
    // Let the window system expose the new window first, as the real loop does.
    QCoreApplication::processEvents();
    watch.painted.clear();
    steps(o);
  };
  overlay_->ShowModal();
  // Painted at once, without waiting for the event loop, which the test
  // never runs.
  EXPECT_EQ(watch.painted, (QStringList{"5", "4", "3", "2", "1", "0"}));
}

TEST_F(Countdown, AClickSkipsToZeroAtTheNextStep) {
  Station();
  onStep_ = [&](int step) {
    if (step == 2) {
      QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::LeftButton,
                        Qt::NoModifier);
      QCoreApplication::sendEvent(overlay_->Panel1, &press);
    }
  };
  overlay_->ShowModal();
  ASSERT_EQ(digits_.size(), 1u);
  EXPECT_EQ(digits_[0], (QStringList{"5", "4", ""}));
  EXPECT_FALSE(overlay_->Showing());

  // A click before the first digit: the first step shows 0 and closes.
  onStep_ = [&](int step) {
    if (step == 0) overlay_->Panel1Click();
  };
  overlay_->ShowModal();
  ASSERT_EQ(digits_.size(), 2u);
  EXPECT_EQ(digits_[1], (QStringList{""}));
}

TEST_F(Countdown, EveryShowingStartsAgainFromFive) {
  Station();
  overlay_->ShowModal();
  overlay_->ShowModal();
  ASSERT_EQ(digits_.size(), 2u);
  EXPECT_EQ(digits_[1], digits_[0]);

  // Regaining activation during the count starts it again from 5.
  onStep_ = [&](int step) {
    if (step == 3) overlay_->FormActivate();
  };
  overlay_->ShowModal();
  ASSERT_EQ(digits_.size(), 3u);
  EXPECT_EQ(digits_[2], (QStringList{"5", "4", "3", "5", "4", "3", "2", "1", ""}));
}

TEST_F(Countdown, TheExamClockGoesOnWhileItCounts) {
  TfrmMain &w = Station();
  w.FExamSeconds = 4500;
  w.FElapsedSeconds = 10;
  w.TimerControl->SetEnabled(true);
  overlay_->ShowModal();
  EXPECT_EQ(w.FElapsedSeconds, 11) << "one exam-clock second passed during the 1.5 s";
  EXPECT_EQ(loop_.NestedDepth(), 0);
}

TEST_F(Countdown, WithoutTheOverlayNothingIsShown) {
  Station();
  delete overlay_.data();
  EXPECT_EQ(_FiveSec, nullptr);
  ShowFiveSec();  // the screens go on without a countdown
  EXPECT_TRUE(digits_.empty());
}
