// Written task 4: six drop-down answer boxes over the variant's page 4.
#pragma once

#include "timed_frame.h"

#include <QStringList>

#include <vector>

class QComboBox;

namespace station {

class TfrmTask4 : public TTimedFrame {
 public:
  explicit TfrmTask4(TfrmMain &main);
  void Start(std::optional<int> arg) override;

  // The boxes in answer order.
  std::vector<QComboBox *> Boxes() const { return {t1, t2, t3, t4, t5, t6}; }

  QComboBox *t1 = nullptr;
  QComboBox *t2 = nullptr;
  QComboBox *t3 = nullptr;
  QComboBox *t4 = nullptr;
  QComboBox *t5 = nullptr;
  QComboBox *t6 = nullptr;
  // The option lines read from the materials; never shown.
  QStringList Answers;

 protected:
  int Limit() const override;
  int EndWork() override;
};

}  // namespace station
