#include "task2.h"

#include "../main_window.h"

#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QLabel>

namespace station {

namespace {
const char kCaption[] = "Выполнение задания № 2.";
const char kButton[] = "Завершить ответ!";
}  // namespace

TfrmTask2::TfrmTask2(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(49, QString::fromUtf8(kCaption), QString::fromUtf8(kButton));
  // Children of the frame, so the positions file speaks in its coordinates.
  t1 = MakeChoiceBox(this);
  t2 = MakeChoiceBox(this);
  t3 = MakeChoiceBox(this);
  t4 = MakeChoiceBox(this);
  t5 = MakeChoiceBox(this);
}

int TfrmTask2::Limit() const { return main_.FTask2Seconds; }

void TfrmTask2::Start(std::optional<int>) {
  main_.Panel1->show();
  main_.Label1->show();
  ShowTaskPage("VariantText", 2);
  // The bar first: a set-up that fails on bad materials still counts.
  SetTopBar(QString(), false);

  Answers = SetUpChoiceTask(main_, 2, Boxes());

  StartCounting();
  EnsureParticipantFolder(main_);
  RaiseKeptStartError();
}

int TfrmTask2::EndWork() {
  EnsureParticipantFolder(main_);
  StoreChoices(main_, "a2", Boxes());
  if (ExamTimeOver(main_)) return 1000;
  if (main_.FElapsedSeconds > main_.FGymEyesAfterSeconds && main_.FGymEyesDue) return 22;
  return 30;
}

}  // namespace station
