// The photo choice of the spoken-task preparations: a group of radio items in
// columns whose background shows whether a photo is picked.
#pragma once

#include <QGroupBox>

#include <vector>

class QRadioButton;

namespace station {

// The picked item is ItemIndex (-1 none).
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

}  // namespace station
