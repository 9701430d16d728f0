#include "message_service.h"

#include "station_loop.h"

#include <QMessageBox>
#include <QPushButton>

namespace station {

BoxAnswer QtMessageService::Show(const BoxRequest &request) {
  QMessageBox box(request.owner == BoxOwner::MainWindow ? main_window_ : nullptr);
  box.setText(request.text);
  box.setWindowTitle(request.caption);
  switch (request.icon) {
    case BoxIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case BoxIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case BoxIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case BoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    case BoxIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  if (request.buttons == BoxButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  int result;
  {
    StationLoop::NestedScope nested(loop_);
    result = box.exec();
  }
  if (request.buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  return result == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

}  // namespace station
