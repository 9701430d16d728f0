// A scripted audio layer: the audio calls record what they were given and
// answer as the test sets up. Linked into the tests in place of the real one.
#pragma once

#include "../../../src/platform/audio/bass.h"

#include <map>
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
  bool encoderWrites = true;       // a started encoder writes its file (one second of silence)
  bool channelEnded = false;       // the recording channel has ended by itself (its encoder died)
  int encoderPollsAfterStop = 0;   // IsActive answers 1 this many times after the stop (-1: never ends)
  bool encoderActive = false;
  bool encoderStopping = false;    // the channel was stopped; the encoder is finishing
  HSTREAM nextStream = 500;       // 0 makes every file fail to open
  // Files are opened as the real layer opens them: a missing file fails, and
  // so does one that is no 16-bit PCM WAV; a stream's length is its file's.

  // Record of calls, e.g. "RecordStart 44100 2 32768".
  std::vector<std::string> calls;
  std::vector<std::string> lastArguments;  // the encoder's, program first
  std::vector<std::string> openedFiles;
  struct Stream {
    int rate = 0;
    int channels = 0;
    QWORD bytes = 0;  // decoded 16-bit samples
  };
  std::map<HSTREAM, Stream> streams;

  static FakeAudio &Get();
  void Reset() { *this = FakeAudio(); }
  bool Called(const std::string &prefix) const;
  int IndexOf(const std::string &prefix) const;  // -1 when not called
};

// A 16-bit PCM WAV of `seconds` of silence, as the fake layer reads them.
std::string WavBytes(double seconds, int rate = 8000, int channels = 1);

}  // namespace station::testing
