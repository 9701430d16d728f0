// The devices under the audio layer: the system's (through SDL) or scripted
// ones for tests. Device numbers are those of the public calls: -1 and 1 the
// default device, 2 and up the system's devices in their listed order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/audio/audio_seam.h"

namespace klt::audio {

class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;
    virtual bool Start() = 0;
    // Copies whole frames of 16-bit samples, at most maxBytes; 0 when nothing
    // is waiting, -1 when the device has failed for good.
    virtual long Read(void *buffer, std::size_t maxBytes) = 0;
};

// What an output device plays: stereo 16-bit frames at the device's rate.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual void Render(std::int16_t *out, std::size_t frames) = 0;
};

class OutputDevice {
public:
    virtual ~OutputDevice() = default;
    // Scripted devices only: render on request. False for the system's.
    virtual bool Pull(std::int16_t *out, std::size_t frames) = 0;
};

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    // Each returns a BASS_ERROR_* code, BASS_OK on success.
    virtual int InitCapture(int device) = 0;
    virtual void FreeCapture() = 0;
    virtual std::unique_ptr<CaptureDevice> OpenCapture(int device, int rate, int channels,
                                                       int &error) = 0;
    virtual std::unique_ptr<OutputDevice> OpenOutput(int device, int rate, SampleSource &source,
                                                     int &error) = 0;
};

std::unique_ptr<DeviceBackend> MakeSystemBackend();
std::unique_ptr<DeviceBackend> MakeScriptedBackend(seam::ScriptedMicrophone microphone);

// The scripted microphone's counters, shared by all its recordings.
std::uint64_t ScriptedFramesDelivered();
std::uint64_t ScriptedFramesDropped();

} // namespace klt::audio
