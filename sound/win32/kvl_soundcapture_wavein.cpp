// KVLSoundSourceWaveIn: the device list, opening, the slot rotation; and the factory
// through which the capture streamer makes the Windows recording sources.
#include "sound/win32/kvl_soundcapture_wavein.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "sound/win32/kvl_soundcapture_dsound.h"
#include "sound/kvl_soundstreamer.h"

namespace {

const char* const kTextInvalid = "Invalid sound capture device";
const char* const kTextOpen = "Unable to open audio device";

struct WaveInList {
    bool counted = false;
    KVLString defaultName;
    std::vector<KVLString> names;
};

std::mutex g_listMutex;
WaveInList g_list;

// The capture streamer finds these sources through its factory hook.
const KVLSoundCaptureRegistration<KVLSoundSourceDSoundCapture, KVLSoundSourceWaveIn> g_registration;

// The device sets the done flag from its own thread.
DWORD LoadFlags(WAVEHDR& header) {
    return std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire);
}

}  // namespace

KVLSoundSourceWaveIn::KVLSoundSourceWaveIn(int32_t deviceIndex, int32_t rate, int32_t bits,
                                           bool stereo, int32_t blockFrames)
    : m_deviceIndex(deviceIndex),
      m_rate(rate),
      m_bits(bits),
      m_stereo(stereo),
      m_blockFrames(blockFrames < 1 ? 1 : blockFrames),
      m_blockAlign((stereo ? 2 : 1) * (bits == 8 ? 1 : 2)),
      m_blockBytes(m_blockFrames * m_blockAlign) {}

KVLSoundSourceWaveIn::~KVLSoundSourceWaveIn() {
    if (m_device != nullptr) {
        waveInReset(m_device);
        waveInStop(m_device);
        UnprepareAll();
        waveInClose(m_device);
    }
}

bool KVLSoundSourceWaveIn::Open(KVLString* error) {
    if (error != nullptr) {
        *error = kTextOpen;
    }
    if (m_deviceIndex < -1) {
        if (error != nullptr) {
            *error = kTextInvalid;
        }
        return false;
    }
    if (m_device != nullptr) {
        return false;
    }
    KVLString name;
    {
        std::lock_guard<std::mutex> lock(g_listMutex);
        if (!g_list.counted) {
            g_list.counted = true;
            const UINT count = waveInGetNumDevs();
            if (count != 0) {
                WAVEINCAPSA caps{};
                if (waveInGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps) == MMSYSERR_NOERROR) {
                    g_list.defaultName = caps.szPname;
                }
                for (UINT i = 0; i < count; ++i) {
                    WAVEINCAPSA device{};
                    const bool ok = waveInGetDevCapsA(i, &device, sizeof device) == MMSYSERR_NOERROR;
                    g_list.names.emplace_back(ok ? device.szPname : "");
                }
            }
        }
        const auto count = static_cast<int32_t>(g_list.names.size());
        if (count == 0 || m_deviceIndex >= count) {
            if (error != nullptr) {
                *error = kTextInvalid;
            }
            return false;
        }
        name = m_deviceIndex == -1 ? g_list.defaultName
                                   : g_list.names[static_cast<size_t>(m_deviceIndex)];
    }
    if (m_rate <= 0 || (m_bits != 8 && m_bits != 16)) {
        return false;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(m_stereo ? 2 : 1);
    format.nSamplesPerSec = static_cast<DWORD>(m_rate);
    format.nAvgBytesPerSec = static_cast<DWORD>(m_blockAlign) * static_cast<DWORD>(m_rate);
    format.nBlockAlign = static_cast<WORD>(m_blockAlign);
    format.wBitsPerSample = static_cast<WORD>(m_bits);
    HWAVEIN device = nullptr;
    const UINT id = m_deviceIndex == -1 ? WAVE_MAPPER : static_cast<UINT>(m_deviceIndex);
    const MMRESULT result = waveInOpen(&device, id, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        if (result == MMSYSERR_ALLOCATED && error != nullptr) {
            *error = "Audio recorder is already in use";
        }
        return false;
    }
    m_device = device;
    m_data.assign(static_cast<size_t>(m_blockBytes) * kSlots, 0);
    m_headers = std::make_unique<WAVEHDR[]>(kSlots);
    for (int32_t slot = 0; slot < kQueued; ++slot) {
        if (!QueueSlot(slot)) {
            waveInReset(m_device);
            UnprepareAll();
            waveInClose(m_device);
            m_device = nullptr;
            return false;
        }
    }
    m_current = 0;
    if (error != nullptr) {
        error->Format("%s - %0.1f kHz %d bits %s", name.c_str(), m_rate * 0.001, m_bits,
                      m_stereo ? "stereo" : "mono");
    }
    return true;
}

bool KVLSoundSourceWaveIn::QueueSlot(int32_t slot) {
    WAVEHDR& header = m_headers[slot];
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(m_data.data() + static_cast<size_t>(slot) * m_blockBytes);
    header.dwBufferLength = static_cast<DWORD>(m_blockBytes);
    if (waveInPrepareHeader(m_device, &header, sizeof header) != MMSYSERR_NOERROR) {
        return false;
    }
    return waveInAddBuffer(m_device, &header, sizeof header) == MMSYSERR_NOERROR;
}

void KVLSoundSourceWaveIn::UnprepareAll() {
    for (int32_t slot = 0; slot < kSlots; ++slot) {
        WAVEHDR& header = m_headers[slot];
        if ((LoadFlags(header) & WHDR_PREPARED) != 0) {
            waveInUnprepareHeader(m_device, &header, sizeof header);
        }
    }
}

bool KVLSoundSourceWaveIn::Start() {
    const bool ok = m_device != nullptr && waveInStart(m_device) == MMSYSERR_NOERROR;
    if (ok) {
        m_recording = true;
    }
    return ok;
}

bool KVLSoundSourceWaveIn::Stop() {
    if (m_device == nullptr) {
        return false;
    }
    m_recording = false;
    if (waveInStop(m_device) != MMSYSERR_NOERROR || waveInReset(m_device) != MMSYSERR_NOERROR) {
        return false;
    }
    // The reset handed every queued slot back, partly filled: queue three empty ones
    // again so that the next Start records into slot 0 first.
    UnprepareAll();
    m_current = 0;
    for (int32_t slot = 0; slot < kQueued; ++slot) {
        if (!QueueSlot(slot)) {
            return false;
        }
    }
    return true;
}

const void* KVLSoundSourceWaveIn::NextBlock() {
    if (m_device == nullptr) {
        return nullptr;
    }
    const int32_t slot = m_current;
    WAVEHDR& header = m_headers[slot];
    const auto begin = std::chrono::steady_clock::now();
    while ((LoadFlags(header) & WHDR_DONE) == 0) {
        if (!m_recording.load() ||
            std::chrono::steady_clock::now() - begin > std::chrono::milliseconds(kStallMs)) {
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (header.dwBytesRecorded < static_cast<DWORD>(m_blockBytes)) {
        return nullptr;
    }
    waveInUnprepareHeader(m_device, &header, sizeof header);
    // The slot handed out by the previous call goes back to the device.
    const int32_t previous = (slot + kSlots - 1) % kSlots;
    QueueSlot(previous);
    m_current = (slot + 1) % kSlots;
    m_position.fetch_add(m_blockFrames);
    return m_data.data() + static_cast<size_t>(slot) * m_blockBytes;
}
