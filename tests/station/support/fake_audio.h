// A scripted audio layer: the audio calls record what they were given and
// answer as the test sets up. Linked into the tests in place of the real one.
#pragma once

#include "../../../src/platform/audio/bass.h"

#include <string>
#include <vector>

namespace station::testing {

struct FakeAudio {
  // Answers.
  DWORD version = 0x02040F00;
  bool recordInitOk = true;
  bool initOk = true;
  int errorCode = 0;              // reported by BASS_ErrorGetCode
  int failureCode = 5;            // error code set by a failing call
  HRECORD nextRecordHandle = 101;  // 0 makes BASS_RecordStart fail
  bool encoderStarts = true;
  int encoderPollsAfterStop = 0;   // IsActive answers 1 this many times after the stop (-1: never ends)
  bool encoderActive = false;
  bool encoderStopping = false;    // the channel was stopped; the encoder is finishing
  HSTREAM nextStream = 500;       // 0 makes every file fail to open

  // Record of calls, e.g. "RecordStart 44100 2 32768".
  std::vector<std::string> calls;
  std::string lastCommandLine;
  std::vector<std::string> openedFiles;

  static FakeAudio &Get();
  void Reset() { *this = FakeAudio(); }
  bool Called(const std::string &prefix) const;
  int IndexOf(const std::string &prefix) const;  // -1 when not called
};

}  // namespace station::testing
