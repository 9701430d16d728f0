// Opening sound files, their lengths, and playing them on the scripted output.
#include <fstream>

#include <sndfile.h>

#include "audio_test_support.h"

namespace klt::audio::test {
namespace {

using Playback = ScriptedAudio;

double Seconds(HSTREAM s) { return BASS_ChannelBytes2Seconds(s, BASS_ChannelGetLength(s, BASS_POS_BYTE)); }

TEST_F(Playback, FilesOfKnownLengthReportItInBytesAndSeconds) {
    struct Case {
        const char *name;
        int format;
        int rate;
        int channels;
        double seconds;
        double tolerance; // lossy coders pad or trim a little
    };
    const Case cases[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 2.0, 0},
        {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 1.5, 0},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 1.0, 0},
        {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, 2.0, 0.02},
        {"a.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2, 2.0, 0.06},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteSoundFile(c.name, c.format, c.rate, c.channels,
                                   Sine(440, c.seconds, c.rate, c.channels, 0.5)));
        HSTREAM s = BASS_StreamCreateFile(0, c.name, 0, 0, 0);
        ASSERT_NE(s, 0u) << BASS_ErrorGetCode();
        QWORD bytes = BASS_ChannelGetLength(s, BASS_POS_BYTE);
        double exact = c.seconds * c.rate * c.channels * 2;
        if (c.tolerance == 0) {
            EXPECT_EQ(bytes, static_cast<QWORD>(exact));
            EXPECT_DOUBLE_EQ(Seconds(s), c.seconds);
        } else {
            EXPECT_NEAR(static_cast<double>(bytes), exact, exact * c.tolerance);
            EXPECT_NEAR(Seconds(s), c.seconds, c.seconds * c.tolerance);
        }
        EXPECT_TRUE(BASS_StreamFree(s));
        EXPECT_FALSE(BASS_StreamFree(s));
    }
}

TEST_F(Playback, FilesThatCannotBeOpenedOrDecodedGiveNoHandle) {
    EXPECT_EQ(BASS_StreamCreateFile(0, "missing.wav", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    std::filesystem::create_directory("folder.wav");
    EXPECT_EQ(BASS_StreamCreateFile(0, "folder.wav", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    std::ofstream("text.ogg") << "not a sound at all\n";
    EXPECT_EQ(BASS_StreamCreateFile(0, "text.ogg", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    std::ofstream("empty.wav");
    EXPECT_EQ(BASS_StreamCreateFile(0, "empty.wav", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

    ASSERT_TRUE(WriteSoundFile("ok.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Sine(440, 0.1, 44100, 2, 0.5)));
    EXPECT_EQ(BASS_StreamCreateFile(1, "ok.wav", 0, 0, 0), 0u) << "memory streams are not offered";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(BASS_StreamCreateFile(0, "ok.wav", 44, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(BASS_StreamCreateFile(0, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    HSTREAM s = BASS_StreamCreateFile(0, "ok.wav", 0, 0, 0);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(s, 1), ~QWORD{0}) << "only byte lengths";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_ChannelGetLength(s + 99, BASS_POS_BYTE), ~QWORD{0});
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_LT(BASS_ChannelBytes2Seconds(s + 99, 100), 0);
    EXPECT_EQ(BASS_Encode_Start(s, "oggenc.exe -o x.ogg -", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
}

// A stereo ramp whose every sample differs from its neighbours.
std::vector<std::int16_t> Ramp(std::size_t frames) {
    std::vector<std::int16_t> v;
    for (std::size_t i = 0; i < frames; ++i) {
        v.push_back(static_cast<std::int16_t>(i % 20000));
        v.push_back(static_cast<std::int16_t>(-static_cast<int>(i % 20000)));
    }
    return v;
}

std::vector<std::int16_t> Pull(std::size_t frames) {
    std::vector<std::int16_t> out(frames * 2, 1234);
    EXPECT_TRUE(seam::PullOutput(out.data(), frames));
    return out;
}

std::vector<std::int16_t> Slice(const std::vector<std::int16_t> &v, std::size_t fromFrame, std::size_t frames) {
    return {v.begin() + 2 * fromFrame, v.begin() + 2 * (fromFrame + frames)};
}

TEST_F(Playback, PlayStopResumeRestartAndRunToTheEnd) {
    const auto ramp = Ramp(3000);
    ASSERT_TRUE(WriteSoundFile("ramp.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, ramp));
    HSTREAM s = BASS_StreamCreateFile(0, "ramp.wav", 0, 0, 0);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(Pull(100), std::vector<std::int16_t>(200, 0)) << "silence while nothing plays";

    ASSERT_TRUE(BASS_ChannelPlay(s, 1));
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(Pull(1000), Slice(ramp, 0, 1000)) << "played unchanged from the start";

    ASSERT_TRUE(BASS_ChannelStop(s));
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(Pull(100), std::vector<std::int16_t>(200, 0));

    ASSERT_TRUE(BASS_ChannelPlay(s, 0));
    EXPECT_EQ(Pull(500), Slice(ramp, 1000, 500)) << "without restart it goes on where it stopped";
    ASSERT_TRUE(BASS_ChannelPlay(s, 1));
    EXPECT_EQ(Pull(500), Slice(ramp, 0, 500)) << "restart while playing starts over";

    auto tail = Pull(3000);
    EXPECT_EQ(Slice(tail, 0, 2500), Slice(ramp, 500, 2500));
    EXPECT_EQ(Slice(tail, 2500, 500), std::vector<std::int16_t>(1000, 0));
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED) << "a stream that ran out has stopped";
    ASSERT_TRUE(BASS_ChannelPlay(s, 1));
    EXPECT_EQ(Pull(10), Slice(ramp, 0, 10)) << "and plays again from the start";
}

TEST_F(Playback, MonoAtHalfTheRateFillsBothChannelsForTwiceAsLong) {
    std::vector<std::int16_t> mono(22050, 8192); // 1 s at a quarter of full scale
    ASSERT_TRUE(WriteSoundFile("m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, mono));
    HSTREAM s = BASS_StreamCreateFile(0, "m.wav", 0, 0, 0);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(s, BASS_POS_BYTE), 44100u);
    ASSERT_TRUE(BASS_ChannelPlay(s, 1));
    auto out = Pull(44100 + 100);
    for (std::size_t f = 0; f < 44099; ++f) {
        ASSERT_EQ(out[2 * f], 8192) << f;
        ASSERT_EQ(out[2 * f + 1], 8192) << f;
    }
    EXPECT_EQ(out[2 * 44100 + 10], 0);
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
}

TEST_F(Playback, StreamsPlayingTogetherAreMixed) {
    ASSERT_TRUE(WriteSoundFile("p.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, std::vector<std::int16_t>(2000, 1000)));
    ASSERT_TRUE(WriteSoundFile("q.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, std::vector<std::int16_t>(2000, 30000)));
    HSTREAM p = BASS_StreamCreateFile(0, "p.wav", 0, 0, 0);
    HSTREAM q = BASS_StreamCreateFile(0, "q.wav", 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(p, 1));
    EXPECT_EQ(Pull(10), std::vector<std::int16_t>(20, 1000));
    ASSERT_TRUE(BASS_ChannelPlay(q, 1));
    EXPECT_EQ(Pull(10), std::vector<std::int16_t>(20, 31000));
    ASSERT_TRUE(BASS_ChannelPlay(p, 1)); // twice p would overflow: clipped, not wrapped
    ASSERT_TRUE(BASS_ChannelPlay(q, 0));
    HSTREAM r = BASS_StreamCreateFile(0, "q.wav", 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(r, 1));
    EXPECT_EQ(Pull(10), std::vector<std::int16_t>(20, 32767));
}

TEST_F(Playback, HandlesAndShutDown) {
    EXPECT_FALSE(BASS_ChannelPlay(0, 1)) << "a 0 handle plays nothing";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    ASSERT_TRUE(WriteSoundFile("s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Ramp(500)));
    HSTREAM a = BASS_StreamCreateFile(0, "s.wav", 0, 0, 0);
    HSTREAM b = BASS_StreamCreateFile(0, "s.wav", 0, 0, 0);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, a);
    ASSERT_TRUE(BASS_ChannelPlay(a, 1));
    ASSERT_TRUE(BASS_StreamFree(a));
    EXPECT_EQ(BASS_ChannelIsActive(a), 0u);
    EXPECT_EQ(Pull(5), std::vector<std::int16_t>(10, 0)) << "a freed stream no longer plays";

    ASSERT_TRUE(BASS_ChannelPlay(b, 1));
    ASSERT_TRUE(BASS_Free());
    EXPECT_FALSE(seam::PullOutput(nullptr, 10));
    EXPECT_EQ(BASS_ChannelIsActive(b), 0u);
    EXPECT_FALSE(BASS_StreamFree(b)) << "the output's release took the streams with it";
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    // Lengths need no output device; playing does.
    HSTREAM c = BASS_StreamCreateFile(0, "s.wav", 0, 0, 0);
    ASSERT_NE(c, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(c, BASS_POS_BYTE), 2000u);
    EXPECT_FALSE(BASS_ChannelPlay(c, 1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_Init(-1, 0, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(BASS_Init(7, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_ChannelPlay(c, 1));
    EXPECT_TRUE(BASS_Stop());
    EXPECT_EQ(BASS_ChannelIsActive(c), BASS_ACTIVE_STOPPED);
}

} // namespace
} // namespace klt::audio::test
