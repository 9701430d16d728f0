// The listening task: the task audio plays once while the pupil picks one of
// three options in each of five boxes over a task page. The editions differ
// only in the page and in what they reset when the task starts.
#pragma once

#include "choice_task.h"

#include <QSize>

#include <functional>

namespace station {

struct ListeningTaskSpec {
  int page = 1;
  bool reverseTabOrder = false;
  int earlyEndValue = 10000;  // FTicks after a confirmed early end
  // Edition state reset when the task starts; may be empty.
  std::function<void(TfrmMain &)> onStart;
  QSize buttonSize{185, 33};  // the early-end button
};

class TListeningTask : public TChoiceFrame {
 public:
  TListeningTask(TfrmMain &main, ListeningTaskSpec spec);
  void Start(std::optional<int> arg) override;

  // The option lines read from the materials; never shown.
  QStringList answers;

 protected:
  int Limit() const override;
  int EndWork() override;
  // The exam clock runs meanwhile but cannot cut the recording short.
  bool TestsExamClock() const override { return false; }
  int EarlyEndValue() const override { return spec_.earlyEndValue; }

 private:
  ListeningTaskSpec spec_;
};

}  // namespace station
