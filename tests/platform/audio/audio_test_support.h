// Shared helpers of the audio layer's tests: a scratch folder that is also
// the working directory, fixture files written through the decoder library,
// stand-in encoder programs and a recording callback that counts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/audio/audio_seam.h"
#include "platform/audio/bass.h"

namespace klt::audio::test {

using namespace std::chrono_literals;

// A fresh folder, made the working directory for the test's lifetime.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path &Path() const { return path_; }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// An executable shell script.
void WriteScript(const std::string &path, const std::string &body);

// Interleaved 16-bit samples written in the given container (SF_FORMAT_* major
// and subtype); false when the decoder library cannot write it.
bool WriteSoundFile(const std::string &path, int format, int rate, int channels,
                    const std::vector<std::int16_t> &samples);
std::vector<std::int16_t> Sine(double hz, double seconds, int rate, int channels, double amplitude);

struct DecodedFile {
    bool ok = false;
    int rate = 0;
    int channels = 0;
    std::vector<float> samples; // interleaved, +-1
    double Seconds() const { return ok ? double(samples.size()) / channels / rate : 0; }
};
DecodedFile Decode(const std::string &path);

// Counts what a recording hands its callback; `Station` also answers the way
// the station's callback does: go on while the channel's encoder is active.
struct RecordCounter {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t bytes = 0;
    int calls = 0;
    std::thread::id thread; // the last callback's
    std::vector<std::uint8_t> data;
    bool keepData = false;

    static BOOL Counting(HRECORD handle, const void *buffer, DWORD length, void *user);
    static BOOL Station(HRECORD handle, const void *buffer, DWORD length, void *user);
    bool WaitBytes(std::uint64_t atLeast, std::chrono::milliseconds timeout = 10s);
    int Calls();

private:
    void Add(const void *buffer, DWORD length);
};

// The library set up on scripted devices, released again afterwards.
class ScriptedAudio : public ::testing::Test {
protected:
    void Start(seam::ScriptedMicrophone microphone);
    void Restart(seam::ScriptedMicrophone microphone) {
        BASS_RecordFree();
        BASS_Free();
        Start(std::move(microphone));
    }
    void SetUp() override { Start(seam::SineMicrophone(440, 3)); }
    void TearDown() override;
    ScratchDir scratch_;
};

} // namespace klt::audio::test
