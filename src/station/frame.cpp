#include "frame.h"

#include "main_window.h"
#include "station_loop.h"

#include <QAbstractButton>
#include <QFont>

namespace station {

QFont ScreenFont(int pixels, bool bold) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

TFrame::TFrame(TfrmMain &main) : QWidget(&main), main_(main) {}

TFrame::~TFrame() = default;

void TFrame::StopTimers() {
  for (auto &t : timers_) t->SetEnabled(false);
}

bool TFrame::IsCurrent() const { return main_.CurrentFrame() == this; }

StationTimer &TFrame::AddTimer(int intervalMs, std::function<void()> handler) {
  auto timer = main_.Loop().CreateTimer();
  timer->SetInterval(intervalMs);
  timer->SetEnabled(false);
  timer->SetHandler(std::move(handler));
  timers_.push_back(std::move(timer));
  return *timers_.back();
}

void TFrame::OnClick(QAbstractButton *button, std::function<void()> handler) {
  StationLoop &loop = main_.Loop();
  QObject::connect(button, &QAbstractButton::clicked, this,
                   [&loop, handler = std::move(handler)] { loop.RunHandler(handler); });
}

}  // namespace station
