// Message boxes answered by script, with a record of what was shown.
#pragma once

#include "message_service.h"

#include <deque>
#include <functional>
#include <vector>

namespace station::testing {

class ScriptedMessages : public MessageService {
 public:
  explicit ScriptedMessages(StationLoop &loop) : loop_(loop) {}

  // The next box gets `answer`; `whileOpen` runs while it is open, as the
  // nested message loop would (a test advances the clock there).
  void Queue(BoxAnswer answer, std::function<void()> whileOpen = {}) {
    script_.push_back({answer, std::move(whileOpen)});
  }
  // A box without a scripted answer gets OK, or No for a question.
  BoxAnswer Show(const BoxRequest &request) override;

  std::vector<BoxRequest> shown;

 private:
  struct Step {
    BoxAnswer answer;
    std::function<void()> whileOpen;
  };
  StationLoop &loop_;
  std::deque<Step> script_;
};

}  // namespace station::testing
