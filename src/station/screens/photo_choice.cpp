#include "photo_choice.h"

#include <QGridLayout>
#include <QRadioButton>

namespace station {

TPhotoRadioGroup::TPhotoRadioGroup(QWidget *parent, const QString &caption, const QStringList &items)
    : QGroupBox(caption, parent) {
  auto *grid = new QGridLayout(this);
  grid->setContentsMargins(4, 0, 4, 2);
  grid->setSpacing(2);
  for (int i = 0; i < items.size(); ++i) {
    auto *item = new QRadioButton(items[i], this);
    grid->addWidget(item, 0, i);
    items_.push_back(item);
  }
  setAutoFillBackground(true);
}

int TPhotoRadioGroup::ItemIndex() const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->isChecked()) return int(i);
  return -1;
}

void TPhotoRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < Count()) items_[std::size_t(index)]->setChecked(true);
}

QColor TPhotoRadioGroup::Colour() const { return palette().color(QPalette::Window); }

void TPhotoRadioGroup::SetColour(const QColor &colour) {
  QPalette p = palette();
  p.setColor(QPalette::Window, colour);
  setPalette(p);
}

}  // namespace station
