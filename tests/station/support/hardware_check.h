// The hardware check filled in as a supervisor fills it in, for the tests
// that walk a participant through the whole program.
#pragma once

#include <functional>

namespace station {
class TfrmTestHard;
}

namespace station::testing {

// Makes, hears and accepts the test recording, looks at and accepts the text
// page, and types the station's identity (login 123, room 7, station 2).
// `whileRecording` runs while the test recording is on: a test on the real
// audio layer lets the microphone speak there. The finish is left to the
// caller, which presses it its own way.
void FillHardwareCheck(TfrmTestHard &hard, const std::function<void()> &whileRecording = {});

}  // namespace station::testing
