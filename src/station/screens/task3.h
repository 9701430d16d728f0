// Written task 3: six typed-word boxes over the variant's page 3. The words
// are stored as one text joined by "=", so a box never takes that character.
#pragma once

#include "timed_frame.h"

#include <QChar>

#include <vector>

class QLineEdit;

namespace station {

class TfrmTask3 : public TTimedFrame {
 public:
  explicit TfrmTask3(TfrmMain &main);
  void Start(std::optional<int> arg) override;

  // The key handler shared by the boxes: false discards the key.
  static bool t1KeyPress(QChar key);

  // The boxes in answer order.
  std::vector<QLineEdit *> Boxes() const { return {t1, t2, t3, t4, t5, t6}; }

  QLineEdit *t1 = nullptr;
  QLineEdit *t2 = nullptr;
  QLineEdit *t3 = nullptr;
  QLineEdit *t4 = nullptr;
  QLineEdit *t5 = nullptr;
  QLineEdit *t6 = nullptr;

  // Longest text of one box: six full boxes and their five separators fit
  // the answers field, so no word is ever cut off when it is stored.
  static constexpr int kMaxWordLength = 249;

 protected:
  int Limit() const override;
  int EndWork() override;
  bool eventFilter(QObject *watched, QEvent *event) override;
};

}  // namespace station
