// Preparation for spoken task 6 with the choice of the photo to speak about.
#pragma once

#include "timed_frame.h"

#include <QGroupBox>

#include <vector>

class QRadioButton;

namespace station {

// A group of radio items in columns; the picked item is ItemIndex (-1 none).
class TPhotoRadioGroup : public QGroupBox {
 public:
  TPhotoRadioGroup(QWidget *parent, const QString &caption, const QStringList &items);
  int ItemIndex() const;
  void SetItemIndex(int index);
  QRadioButton *Item(int index) const { return items_.at(std::size_t(index)); }
  int Count() const { return int(items_.size()); }
  QColor Colour() const;
  void SetColour(const QColor &colour);

 private:
  std::vector<QRadioButton *> items_;
};

class TfrmPrepare6 : public TTimedFrame {
 public:
  explicit TfrmPrepare6(TfrmMain &main);
  void Start(std::optional<int> arg) override;
  // The tick: the choice's colour, then the common count.
  void Timer1Timer();

  TPhotoRadioGroup *nPhoto = nullptr;
  int FPhotoChoice = 9;  // 1 to 3, or 9 for none

 protected:
  int Limit() const override;
  int EndWork() override;
  QString EarlyEndQuestion() const override;
};

}  // namespace station
