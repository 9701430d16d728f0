// Devices for tests: a microphone that plays back a scripted signal and an
// output that plays only when a test pulls samples from it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/audio/bass.h"
#include "platform/audio/devices.h"

namespace klt::audio {

namespace {

std::atomic<std::uint64_t> gDelivered{0};
std::atomic<std::uint64_t> gDropped{0};

bool IsDefault(int device) { return device == -1 || device == 1; }

class ScriptedCapture final : public CaptureDevice {
public:
    ScriptedCapture(const seam::ScriptedMicrophone &mic, int rate, int channels)
        : mic_(mic), rate_(rate), channels_(channels) {}

    bool Start() override {
        if (!started_) {
            started_ = true;
            start_ = std::chrono::steady_clock::now();
        }
        return true;
    }

    long Read(void *buffer, std::size_t maxBytes) override {
        if (!started_ || next_ >= mic_.frames) {
            return 0;
        }
        const std::size_t frameBytes = static_cast<std::size_t>(channels_) * 2;
        std::uint64_t want = std::min<std::uint64_t>(maxBytes / frameBytes, mic_.frames - next_);
        if (mic_.realTime) {
            auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_);
            auto due = std::min<std::uint64_t>(
                static_cast<std::uint64_t>(elapsed.count() * rate_), mic_.frames);
            std::uint64_t waiting = due > next_ ? due - next_ : 0;
            auto capacity = static_cast<std::uint64_t>(mic_.bufferSeconds * rate_);
            if (waiting > capacity) {
                // A sound card overwrites what nobody fetched in time.
                gDropped += waiting - capacity;
                next_ += waiting - capacity;
                waiting = capacity;
            }
            want = std::min(want, waiting);
        }
        if (want == 0) {
            return 0;
        }
        auto *out = static_cast<std::int16_t *>(buffer);
        if (mic_.fill) {
            mic_.fill(out, static_cast<std::size_t>(want), channels_, next_);
        } else {
            std::memset(out, 0, static_cast<std::size_t>(want) * frameBytes);
        }
        next_ += want;
        gDelivered += want;
        return static_cast<long>(want * frameBytes);
    }

private:
    seam::ScriptedMicrophone mic_;
    int rate_;
    int channels_;
    bool started_ = false;
    std::chrono::steady_clock::time_point start_;
    std::uint64_t next_ = 0;
};

class ScriptedOutput final : public OutputDevice {
public:
    explicit ScriptedOutput(SampleSource &source) : source_(source) {}
    bool Pull(std::int16_t *out, std::size_t frames) override {
        source_.Render(out, frames);
        return true;
    }

private:
    SampleSource &source_;
};

class ScriptedBackend final : public DeviceBackend {
public:
    explicit ScriptedBackend(seam::ScriptedMicrophone mic) : mic_(std::move(mic)) {
        gDelivered = 0;
        gDropped = 0;
    }
    int InitCapture(int device) override { return IsDefault(device) ? BASS_OK : BASS_ERROR_DEVICE; }
    void FreeCapture() override {}
    std::unique_ptr<CaptureDevice> OpenCapture(int device, int rate, int channels,
                                               int &error) override {
        if (!IsDefault(device)) {
            error = BASS_ERROR_DEVICE;
            return nullptr;
        }
        return std::make_unique<ScriptedCapture>(mic_, rate, channels);
    }
    std::unique_ptr<OutputDevice> OpenOutput(int device, int, SampleSource &source,
                                             int &error) override {
        if (!IsDefault(device)) {
            error = BASS_ERROR_DEVICE;
            return nullptr;
        }
        return std::make_unique<ScriptedOutput>(source);
    }

private:
    seam::ScriptedMicrophone mic_;
};

} // namespace

std::unique_ptr<DeviceBackend> MakeScriptedBackend(seam::ScriptedMicrophone microphone) {
    return std::make_unique<ScriptedBackend>(std::move(microphone));
}

std::uint64_t ScriptedFramesDelivered() { return gDelivered; }
std::uint64_t ScriptedFramesDropped() { return gDropped; }

namespace seam {

ScriptedMicrophone SineMicrophone(double hz, double seconds, int rate, double amplitude) {
    ScriptedMicrophone mic;
    mic.frames = static_cast<std::uint64_t>(seconds * rate);
    mic.fill = [hz, rate, amplitude](std::int16_t *out, std::size_t frames, int channels,
                                     std::uint64_t first) {
        const double w = 2 * std::numbers::pi * hz / rate;
        for (std::size_t i = 0; i < frames; ++i) {
            auto v = static_cast<std::int16_t>(
                std::lround(amplitude * 32767.0 * std::sin(w * static_cast<double>(first + i))));
            for (int c = 0; c < channels; ++c) {
                *out++ = v;
            }
        }
    };
    return mic;
}

} // namespace seam

} // namespace klt::audio
