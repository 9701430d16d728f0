#include "choice_task.h"

#include "../main_window.h"

#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace station {

TChoiceFrame::TChoiceFrame(TfrmMain &main, int count, bool reversed) : TTimedFrame(main) {
  for (int k = 0; k < count; ++k) {
    // Children of the frame, so the positions file speaks in its coordinates.
    QComboBox *box = MakeChoiceBox(this);
    box->setObjectName(QStringLiteral("t%1").arg(k + 1));
    boxes_.push_back(box);
  }
  for (int k = 0; k + 1 < count; ++k) {
    if (reversed)
      QWidget::setTabOrder(boxes_[std::size_t(count - 1 - k)], boxes_[std::size_t(count - 2 - k)]);
    else
      QWidget::setTabOrder(boxes_[std::size_t(k)], boxes_[std::size_t(k + 1)]);
  }
  QComboBox **named[] = {&t1, &t2, &t3, &t4, &t5, &t6};
  for (std::size_t k = 0; k < boxes_.size() && k < std::size(named); ++k) *named[k] = boxes_[k];
}

void FillChoiceGroups(const std::vector<QComboBox *> &boxes, const QStringList &options, int perBox) {
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    QStringList items;
    for (int i = 0; i < perBox; ++i) {
      const qsizetype line = qsizetype(k) * perBox + i;
      items.append(line < options.size() ? options.at(line) : QString());
    }
    FillChoices({boxes[k]}, items);
  }
}

TChoiceTask::TChoiceTask(TfrmMain &main, ChoiceTaskSpec spec)
    : TChoiceFrame(main, spec.boxes, spec.reverseTabOrder), spec_(std::move(spec)) {
  BuildPanel(49, spec_.caption, QString::fromUtf8("Завершить ответ!"));
  Button1->setFixedSize(spec_.buttonSize);
}

int TChoiceTask::Limit() const { return main_.*spec_.limit; }

void TChoiceTask::Start(std::optional<int>) {
  main_.Panel1->show();
  if (spec_.showClockLabel) main_.Label1->show();
  ShowTaskPage(spec_.pageField, spec_.page);
  // The bar first: a set-up that fails on bad materials still counts.
  SetTopBar(QString(), false);

  // The items and the restored answer before the positions, so that a
  // failure to place the boxes leaves the answer in them.
  // Boxes whose list could not be read keep no items, so that their end
  // work stores nothing over the answer.
  const std::string n = std::to_string(spec_.task);
  const bool listed = SetUpStep([&] {
    CopyBlobToFile(main_, "Answer" + n, "~$t" + n + "ans.tmp");
    Answers = LoadOptionList(main_, "~$t" + n + "ans.tmp");
  });
  if (listed) {
    if (spec_.itemsPerBox == 0)
      FillChoices(boxes_, Answers);
    else
      FillChoiceGroups(boxes_, Answers, spec_.itemsPerBox);
    SetUpStep([&] { RestoreChoiceTask(main_, "a" + n, boxes_); });
  }
  SetUpStep([&] {
    CopyBlobToFile(main_, "coords" + n, "~$t" + n + "coords.tmp");
    PlaceBoxes(main_, "~$t" + n + "coords.tmp", {boxes_.begin(), boxes_.end()});
  });

  StartCounting();
  EnsureParticipantFolder(main_);
  RaiseKeptStartError();
}

int TChoiceTask::EndWork() {
  EnsureParticipantFolder(main_);
  StoreChoices(main_, "a" + std::to_string(spec_.task), boxes_);
  return spec_.next(main_);
}

}  // namespace station
