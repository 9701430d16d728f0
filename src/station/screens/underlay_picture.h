// The pictures a recording check shows behind its screen's controls.
#pragma once

class QImage;
class QLabel;
class QRect;
class QWidget;

namespace station {

// A hidden, centred picture that lets clicks through, so the buttons of a
// running check stay usable while it is shown.
QLabel *MakeUnderlayPicture(QWidget *parent);

// Lays the picture over `area` with `image` scaled in proportion to fit. An
// image that failed to decode leaves the picture empty rather than stretched
// garbage.
void FitUnderlayPicture(QLabel *picture, const QImage &image, const QRect &area);

}  // namespace station
