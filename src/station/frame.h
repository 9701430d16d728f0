// Base of every screen hosted by the main window.
//
// A frame ends only by calling TfrmMain::StartFrame from one of its own
// handlers. It creates its timers through AddTimer so that the main window
// can stop them all at once when the frame is replaced, and binds its buttons
// through OnClick so that an error in a handler is reported, not thrown into
// the event loop.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAbstractButton;

class QFont;

namespace station {

class TfrmMain;

// The screens' face, metric-compatible with the designed Arial, at a size in
// pixels.
QFont ScreenFont(int pixels, bool bold);
class StationTimer;

class TFrame : public QWidget {
 public:
  explicit TFrame(TfrmMain &main);
  ~TFrame() override;

  // Called once by StartFrame after the frame is shown, with the screen
  // table's argument where the table gives one.
  virtual void Start(std::optional<int> arg) = 0;

  // Called by StartFrame when Start raised an error, before the error is
  // shown: the frame makes itself able to go on as far as it can (a counting
  // frame starts counting, so it still ends and hands over). The default
  // does nothing.
  virtual void StartFailed() {}

  // Stops every timer of the frame; used when the frame is replaced.
  void StopTimers();

  // False once StartFrame has replaced this frame: an answer to a question
  // that the frame asked must then not act on it.
  bool IsCurrent() const;

 protected:
  // A disabled timer owned by the frame.
  StationTimer &AddTimer(int intervalMs, std::function<void()> handler);
  void OnClick(QAbstractButton *button, std::function<void()> handler);

  TfrmMain &main_;

 private:
  std::vector<std::unique_ptr<StationTimer>> timers_;
};

}  // namespace station
