// The listening task: the task audio plays once while the pupil picks one of
// three options in each of five boxes over the variant's first page.
#pragma once

#include "timed_frame.h"

#include <QStringList>

#include <vector>

class QComboBox;

namespace station {

class TfrmTask1 : public TTimedFrame {
 public:
  explicit TfrmTask1(TfrmMain &main);
  void Start(std::optional<int> arg) override;

  // The boxes in answer order.
  std::vector<QComboBox *> Boxes() const { return {t1, t2, t3, t4, t5}; }

  QComboBox *t1 = nullptr;
  QComboBox *t2 = nullptr;
  QComboBox *t3 = nullptr;
  QComboBox *t4 = nullptr;
  QComboBox *t5 = nullptr;
  // The option lines read from the materials; never shown.
  QStringList answers;

 protected:
  int Limit() const override;
  int EndWork() override;
  // The exam clock runs meanwhile but cannot cut the recording short.
  bool TestsExamClock() const override { return false; }
};

}  // namespace station
