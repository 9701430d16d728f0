// Written task 2: five drop-down answer boxes over the variant's page 2.
#pragma once

#include "timed_frame.h"

#include <QStringList>

#include <vector>

class QComboBox;

namespace station {

class TfrmTask2 : public TTimedFrame {
 public:
  explicit TfrmTask2(TfrmMain &main);
  void Start(std::optional<int> arg) override;

  // The boxes in answer order.
  std::vector<QComboBox *> Boxes() const { return {t1, t2, t3, t4, t5}; }

  QComboBox *t1 = nullptr;
  QComboBox *t2 = nullptr;
  QComboBox *t3 = nullptr;
  QComboBox *t4 = nullptr;
  QComboBox *t5 = nullptr;
  // The option lines read from the materials; never shown.
  QStringList Answers;

 protected:
  int Limit() const override;
  int EndWork() override;
  // A failure during a tick is shown as a notice and the frame keeps
  // counting, so a passing fault cannot strand the pupil on this screen.
  bool GuardedTick() const override { return true; }
};

}  // namespace station
