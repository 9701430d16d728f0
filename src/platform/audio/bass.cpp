// The public calls of the audio layer: one library-wide registry of devices,
// recording channels, playback streams and encoders behind one lock. The lock
// is never held while waiting for a recording thread, since the recording
// callback calls back into this layer.
#include "platform/audio/bass.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <unistd.h>

#include "platform/audio/audio_seam.h"
#include "platform/audio/channel_encoder.h"
#include "platform/audio/command_line.h"
#include "platform/audio/devices.h"
#include "platform/audio/encoder_process.h"
#include "platform/audio/file_stream.h"
#include "platform/audio/mixer.h"
#include "platform/audio/recording_channel.h"
#include "platform/files/file_door.h"

namespace klt::audio {

namespace {

constexpr DWORD kVersion = 0x02040000;
constexpr BOOL kTrue = 1;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 192000;
constexpr DWORD kMaxChannels = 8;
// How long opening a file waits for an encoder that is still finishing it:
// a recording opened right after it was stopped must not play cut short.
constexpr auto kFinishingEncoderWait = std::chrono::seconds(10);

thread_local int tLastError = BASS_OK;

// Records the failure; returns 0 so that failing calls can `return Fail(...)`.
int Fail(int code) {
    tLastError = code;
    return 0;
}

int DeviceNumber(int device) { return device == -1 ? 1 : device; }

struct Library {
    std::mutex mutex;
    std::unique_ptr<DeviceBackend> backend;
    int recordDevice = 0; // 0 while no recording device is initialised
    Mixer mixer;          // declared before the output, which renders from it
    std::unique_ptr<OutputDevice> output;
    DWORD lastHandle = 0;
    std::map<DWORD, std::shared_ptr<RecordingChannel>> recordings;
    std::map<DWORD, std::shared_ptr<PlaybackStream>> streams;
    std::map<DWORD, std::shared_ptr<ChannelEncoder>> encoders;
    // Encoders of recordings already stopped, by the recording's handle, so
    // that the caller can see them finish their files.
    std::map<DWORD, std::vector<std::weak_ptr<EncoderProcess>>> finishing;
    std::optional<std::string> encoderSearchPath;

    ~Library() {
        // A program that never released the layer still must not leave a
        // thread running into the destruction of what it uses.
        output.reset();
        for (auto &[handle, channel] : recordings) {
            channel->Stop();
        }
    }

    DeviceBackend &Backend() {
        if (!backend) {
            backend = MakeSystemBackend();
        }
        return *backend;
    }

    DWORD NewHandle() {
        do {
            ++lastHandle;
        } while (lastHandle == 0 || recordings.contains(lastHandle) ||
                 streams.contains(lastHandle) || encoders.contains(lastHandle));
        finishing.erase(lastHandle);
        return lastHandle;
    }

    std::shared_ptr<RecordingChannel> Recording(DWORD handle) {
        auto it = recordings.find(handle);
        return it == recordings.end() ? nullptr : it->second;
    }
    std::shared_ptr<PlaybackStream> Stream(DWORD handle) {
        auto it = streams.find(handle);
        return it == streams.end() ? nullptr : it->second;
    }

    // Takes a recording out of the registry together with the encoder
    // handles that go with it; the caller stops it outside the lock.
    std::shared_ptr<RecordingChannel> Detach(DWORD handle, bool allEncoders) {
        auto channel = Recording(handle);
        if (channel) {
            recordings.erase(handle);
            std::erase_if(finishing, [](const auto &entry) {
                for (const auto &weak : entry.second) {
                    auto process = weak.lock();
                    if (process && !process->Exited()) {
                        return false;
                    }
                }
                return true;
            });
            auto &kept = finishing[handle];
            for (const auto &encoder : channel->Encoders()) {
                kept.push_back(encoder->WeakProcess());
                if (allEncoders || encoder->AutoFree()) {
                    encoders.erase(encoder->Handle());
                }
            }
        }
        return channel;
    }
};

Library &Lib() {
    static Library library;
    return library;
}

} // namespace

} // namespace klt::audio

using klt::audio::Fail;
using klt::audio::kTrue;
using klt::audio::Lib;
using klt::audio::tLastError;

extern "C" {

DWORD BASS_GetVersion() { return klt::audio::kVersion; }

int BASS_ErrorGetCode() { return tLastError; }

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *, const void *) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (lib.output) {
        return Fail(BASS_ERROR_ALREADY);
    }
    if (flags != 0 || freq < klt::audio::kMinRate || freq > klt::audio::kMaxRate) {
        return Fail(BASS_ERROR_ILLPARAM);
    }
    lib.mixer.SetRate(static_cast<int>(freq));
    int error = BASS_OK;
    lib.output = lib.Backend().OpenOutput(device, static_cast<int>(freq), lib.mixer, error);
    if (!lib.output) {
        return Fail(error);
    }
    return kTrue;
}

BOOL BASS_Free() {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    bool wasInitialised = lib.output != nullptr;
    lib.output.reset();
    lib.mixer.StopAll();
    lib.streams.clear();
    return wasInitialised ? kTrue : Fail(BASS_ERROR_INIT);
}

BOOL BASS_Stop() {
    auto &lib = Lib();
    std::map<DWORD, std::shared_ptr<klt::audio::RecordingChannel>> stopping;
    {
        std::lock_guard lock(lib.mutex);
        lib.mixer.StopAll();
        while (!lib.recordings.empty()) {
            DWORD handle = lib.recordings.begin()->first;
            stopping[handle] = lib.Detach(handle, false);
        }
    }
    for (auto &[handle, channel] : stopping) {
        channel->Stop();
    }
    return kTrue;
}

BOOL BASS_RecordInit(int device) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (lib.recordDevice != 0) {
        return Fail(BASS_ERROR_ALREADY);
    }
    int error = lib.Backend().InitCapture(device);
    if (error != BASS_OK) {
        return Fail(error);
    }
    lib.recordDevice = klt::audio::DeviceNumber(device);
    return kTrue;
}

BOOL BASS_RecordSetDevice(DWORD device) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (lib.recordDevice == 0 ||
        klt::audio::DeviceNumber(static_cast<int>(device)) != lib.recordDevice) {
        return Fail(BASS_ERROR_INIT);
    }
    return kTrue;
}

HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC proc, void *user) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (lib.recordDevice == 0) {
        return Fail(BASS_ERROR_INIT);
    }
    // Only 16-bit samples are recorded: any other format flag would be
    // silently wrong data for the caller.
    if ((flags & ~BASS_RECORD_PAUSE) != 0 || freq < klt::audio::kMinRate ||
        freq > klt::audio::kMaxRate || chans == 0 || chans > klt::audio::kMaxChannels) {
        return Fail(BASS_ERROR_ILLPARAM);
    }
    int error = BASS_OK;
    auto device = lib.Backend().OpenCapture(lib.recordDevice, static_cast<int>(freq),
                                            static_cast<int>(chans), error);
    if (!device) {
        return Fail(error);
    }
    HRECORD handle = lib.NewHandle();
    auto channel = std::make_shared<klt::audio::RecordingChannel>(
        handle, std::move(device), static_cast<int>(freq), static_cast<int>(chans), proc, user);
    error = channel->Launch((flags & BASS_RECORD_PAUSE) != 0);
    if (error != BASS_OK) {
        return Fail(error);
    }
    lib.recordings[handle] = channel;
    return handle;
}

BOOL BASS_RecordFree() {
    auto &lib = Lib();
    std::map<DWORD, std::shared_ptr<klt::audio::RecordingChannel>> stopping;
    {
        std::lock_guard lock(lib.mutex);
        if (lib.recordDevice == 0) {
            return Fail(BASS_ERROR_INIT);
        }
        while (!lib.recordings.empty()) {
            DWORD handle = lib.recordings.begin()->first;
            stopping[handle] = lib.Detach(handle, true);
        }
        lib.encoders.clear();
        lib.Backend().FreeCapture();
        lib.recordDevice = 0;
    }
    // Encoders get the end of their input here and finish on their own.
    for (auto &[handle, channel] : stopping) {
        channel->Stop();
    }
    return kTrue;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags) {
    if (mem) {
        return Fail(BASS_ERROR_NOTAVAIL);
    }
    if (file == nullptr || flags != 0) {
        return Fail(BASS_ERROR_ILLPARAM);
    }
    if (offset != 0 || length != 0) {
        return Fail(BASS_ERROR_NOTAVAIL);
    }
    std::string path(static_cast<const char *>(file));
    klt::audio::EncoderProcess::WaitFinishing(path, klt::audio::kFinishingEncoderWait);
    int error = BASS_OK;
    auto decoded = klt::audio::FileStream::Open(path, error);
    if (!decoded) {
        return Fail(error);
    }
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    HSTREAM handle = lib.NewHandle();
    lib.streams[handle] = std::make_shared<klt::audio::PlaybackStream>(std::move(decoded));
    return handle;
}

BOOL BASS_StreamFree(HSTREAM handle) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    auto stream = lib.Stream(handle);
    if (!stream) {
        return Fail(BASS_ERROR_HANDLE);
    }
    lib.mixer.Stop(stream);
    lib.streams.erase(handle);
    return kTrue;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (auto channel = lib.Recording(handle)) {
        int error = channel->Resume();
        return error == BASS_OK ? kTrue : Fail(error);
    }
    if (auto stream = lib.Stream(handle)) {
        if (!lib.output) {
            return Fail(BASS_ERROR_INIT);
        }
        lib.mixer.Play(stream, restart != 0);
        return kTrue;
    }
    return Fail(BASS_ERROR_HANDLE);
}

BOOL BASS_ChannelStop(DWORD handle) {
    auto &lib = Lib();
    std::shared_ptr<klt::audio::RecordingChannel> channel;
    {
        std::lock_guard lock(lib.mutex);
        if (auto stream = lib.Stream(handle)) {
            lib.mixer.Stop(stream);
            return kTrue;
        }
        channel = lib.Detach(handle, false);
        if (!channel) {
            return Fail(BASS_ERROR_HANDLE);
        }
    }
    channel->Stop();
    return kTrue;
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (auto channel = lib.Recording(handle)) {
        return channel->State();
    }
    if (auto stream = lib.Stream(handle)) {
        return lib.mixer.IsPlaying(stream) ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    }
    Fail(BASS_ERROR_HANDLE);
    return BASS_ACTIVE_STOPPED;
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    constexpr QWORD kFailed = ~QWORD{0};
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (mode != BASS_POS_BYTE) {
        Fail(BASS_ERROR_ILLPARAM);
        return kFailed;
    }
    if (auto stream = lib.Stream(handle)) {
        return stream->file->LengthBytes();
    }
    Fail(lib.Recording(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE);
    return kFailed;
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    double bytesPerSecond = 0;
    if (auto stream = lib.Stream(handle)) {
        bytesPerSecond = 2.0 * stream->file->Rate() * stream->file->Channels();
    } else if (auto channel = lib.Recording(handle)) {
        bytesPerSecond = 2.0 * channel->Rate() * channel->Channels();
    } else {
        Fail(BASS_ERROR_HANDLE);
        return -1;
    }
    return static_cast<double>(pos) / bytesPerSecond;
}

HENCODE BASS_Encode_Start(DWORD handle, const char *cmdline, DWORD flags, ENCODENOTIFYPROC proc,
                          void *user) {
    if (cmdline == nullptr) {
        return Fail(BASS_ERROR_ILLPARAM);
    }
    auto args = klt::audio::SplitCommandLine(cmdline);
    if (!args) {
        return Fail(BASS_ERROR_ILLPARAM);
    }
    std::vector<const char *> argv;
    for (const std::string &a : *args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    return BASS_Encode_StartArgv(handle, argv.data(), flags, proc, user);
}

HENCODE BASS_Encode_StartArgv(DWORD handle, const char *const *argv, DWORD flags,
                              ENCODENOTIFYPROC proc, void *) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    auto channel = lib.Recording(handle);
    if (!channel) {
        return Fail(lib.Stream(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE);
    }
    if (proc != nullptr) {
        return Fail(BASS_ERROR_NOTAVAIL); // nothing would ever call it
    }
    if (argv == nullptr || argv[0] == nullptr || argv[0][0] == '\0' ||
        (flags & ~BASS_ENCODE_AUTOFREE) != 0) {
        return Fail(BASS_ERROR_ILLPARAM);
    }
    if (channel->State() == BASS_ACTIVE_STOPPED) {
        return Fail(BASS_ERROR_ENDED);
    }
    std::vector<std::string> args;
    for (const char *const *a = argv; *a != nullptr; ++a) {
        args.emplace_back(*a);
    }
    std::string name = klt::audio::LocalProgramName(args.front());
    std::string searchPath;
    if (lib.encoderSearchPath) {
        searchPath = *lib.encoderSearchPath;
    } else if (const char *path = std::getenv("PATH")) {
        searchPath = path;
    }
    std::string program = klt::audio::FindProgram(name, searchPath);
    if (program.empty()) {
        return Fail(BASS_ERROR_NOENCODER);
    }
    args.front() = name;
    // The encoder writes the file named after its "-o"; remembered so that
    // opening that file can wait for the encoder to finish it.
    std::string output;
    std::size_t outputArg = 0;
    for (std::size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "-o") {
            outputArg = i + 1;
            output = args[outputArg];
        }
    }
    // An encoder that cannot create its file would only end at once, and the
    // recording would be lost without a word: refused here instead. The file
    // is made here, a new file of the station's own, and handed to the
    // encoder open, so that nothing put at its name later (a link above all)
    // is what the encoder writes.
    klt::files::Opened file;
    if (!output.empty()) {
        file = klt::files::CreateOwn(output);
        if (!file.fd) {
            return Fail(BASS_ERROR_FILEOPEN);
        }
        args[outputArg] = "/dev/fd/" + std::to_string(klt::audio::EncoderProcess::kOutputFd);
    }
    auto process = klt::audio::EncoderProcess::Spawn(program, args, output, file.fd.Get());
    if (!process) {
        if (file.fd) {
            klt::files::RemoveOwn(output, file.fd.Get());
        }
        return Fail(BASS_ERROR_CREATE);
    }
    file.fd = klt::files::Descriptor();
    HENCODE encoderHandle = lib.NewHandle();
    auto encoder = std::make_shared<klt::audio::ChannelEncoder>(
        encoderHandle, std::move(process), channel->Rate(), channel->Channels(),
        (flags & BASS_ENCODE_AUTOFREE) != 0);
    if (!channel->AddEncoder(encoder)) {
        encoder->Finish();
        return Fail(BASS_ERROR_ENDED);
    }
    lib.encoders[encoderHandle] = encoder;
    return encoderHandle;
}

DWORD BASS_Encode_IsActive(DWORD handle) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (auto it = lib.encoders.find(handle); it != lib.encoders.end()) {
        return it->second->Active() ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    }
    if (auto channel = lib.Recording(handle)) {
        auto encoders = channel->Encoders();
        if (encoders.empty()) {
            Fail(BASS_ERROR_HANDLE);
        }
        for (const auto &encoder : encoders) {
            if (encoder->Active()) {
                return BASS_ACTIVE_PLAYING;
            }
        }
        return BASS_ACTIVE_STOPPED;
    }
    if (auto it = lib.finishing.find(handle); it != lib.finishing.end()) {
        for (const auto &weak : it->second) {
            auto process = weak.lock();
            if (process && !process->Exited()) {
                return BASS_ACTIVE_PLAYING;
            }
        }
        return BASS_ACTIVE_STOPPED;
    }
    Fail(BASS_ERROR_HANDLE);
    return BASS_ACTIVE_STOPPED;
}

} // extern "C"

namespace klt::audio::seam {

bool UseScriptedDevices(ScriptedMicrophone microphone) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (lib.recordDevice != 0 || lib.output) {
        return false;
    }
    lib.backend = MakeScriptedBackend(std::move(microphone));
    return true;
}

bool UseSystemDevices() {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (lib.recordDevice != 0 || lib.output) {
        return false;
    }
    lib.backend = MakeSystemBackend();
    return true;
}

bool PullOutput(std::int16_t *out, std::size_t frames) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    return lib.output && lib.output->Pull(out, frames);
}

std::uint64_t MicrophoneFramesDelivered() { return ScriptedFramesDelivered(); }
std::uint64_t MicrophoneFramesDropped() { return ScriptedFramesDropped(); }

void SetEncoderSearchPath(std::optional<std::string> path) {
    auto &lib = Lib();
    std::lock_guard lock(lib.mutex);
    lib.encoderSearchPath = std::move(path);
}

bool WaitRecordingEnded(HRECORD handle, std::chrono::milliseconds timeout) {
    std::shared_ptr<RecordingChannel> channel;
    {
        auto &lib = Lib();
        std::lock_guard lock(lib.mutex);
        channel = lib.Recording(handle);
    }
    return !channel || channel->WaitEnded(timeout);
}

bool WaitEncodersEnded(std::chrono::milliseconds timeout) {
    return EncoderProcess::WaitAllExited(timeout);
}

} // namespace klt::audio::seam
