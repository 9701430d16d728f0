#include "audio_test_support.h"

#include <cmath>
#include <fstream>
#include <numbers>

#include <sndfile.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace klt::audio::test {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "klt-audio-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("no scratch folder");
    }
    path_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

void WriteScript(const std::string &path, const std::string &body) {
    {
        std::ofstream out(path);
        out << "#!/bin/sh\n" << body << "\n";
    }
    chmod(path.c_str(), 0755);
}

bool WriteSoundFile(const std::string &path, int format, int rate, int channels,
                    const std::vector<std::int16_t> &samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) {
        return false;
    }
    sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    bool ok = sf_writef_short(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

std::vector<std::int16_t> Sine(double hz, double seconds, int rate, int channels, double amplitude) {
    auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> out;
    out.reserve(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        auto v = static_cast<std::int16_t>(
            std::lround(amplitude * 32767 * std::sin(2 * std::numbers::pi * hz * i / rate)));
        for (int c = 0; c < channels; ++c) {
            out.push_back(v);
        }
    }
    return out;
}

DecodedFile Decode(const std::string &path) {
    DecodedFile d;
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        return d;
    }
    d.rate = info.samplerate;
    d.channels = info.channels;
    std::vector<float> chunk(4096 * static_cast<std::size_t>(info.channels));
    sf_count_t got;
    while ((got = sf_readf_float(f, chunk.data(), 4096)) > 0) {
        d.samples.insert(d.samples.end(), chunk.begin(), chunk.begin() + got * info.channels);
    }
    sf_close(f);
    d.ok = true;
    return d;
}

void RecordCounter::Add(const void *buffer, DWORD length) {
    {
        std::lock_guard lock(mutex);
        bytes += length;
        ++calls;
        thread = std::this_thread::get_id();
        if (keepData) {
            auto p = static_cast<const std::uint8_t *>(buffer);
            data.insert(data.end(), p, p + length);
        }
    }
    changed.notify_all();
}

BOOL RecordCounter::Counting(HRECORD, const void *buffer, DWORD length, void *user) {
    static_cast<RecordCounter *>(user)->Add(buffer, length);
    return 1;
}

BOOL RecordCounter::Station(HRECORD handle, const void *buffer, DWORD length, void *user) {
    static_cast<RecordCounter *>(user)->Add(buffer, length);
    return BASS_Encode_IsActive(handle) != 0;
}

bool RecordCounter::WaitBytes(std::uint64_t atLeast, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return bytes >= atLeast; });
}

int RecordCounter::Calls() {
    std::lock_guard lock(mutex);
    return calls;
}

void ScriptedAudio::Start(seam::ScriptedMicrophone microphone) {
    ASSERT_TRUE(seam::UseScriptedDevices(std::move(microphone)));
    ASSERT_TRUE(BASS_RecordInit(-1));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
}

void ScriptedAudio::TearDown() {
    BASS_RecordFree();
    BASS_Free();
    seam::SetEncoderSearchPath(std::nullopt);
    EXPECT_TRUE(seam::WaitEncodersEnded(10s)) << "an encoder process was left running";
}

} // namespace klt::audio::test
