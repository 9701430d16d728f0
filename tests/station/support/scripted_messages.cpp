#include "scripted_messages.h"

#include "station_loop.h"

namespace station::testing {

BoxAnswer ScriptedMessages::Show(const BoxRequest &request) {
  shown.push_back(request);
  Step step{request.buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok, {}};
  if (!script_.empty()) {
    step = std::move(script_.front());
    script_.pop_front();
  }
  StationLoop::NestedScope nested(loop_);
  if (step.whileOpen) step.whileOpen();
  return step.answer;
}

}  // namespace station::testing
