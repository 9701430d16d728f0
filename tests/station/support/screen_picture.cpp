#include "screen_picture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace station::testing {

QPixmap SettledPicture(QWidget &window) {
  window.ensurePolished();
  // A layout that settles may ask its parent's layout to settle again (a
  // label that wraps its text grows, then the column that holds it); a few
  // rounds reach the state that the event loop would have painted.
  for (int round = 0; round < 4; ++round) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
  }
  return window.grab();
}

}  // namespace station::testing
