// Message boxes and yes/no questions.
//
// Every box the station shows goes through one MessageService, so tests can
// answer boxes by script and see what was shown. A box runs a nested message
// loop: the station's timers, the exam clock included, keep firing while it
// is open.
#pragma once

#include <QString>

class QWidget;

namespace station {

class StationLoop;

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Error, Warning, Information, Question };
enum class BoxAnswer { Ok, Yes, No };
// Owned boxes stay over the main window; boxes without an owner leave the
// main window usable.
enum class BoxOwner { None, MainWindow };

struct BoxRequest {
  QString text;
  QString caption;
  BoxButtons buttons = BoxButtons::Ok;
  BoxIcon icon = BoxIcon::None;
  BoxOwner owner = BoxOwner::None;
};

class MessageService {
 public:
  virtual ~MessageService() = default;
  // Shows the box and returns the answer once it is closed.
  virtual BoxAnswer Show(const BoxRequest &request) = 0;
};

// The real boxes. The main window, when given, owns the boxes that ask for an
// owner.
class QtMessageService : public MessageService {
 public:
  explicit QtMessageService(StationLoop &loop) : loop_(loop) {}
  void SetMainWindow(QWidget *window) { main_window_ = window; }
  BoxAnswer Show(const BoxRequest &request) override;

 private:
  StationLoop &loop_;
  QWidget *main_window_ = nullptr;
};

}  // namespace station
