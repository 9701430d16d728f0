// Test seam of the audio layer: runs it against a scripted microphone and a
// silent output instead of the sound card, and lets a test wait for what the
// layer does on its own threads and child processes instead of sleeping.
// The system's devices stay the default.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/audio/bass.h"

namespace klt::audio::seam {

// Writes `frames` interleaved frames of `channels` samples, the signal's
// frames first, first + 1, ...
using SignalFill =
    std::function<void(std::int16_t *out, std::size_t frames, int channels, std::uint64_t first)>;

struct ScriptedMicrophone {
    std::uint64_t frames = 0; // the signal's length; the microphone is quiet after it
    SignalFill fill;          // silence when empty
    // false: every read gets as much as is asked for, so tests take no real
    // time. true: frames become due with the clock, as from a sound card, and
    // frames not fetched within `bufferSeconds` are dropped and counted.
    bool realTime = false;
    double bufferSeconds = 1.0;
};

// A sine of `hz` on every channel, at `amplitude` of full scale.
ScriptedMicrophone SineMicrophone(double hz, double seconds, int rate = 44100, double amplitude = 0.5);

// Chooses the devices for the next BASS_RecordInit and BASS_Init. Refused
// (false) while a recording or output device is initialised.
bool UseScriptedDevices(ScriptedMicrophone microphone);
bool UseSystemDevices();

// The scripted output plays as fast as it is asked: mixes `frames` stereo
// frames of whatever plays into `out` (null to discard). False when no
// scripted output is initialised.
bool PullOutput(std::int16_t *out, std::size_t frames);

// Frames the scripted microphone has handed out and dropped since it was chosen.
std::uint64_t MicrophoneFramesDelivered();
std::uint64_t MicrophoneFramesDropped();

// Replaces PATH as the search path for the encoder program (the working
// directory still comes first); nullopt goes back to PATH.
void SetEncoderSearchPath(std::optional<std::string> path);

// Waits until the recording channel's thread has ended (true), or the channel
// is unknown (true), or the timeout passed (false).
bool WaitRecordingEnded(HRECORD handle, std::chrono::milliseconds timeout);
// Waits until every encoder process started so far has ended and been reaped.
bool WaitEncodersEnded(std::chrono::milliseconds timeout);

} // namespace klt::audio::seam
