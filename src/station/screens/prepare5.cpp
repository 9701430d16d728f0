#include "prepare5.h"

#include "../main_window.h"
#include "../station_texts.h"

namespace station {

TfrmPrepare5::TfrmPrepare5(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(41, QString::fromUtf8("Подготовка к выполнению задания № 5"), QString::fromUtf8("Я готов!"));
}

void TfrmPrepare5::Start(std::optional<int>) {
  // From here on the exam clock no longer urges the pupil to the spoken part.
  main_.FOralPartStarted = true;
  ShowTaskPage("VariantText", 5);
  SetTopBar(QString::fromUtf8("Подготовка к заданию № 5:"), true);
  StartCounting();
  RaiseKeptStartError();
}

int TfrmPrepare5::Limit() const { return main_.FPrepare5Seconds; }

int TfrmPrepare5::EndWork() { return ExamTimeOver(main_) ? 1000 : 51; }

QString TfrmPrepare5::EarlyEndQuestion() const { return QString::fromUtf8(texts::kEndPreparationQuestion); }

}  // namespace station
