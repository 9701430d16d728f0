#include "task4.h"

#include "../main_window.h"

#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QLabel>

namespace station {

namespace {
const char kCaption[] = "Выполнение задания № 4.";
const char kButton[] = "Завершить ответ!";
}  // namespace

TfrmTask4::TfrmTask4(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(49, QString::fromUtf8(kCaption), QString::fromUtf8(kButton));
  t1 = MakeChoiceBox(this);
  t2 = MakeChoiceBox(this);
  t3 = MakeChoiceBox(this);
  t4 = MakeChoiceBox(this);
  t5 = MakeChoiceBox(this);
  t6 = MakeChoiceBox(this);
}

int TfrmTask4::Limit() const { return main_.FTask4Seconds; }

void TfrmTask4::Start(std::optional<int>) {
  // The remaining-time label stays as task 2 left it.
  main_.Panel1->show();
  ShowTaskPage("variantText", 4);
  // The bar first: a set-up that fails on bad materials still counts.
  SetTopBar(QString(), false);

  Answers = SetUpChoiceTask(main_, 4, Boxes());

  StartCounting();
  EnsureParticipantFolder(main_);
  RaiseKeptStartError();
}

int TfrmTask4::EndWork() {
  EnsureParticipantFolder(main_);
  StoreChoices(main_, "a4", Boxes());
  if (ExamTimeOver(main_)) return 1000;
  // Back from the answer review after the spoken part: straight back there.
  if (main_.FOralPartDone) return 1000;
  // The eye break comes here at the latest, whatever the elapsed time.
  if (main_.FGymEyesDue) return 44;
  return 50;
}

}  // namespace station
