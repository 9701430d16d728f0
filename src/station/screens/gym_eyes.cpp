#include "gym_eyes.h"

#include "../main_window.h"
#include "../station_texts.h"

#include <QFrame>
#include <QLabel>

namespace station {

TfrmGymEyes::TfrmGymEyes(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(49, QString::fromUtf8("Перерыв для выполнения комплекса упражнений гимнастики глаз"),
             QString::fromUtf8("Завершить перерыв!"));
}

int TfrmGymEyes::Limit() const { return main_.FGymEyesSeconds; }

QString TfrmGymEyes::EarlyEndQuestion() const { return QString::fromUtf8(texts::kEndBreakQuestion); }

void TfrmGymEyes::Start(std::optional<int> arg) {
  // Taken from this moment, however the break ends.
  main_.FGymEyesDue = false;
  FNextTask = arg.value_or(0);
  main_.Panel1->show();
  main_.Label1->show();
  SetTopBar(QString(), true);
  StartCounting();
}

int TfrmGymEyes::EndWork() {
  if (ExamTimeOver(main_)) return 1000;
  return FNextTask * 10 + 10;
}

}  // namespace station
