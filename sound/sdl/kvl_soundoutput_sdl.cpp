// KVLSoundOutputSDL: device enumeration, opening and the audio callback.
#include "sound/sdl/kvl_soundoutput_sdl.h"
#include "sound/kvl_sounddevice.h"

#include <SDL.h>

#include <atomic>

namespace {

// The output that holds the device; others are refused until it is destroyed.
std::atomic<KVLSoundOutputSDL*> g_openOutput{nullptr};

// SDL names the default device only in recent versions; otherwise the first device's
// name describes what the default will be.
KVLString DefaultDeviceName() {
    char* name = nullptr;
    SDL_AudioSpec spec;
    if (SDL_GetDefaultAudioInfo(&name, &spec, 0) == 0 && name != nullptr) {
        KVLString result(name);
        SDL_free(name);
        return result;
    }
    const char* first = SDL_GetNumAudioDevices(0) > 0 ? SDL_GetAudioDeviceName(0, 0) : nullptr;
    return first != nullptr ? KVLString(first) : KVLString("Default audio device");
}

}  // namespace

std::unique_ptr<KVLSoundOutput> KVLCreateSoundOutput(int32_t deviceIndex) {
    return std::make_unique<KVLSoundOutputSDL>(deviceIndex);
}

KVLSoundOutputSDL::KVLSoundOutputSDL(int32_t deviceIndex) : m_deviceIndex(deviceIndex) {}

KVLSoundOutputSDL::~KVLSoundOutputSDL() { CloseDevice(); }

bool KVLSoundOutputSDL::OpenDevice(int32_t rate, int32_t bits, bool stereo,
                                   KVLString* description, KVLString* error) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(KVLSoundFailure::kNoDevice);
        }
        return false;
    }
    m_subsystem = true;
    const int count = SDL_GetNumAudioDevices(0);
    if (count == 0) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(KVLSoundFailure::kNoDevice);
        }
        CloseDevice();
        return false;
    }
    KVLSoundOutputSDL* expected = nullptr;
    if (!g_openOutput.compare_exchange_strong(expected, this)) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(KVLSoundFailure::kTooMany);
        }
        CloseDevice();
        return false;
    }
    if (m_deviceIndex < -1 || (m_deviceIndex >= 0 && m_deviceIndex >= count)) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(KVLSoundFailure::kInit);
        }
        CloseDevice();
        return false;
    }
    const char* name = m_deviceIndex >= 0 ? SDL_GetAudioDeviceName(m_deviceIndex, 0) : nullptr;
    KVLString deviceName = name != nullptr ? KVLString(name) : DefaultDeviceName();
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(stereo ? 2 : 1);
    want.samples = 2048;
    want.callback = &Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No format changes allowed: SDL converts to what the device takes, so the ring
    // always holds the format asked for.
    m_device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (m_device == 0) {
        if (error != nullptr) {
            error->Format("Output device does not support %d kHz - %d bits - %s", rate / 1000,
                          bits, stereo ? "Stereo" : "Mono");
        }
        CloseDevice();
        return false;
    }
    SDL_PauseAudioDevice(m_device, IsPaused() ? 1 : 0);
    *description = deviceName;
    return true;
}

void KVLSoundOutputSDL::CloseDevice() {
    if (m_device != 0) {
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    KVLSoundOutputSDL* self = this;
    g_openOutput.compare_exchange_strong(self, nullptr);
    if (m_subsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_subsystem = false;
    }
}

void KVLSoundOutputSDL::DevicePaused(bool paused) {
    // SDL takes the device's lock, which its callback holds while it waits for the
    // ring's: the ring calls this with its own lock released.
    if (m_device != 0) {
        SDL_PauseAudioDevice(m_device, paused ? 1 : 0);
    }
}

void KVLSoundOutputSDL::Callback(void* context, uint8_t* stream, int length) {
    static_cast<KVLSoundOutputSDL*>(context)->Pull(stream, length);
}
