// Recording sources over SDL capture devices, and their registration with the capture
// streamer.
#include "sound/sdl/kvl_soundcapture_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "sound/kvl_soundstreamer.h"

namespace {

const char* const kInvalidDevice = "Invalid sound capture device";

std::atomic<KVLSoundSourceSDLRingCapture*> g_openCapture{nullptr};

bool FormatSupported(int32_t rate, int32_t bits) {
    return (rate == 11025 || rate == 22050 || rate == 44100) && (bits == 8 || bits == 16);
}

// The capture streamer finds these sources through its factory hook.
const KVLSoundCaptureRegistration<KVLSoundSourceSDLRingCapture, KVLSoundSourceSDLSlotCapture> g_registration;

}  // namespace

KVLSoundSourceSDLCapture::KVLSoundSourceSDLCapture(int32_t deviceIndex, int32_t rate, int32_t bits,
                                                   bool stereo, int32_t blockFrames)
    : m_deviceIndex(deviceIndex),
      m_rate(rate),
      m_bits(bits),
      m_stereo(stereo),
      m_blockFrames(blockFrames < 1 ? 1 : blockFrames),
      m_blockAlign((stereo ? 2 : 1) * (bits == 8 ? 1 : 2)) {}

KVLSoundSourceSDLCapture::~KVLSoundSourceSDLCapture() { CloseDevice(); }

bool KVLSoundSourceSDLCapture::OpenDevice(KVLString* name, KVLString* error, const char* failText) {
    const char* deviceName = nullptr;
    if (m_deviceIndex >= 0) {
        deviceName = SDL_GetAudioDeviceName(m_deviceIndex, 1);
    }
    SDL_AudioSpec want{};
    want.freq = m_rate;
    want.format = m_bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(m_stereo ? 2 : 1);
    want.samples = 1024;
    want.callback = &Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(deviceName, 1, &want, &have, 0);
    if (m_device == 0) {
        if (error != nullptr) {
            *error = failText;
        }
        return false;
    }
    if (deviceName != nullptr) {
        *name = deviceName;
    } else {
        const char* first = SDL_GetNumAudioDevices(1) > 0 ? SDL_GetAudioDeviceName(0, 1) : nullptr;
        *name = first != nullptr ? first : "Default capture device";
    }
    return true;
}

void KVLSoundSourceSDLCapture::CloseDevice() {
    if (m_device != 0) {
        // Closing waits for the device thread, so Store is not running afterwards.
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    if (m_subsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_subsystem = false;
    }
}

void KVLSoundSourceSDLCapture::Describe(const KVLString& name, KVLString* error) const {
    if (error != nullptr) {
        error->Format("%s - %0.1f kHz %d bits %s", name.c_str(), m_rate * 0.001, m_bits,
                      m_stereo ? "stereo" : "mono");
    }
}

bool KVLSoundSourceSDLCapture::Start() {
    if (m_device == 0) {
        return false;
    }
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

bool KVLSoundSourceSDLCapture::Stop() {
    if (m_device == 0) {
        return false;
    }
    SDL_PauseAudioDevice(m_device, 1);
    return true;
}

bool KVLSoundSourceSDLCapture::DeviceAlive() {
    return m_device != 0 && SDL_GetAudioDeviceStatus(m_device) != SDL_AUDIO_STOPPED;
}

template <class Ready>
bool KVLSoundSourceSDLCapture::WaitFor(std::unique_lock<std::mutex>& lock, Ready ready) {
    while (!ready()) {
        if (!DeviceAlive()) {
            return false;
        }
        m_filled.wait_for(lock, std::chrono::milliseconds(20));
    }
    return true;
}

void KVLSoundSourceSDLCapture::Callback(void* context, uint8_t* stream, int length) {
    auto* self = static_cast<KVLSoundSourceSDLCapture*>(context);
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->Store(stream, length);
    }
    self->m_filled.notify_all();
}

KVLSoundSourceSDLRingCapture::KVLSoundSourceSDLRingCapture(int32_t deviceIndex, int32_t rate,
                                                         int32_t bits, bool stereo,
                                                         int32_t blockFrames)
    : KVLSoundSourceSDLCapture(deviceIndex, rate, bits, stereo, blockFrames) {}

KVLSoundSourceSDLRingCapture::~KVLSoundSourceSDLRingCapture() {
    CloseDevice();
    KVLSoundSourceSDLRingCapture* self = this;
    g_openCapture.compare_exchange_strong(self, nullptr);
}

bool KVLSoundSourceSDLCapture::CheckDevice(KVLString* error) {
    if (m_deviceIndex >= -1 && !m_subsystem && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        m_subsystem = true;
    }
    const int count = m_subsystem ? SDL_GetNumAudioDevices(1) : 0;
    if (m_deviceIndex < -1 || count <= 0 || m_deviceIndex >= count) {
        if (error != nullptr) {
            *error = kInvalidDevice;
        }
        return false;
    }
    return true;
}

bool KVLSoundSourceSDLRingCapture::Open(KVLString* error) {
    if (error != nullptr) {
        *error = "Unable to initialise capture object";
    }
    if (g_openCapture.load() != nullptr) {
        if (error != nullptr) {
            *error = "Too many Direct Sound capture opened";
        }
        return false;
    }
    if (!CheckDevice(error)) {
        return false;
    }
    if (!FormatSupported(m_rate, m_bits)) {
        if (error != nullptr) {
            *error = "Unsupported audio format";
        }
        return false;
    }
    const int32_t blockBytes = m_blockFrames * m_blockAlign;
    m_block.assign(static_cast<size_t>(blockBytes), 0);
    m_ring.assign(static_cast<size_t>(blockBytes) * kRingBlocks, 0);
    KVLString name;
    if (!OpenDevice(&name, error, "Unable to initialise capture object")) {
        return false;
    }
    KVLSoundSourceSDLRingCapture* expected = nullptr;
    if (!g_openCapture.compare_exchange_strong(expected, this)) {
        CloseDevice();
        if (error != nullptr) {
            *error = "Too many Direct Sound capture opened";
        }
        return false;
    }
    Describe(name, error);
    return true;
}

void KVLSoundSourceSDLRingCapture::Store(const uint8_t* data, int32_t bytes) {
    const auto ring = static_cast<int64_t>(m_ring.size());
    for (int32_t done = 0; done < bytes;) {
        const int64_t at = m_written % ring;
        const int32_t piece = static_cast<int32_t>(std::min<int64_t>(bytes - done, ring - at));
        std::memcpy(m_ring.data() + at, data + done, static_cast<size_t>(piece));
        done += piece;
        m_written += piece;
    }
}

const void* KVLSoundSourceSDLRingCapture::NextBlock() {
    if (m_device == 0) {
        return nullptr;
    }
    const auto b = static_cast<int64_t>(m_block.size());
    const auto ring = static_cast<int64_t>(m_ring.size());
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!WaitFor(lock, [&] { return m_written - m_read >= b; })) {
        return nullptr;
    }
    // A reader that fell a whole ring behind has lost what the device overwrote, as
    // with a looping capture buffer; it goes on with the oldest block still there.
    if (m_written - m_read > ring) {
        m_read = m_written - ring;
    }
    for (int64_t done = 0; done < b;) {
        const int64_t at = m_read % ring;
        const int64_t piece = std::min(b - done, ring - at);
        std::memcpy(m_block.data() + done, m_ring.data() + at, static_cast<size_t>(piece));
        done += piece;
        m_read += piece;
    }
    m_readOffset = static_cast<int32_t>(m_read % ring);
    m_position += m_blockFrames;
    return m_block.data();
}

KVLSoundSourceSDLSlotCapture::KVLSoundSourceSDLSlotCapture(int32_t deviceIndex, int32_t rate, int32_t bits,
                                           bool stereo, int32_t blockFrames)
    : KVLSoundSourceSDLCapture(deviceIndex, rate, bits, stereo, blockFrames),
      m_blockBytes(m_blockFrames * m_blockAlign) {}

KVLSoundSourceSDLSlotCapture::~KVLSoundSourceSDLSlotCapture() { CloseDevice(); }

void KVLSoundSourceSDLSlotCapture::QueueInitialSlots() {
    m_queue.assign({0, 1, 2});
    m_fill = 0;
    std::fill(std::begin(m_done), std::end(m_done), false);
    m_current = 0;
}

bool KVLSoundSourceSDLSlotCapture::Open(KVLString* error) {
    if (error != nullptr) {
        *error = "Unable to open audio device";
    }
    if (!CheckDevice(error)) {
        return false;
    }
    if (!FormatSupported(m_rate, m_bits)) {
        return false;
    }
    m_data.assign(static_cast<size_t>(m_blockBytes) * kSlots, 0);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QueueInitialSlots();
    }
    KVLString name;
    if (!OpenDevice(&name, error, "Unable to open audio device")) {
        return false;
    }
    Describe(name, error);
    return true;
}

void KVLSoundSourceSDLSlotCapture::Store(const uint8_t* data, int32_t bytes) {
    // Recorded data with no slot queued is dropped, as a recorder without buffers does.
    for (int32_t done = 0; done < bytes && !m_queue.empty();) {
        const int32_t slot = m_queue.front();
        const int32_t piece = std::min(bytes - done, m_blockBytes - m_fill);
        std::memcpy(m_data.data() + static_cast<size_t>(slot) * m_blockBytes + m_fill, data + done,
                    static_cast<size_t>(piece));
        done += piece;
        m_fill += piece;
        if (m_fill == m_blockBytes) {
            m_done[slot] = true;
            m_queue.pop_front();
            m_fill = 0;
        }
    }
}

bool KVLSoundSourceSDLSlotCapture::Stop() {
    if (!KVLSoundSourceSDLCapture::Stop()) {
        return false;
    }
    // The recorder is reset: every slot comes back and recording starts again at slot 0.
    std::lock_guard<std::mutex> lock(m_mutex);
    QueueInitialSlots();
    return true;
}

const void* KVLSoundSourceSDLSlotCapture::NextBlock() {
    if (m_device == 0) {
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    const int32_t slot = m_current;
    if (!WaitFor(lock, [&] { return m_done[slot]; })) {
        return nullptr;
    }
    m_done[slot] = false;
    // The slot handed out by the previous call goes back to the device.
    const int32_t previous = (slot + kSlots - 1) % kSlots;
    m_queue.push_back(previous);
    m_current = (slot + 1) % kSlots;
    m_position += m_blockFrames;
    return m_data.data() + static_cast<size_t>(slot) * m_blockBytes;
}
