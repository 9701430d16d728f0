// A recording channel: its own thread takes blocks of samples from the
// capture device, feeds them to the channel's encoders and then to the
// caller's callback, until the callback says no, the device fails or the
// channel is stopped. Its encoders' input is closed when it ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/channel_encoder.h"
#include "platform/audio/devices.h"

namespace klt::audio {

class RecordingChannel : public std::enable_shared_from_this<RecordingChannel> {
public:
    RecordingChannel(HRECORD handle, std::unique_ptr<CaptureDevice> device, int rate, int channels,
                     RECORDPROC proc, void *user);
    ~RecordingChannel();
    RecordingChannel(const RecordingChannel &) = delete;
    RecordingChannel &operator=(const RecordingChannel &) = delete;

    // Starts the thread; a BASS_ERROR_* code (BASS_OK on success).
    int Launch(bool paused);
    int Resume();
    // Ends the recording. Waits for the thread, except when called from the
    // callback itself, where the thread ends as soon as the callback returns.
    void Stop();
    DWORD State();
    bool WaitEnded(std::chrono::milliseconds timeout);

    // False once the channel is ending: the encoder would get no samples.
    bool AddEncoder(std::shared_ptr<ChannelEncoder> encoder);
    std::vector<std::shared_ptr<ChannelEncoder>> Encoders();

    int Rate() const { return rate_; }
    int Channels() const { return channels_; }

private:
    void Run();

    const HRECORD handle_;
    std::unique_ptr<CaptureDevice> device_;
    const int rate_;
    const int channels_;
    const RECORDPROC proc_;
    void *const user_;

    std::mutex mutex_;
    std::condition_variable cv_;
    bool paused_ = true;
    bool stopRequested_ = false;
    bool finishing_ = false; // the thread has left its loop
    bool ended_ = false;     // ... and closed the encoders' input
    std::vector<std::shared_ptr<ChannelEncoder>> encoders_;
    std::thread thread_;
};

} // namespace klt::audio
