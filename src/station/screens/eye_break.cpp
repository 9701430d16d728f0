#include "eye_break.h"

#include "../main_window.h"
#include "../station_texts.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace station {

TEyeBreak::TEyeBreak(TfrmMain &main, EyeBreakSpec spec) : TTimedFrame(main), spec_(std::move(spec)) {
  BuildPanel(49, QString::fromUtf8("Перерыв для выполнения комплекса упражнений гимнастики глаз"),
             QString::fromUtf8("Завершить перерыв!"));
  Button1->setFixedSize(spec_.buttonWidth, spec_.buttonHeight);
}

int TEyeBreak::Limit() const { return main_.FGymEyesSeconds; }

QString TEyeBreak::EarlyEndQuestion() const { return QString::fromUtf8(texts::kEndBreakQuestion); }

void TEyeBreak::Start(std::optional<int> arg) {
  if (spec_.clearsDueAtStart) main_.FGymEyesDue = false;
  FNextTask = arg.value_or(0);
  main_.Panel1->show();
  main_.Label1->show();
  SetTopBar(QString(), true);
  StartCounting();
}

int TEyeBreak::EndWork() {
  if (ExamTimeOver(main_)) return 1000;
  return spec_.next(main_, FNextTask);
}

}  // namespace station
