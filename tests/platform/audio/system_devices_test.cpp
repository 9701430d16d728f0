// The system devices through SDL's own test drivers: "dummy" for output and
// "disk" for a microphone that reads a file; no sound card needed.
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <sndfile.h>

#include "audio_test_support.h"

namespace klt::audio::test {
namespace {

class SystemDevices : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(seam::UseSystemDevices()); }
    void TearDown() override {
        BASS_RecordFree();
        BASS_Free();
        unsetenv("SDL_AUDIODRIVER");
    }
    ScratchDir scratch_;
};

TEST_F(SystemDevices, DummyOutputPlaysAndStopsStreams) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(seam::PullOutput(nullptr, 10)) << "a system device plays by itself";
    ASSERT_TRUE(WriteSoundFile("t.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Sine(440, 5, 44100, 2, 0.3)));
    HSTREAM s = BASS_StreamCreateFile(0, "t.wav", 0, 0, 0);
    ASSERT_NE(s, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(s, 1));
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(BASS_ChannelStop(s));
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_Init(99, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Init(99, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
}

TEST_F(SystemDevices, DiskMicrophoneDeliversTheFileOnTheRecordingThread) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 44100; ++i) {
        samples.push_back(static_cast<std::int16_t>(i % 30000 + 1));
        samples.push_back(static_cast<std::int16_t>(-(i % 30000) - 1));
    }
    {
        std::ofstream raw("in.raw", std::ios::binary);
        raw.write(reinterpret_cast<const char *>(samples.data()), samples.size() * 2);
    }
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", (scratch_ / "in.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", (scratch_ / "out.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    ASSERT_TRUE(BASS_RecordInit(-1)) << BASS_ErrorGetCode();
    EXPECT_TRUE(BASS_RecordSetDevice(1));

    RecordCounter counter;
    counter.keepData = true;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Counting, &counter);
    ASSERT_NE(rec, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(counter.WaitBytes(samples.size() * 2));
    ASSERT_TRUE(BASS_ChannelStop(rec));
    std::lock_guard lock(counter.mutex);
    std::vector<std::int16_t> got(samples.size());
    std::memcpy(got.data(), counter.data.data(), samples.size() * 2);
    EXPECT_EQ(got, samples);
}

} // namespace
} // namespace klt::audio::test
