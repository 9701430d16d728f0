// Costs of the audio layer. Record/60 records one minute from the scripted
// microphone at real speed through the Ogg encoder and reports the CPU time
// of this process and of the encoder, and the frames the device dropped.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/audio/audio_seam.h"
#include "platform/audio/bass.h"

namespace {

using namespace std::chrono_literals;
namespace seam = klt::audio::seam;

struct Received {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t bytes = 0;
    std::uint64_t expected = 0;
};

BOOL StationLike(HRECORD handle, const void *, DWORD length, void *user) {
    auto *r = static_cast<Received *>(user);
    bool done;
    {
        std::lock_guard lock(r->mutex);
        r->bytes += length;
        done = r->bytes >= r->expected;
    }
    // Waking the waiting thread only at the end keeps its cost out of the figures.
    if (done) {
        r->changed.notify_all();
    }
    return BASS_Encode_IsActive(handle) != 0;
}

double Seconds(const timeval &tv) { return tv.tv_sec + tv.tv_usec / 1e6; }

struct CpuTimes {
    double self;
    double children;
    static CpuTimes Now() {
        rusage self{};
        rusage children{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        return {Seconds(self.ru_utime) + Seconds(self.ru_stime),
                Seconds(children.ru_utime) + Seconds(children.ru_stime)};
    }
};

// One recording of `seconds` through oggenc into a temporary file.
void RecordOnce(benchmark::State &state, double seconds, bool realTime) {
    auto mic = seam::SineMicrophone(440, seconds);
    mic.realTime = realTime;
    seam::UseScriptedDevices(mic);
    if (!BASS_RecordInit(-1)) {
        state.SkipWithError("no recording device");
        return;
    }
    const std::string path =
        (std::filesystem::temp_directory_path() / ("klt-audio-bench-" + std::to_string(getpid()) + ".ogg"))
            .string();
    Received received;
    received.expected = mic.frames * 4;
    HRECORD rec = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, StationLike, &received);
    std::string command = "oggenc.exe -o " + path + " -";
    if (rec == 0 || BASS_Encode_Start(rec, command.c_str(), BASS_ENCODE_AUTOFREE, nullptr, nullptr) == 0) {
        state.SkipWithError("recording or encoder did not start");
        BASS_RecordFree();
        return;
    }
    const std::uint64_t expected = received.expected;
    BASS_ChannelPlay(rec, 0);
    {
        std::unique_lock lock(received.mutex);
        received.changed.wait_for(lock, std::chrono::duration<double>(seconds * 2 + 10),
                                  [&] { return received.bytes >= expected; });
    }
    BASS_ChannelStop(rec);
    seam::WaitEncodersEnded(60s);
    BASS_RecordFree();
    std::filesystem::remove(path);
    state.counters["callback_bytes"] = static_cast<double>(received.bytes);
    state.counters["missing_bytes"] = static_cast<double>(expected - std::min(expected, received.bytes));
    state.counters["dropped_frames"] = static_cast<double>(seam::MicrophoneFramesDropped());
}

void BM_RecordRealSpeed(benchmark::State &state) {
    for (auto _ : state) {
        CpuTimes before = CpuTimes::Now();
        RecordOnce(state, static_cast<double>(state.range(0)), true);
        CpuTimes after = CpuTimes::Now();
        state.counters["cpu_layer_s"] = after.self - before.self;
        state.counters["cpu_encoder_s"] = after.children - before.children;
    }
}
BENCHMARK(BM_RecordRealSpeed)->Arg(60)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

void BM_RecordAsFastAsPossible(benchmark::State &state) {
    for (auto _ : state) {
        RecordOnce(state, static_cast<double>(state.range(0)), false);
    }
}
BENCHMARK(BM_RecordAsFastAsPossible)->Arg(10)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
