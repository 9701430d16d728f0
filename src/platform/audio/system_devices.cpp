// The system's sound devices, reached through SDL's audio subsystem. Each
// open device holds its own reference on the subsystem, so devices can be
// opened and closed in any order.
#include <SDL.h>

#include <string>

#include "platform/audio/bass.h"
#include "platform/audio/devices.h"

namespace klt::audio {

namespace {

// SDL would catch SIGINT and SIGTERM for an event queue that nobody reads:
// the program that uses this layer decides what those signals do.
bool InitAudio() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}
void QuitAudio() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }

// The SDL name of a device number: empty with `isDefault` for the default.
int ResolveDevice(int device, bool capture, std::string &name, bool &isDefault) {
    if (device == -1 || device == 1) {
        isDefault = true;
        return BASS_OK;
    }
    isDefault = false;
    if (device < 2) {
        return BASS_ERROR_DEVICE;
    }
    int count = SDL_GetNumAudioDevices(capture ? 1 : 0);
    if (device - 2 >= count) {
        return BASS_ERROR_DEVICE;
    }
    const char *n = SDL_GetAudioDeviceName(device - 2, capture ? 1 : 0);
    if (n == nullptr) {
        return BASS_ERROR_DEVICE;
    }
    name = n;
    return BASS_OK;
}

SDL_AudioDeviceID OpenDevice(int device, bool capture, SDL_AudioSpec &want, int &error) {
    std::string name;
    bool isDefault = false;
    error = ResolveDevice(device, capture, name, isDefault);
    if (error != BASS_OK) {
        return 0;
    }
    SDL_AudioSpec have;
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(isDefault ? nullptr : name.c_str(), capture ? 1 : 0,
                                               &want, &have, 0);
    if (id == 0) {
        error = BASS_ERROR_DRIVER;
    }
    return id;
}

class SystemCapture final : public CaptureDevice {
public:
    SystemCapture(SDL_AudioDeviceID id, std::size_t frameBytes) : id_(id), frameBytes_(frameBytes) {}
    ~SystemCapture() override {
        SDL_CloseAudioDevice(id_);
        QuitAudio();
    }
    bool Start() override {
        SDL_PauseAudioDevice(id_, 0);
        return SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_PLAYING;
    }
    long Read(void *buffer, std::size_t maxBytes) override {
        if (SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_STOPPED) {
            return -1; // unplugged or failed
        }
        maxBytes -= maxBytes % frameBytes_;
        return static_cast<long>(SDL_DequeueAudio(id_, buffer, static_cast<Uint32>(maxBytes)));
    }

private:
    SDL_AudioDeviceID id_;
    std::size_t frameBytes_;
};

class SystemOutput final : public OutputDevice {
public:
    explicit SystemOutput(SDL_AudioDeviceID id) : id_(id) {}
    ~SystemOutput() override {
        SDL_CloseAudioDevice(id_); // returns once the callback is no longer running
        QuitAudio();
    }
    bool Pull(std::int16_t *, std::size_t) override { return false; }

private:
    SDL_AudioDeviceID id_;
};

void RenderCallback(void *user, Uint8 *stream, int len) {
    static_cast<SampleSource *>(user)->Render(reinterpret_cast<std::int16_t *>(stream),
                                              static_cast<std::size_t>(len) / 4);
}

class SystemBackend final : public DeviceBackend {
public:
    int InitCapture(int device) override {
        if (!InitAudio()) {
            return BASS_ERROR_DRIVER;
        }
        // Open once to learn now, at start-up, whether a microphone is there.
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        int error = BASS_OK;
        SDL_AudioDeviceID id = OpenDevice(device, true, want, error);
        if (id == 0) {
            QuitAudio();
            return error;
        }
        SDL_CloseAudioDevice(id);
        return BASS_OK;
    }
    void FreeCapture() override { QuitAudio(); }

    std::unique_ptr<CaptureDevice> OpenCapture(int device, int rate, int channels,
                                               int &error) override {
        if (!InitAudio()) {
            error = BASS_ERROR_DRIVER;
            return nullptr;
        }
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(channels);
        want.samples = 1024;
        SDL_AudioDeviceID id = OpenDevice(device, true, want, error);
        if (id == 0) {
            QuitAudio();
            return nullptr;
        }
        return std::make_unique<SystemCapture>(id, static_cast<std::size_t>(channels) * 2);
    }

    std::unique_ptr<OutputDevice> OpenOutput(int device, int rate, SampleSource &source,
                                             int &error) override {
        if (!InitAudio()) {
            error = BASS_ERROR_DRIVER;
            return nullptr;
        }
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = RenderCallback;
        want.userdata = &source;
        SDL_AudioDeviceID id = OpenDevice(device, false, want, error);
        if (id == 0) {
            QuitAudio();
            return nullptr;
        }
        SDL_PauseAudioDevice(id, 0);
        return std::make_unique<SystemOutput>(id);
    }
};

} // namespace

std::unique_ptr<DeviceBackend> MakeSystemBackend() { return std::make_unique<SystemBackend>(); }

} // namespace klt::audio
