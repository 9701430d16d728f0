// Recording from the scripted microphone into encoder processes: the real Ogg
// encoder, and stand-ins that record their input or quit early.
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include <sys/stat.h>

#include "audio_test_support.h"

namespace klt::audio::test {
namespace {

constexpr std::uint64_t kBytesPerSecond = 44100 * 2 * 2;

std::string OggCommand(const std::string &path) { return "oggenc.exe -o " + path + " -"; }

std::vector<std::uint8_t> ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Zero crossings of the left channel, rising, per second.
double Frequency(const DecodedFile &d) {
    int rising = 0;
    for (std::size_t i = d.channels; i < d.samples.size(); i += d.channels) {
        if (d.samples[i - d.channels] < 0 && d.samples[i] >= 0) {
            ++rising;
        }
    }
    return rising / d.Seconds();
}

using Recording = ScriptedAudio;

TEST_F(Recording, ThreeSecondsOfSineThroughOggencGiveADecodableOggFile) {
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Station, &counter);
    ASSERT_NE(rec, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(rec), BASS_ACTIVE_PAUSED);
    const std::string path = "rec.ogg";
    HENCODE enc = BASS_Encode_Start(rec, OggCommand(path).c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr);
    ASSERT_NE(enc, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(counter.Calls(), 0) << "a paused channel delivers nothing";

    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    EXPECT_EQ(BASS_ChannelIsActive(rec), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(counter.WaitBytes(3 * kBytesPerSecond));
    EXPECT_EQ(BASS_Encode_IsActive(rec), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ChannelIsActive(rec), BASS_ACTIVE_PLAYING);

    ASSERT_TRUE(BASS_ChannelStop(rec));
    EXPECT_EQ(BASS_ChannelIsActive(rec), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_Encode_IsActive(enc), 0u) << "auto-free releases the encoder with its channel";
    ASSERT_TRUE(seam::WaitEncodersEnded(10s)) << "stopping the channel ends the encoder";

    DecodedFile d = Decode(scratch_ / path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    EXPECT_NEAR(d.Seconds(), 3.0, 0.05);
    EXPECT_NEAR(Frequency(d), 440, 5);
    EXPECT_EQ(counter.bytes, 3 * kBytesPerSecond) << "the callback saw every sample once";
    EXPECT_NE(counter.thread, std::this_thread::get_id()) << "callbacks come on the layer's own thread";
}

TEST_F(Recording, ARecordingOpenedRightAfterItsStopPlaysInFull) {
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Station, &counter);
    ASSERT_NE(rec, 0u);
    ASSERT_NE(BASS_Encode_Start(rec, OggCommand("now.ogg").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(counter.WaitBytes(3 * kBytesPerSecond));
    ASSERT_TRUE(BASS_ChannelStop(rec));

    // The station opens the file at once, while the encoder may still write it.
    HSTREAM s = BASS_StreamCreateFile(0, "now.ogg", 0, 0, 0);
    ASSERT_NE(s, 0u) << BASS_ErrorGetCode();
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(s, BASS_ChannelGetLength(s, BASS_POS_BYTE)), 3.0, 0.05);
}

TEST_F(Recording, EncoderInTheWorkingDirectoryGetsAWavHeaderAndEverySampleInOrder) {
    // Each frame carries its own number, so loss, repetition or reordering shows.
    seam::ScriptedMicrophone mic;
    mic.frames = 66150; // 1.5 s
    mic.fill = [](std::int16_t *out, std::size_t frames, int channels, std::uint64_t first) {
        for (std::size_t i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                *out++ = static_cast<std::int16_t>(((first + i) * 7 + c) & 0x7fff);
            }
        }
    };
    Restart(mic);
    WriteScript(scratch_ / "oggenc", "exec cat > \"$2\"");
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Counting, &counter);
    ASSERT_NE(BASS_Encode_Start(rec, OggCommand("raw.out").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(counter.WaitBytes(mic.frames * 4));
    ASSERT_TRUE(BASS_ChannelStop(rec));
    ASSERT_TRUE(seam::WaitEncodersEnded(10s));

    std::vector<std::uint8_t> got = ReadAll(scratch_ / "raw.out");
    ASSERT_EQ(got.size(), 44 + mic.frames * 4) << "the stand-in, not the encoder on the search path, ran";
    auto u32 = [&](std::size_t at) { std::uint32_t v; std::memcpy(&v, &got[at], 4); return v; };
    auto u16 = [&](std::size_t at) { std::uint16_t v; std::memcpy(&v, &got[at], 2); return v; };
    EXPECT_EQ(std::string(got.begin(), got.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(got.begin() + 8, got.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1u);          // PCM
    EXPECT_EQ(u16(22), 2u);          // channels
    EXPECT_EQ(u32(24), 44100u);      // rate
    EXPECT_EQ(u32(28), 44100u * 4);  // bytes per second
    EXPECT_EQ(u16(32), 4u);          // block
    EXPECT_EQ(u16(34), 16u);         // bits
    EXPECT_EQ(std::string(got.begin() + 36, got.begin() + 40), "data");
    EXPECT_EQ(u32(40), 0xFFFFFFFFu) << "length unknown while recording";
    std::size_t wrong = 0;
    for (std::uint64_t f = 0; f < mic.frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            std::int16_t v;
            std::memcpy(&v, &got[44 + f * 4 + c * 2], 2);
            wrong += v != static_cast<std::int16_t>((f * 7 + c) & 0x7fff);
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_F(Recording, ArgumentVectorKeepsAnyPathOneArgumentAndTheStoppedChannelShowsItsEncoderFinishing) {
    // The stand-in counts its arguments, writes its input to the one after
    // "-o" and takes a while to finish after its input ends.
    WriteScript(scratch_ / "oggenc", "echo $# > argc; cat > \"$2\"; exec sleep 0.5");
    const std::string folder = "Answer_20 мая \"x\" 'y'";
    std::filesystem::create_directory(scratch_.Path() / folder);
    const std::string path = folder + "/0007_5.ogg";
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Counting, &counter);
    const char *const argv[] = {"oggenc.exe", "-o", path.c_str(), "-", nullptr};
    ASSERT_NE(BASS_Encode_StartArgv(rec, argv, BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(counter.WaitBytes(kBytesPerSecond));
    ASSERT_TRUE(BASS_ChannelStop(rec));
    EXPECT_NE(BASS_Encode_IsActive(rec), 0u) << "still finishing its file";
    ASSERT_TRUE(seam::WaitEncodersEnded(10s));
    EXPECT_EQ(BASS_Encode_IsActive(rec), 0u);
    EXPECT_GT(ReadAll(scratch_ / path).size(), 44u + kBytesPerSecond / 2);
    int argc = 0;
    std::ifstream(scratch_ / "argc") >> argc;
    EXPECT_EQ(argc, 3) << "-o, the path, -";

    // A file that the encoder could not create is refused before any
    // process starts.
    // A named pipe in the file's place would block the open for good; a
    // link there would have the encoder overwrite the file it points to.
    const std::string pipe = folder + "/0007_6.ogg";
    ASSERT_EQ(mkfifo((scratch_.Path() / pipe).c_str(), 0666), 0);
    const std::string link = folder + "/0007_2.ogg";
    std::ofstream(scratch_ / "victim") << "someone else's";
    std::filesystem::create_symlink(scratch_ / "victim", scratch_ / link);
    rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Counting, &counter);
    for (const std::string &bad : {std::string("no folder/x.ogg"), folder, pipe, link}) {
        const char *const badArgv[] = {"oggenc.exe", "-o", bad.c_str(), "-", nullptr};
        EXPECT_EQ(BASS_Encode_StartArgv(rec, badArgv, BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u) << bad;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    }
    EXPECT_TRUE(BASS_ChannelStop(rec));
    EXPECT_EQ(ReadAll(scratch_ / "victim").size(), 14u) << "the file the link points to is untouched";
}

TEST_F(Recording, TheEncoderWritesTheFileThatWasCheckedWhateverTakesItsNameLater) {
    // The stand-in opens its output only once told to.
    WriteScript(scratch_ / "oggenc", "while [ ! -e go ]; do sleep 0.01; done; exec cat > \"$2\"");
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Counting, &counter);
    ASSERT_NE(BASS_Encode_Start(rec, OggCommand("swapped.ogg").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    std::filesystem::rename(scratch_ / "swapped.ogg", scratch_ / "checked.ogg");
    std::ofstream(scratch_ / "victim") << "someone else's";
    std::filesystem::create_symlink(scratch_ / "victim", scratch_ / "swapped.ogg");
    std::ofstream(scratch_ / "go").put('\n');
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(counter.WaitBytes(kBytesPerSecond / 4));
    ASSERT_TRUE(BASS_ChannelStop(rec));
    ASSERT_TRUE(seam::WaitEncodersEnded(10s));
    EXPECT_EQ(ReadAll(scratch_ / "victim").size(), 14u);
    EXPECT_GT(ReadAll(scratch_ / "checked.ogg").size(), 44u + kBytesPerSecond / 8);
}

TEST_F(Recording, MissingEncoderFailsWithACodeAndTheCallbackThenEndsTheRecording) {
    seam::SetEncoderSearchPath(scratch_.Path().string() + "/nowhere");
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Station, &counter);
    ASSERT_NE(rec, 0u);
    EXPECT_EQ(BASS_Encode_Start(rec, OggCommand("x.ogg").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOENCODER);
    EXPECT_EQ(BASS_Encode_IsActive(rec), 0u);

    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(seam::WaitRecordingEnded(rec, 10s));
    EXPECT_EQ(counter.Calls(), 1) << "the first block's answer ends the recording";
    EXPECT_EQ(BASS_ChannelIsActive(rec), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_ChannelPlay(rec, 0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    EXPECT_EQ(BASS_Encode_Start(rec, "oggenc.exe -o late.ogg -", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    EXPECT_TRUE(BASS_ChannelStop(rec)) << "the handle stays valid until stopped";
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "x.ogg"));
}

TEST_F(Recording, AnEncoderThatQuitsEndsTheRecordingWithoutKillingTheProgram) {
    // With the ordinary disposition a write to a dead encoder would kill us.
    std::signal(SIGPIPE, SIG_DFL);
    Restart(seam::SineMicrophone(440, 60));
    WriteScript(scratch_ / "oggenc", "exit 0");
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Station, &counter);
    HENCODE enc = BASS_Encode_Start(rec, OggCommand("q.ogg").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr);
    ASSERT_NE(enc, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(seam::WaitRecordingEnded(rec, 20s));
    EXPECT_EQ(BASS_Encode_IsActive(enc), 0u);
    EXPECT_EQ(BASS_ChannelIsActive(rec), BASS_ACTIVE_STOPPED);
    EXPECT_LT(counter.bytes, 60 * kBytesPerSecond) << "the recording ended early";
    EXPECT_TRUE(BASS_ChannelStop(rec));
}

TEST_F(Recording, AnEncoderThatStopsReadingEndsTheRecordingWithoutASigpipe) {
    std::signal(SIGPIPE, SIG_DFL);
    Restart(seam::SineMicrophone(440, 60));
    // Still running, but no longer reading: only the failed write can tell.
    WriteScript(scratch_ / "oggenc", "exec 0<&-; echo $$ > pid.tmp; mv pid.tmp pid; exec sleep 60");
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Station, &counter);
    HENCODE enc = BASS_Encode_Start(rec, OggCommand("deaf.ogg").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr);
    ASSERT_NE(enc, 0u);
    // Its input must be closed before the first write, so that the write
    // meets a reader that is gone rather than one that left data unread.
    for (int i = 0; i < 2000 && !std::filesystem::exists(scratch_ / "pid"); ++i) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(seam::WaitRecordingEnded(rec, 20s));
    EXPECT_EQ(BASS_Encode_IsActive(enc), 0u) << "a broken input makes the encoder inactive";
    EXPECT_LT(counter.bytes, 60 * kBytesPerSecond);
    EXPECT_TRUE(BASS_ChannelStop(rec));
    pid_t pid = 0;
    std::ifstream(scratch_ / "pid") >> pid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0) << "the process was still there all along";
    kill(pid, SIGTERM);
}

TEST_F(Recording, WithoutAutoFreeTheEncoderStillFinishesAndOutlivesItsChannel) {
    RecordCounter live;
    HRECORD first = BASS_RecordStart(44100, 2, 0, RecordCounter::Counting, &live);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(first), BASS_ACTIVE_PLAYING) << "created running without the pause flag";
    ASSERT_TRUE(live.WaitBytes(3 * kBytesPerSecond));
    ASSERT_TRUE(BASS_ChannelStop(first));

    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Counting, &counter);
    HENCODE enc = BASS_Encode_Start(rec, "\"oggenc.exe\" -o \"kept.ogg\" -", 0, nullptr, nullptr);
    ASSERT_NE(enc, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(counter.WaitBytes(3 * kBytesPerSecond));
    ASSERT_TRUE(BASS_ChannelStop(rec));
    ASSERT_TRUE(seam::WaitEncodersEnded(10s)) << "its input was closed with the channel all the same";
    EXPECT_EQ(BASS_Encode_IsActive(enc), 0u);
    EXPECT_NE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << "the handle is still known";
    DecodedFile d = Decode(scratch_ / "kept.ogg");
    ASSERT_TRUE(d.ok);
    EXPECT_NEAR(d.Seconds(), 3.0, 0.05);

    ASSERT_TRUE(BASS_RecordFree());
    EXPECT_EQ(BASS_Encode_IsActive(enc), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

HRECORD gSelfStopped = 0;
BOOL StopsItself(HRECORD handle, const void *, DWORD, void *) {
    gSelfStopped = handle;
    BASS_ChannelStop(handle);
    return 1;
}

TEST_F(Recording, ACallbackMayStopItsOwnChannel) {
    WriteScript(scratch_ / "oggenc", "exec cat > \"$2\"");
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, StopsItself, nullptr);
    ASSERT_NE(BASS_Encode_Start(rec, OggCommand("self.out").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(seam::WaitEncodersEnded(10s)) << "the channel ended and closed its encoder's input";
    EXPECT_EQ(gSelfStopped, rec);
    EXPECT_EQ(BASS_ChannelIsActive(rec), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(ReadAll(scratch_ / "self.out").size(), 44u + 44100 * 4 / 10) << "one block, then the end";
}

TEST_F(Recording, RecordFreeEndsRunningRecordingsAndTheirEncodersFinishTheFiles) {
    RecordCounter counter;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Station, &counter);
    ASSERT_NE(BASS_Encode_Start(rec, OggCommand("free.ogg").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(rec, 0));
    ASSERT_TRUE(counter.WaitBytes(kBytesPerSecond));

    ASSERT_TRUE(BASS_RecordFree());
    EXPECT_EQ(BASS_ChannelIsActive(rec), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_RecordStart(44100, 2, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    ASSERT_TRUE(seam::WaitEncodersEnded(10s));
    DecodedFile d = Decode(scratch_ / "free.ogg");
    ASSERT_TRUE(d.ok);
    EXPECT_GE(d.Seconds(), 0.99);
    EXPECT_TRUE(BASS_Stop());
}

TEST_F(Recording, StoppingAChannelThatNeverRanLeavesAnEmptyButValidFile) {
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Station, nullptr);
    ASSERT_NE(BASS_Encode_Start(rec, OggCommand("empty.ogg").c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr), 0u);
    ASSERT_TRUE(BASS_ChannelStop(rec));
    ASSERT_TRUE(seam::WaitEncodersEnded(10s));
    EXPECT_TRUE(std::filesystem::exists(scratch_ / "empty.ogg"));
}

TEST_F(Recording, RejectsWhatItCannotDoWithStableCodes) {
    RecordCounter counter;
    EXPECT_EQ(BASS_RecordStart(44100, 2, 0x100, nullptr, nullptr), 0u) << "no float samples";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_RecordStart(44100, 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(BASS_RecordInit(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_TRUE(BASS_RecordSetDevice(1)) << "1 is the default device that -1 initialised";
    EXPECT_FALSE(BASS_RecordSetDevice(2));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, RecordCounter::Counting, &counter);
    ASSERT_NE(rec, 0u);
    EXPECT_EQ(BASS_Encode_Start(rec, "oggenc.exe -o \"open.ogg -", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_Encode_Start(rec, "   ", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_Encode_Start(rec, "oggenc.exe -o a.ogg -", 0x1, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_Encode_Start(rec + 1000, "oggenc.exe -o a.ogg -", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelGetLength(rec, BASS_POS_BYTE), ~QWORD{0});
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(rec, 176400), 1.0);
    EXPECT_FALSE(BASS_ChannelStop(0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelIsActive(0), 0u);
    EXPECT_TRUE(BASS_ChannelStop(rec));
    EXPECT_FALSE(BASS_ChannelStop(rec)) << "a stopped recording channel is gone";
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "a.ogg"));
}

TEST_F(Recording, ErrorCodesBelongToTheThreadThatFailed) {
    EXPECT_FALSE(BASS_ChannelStop(4242));
    ASSERT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    int seenByOther = -100;
    int afterOwnFailure = -100;
    std::thread other([&] {
        seenByOther = BASS_ErrorGetCode();
        BASS_RecordInit(-1);
        afterOwnFailure = BASS_ErrorGetCode();
    });
    other.join();
    EXPECT_EQ(seenByOther, BASS_OK);
    EXPECT_EQ(afterOwnFailure, BASS_ERROR_ALREADY);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_NE(BASS_GetVersion(), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << "a successful call keeps the last failure's code";
}

TEST(AudioVersion, HighWordIsTwoPointFour) { EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u); }

TEST(AudioWithoutDevices, RecordingNeedsAnInitialisedDevice) {
    ASSERT_TRUE(seam::UseScriptedDevices(seam::SineMicrophone(440, 1)));
    EXPECT_EQ(BASS_RecordStart(44100, 2, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_RecordFree());
    EXPECT_FALSE(BASS_RecordInit(3));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    ASSERT_TRUE(BASS_RecordInit(1));
    EXPECT_FALSE(seam::UseSystemDevices()) << "no switching devices under a running library";
    EXPECT_TRUE(BASS_RecordFree());
}

} // namespace
} // namespace klt::audio::test
