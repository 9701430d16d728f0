#include "message_service.h"
#include "qt_station_loop.h"
#include "station_program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using namespace station;

namespace {

// Answers the box that is open once the nested loop runs, by clicking a button.
void AnswerOpenBox(QMessageBox::StandardButton which, QtStationLoop &loop, int &depthSeen, BoxRequest &seen) {
  QTimer::singleShot(0, [&, which] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    depthSeen = loop.NestedDepth();
    seen.text = box->text();
    seen.caption = box->windowTitle();
    seen.icon = box->icon() == QMessageBox::Critical ? BoxIcon::Error : BoxIcon::None;
    box->button(which)->click();
  });
}

}  // namespace

TEST(StationMessageBoxes, RealBoxRunsANestedLoopAndGivesTheAnswer) {
  QtStationLoop loop;
  QtMessageService service(loop);
  QWidget main;
  service.SetMainWindow(&main);
  int depth = -1;
  BoxRequest seen;

  AnswerOpenBox(QMessageBox::Yes, loop, depth, seen);
  EXPECT_EQ(service.Show({QString::fromUtf8("Завершить работу на станции?"), QString::fromUtf8("Внимание!"),
                          BoxButtons::YesNo, BoxIcon::None, BoxOwner::None}),
            BoxAnswer::Yes);
  EXPECT_EQ(depth, 1) << "the box counts as a nested loop while it is open";
  EXPECT_EQ(loop.NestedDepth(), 0);
  EXPECT_EQ(seen.text, QString::fromUtf8("Завершить работу на станции?"));
  EXPECT_EQ(seen.caption, QString::fromUtf8("Внимание!"));

  AnswerOpenBox(QMessageBox::No, loop, depth, seen);
  EXPECT_EQ(service.Show({"q", "c", BoxButtons::YesNo, BoxIcon::None, BoxOwner::MainWindow}), BoxAnswer::No);

  AnswerOpenBox(QMessageBox::Ok, loop, depth, seen);
  EXPECT_EQ(service.Show({"Error text", "Title", BoxButtons::Ok, BoxIcon::Error, BoxOwner::MainWindow}),
            BoxAnswer::Ok);
  EXPECT_EQ(seen.icon, BoxIcon::Error);
}

TEST(StationMessageBoxes, StandardButtonsSpeakRussian) {
  ASSERT_TRUE(InstallQtRussian()) << "Qt's Russian translation is installed with the packages";
  QtStationLoop loop;
  QtMessageService service(loop);
  QStringList buttons;
  QTimer::singleShot(0, [&] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    for (auto which : {QMessageBox::Yes, QMessageBox::No}) buttons << box->button(which)->text().remove(u'&');
    box->button(QMessageBox::No)->click();
  });
  service.Show({"q", "c", BoxButtons::YesNo, BoxIcon::None, BoxOwner::None});
  EXPECT_EQ(buttons, (QStringList{QString::fromUtf8("Да"), QString::fromUtf8("Нет")}));
}
