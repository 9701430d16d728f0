#include "manual_loop.h"
#include "qt_station_loop.h"
#include "scripted_messages.h"
#include "termination_signals.h"

#include "table_store/errors.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <vector>

using station::BoxAnswer;
using station::StationLoop;
using station::testing::ManualLoop;
using station::testing::ScriptedMessages;

TEST(StationLoop, TimersFireInTimeOrderOnlyWhileEnabled) {
  ManualLoop loop;
  std::vector<std::string> fired;
  auto slow = loop.CreateTimer();
  auto fast = loop.CreateTimer();
  slow->SetHandler([&] { fired.push_back("slow"); });
  fast->SetHandler([&] { fired.push_back("fast"); });
  slow->SetInterval(1000);
  fast->SetInterval(250);
  loop.Advance(2000);
  EXPECT_TRUE(fired.empty()) << "timers start disabled";
  slow->SetEnabled(true);
  fast->SetEnabled(true);
  loop.Advance(1000);
  // Timers due at the same moment fire in the order they were made.
  EXPECT_EQ(fired, (std::vector<std::string>{"fast", "fast", "fast", "slow", "fast"}));
  fast->SetEnabled(false);
  fired.clear();
  loop.Advance(2000);
  EXPECT_EQ(fired, (std::vector<std::string>{"slow", "slow"}));
}

TEST(StationLoop, TimerIsNotReenteredWhileItsHandlerWaitsButOthersFire) {
  ManualLoop loop;
  ScriptedMessages boxes(loop);
  auto clock = loop.CreateTimer();
  auto other = loop.CreateTimer();
  int clock_ticks = 0, other_ticks = 0;
  other->SetHandler([&] { ++other_ticks; });
  clock->SetHandler([&] {
    ++clock_ticks;
    if (clock_ticks == 1) {
      boxes.Queue(BoxAnswer::Ok, [&] { loop.AdvanceSeconds(5); });
      boxes.Show({});
    }
  });
  clock->SetEnabled(true);
  other->SetEnabled(true);
  loop.AdvanceSeconds(1);
  EXPECT_EQ(clock_ticks, 1) << "a handler that holds a box holds its own timer";
  EXPECT_GE(other_ticks, 5);
  loop.AdvanceSeconds(1);
  EXPECT_EQ(clock_ticks, 2);
}

TEST(StationLoop, HandlerErrorIsReportedWithItsTextAndGoesNoFurther) {
  ManualLoop loop;
  QStringList reports;
  loop.SetErrorReporter([&](const QString &text) { reports << text; });
  auto timer = loop.CreateTimer();
  int ticks = 0;
  timer->SetHandler([&] {
    ++ticks;
    throw std::runtime_error("Invalid numeric input");
  });
  timer->SetEnabled(true);
  loop.AdvanceSeconds(2);
  EXPECT_EQ(ticks, 2) << "the failing timer keeps running";
  EXPECT_EQ(reports, (QStringList{"Invalid numeric input", "Invalid numeric input"}));
  loop.RunHandler([] { throw 42; });
  EXPECT_EQ(reports.size(), 3);
  // The table store's errors carry code-page text: "Field 'Ответ' not found".
  loop.RunHandler([] { throw ts::EDatabaseError("Field '\xCE\xF2\xE2\xE5\xF2' not found"); });
  ASSERT_EQ(reports.size(), 4);
  EXPECT_EQ(reports[3], QString::fromUtf8("Field 'Ответ' not found"));
}

TEST(StationLoop, OutermostCallsWaitForEveryNestedLoopToClose) {
  ManualLoop loop;
  int ran = 0;
  {
    StationLoop::NestedScope outer(loop);
    {
      StationLoop::NestedScope inner(loop);
      loop.PostWhenOutermost([&] { ++ran; });
      loop.RunPosted();
    }
    loop.RunPosted();
    EXPECT_EQ(ran, 0);
  }
  loop.RunPosted();
  EXPECT_EQ(ran, 1);

  // Posted at the outermost level, but a nested loop opened before it ran.
  loop.PostWhenOutermost([&] { ++ran; });
  {
    StationLoop::NestedScope nested(loop);
    loop.RunPosted();
    EXPECT_EQ(ran, 1);
  }
  loop.RunPosted();
  EXPECT_EQ(ran, 2);
}

TEST(StationLoop, QtLoopRunsPostedCallsGuardedFromTheEventLoop) {
  station::QtStationLoop loop;
  QStringList reports;
  loop.SetErrorReporter([&](const QString &text) { reports << text; });
  int ran = 0;
  loop.Post([&] { ++ran; });
  loop.Post([] { throw std::runtime_error("boom"); });
  EXPECT_EQ(ran, 0) << "nothing runs before control is back in the loop";
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(reports, QStringList{"boom"});

  auto timer = loop.CreateTimer();
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 1000);
  timer->SetInterval(250);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 250);
  timer->SetEnabled(false);
  EXPECT_FALSE(timer->Enabled());
}

TEST(StationSignals, TerminationSignalsReachTheWindowThreadHandler) {
  std::vector<int> got;
  {
    station::TerminationSignals termination([&got](int signo) { got.push_back(signo); });
    std::raise(SIGTERM);
    std::raise(SIGINT);
    for (int i = 0; i < 200 && got.size() < 2; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT}));
}
