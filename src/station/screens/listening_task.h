// The listening task: the task audio plays once while the pupil picks one of
// three options in each of five boxes over a task page. The editions differ
// only in the page and in what they reset when the task starts.
#pragma once

#include "timed_frame.h"

#include <QStringList>

#include <functional>
#include <vector>

class QComboBox;

namespace station {

struct ListeningTaskSpec {
  int page = 1;
  bool reverseTabOrder = false;
  // Edition state reset when the task starts; may be empty.
  std::function<void(TfrmMain &)> onStart;
};

class TListeningTask : public TTimedFrame {
 public:
  TListeningTask(TfrmMain &main, ListeningTaskSpec spec);
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

 private:
  ListeningTaskSpec spec_;
};

}  // namespace station
