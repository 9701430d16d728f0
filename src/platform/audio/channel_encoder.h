// An encoder attached to a recording channel: the WAV header that opens its
// input, the samples after it, and the end of input when the channel ends.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/audio/bass.h"
#include "platform/audio/encoder_process.h"

namespace klt::audio {

// A 16-bit PCM WAV header whose lengths are the largest a header can state:
// the total is not known while recording, and a streaming reader takes such
// a header as "read to the end of input".
std::array<std::uint8_t, 44> StreamingWavHeader(int rate, int channels);

class ChannelEncoder {
public:
    ChannelEncoder(HENCODE handle, std::shared_ptr<EncoderProcess> process, int rate, int channels,
                   bool autoFree);

    HENCODE Handle() const { return handle_; }
    bool AutoFree() const { return autoFree_; }
    bool Active() const { return process_->Active(); }
    const EncoderProcess &Process() const { return *process_; }
    // The process outlives its encoder while it finishes its file.
    std::weak_ptr<EncoderProcess> WeakProcess() const { return process_; }

    // Only the channel's recording thread feeds and finishes an encoder, so
    // these two never run at the same time.
    void Feed(const void *data, std::size_t bytes);
    void Finish();

private:
    bool SendHeader();

    HENCODE handle_;
    std::shared_ptr<EncoderProcess> process_;
    int rate_;
    int channels_;
    bool autoFree_;
    bool headerSent_ = false;
};

} // namespace klt::audio
