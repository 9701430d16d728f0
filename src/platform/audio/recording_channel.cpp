#include "platform/audio/recording_channel.h"

namespace klt::audio {

namespace {
// Longest block handed to the callback, and how often an idle device is asked
// again: short enough to keep latency low, long enough to cost nothing.
constexpr int kBlockMilliseconds = 100;
constexpr auto kPollInterval = std::chrono::milliseconds(10);
} // namespace

RecordingChannel::RecordingChannel(HRECORD handle, std::unique_ptr<CaptureDevice> device, int rate,
                                   int channels, RECORDPROC proc, void *user)
    : handle_(handle), device_(std::move(device)), rate_(rate), channels_(channels), proc_(proc),
      user_(user) {}

RecordingChannel::~RecordingChannel() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach(); // the last reference went away on the thread itself
        } else {
            thread_.join();
        }
    }
}

int RecordingChannel::Launch(bool paused) {
    if (!paused && !device_->Start()) {
        return BASS_ERROR_DRIVER;
    }
    paused_ = paused;
    // The thread keeps the channel alive while it runs, so that a callback
    // that stops its own channel does not destroy it under itself.
    thread_ = std::thread([self = shared_from_this()] { self->Run(); });
    return BASS_OK;
}

int RecordingChannel::Resume() {
    std::lock_guard lock(mutex_);
    if (stopRequested_ || finishing_) {
        return BASS_ERROR_ENDED;
    }
    if (paused_) {
        // The thread does not touch the device while paused.
        if (!device_->Start()) {
            return BASS_ERROR_DRIVER;
        }
        paused_ = false;
        cv_.notify_all();
    }
    return BASS_OK;
}

void RecordingChannel::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

DWORD RecordingChannel::State() {
    std::lock_guard lock(mutex_);
    if (finishing_ || stopRequested_) {
        return BASS_ACTIVE_STOPPED;
    }
    return paused_ ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_PLAYING;
}

bool RecordingChannel::WaitEnded(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return ended_; });
}

bool RecordingChannel::AddEncoder(std::shared_ptr<ChannelEncoder> encoder) {
    std::lock_guard lock(mutex_);
    if (stopRequested_ || finishing_) {
        return false;
    }
    encoders_.push_back(std::move(encoder));
    return true;
}

std::vector<std::shared_ptr<ChannelEncoder>> RecordingChannel::Encoders() {
    std::lock_guard lock(mutex_);
    return encoders_;
}

void RecordingChannel::Run() {
    const std::size_t frameBytes = static_cast<std::size_t>(channels_) * 2;
    std::vector<unsigned char> block(frameBytes * static_cast<std::size_t>(rate_) *
                                     kBlockMilliseconds / 1000);
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return stopRequested_ || !paused_; });
            if (stopRequested_) {
                break;
            }
        }
        long got = device_->Read(block.data(), block.size());
        if (got < 0) {
            break;
        }
        if (got == 0) {
            std::unique_lock lock(mutex_);
            cv_.wait_for(lock, kPollInterval, [this] { return stopRequested_; });
            continue;
        }
        const auto bytes = static_cast<DWORD>(got);
        // Encoders first: when the callback asks whether its encoder still
        // runs, the answer already covers this block.
        for (const auto &encoder : Encoders()) {
            encoder->Feed(block.data(), bytes);
        }
        if (proc_ != nullptr && !proc_(handle_, block.data(), bytes, user_)) {
            break;
        }
    }
    std::vector<std::shared_ptr<ChannelEncoder>> encoders;
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
        encoders = encoders_;
    }
    device_.reset(); // let go of the microphone at once
    for (const auto &encoder : encoders) {
        encoder->Finish();
    }
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    cv_.notify_all();
}

} // namespace klt::audio
