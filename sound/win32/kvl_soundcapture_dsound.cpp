// KVLSoundSourceDSoundCapture: capture device enumeration with capabilities, the format
// check, the looping capture buffer and block reads.
#include "sound/win32/kvl_soundcapture_dsound.h"

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/kvl_array.h"

namespace {

const char* const kTextInvalid = "Invalid sound capture device";
const char* const kTextInit = "Unable to initialise capture object";

// A device's capabilities as read: size, flags, formats, channels; size -1 when they
// could not be read.
struct CapsRecord {
    int32_t size;
    int32_t flags;
    int32_t formats;
    int32_t channels;
};

struct CaptureCache {
    KVLString defaultName;
    CapsRecord defaultCaps{-1, 0, 0, 0};
    std::vector<KVLString> names;
    KVLArray<GUID> guids;
    KVLArray<CapsRecord> caps;
};

// Guards the cache and the open capture.
std::mutex g_captureMutex;
CaptureCache g_cache;
KVLSoundSourceDSoundCapture* g_openCapture = nullptr;

CapsRecord ReadCaps(IDirectSoundCapture* capture) {
    DSCCAPS caps{};
    caps.dwSize = sizeof caps;
    if (FAILED(capture->GetCaps(&caps))) {
        return {-1, 0, 0, 0};
    }
    return {static_cast<int32_t>(caps.dwSize), static_cast<int32_t>(caps.dwFlags),
            static_cast<int32_t>(caps.dwFormats), static_cast<int32_t>(caps.dwChannels)};
}

CapsRecord ReadCapsOf(const GUID* guid) {
    IDirectSoundCapture* capture = nullptr;
    if (FAILED(DirectSoundCaptureCreate(guid, &capture, nullptr)) || capture == nullptr) {
        return {-1, 0, 0, 0};
    }
    const CapsRecord record = ReadCaps(capture);
    capture->Release();
    return record;
}

BOOL CALLBACK EnumerateCapture(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
    auto* cache = static_cast<CaptureCache*>(context);
    const char* text = description != nullptr ? description : "";
    if (guid == nullptr) {
        cache->defaultName = text;
        cache->defaultCaps = ReadCapsOf(nullptr);
    } else {
        cache->names.emplace_back(text);
        cache->guids.Add(*guid);
        cache->caps.Add(ReadCapsOf(guid));
    }
    return TRUE;
}

// The WAVE_FORMAT_1M08 ... WAVE_FORMAT_4S16 flag for a format, 0 when there is none.
int32_t FormatFlag(int32_t rate, int32_t bits, bool stereo) {
    int32_t base = 0;
    switch (rate) {
    case 11025: base = 0x1; break;
    case 22050: base = 0x10; break;
    case 44100: base = 0x100; break;
    default: return 0;
    }
    if (bits != 8 && bits != 16) {
        return 0;
    }
    return base << ((bits == 16 ? 2 : 0) + (stereo ? 1 : 0));
}

}  // namespace

KVLSoundSourceDSoundCapture::KVLSoundSourceDSoundCapture(int32_t deviceIndex, int32_t rate,
                                                         int32_t bits, bool stereo,
                                                         int32_t blockFrames)
    : m_deviceIndex(deviceIndex),
      m_rate(rate),
      m_bits(bits),
      m_stereo(stereo),
      m_blockFrames(blockFrames < 1 ? 1 : blockFrames),
      m_blockAlign((stereo ? 2 : 1) * (bits == 8 ? 1 : 2)) {}

KVLSoundSourceDSoundCapture::~KVLSoundSourceDSoundCapture() {
    if (m_buffer != nullptr) {
        m_buffer->Stop();
        m_buffer->Release();
    }
    if (m_capture != nullptr) {
        m_capture->Release();
    }
    std::lock_guard<std::mutex> lock(g_captureMutex);
    if (g_openCapture == this) {
        g_openCapture = nullptr;
    }
}

bool KVLSoundSourceDSoundCapture::Open(KVLString* error) {
    if (error != nullptr) {
        *error = kTextInit;
    }
    std::lock_guard<std::mutex> lock(g_captureMutex);
    if (g_openCapture != nullptr) {
        if (error != nullptr) {
            *error = "Too many Direct Sound capture opened";
        }
        return false;
    }
    if (m_capture != nullptr) {
        return false;
    }
    bool valid = false;
    if (m_deviceIndex >= -1) {
        if (g_cache.guids.GetCount() == 0) {
            DirectSoundCaptureEnumerateA(&EnumerateCapture, &g_cache);
        }
        valid = m_deviceIndex < g_cache.guids.GetCount() && g_cache.guids.GetCount() != 0;
    }
    if (!valid) {
        if (error != nullptr) {
            *error = kTextInvalid;
        }
        return false;
    }
    const GUID* guid = m_deviceIndex == -1 ? nullptr : &g_cache.guids[m_deviceIndex];
    if (FAILED(DirectSoundCaptureCreate(guid, &m_capture, nullptr)) || m_capture == nullptr) {
        m_capture = nullptr;
        return false;
    }
    CapsRecord& record = m_deviceIndex == -1 ? g_cache.defaultCaps : g_cache.caps[m_deviceIndex];
    if (record.size == -1) {
        record = ReadCaps(m_capture);
    }
    const int32_t flag = FormatFlag(m_rate, m_bits, m_stereo);
    if (record.size == -1 || flag == 0 || (record.formats & flag) == 0) {
        m_capture->Release();
        m_capture = nullptr;
        if (error != nullptr) {
            *error = "Unsupported audio format";
        }
        return false;
    }
    const int32_t blockBytes = m_blockFrames * m_blockAlign;
    m_block.assign(static_cast<size_t>(blockBytes), 0);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(m_stereo ? 2 : 1);
    format.nSamplesPerSec = static_cast<DWORD>(m_rate);
    format.nAvgBytesPerSec = static_cast<DWORD>(m_blockAlign) * static_cast<DWORD>(m_rate);
    format.nBlockAlign = static_cast<WORD>(m_blockAlign);
    format.wBitsPerSample = static_cast<WORD>(m_bits);
    DSCBUFFERDESC1 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = 0;
    desc.dwBufferBytes = static_cast<DWORD>(kRingBlocks * blockBytes);
    desc.lpwfxFormat = &format;
    if (FAILED(m_capture->CreateCaptureBuffer(reinterpret_cast<LPCDSCBUFFERDESC>(&desc),
                                              &m_buffer, nullptr)) ||
        m_buffer == nullptr) {
        m_buffer = nullptr;
        m_capture->Release();
        m_capture = nullptr;
        return false;
    }
    m_readOffset = 0;
    g_openCapture = this;
    if (error != nullptr) {
        const KVLString& name = m_deviceIndex == -1
                                    ? g_cache.defaultName
                                    : g_cache.names[static_cast<size_t>(m_deviceIndex)];
        error->Format("%s - %0.1f kHz %d bits %s", name.c_str(), m_rate * 0.001, m_bits,
                      m_stereo ? "stereo" : "mono");
    }
    return true;
}

bool KVLSoundSourceDSoundCapture::Start() {
    return m_buffer != nullptr && SUCCEEDED(m_buffer->Start(DSCBSTART_LOOPING));
}

bool KVLSoundSourceDSoundCapture::Stop() {
    return m_buffer != nullptr && SUCCEEDED(m_buffer->Stop());
}

const void* KVLSoundSourceDSoundCapture::NextBlock() {
    if (m_buffer == nullptr) {
        return nullptr;
    }
    const DWORD b = static_cast<DWORD>(m_block.size());
    const DWORD ring = kRingBlocks * b;
    const DWORD offset = static_cast<DWORD>(m_readOffset);
    DWORD lastCursor = ring;
    auto lastMove = std::chrono::steady_clock::now();
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD s1 = 0;
    DWORD s2 = 0;
    for (;;) {
        DWORD capture = 0;
        DWORD read = 0;
        if (FAILED(m_buffer->GetCurrentPosition(&capture, &read))) {
            return nullptr;
        }
        const DWORD available = read >= offset ? read - offset : ring - offset + read;
        if (available >= b && SUCCEEDED(m_buffer->Lock(offset, b, &p1, &s1, &p2, &s2, 0))) {
            break;
        }
        DWORD status = 0;
        if (FAILED(m_buffer->GetStatus(&status)) || (status & DSCBSTATUS_CAPTURING) == 0) {
            return nullptr;
        }
        const auto now = std::chrono::steady_clock::now();
        if (read != lastCursor) {
            lastCursor = read;
            lastMove = now;
        } else if (now - lastMove > std::chrono::milliseconds(kStallMs)) {
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::memcpy(m_block.data(), p1, s1);
    m_readOffset = static_cast<int32_t>((offset + s1) % ring);
    if (p2 != nullptr && s2 > 0) {
        std::memcpy(m_block.data() + s1, p2, s2);
        m_readOffset = static_cast<int32_t>(s2);
    }
    m_buffer->Unlock(p1, s1, p2, s2);
    m_position.fetch_add(m_blockFrames);
    return m_block.data();
}
