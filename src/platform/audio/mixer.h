// Mixes the streams that play into the output device's samples. Runs on the
// device's own thread; every change of what plays goes through its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/devices.h"
#include "platform/audio/file_stream.h"

namespace klt::audio {

struct PlaybackStream {
    explicit PlaybackStream(std::unique_ptr<FileStream> f) : file(std::move(f)) {}
    std::unique_ptr<FileStream> file;
    bool playing = false; // guarded by the mixer's lock
};

class Mixer : public SampleSource {
public:
    void SetRate(int rate);
    void Render(std::int16_t *out, std::size_t frames) override;

    void Play(const std::shared_ptr<PlaybackStream> &stream, bool restart);
    void Stop(const std::shared_ptr<PlaybackStream> &stream);
    bool IsPlaying(const std::shared_ptr<PlaybackStream> &stream);
    void StopAll();

private:
    std::mutex mutex_;
    int rate_ = 44100;
    std::vector<std::shared_ptr<PlaybackStream>> playing_;
    std::vector<float> acc_;
};

} // namespace klt::audio
