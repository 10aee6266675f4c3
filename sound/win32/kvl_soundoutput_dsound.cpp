// KVLSoundOutputDSound: device enumeration and creation, the ring in the secondary
// buffer, the fill check and the play position.
#include "sound/win32/kvl_soundoutput_dsound.h"
#include "sound/kvl_sounddevice.h"

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/kvl_array.h"

namespace {

// The streaming buffer: frequency, pan and volume controls, heard when the program is
// not in front, and the exact play cursor of newer drivers.
constexpr DWORD kSecondaryFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                                  DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
static_assert(kSecondaryFlags == 0x180E0);
static_assert(sizeof(DSBUFFERDESC1) == 20 || sizeof(void*) != 4);
constexpr HRESULT kBufferLost = static_cast<HRESULT>(0x88780096);
static_assert(kBufferLost == DSERR_BUFFERLOST);
// DirectSound's largest buffer.
constexpr int64_t kMaxBufferBytes = 0x0FFFFFFF;

struct DeviceList {
    bool enumerated = false;
    KVLString defaultName;
    std::vector<KVLString> names;
    KVLArray<GUID> guids;
};

// Guards everything below. The DirectSound object belongs to the open output.
std::mutex g_processMutex;
DeviceList g_devices;
IDirectSound* g_directSound = nullptr;
KVLSoundOutputDSound* g_openOutput = nullptr;

BOOL CALLBACK EnumerateDevice(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
    auto* list = static_cast<DeviceList*>(context);
    const char* text = description != nullptr ? description : "";
    if (guid == nullptr) {
        list->defaultName = text;
    } else {
        list->names.emplace_back(text);
        list->guids.Add(*guid);
    }
    return TRUE;
}

template <class T>
void ReleaseInterface(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

void FormatFailure(KVLString* error, int32_t rate, int32_t bits, bool stereo) {
    if (error != nullptr) {
        error->Format("Output device does not support %d kHz - %d bits - %s", rate / 1000, bits,
                      stereo ? "Stereo" : "Mono");
    }
}

}  // namespace

std::unique_ptr<KVLSoundOutput> KVLCreateSoundOutput(int32_t deviceIndex) {
    return std::make_unique<KVLSoundOutputDSound>(deviceIndex);
}

KVLSoundOutputDSound::KVLSoundOutputDSound(int32_t deviceIndex) : m_deviceIndex(deviceIndex) {}

KVLSoundOutputDSound::~KVLSoundOutputDSound() {
    std::lock_guard<std::mutex> process(g_processMutex);
    if (g_openOutput == this) {
        ReleaseInterface(m_secondary);
        ReleaseInterface(m_primary);
        ReleaseInterface(g_directSound);
        g_openOutput = nullptr;
    }
}

bool KVLSoundOutputDSound::Open(int32_t rate, int32_t bits, bool stereo, int32_t chunkFrames,
                                KVLString* error) {
    if (error != nullptr) {
        *error = KVLSoundFailureText(KVLSoundFailure::kInit);
    }
    std::lock_guard<std::mutex> process(g_processMutex);
    if (!g_devices.enumerated) {
        g_devices.enumerated = true;
        DirectSoundEnumerateA(&EnumerateDevice, &g_devices);
    }
    if (g_devices.guids.GetCount() == 0) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(KVLSoundFailure::kNoDevice);
        }
        return false;
    }
    if (g_openOutput != nullptr) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(KVLSoundFailure::kTooMany);
        }
        return false;
    }
    if (m_deviceIndex < -1 || m_deviceIndex >= g_devices.guids.GetCount()) {
        return false;
    }
    // Formats no buffer can hold are refused before a device is made; the driver
    // judges the rest.
    if (rate <= 0 || (bits != 8 && bits != 16)) {
        FormatFailure(error, rate, bits, stereo);
        return false;
    }
    const int32_t align = (stereo ? 2 : 1) * (bits / 8);
    if (chunkFrames <= 0 ||
        static_cast<int64_t>(chunkFrames) * align * KVLSoundFillRule::kChunks > kMaxBufferBytes) {
        return false;
    }

    IDirectSound* device = nullptr;
    const GUID* guid = m_deviceIndex == -1 ? nullptr : &g_devices.guids[m_deviceIndex];
    if (FAILED(DirectSoundCreate(guid, &device, nullptr)) || device == nullptr) {
        return false;
    }
    HWND window = GetForegroundWindow();
    if (window == nullptr) {
        window = GetDesktopWindow();
    }
    IDirectSoundBuffer* primary = nullptr;
    IDirectSoundBuffer* secondary = nullptr;
    // Every failure below gives back what was made so far, so a later Open can succeed.
    auto fail = [&] {
        ReleaseInterface(secondary);
        ReleaseInterface(primary);
        ReleaseInterface(device);
        return false;
    };
    if (FAILED(device->SetCooperativeLevel(window, DSSCL_PRIORITY))) {
        return fail();
    }
    DSBUFFERDESC1 primaryDesc{};
    primaryDesc.dwSize = sizeof primaryDesc;
    primaryDesc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (FAILED(device->CreateSoundBuffer(reinterpret_cast<LPCDSBUFFERDESC>(&primaryDesc),
                                         &primary, nullptr))) {
        return fail();
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(stereo ? 2 : 1);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.nAvgBytesPerSec = static_cast<DWORD>(rate) * static_cast<DWORD>(align);
    format.nBlockAlign = static_cast<WORD>(align);
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.cbSize = 0;
    if (FAILED(primary->SetFormat(&format))) {
        FormatFailure(error, rate, bits, stereo);
        return fail();
    }
    const int32_t chunkBytes = align * chunkFrames;
    DSBUFFERDESC1 secondaryDesc{};
    secondaryDesc.dwSize = sizeof secondaryDesc;
    secondaryDesc.dwFlags = kSecondaryFlags;
    secondaryDesc.dwBufferBytes = static_cast<DWORD>(KVLSoundFillRule::kChunks * chunkBytes);
    secondaryDesc.lpwfxFormat = &format;
    if (FAILED(device->CreateSoundBuffer(reinterpret_cast<LPCDSBUFFERDESC>(&secondaryDesc),
                                         &secondary, nullptr))) {
        return fail();
    }

    g_directSound = device;
    g_openOutput = this;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_primary = primary;
        m_secondary = secondary;
        m_rate = rate;
        m_bits = bits;
        m_stereo = stereo;
        m_blockAlign = align;
        m_chunkBytes = chunkBytes;
        m_rule.Configure(chunkBytes, align);
        m_bufferBytes = m_rule.BufferBytes();
        m_opened = true;
        ResetLocked();
    }
    if (error != nullptr) {
        const KVLString& name =
            m_deviceIndex == -1 ? g_devices.defaultName
                                : g_devices.names[static_cast<size_t>(m_deviceIndex)];
        error->Format("%s - %0.1f kHz %d bits %s", name.c_str(), rate * 0.001, bits,
                      stereo ? "stereo" : "mono");
    }
    return true;
}

int32_t KVLSoundOutputDSound::GetSampleRate() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rate;
}

int32_t KVLSoundOutputDSound::GetBitsPerSample() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bits;
}

bool KVLSoundOutputDSound::IsStereo() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stereo;
}

int32_t KVLSoundOutputDSound::GetFillState() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rule.State();
}

int32_t KVLSoundOutputDSound::GetFramesWritten() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rule.FramesWritten();
}

int32_t KVLSoundOutputDSound::GetQueuedFrames() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened) {
        return 0;
    }
    const int32_t cursor = Cursor();
    return cursor < 0 ? 0 : QueuedBytes(cursor) / m_blockAlign;
}

void KVLSoundOutputDSound::SetNoticeFile(std::FILE* file) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rule.SetNoticeFile(file);
}

int32_t KVLSoundOutputDSound::Cursor() {
    DWORD play = 0;
    DWORD write = 0;
    if (FAILED(m_secondary->GetCurrentPosition(&play, &write)) ||
        play >= static_cast<DWORD>(m_bufferBytes)) {
        return -1;
    }
    return static_cast<int32_t>(play);
}

bool KVLSoundOutputDSound::LockRegion(int32_t offset, int32_t bytes, void** first,
                                      unsigned long* firstBytes, void** second,
                                      unsigned long* secondBytes) {
    DWORD size1 = 0;
    DWORD size2 = 0;
    HRESULT result = m_secondary->Lock(static_cast<DWORD>(offset), static_cast<DWORD>(bytes),
                                       first, &size1, second, &size2, 0);
    if (result == kBufferLost) {
        if (FAILED(m_secondary->Restore())) {
            return false;
        }
        result = m_secondary->Lock(static_cast<DWORD>(offset), static_cast<DWORD>(bytes), first,
                                   &size1, second, &size2, 0);
    }
    if (FAILED(result)) {
        return false;
    }
    *firstBytes = size1;
    *secondBytes = *second != nullptr ? size2 : 0;
    return true;
}

void KVLSoundOutputDSound::ClearPlayed(int32_t cursor) {
    if (cursor < 0 || cursor == m_clearedTo) {
        return;
    }
    // Everything from the last cursor seen up to this one has been played: the writer
    // only ever writes ahead of the cursor, so nothing waiting to be heard lies there.
    int32_t bytes = cursor - m_clearedTo;
    if (bytes < 0) {
        bytes += m_bufferBytes;
    }
    void* p1 = nullptr;
    void* p2 = nullptr;
    unsigned long s1 = 0;
    unsigned long s2 = 0;
    if (LockRegion(m_clearedTo, bytes, &p1, &s1, &p2, &s2)) {
        std::memset(p1, SilenceByte(), s1);
        if (p2 != nullptr) {
            std::memset(p2, SilenceByte(), s2);
        }
        m_secondary->Unlock(p1, static_cast<DWORD>(s1), p2, static_cast<DWORD>(s2));
    }
    m_clearedTo = cursor;
}

int32_t KVLSoundOutputDSound::QueuedBytes(int32_t cursor) const {
    if (m_writeOffset >= cursor) {
        return m_writeOffset - cursor;
    }
    return m_bufferBytes - cursor + m_writeOffset;
}

void KVLSoundOutputDSound::PlayLocked() {
    if (m_rule.IsPaused()) {
        m_heldPlaying = true;
        return;
    }
    if (SUCCEEDED(m_secondary->Play(0, 0, DSBPLAY_LOOPING))) {
        m_playing = true;
    }
}

void KVLSoundOutputDSound::StopLocked() {
    m_secondary->Stop();
    m_playing = false;
}

bool KVLSoundOutputDSound::RingWrite(const uint8_t* data, int32_t bytes) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    unsigned long s1 = 0;
    unsigned long s2 = 0;
    if (!LockRegion(m_writeOffset, bytes, &p1, &s1, &p2, &s2)) {
        return false;
    }
    if (data != nullptr) {
        std::memcpy(p1, data, s1);
    } else {
        std::memset(p1, SilenceByte(), s1);
    }
    m_writeOffset += static_cast<int32_t>(s1);
    if (m_writeOffset >= m_bufferBytes) {
        m_writeOffset = 0;
    }
    if (p2 != nullptr && s2 > 0) {
        if (data != nullptr) {
            std::memcpy(p2, data + s1, s2);
        } else {
            std::memset(p2, SilenceByte(), s2);
        }
        m_writeOffset = static_cast<int32_t>(s2);
    }
    return SUCCEEDED(m_secondary->Unlock(p1, static_cast<DWORD>(s1), p2, static_cast<DWORD>(s2)));
}

bool KVLSoundOutputDSound::Write(const void* data, int32_t frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened || data == nullptr || frames <= 0 ||
        static_cast<int64_t>(frames) * m_blockAlign > m_chunkBytes) {
        return false;
    }
    if (m_paused) {
        if (m_resumePlays) {
            PlayLocked();
        }
        m_resumePlays = false;
        m_paused = false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    const int32_t count = frames * m_blockAlign;
    if (!m_started) {
        if (!RingWrite(bytes, count)) {
            return false;
        }
        PlayLocked();
        m_started = true;
        m_rule.MusicWritten(frames);
        return true;
    }
    const int32_t cursor = Cursor();
    if (cursor < 0) {
        return false;
    }
    ClearPlayed(cursor);
    switch (m_rule.Check(QueuedBytes(cursor))) {
    case KVLSoundFillRule::Action::kStart:
        PlayLocked();
        break;
    case KVLSoundFillRule::Action::kWriteSilence:
        if (RingWrite(nullptr, m_rule.SilenceBytes())) {
            m_rule.SilenceWritten();
        }
        break;
    case KVLSoundFillRule::Action::kStop:
        StopLocked();
        break;
    case KVLSoundFillRule::Action::kNone:
        break;
    }
    if (!m_rule.MayWrite()) {
        return false;
    }
    if (!RingWrite(bytes, count)) {
        return false;
    }
    m_rule.MusicWritten(frames);
    return true;
}

int32_t KVLSoundOutputDSound::GetPlayPosition() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened) {
        return 0;
    }
    const int32_t cursor = Cursor();
    if (cursor < 0) {
        return m_rule.LastFramesHeard();
    }
    ClearPlayed(cursor);
    // The cursor is taken to lie within the last trip round the ring before the write
    // position; a cursor that comes out behind the last position seen has run past the
    // written data and come round again, so everything written has been heard.
    const int64_t total = m_rule.BytesWritten();
    int64_t play = cursor;
    while (play < total - m_bufferBytes) {
        play += m_bufferBytes;
    }
    if (play < m_lastPosition || play > total) {
        play = total;
    }
    m_lastPosition = play;
    return m_rule.FramesHeard(play);
}

bool KVLSoundOutputDSound::ReadPlaying(int32_t position, uint32_t* destination, int32_t frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened || m_blockAlign != 4 || destination == nullptr || frames < 0) {
        return false;
    }
    std::fill(destination, destination + frames, 0u);
    const int64_t from = std::max<int64_t>(position, m_rule.FirstFrameHeld());
    const int64_t to = std::min<int64_t>(static_cast<int64_t>(position) + frames, m_rule.FramesWritten());
    if (from >= to) {
        return true;
    }
    const int64_t start = m_rule.ByteOfFrame(from) % m_bufferBytes;
    void* p1 = nullptr;
    void* p2 = nullptr;
    unsigned long s1 = 0;
    unsigned long s2 = 0;
    if (!LockRegion(static_cast<int32_t>(start), static_cast<int32_t>((to - from) * 4), &p1, &s1,
                    &p2, &s2)) {
        return true;
    }
    auto* out = reinterpret_cast<uint8_t*>(destination + (from - position));
    std::memcpy(out, p1, s1);
    if (p2 != nullptr) {
        std::memcpy(out + s1, p2, s2);
    }
    m_secondary->Unlock(p1, static_cast<DWORD>(s1), p2, static_cast<DWORD>(s2));
    return true;
}

void KVLSoundOutputDSound::ResetLocked() {
    StopLocked();
    m_secondary->SetCurrentPosition(0);
    void* p1 = nullptr;
    void* p2 = nullptr;
    unsigned long s1 = 0;
    unsigned long s2 = 0;
    if (LockRegion(0, m_bufferBytes, &p1, &s1, &p2, &s2)) {
        std::memset(p1, SilenceByte(), s1);
        if (p2 != nullptr) {
            std::memset(p2, SilenceByte(), s2);
        }
        m_secondary->Unlock(p1, static_cast<DWORD>(s1), p2, static_cast<DWORD>(s2));
    }
    m_started = false;
    m_paused = false;
    m_resumePlays = false;
    m_heldPlaying = false;
    m_writeOffset = 0;
    m_lastPosition = 0;
    m_rule.Reset();
    m_clearedTo = 0;
}

void KVLSoundOutputDSound::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_opened) {
        ResetLocked();
    }
}

void KVLSoundOutputDSound::Pause() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_opened) {
        m_resumePlays = m_resumePlays || m_playing;
        StopLocked();
        m_paused = true;
    }
}

void KVLSoundOutputDSound::Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_opened && m_paused) {
        if (m_resumePlays) {
            PlayLocked();
        }
        m_resumePlays = false;
        m_paused = false;
    }
}

void KVLSoundOutputDSound::SetPaused(bool paused) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_rule.IsPaused() == paused) {
        return;
    }
    if (paused) {
        const bool wasPlaying = m_opened && m_playing;
        if (wasPlaying) {
            StopLocked();
        }
        m_rule.SetPaused(true);
        m_heldPlaying = wasPlaying;
        return;
    }
    m_rule.SetPaused(false);
    if (m_opened && m_heldPlaying) {
        PlayLocked();
    }
    m_heldPlaying = false;
}

bool KVLSoundOutputDSound::IsPaused() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rule.IsPaused();
}
