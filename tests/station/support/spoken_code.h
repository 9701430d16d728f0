// The spoken code recorded as a participant records it, for the tests that
// walk a participant through the whole program.
#pragma once

#include <functional>

namespace station {
class TfrmRecStudID;
}

namespace station::testing {

// Records the code, hears it, accepts it and presses the finish, which
// starts the exam clock; `whileRecording` runs while the recording is on.
// The hand-over to the next screen is left to the caller's clock.
void RecordSpokenCode(TfrmRecStudID &spoken, const std::function<void()> &whileRecording = {});

}  // namespace station::testing
