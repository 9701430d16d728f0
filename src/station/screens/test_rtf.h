// Text-check window: a separate borderless window, shown modally by the
// hardware check, with page 1 of the task-text test page of variant 0.
#pragma once

#include <QWidget>

#include <functional>

class QEventLoop;
class QLabel;
class QPushButton;

namespace station {

class TfrmMain;
class TfrmTestRTF;

// The program's text-check window; none until the program block has created
// it.
inline TfrmTestRTF *frmTestRTF = nullptr;

class TfrmTestRTF : public QWidget {
 public:
  // Created hidden at program start; the main window owns it. It is the
  // program's text-check window (`frmTestRTF`) until it is destroyed.
  explicit TfrmTestRTF(TfrmMain &main);
  ~TfrmTestRTF() override;

  // Shows the window and returns once it has been closed. The station's
  // timers keep firing meanwhile.
  void ShowModal();

  // Runs the nested loop until the window closes. The program runs Qt's
  // event loop; tests replace it to move their hand-ticked clock.
  std::function<void(TfrmTestRTF &)> RunModalLoop;

  void FormActivate();
  void Button1Click();

  QWidget *Panel2 = nullptr;
  QLabel *Image1 = nullptr;
  QWidget *Panel1 = nullptr;
  QPushButton *Button1 = nullptr;

 protected:
  void hideEvent(QHideEvent *event) override;

 private:
  TfrmMain &main_;
  QEventLoop *modal_loop_ = nullptr;
};

}  // namespace station
