#include "platform/audio/channel_encoder.h"

namespace klt::audio {

namespace {

void Put32(std::uint8_t *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

void Put16(std::uint8_t *p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

std::array<std::uint8_t, 44> StreamingWavHeader(int rate, int channels) {
    std::array<std::uint8_t, 44> h{};
    std::uint8_t *p = h.data();
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * 2);
    std::copy_n("RIFF", 4, p);
    Put32(p + 4, 0xFFFFFFFFu);
    std::copy_n("WAVE", 4, p + 8);
    std::copy_n("fmt ", 4, p + 12);
    Put32(p + 16, 16);
    Put16(p + 20, 1); // PCM
    Put16(p + 22, static_cast<std::uint16_t>(channels));
    Put32(p + 24, static_cast<std::uint32_t>(rate));
    Put32(p + 28, static_cast<std::uint32_t>(rate) * blockAlign);
    Put16(p + 32, blockAlign);
    Put16(p + 34, 16);
    std::copy_n("data", 4, p + 36);
    Put32(p + 40, 0xFFFFFFFFu);
    return h;
}

ChannelEncoder::ChannelEncoder(HENCODE handle, std::shared_ptr<EncoderProcess> process, int rate,
                               int channels, bool autoFree)
    : handle_(handle), process_(std::move(process)), rate_(rate), channels_(channels),
      autoFree_(autoFree) {}

bool ChannelEncoder::SendHeader() {
    if (!headerSent_) {
        headerSent_ = true;
        auto header = StreamingWavHeader(rate_, channels_);
        return process_->Write(header.data(), header.size());
    }
    return true;
}

void ChannelEncoder::Feed(const void *data, std::size_t bytes) {
    if (SendHeader()) {
        process_->Write(data, bytes);
    }
}

void ChannelEncoder::Finish() {
    // A channel stopped before its first block still hands the encoder a
    // header, so that it writes an empty but well-formed file.
    SendHeader();
    process_->CloseInput();
}

} // namespace klt::audio
