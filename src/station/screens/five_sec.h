// The countdown overlay: a modal window over the main window that counts
// 5 to 0 in quarter seconds before a recording (or the task-6 preparation)
// starts, so the pupil knows when to begin. One instance lives for the whole
// run of the program and is only shown and hidden.
#pragma once

#include <QLabel>
#include <QWidget>

#include <functional>
#include <memory>

class QEventLoop;

namespace station {

class StationLoop;
class StationTimer;
class TfrmMain;

class T_FiveSec;

// The program's overlay; none until the program block has created it.
inline T_FiveSec *_FiveSec = nullptr;
// The overlay's counter, program-wide.
inline int FiveSecCounter = 0;

// The panel that fills the overlay; a click on it skips the count.
class TFiveSecPanel : public QLabel {
 public:
  explicit TFiveSecPanel(QWidget *parent);
  std::function<void()> onClick;

 protected:
  void mousePressEvent(QMouseEvent *event) override;
};

class T_FiveSec : public QWidget {
 public:
  // Makes this the program's overlay (`_FiveSec`) until it is destroyed.
  T_FiveSec(TfrmMain &main, StationLoop &loop);
  ~T_FiveSec() override;

  // Shows the overlay modally and returns once it has closed. The station's
  // timers, the exam clock included, go on firing meanwhile.
  void ShowModal();
  bool Showing() const { return showing_; }

  // Runs the nested loop until the overlay closes. The program runs Qt's
  // event loop; tests replace it to move their hand-ticked clock.
  std::function<void(T_FiveSec &)> RunModalLoop;

  // Handlers.
  void FormCreate();
  void FormShow();
  void FormActivate();
  void Timer2Timer();
  void Panel1Click();
  void FormClose();

  TFiveSecPanel *Panel1 = nullptr;
  StationTimer *Timer2 = nullptr;

 protected:
  void changeEvent(QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

 private:
  void CloseOverlay();
  void RunQtLoop();

  TfrmMain &main_;
  StationLoop &loop_;
  std::unique_ptr<StationTimer> timer2_;
  QEventLoop *event_loop_ = nullptr;
  bool showing_ = false;
};

// Shows the program's overlay modally when there is one.
void ShowFiveSec();

}  // namespace station
