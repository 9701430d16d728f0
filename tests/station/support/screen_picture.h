// A window's picture as the pupil sees it: what the last handler changed is
// laid out before the grab, as the event loop lays it out before it paints.
#pragma once

#include <QPixmap>

class QWidget;

namespace station::testing {

QPixmap SettledPicture(QWidget &window);

}  // namespace station::testing
