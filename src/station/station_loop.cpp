#include "station_loop.h"

#include "ui_text.h"

#include <exception>

namespace station {

void StationTimer::Fire() {
  if (firing_ || !handler_) return;
  firing_ = true;
  struct Reset {
    bool &flag;
    ~Reset() { flag = false; }
  } reset{firing_};
  // The handler may switch screens and so schedule this timer's owner for
  // destruction; destruction is deferred past this call, so `this` stays valid.
  loop_.RunHandler(handler_);
}

StationLoop::NestedScope::NestedScope(StationLoop &loop) : loop_(loop) { ++loop_.nested_depth_; }

StationLoop::NestedScope::~NestedScope() {
  if (--loop_.nested_depth_ == 0 && !loop_.waiting_for_outermost_.empty()) {
    auto waiting = std::move(loop_.waiting_for_outermost_);
    loop_.waiting_for_outermost_.clear();
    for (auto &fn : waiting) loop_.Post(std::move(fn));
  }
}

void StationLoop::PostWhenOutermost(std::function<void()> fn) {
  if (nested_depth_ == 0) {
    Post([this, fn = std::move(fn)]() mutable {
      // A nested loop may have opened between posting and running.
      if (nested_depth_ == 0)
        fn();
      else
        waiting_for_outermost_.push_back(std::move(fn));
    });
  } else {
    waiting_for_outermost_.push_back(std::move(fn));
  }
}

void StationLoop::RunHandler(const std::function<void()> &handler) {
  QString message;
  try {
    handler();
    return;
  } catch (const std::exception &e) {
    message = ErrorText(e);
  } catch (...) {
    message = QStringLiteral("Unknown error");
  }
  if (reporter_) {
    // The report itself must not let an error escape either.
    try {
      reporter_(message);
    } catch (...) {
    }
  }
}

}  // namespace station
