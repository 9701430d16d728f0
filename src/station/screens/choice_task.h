// A written task of drop-down answer boxes laid over one task page. Each
// edition describes its tasks with a ChoiceTaskSpec (page, materials fields,
// number of boxes, how the option lines are dealt out, limit, next screen);
// the screen itself is the same for all of them.
#pragma once

#include "timed_frame.h"

#include <QSize>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QComboBox;

namespace station {

struct ChoiceTaskSpec {
  int task = 0;                  // the answer goes to "a<task>"
  QString caption;               // the bottom panel's text
  std::string pageField = "VariantText";
  int page = 0;
  int boxes = 5;
  // 0: every box offers every line of the option list; otherwise box K
  // offers lines K*itemsPerBox .. K*itemsPerBox + itemsPerBox - 1.
  int itemsPerBox = 0;
  int TfrmMain::*limit = nullptr;
  bool showClockLabel = false;   // the remaining-time label is shown at start
  bool guardedTick = false;      // a failing tick shows "Error" and goes on
  bool reverseTabOrder = false;  // the keyboard visits the boxes from the last
  int earlyEndValue = 10000;     // FTicks after a confirmed early end
  // The next screen once the answer is stored.
  std::function<int(TfrmMain &)> next;
  QSize buttonSize{185, 33};     // the early-end button
};

// Base of the counting screens whose answers are picks in drop-down boxes
// (the written tasks and the listening task).
class TChoiceFrame : public TTimedFrame {
 public:
  // `count` boxes t1..; the keyboard visits them in answer order, or from
  // the last when `reversed`.
  TChoiceFrame(TfrmMain &main, int count, bool reversed);

  // The boxes in answer order.
  std::vector<QComboBox *> Boxes() const { return boxes_; }

  QComboBox *t1 = nullptr;
  QComboBox *t2 = nullptr;
  QComboBox *t3 = nullptr;
  QComboBox *t4 = nullptr;
  QComboBox *t5 = nullptr;
  QComboBox *t6 = nullptr;

 protected:
  std::vector<QComboBox *> boxes_;
};

class TChoiceTask : public TChoiceFrame {
 public:
  TChoiceTask(TfrmMain &main, ChoiceTaskSpec spec);
  void Start(std::optional<int> arg) override;

  const ChoiceTaskSpec &Spec() const { return spec_; }

  // The option lines read from the materials; never shown.
  QStringList Answers;

 protected:
  int Limit() const override;
  int EndWork() override;
  bool GuardedTick() const override { return spec_.guardedTick; }
  int EarlyEndValue() const override { return spec_.earlyEndValue; }

 private:
  ChoiceTaskSpec spec_;
};
// Box K gets exactly `perBox` items, the lines from K * perBox on; a line
// the list lacks gives an empty item. No item is picked.
void FillChoiceGroups(const std::vector<QComboBox *> &boxes, const QStringList &options, int perBox);

}  // namespace station
