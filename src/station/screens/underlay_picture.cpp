#include "underlay_picture.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRect>

namespace station {

QLabel *MakeUnderlayPicture(QWidget *parent) {
  auto *picture = new QLabel(parent);
  picture->setAlignment(Qt::AlignCenter);
  picture->setAttribute(Qt::WA_TransparentForMouseEvents);
  picture->hide();
  return picture;
}

void FitUnderlayPicture(QLabel *picture, const QImage &image, const QRect &area) {
  picture->setGeometry(area);
  if (!image.isNull())
    picture->setPixmap(QPixmap::fromImage(image.scaled(area.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

}  // namespace station
