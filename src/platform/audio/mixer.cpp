#include "platform/audio/mixer.h"

#include <algorithm>
#include <cmath>

namespace klt::audio {

void Mixer::SetRate(int rate) {
    std::lock_guard lock(mutex_);
    rate_ = rate;
}

void Mixer::Render(std::int16_t *out, std::size_t frames) {
    std::lock_guard lock(mutex_);
    if (acc_.size() < 2 * frames) {
        acc_.resize(2 * frames);
    }
    std::fill_n(acc_.begin(), 2 * frames, 0.0f);
    for (auto it = playing_.begin(); it != playing_.end();) {
        PlaybackStream &s = **it;
        if (s.file->MixInto(acc_.data(), frames, rate_) < frames) {
            s.playing = false;
            it = playing_.erase(it);
        } else {
            ++it;
        }
    }
    if (out == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < 2 * frames; ++i) {
        // The decoder reads 16-bit samples as v / 32768; scaling back by the
        // same factor gives them back unchanged.
        long v = std::lround(acc_[i] * 32768.0f);
        out[i] = static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
    }
}

void Mixer::Play(const std::shared_ptr<PlaybackStream> &stream, bool restart) {
    std::lock_guard lock(mutex_);
    if (restart) {
        stream->file->Rewind();
    }
    if (!stream->playing) {
        stream->playing = true;
        playing_.push_back(stream);
    }
}

void Mixer::Stop(const std::shared_ptr<PlaybackStream> &stream) {
    std::lock_guard lock(mutex_);
    stream->playing = false;
    std::erase(playing_, stream);
}

bool Mixer::IsPlaying(const std::shared_ptr<PlaybackStream> &stream) {
    std::lock_guard lock(mutex_);
    return stream->playing;
}

void Mixer::StopAll() {
    std::lock_guard lock(mutex_);
    for (auto &s : playing_) {
        s->playing = false;
    }
    playing_.clear();
}

} // namespace klt::audio
