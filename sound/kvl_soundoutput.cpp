// KVLSoundFillRule (the fill states and the play position of every streaming output),
// KVLSoundOutputRing (the looping chunk ring in memory) and KVLSoundOutputWAV.
#include "sound/kvl_soundoutput.h"

#include <algorithm>
#include <cstring>

KVLString KVLSoundFailureText(KVLSoundFailure failure, const char* device) {
    KVLString text;
    switch (failure) {
    case KVLSoundFailure::kInit:
        text.Format("Unable to initialize %s device", device);
        break;
    case KVLSoundFailure::kNoDevice:
        text.Format("No %s device available on this system", device);
        break;
    case KVLSoundFailure::kTooMany:
        text.Format("Too many %s device opened", device);
        break;
    }
    return text;
}

namespace {

void PutU16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

template <typename... T>
void Pack(std::string* key, const T&... values) {
    (key->append(reinterpret_cast<const char*>(&values), sizeof values), ...);
}

}  // namespace

void KVLSoundFillRule::Configure(int32_t chunkBytes, int32_t blockAlign) {
    m_chunkBytes = chunkBytes;
    m_blockAlign = blockAlign > 0 ? blockAlign : 1;
    Reset();
}

void KVLSoundFillRule::SetPaused(bool paused) {
    m_paused = paused;
    m_pausedFull = false;
}

void KVLSoundFillRule::Reset() {
    m_state = kIdle;
    m_startPending = true;
    m_framesWritten = 0;
    m_writtenBytes = 0;
    m_silenceStart = 0;
    m_silenceEnd = 0;
    m_framesAtSilence = 0;
    m_shiftBefore = 0;
    m_shift = 0;
    m_lastFrames = 0;
    m_pausedFull = false;
}

KVLSoundFillRule::Action KVLSoundFillRule::Check(int32_t queued) {
    if (m_paused) {
        m_pausedFull = queued >= kFullChunks * m_chunkBytes;
        return Action::kNone;
    }
    Action action = Action::kNone;
    switch (m_state) {
    case kIdle:
        if (queued <= kStartChunks * m_chunkBytes) {
            break;
        }
        if (m_startPending) {
            action = Action::kStart;
            m_startPending = false;
        }
        // The full mark, not the ring's size: a ring filled while held starts at the
        // mark, and one more chunk would wrap the write offset onto the play cursor,
        // where the queue reads as empty and bridging silence overwrites the music.
        m_state = queued >= kFullChunks * m_chunkBytes ? kFull : kRoom;
        break;
    case kFull:
    case kRoom:
        if (queued < kLowChunks * m_chunkBytes) {
            // The cursor is about to pass the written data: silence goes in first.
            action = Action::kWriteSilence;
            m_state = kUnderrun;
        } else {
            m_state = queued < kFullChunks * m_chunkBytes ? kRoom : kFull;
        }
        break;
    case kUnderrun:
        if (queued < SilenceBytes()) {
            std::fputs("stop\n", m_notice);
            std::fflush(m_notice);
            action = Action::kStop;
            // Started again by the idle state once the writer has caught up.
            m_startPending = true;
            m_state = kIdle;
        } else if (queued >= kFullChunks * m_chunkBytes) {
            // The writer has caught up and filled the ring: without this, nothing would
            // refuse its writes and the write offset would run over the music queued.
            m_state = kFull;
        }
        break;
    }
    return action;
}

void KVLSoundFillRule::MusicWritten(int32_t frames) {
    m_framesWritten += frames;
    m_writtenBytes += static_cast<int64_t>(frames) * m_blockAlign;
}

void KVLSoundFillRule::SilenceWritten() {
    // The music frames after this silence lie that much further on in the byte sequence.
    m_silenceStart = m_writtenBytes;
    m_writtenBytes += SilenceBytes();
    m_silenceEnd = m_writtenBytes;
    m_framesAtSilence = m_framesWritten;
    m_shiftBefore = m_shift;
    m_shift += SilenceBytes();
}

int64_t KVLSoundFillRule::MusicFramesAt(int64_t played) const {
    int64_t frames = 0;
    if (played >= m_silenceEnd) {
        frames = (played - m_shift) / m_blockAlign;
    } else if (played >= m_silenceStart) {
        frames = m_framesAtSilence;
    } else {
        frames = (played - m_shiftBefore) / m_blockAlign;
    }
    return std::clamp<int64_t>(frames, 0, m_framesWritten);
}

int32_t KVLSoundFillRule::FramesHeard(int64_t played) {
    m_lastFrames = static_cast<int32_t>(std::max<int64_t>(MusicFramesAt(played), m_lastFrames));
    return m_lastFrames;
}

int64_t KVLSoundFillRule::FirstFrameHeld() const {
    const int64_t ringStart = m_writtenBytes - BufferBytes() - m_shift;
    return std::max<int64_t>(m_framesAtSilence, ringStart > 0 ? (ringStart + m_blockAlign - 1) / m_blockAlign : 0);
}

std::string KVLSoundFillRule::StateKey() const {
    std::string key;
    key.reserve(128);
    Pack(&key, m_chunkBytes, m_blockAlign, m_state, m_startPending, m_framesWritten, m_writtenBytes,
         m_silenceStart, m_silenceEnd, m_framesAtSilence, m_shiftBefore, m_shift, m_lastFrames,
         m_paused, m_pausedFull);
    return key;
}

bool KVLSoundOutputRing::Open(int32_t rate, int32_t bits, bool stereo, int32_t chunkFrames,
                              KVLString* error) {
    if (error != nullptr) {
        *error = KVLSoundFailureText(KVLSoundFailure::kInit);
    }
    // A source that failed to open reports rate 0; a device asked for it would choose a
    // rate of its own and play the data at the wrong speed, so the format is refused.
    if (rate <= 0 || (bits != 8 && bits != 16)) {
        if (error != nullptr) {
            error->Format("Output device does not support %d kHz - %d bits - %s",
                                       rate / 1000, bits, stereo ? "Stereo" : "Mono");
        }
        return false;
    }
    const int32_t align = (stereo ? 2 : 1) * (bits / 8);
    if (chunkFrames <= 0 || chunkFrames > (1 << 30) / KVLSoundFillRule::kChunks / align) {
        return false;
    }
    if (IsOpen()) {
        CloseDevice();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_opened = false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rate = rate;
        m_bits = bits;
        m_stereo = stereo;
        m_blockAlign = align;
        m_chunkBytes = align * chunkFrames;
        m_rule.Configure(m_chunkBytes, align);
        m_bufferBytes = m_rule.BufferBytes();
        m_ring.assign(static_cast<size_t>(m_bufferBytes), bits == 8 ? 0x80 : 0);
        m_playing = false;
    }
    KVLString description;
    if (!OpenDevice(rate, bits, stereo, &description, error)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_opened = true;
    ResetLocked();
    if (error != nullptr) {
        error->Format("%s - %0.1f kHz %d bits %s", description.c_str(), rate * 0.001,
                                   bits, stereo ? "stereo" : "mono");
    }
    return true;
}

int32_t KVLSoundOutputRing::GetSampleRate() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rate;
}
int32_t KVLSoundOutputRing::GetBitsPerSample() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bits;
}
bool KVLSoundOutputRing::IsStereo() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stereo;
}
bool KVLSoundOutputRing::IsOpen() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_opened;
}
bool KVLSoundOutputRing::IsPlaying() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playing;
}
int32_t KVLSoundOutputRing::GetFillState() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rule.State();
}
int32_t KVLSoundOutputRing::GetFramesWritten() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rule.FramesWritten();
}
void KVLSoundOutputRing::SetNotice(std::FILE* file) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rule.SetNoticeFile(file);
}

std::string KVLSoundOutputRing::StateKey() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string key = m_rule.StateKey();
    key.reserve(key.size() + 64 + m_ring.size());
    Pack(&key, m_opened, m_paused, m_started, m_playing, m_writeOffset, m_playCursor, m_playedBytes,
         m_deviceQueued, m_clearedBytes);
    key.append(reinterpret_cast<const char*>(m_ring.data()), m_ring.size());
    return key;
}

void KVLSoundOutputRing::CopyStateFrom(KVLSoundOutputRing& other) {
    std::scoped_lock lock(m_mutex, other.m_mutex);
    m_rule = other.m_rule;
    m_opened = other.m_opened;
    m_paused = other.m_paused;
    m_rate = other.m_rate;
    m_bits = other.m_bits;
    m_stereo = other.m_stereo;
    m_started = other.m_started;
    m_playing = other.m_playing;
    m_blockAlign = other.m_blockAlign;
    m_chunkBytes = other.m_chunkBytes;
    m_bufferBytes = other.m_bufferBytes;
    m_writeOffset = other.m_writeOffset;
    m_playCursor = other.m_playCursor;
    m_playedBytes = other.m_playedBytes;
    m_deviceQueued = other.m_deviceQueued;
    m_clearedBytes = other.m_clearedBytes;
    m_ring = other.m_ring;
}

// What the fill rule sees as queued: the ring's bytes beyond the play cursor and those
// the device holds unplayed.
int32_t KVLSoundOutputRing::QueuedBytes() const { return RingQueuedBytes() + m_deviceQueued; }

int32_t KVLSoundOutputRing::RingQueuedBytes() const {
    if (m_writeOffset >= m_playCursor) {
        return m_writeOffset - m_playCursor;
    }
    return m_bufferBytes - m_playCursor + m_writeOffset;
}

bool KVLSoundOutputRing::RingWrite(const uint8_t* data, int32_t bytes) {
    const uint8_t fill = m_bits == 8 ? 0x80 : 0;
    int32_t done = 0;
    while (done < bytes) {
        const int32_t piece = std::min(bytes - done, m_bufferBytes - m_writeOffset);
        uint8_t* at = m_ring.data() + m_writeOffset;
        if (data != nullptr) {
            std::memcpy(at, data + done, static_cast<size_t>(piece));
        } else {
            std::memset(at, fill, static_cast<size_t>(piece));
        }
        done += piece;
        m_writeOffset += piece;
        if (m_writeOffset == m_bufferBytes) {
            m_writeOffset = 0;
        }
    }
    return true;
}

bool KVLSoundOutputRing::Write(const void* data, int32_t frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened || frames < 0 || data == nullptr ||
        static_cast<int64_t>(frames) * m_blockAlign > m_chunkBytes) {
        return false;
    }
    if (m_paused) {
        m_playing = true;
        m_paused = false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!m_started) {
        RingWrite(bytes, frames * m_blockAlign);
        m_playing = true;
        m_started = true;
        m_rule.MusicWritten(frames);
        return true;
    }
    switch (m_rule.Check(QueuedBytes())) {
    case KVLSoundFillRule::Action::kStart:
        m_playing = true;
        break;
    case KVLSoundFillRule::Action::kWriteSilence:
        RingWrite(nullptr, m_rule.SilenceBytes());
        m_rule.SilenceWritten();
        break;
    case KVLSoundFillRule::Action::kStop:
        m_playing = false;
        break;
    case KVLSoundFillRule::Action::kNone:
        break;
    }
    if (!m_rule.MayWrite()) {
        return false;
    }
    RingWrite(bytes, frames * m_blockAlign);
    m_rule.MusicWritten(frames);
    return true;
}

int32_t KVLSoundOutputRing::GetPlayPosition() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened) {
        return 0;
    }
    // The device counts the bytes it has played, so the position stays right even when
    // nobody asked for it during a whole trip round the ring; a cursor that has run past
    // the written data has heard everything written.
    return m_rule.FramesHeard(std::min(m_playedBytes - m_deviceQueued, m_rule.BytesWritten()));
}

void KVLSoundOutputRing::ResetLocked() {
    m_playing = false;
    m_playCursor = 0;
    m_playedBytes = 0;
    m_deviceQueued = 0;
    m_clearedBytes = 0;
    std::fill(m_ring.begin(), m_ring.end(), static_cast<uint8_t>(m_bits == 8 ? 0x80 : 0));
    m_started = false;
    m_paused = false;
    m_writeOffset = 0;
    m_rule.Reset();
}

void KVLSoundOutputRing::Reset() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_opened) {
            return;
        }
        ResetLocked();
    }
    DeviceReset();
}

void KVLSoundOutputRing::Pause() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_opened) {
        m_playing = false;
        m_paused = true;
    }
}

void KVLSoundOutputRing::Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_opened || m_paused) {
        m_playing = true;
        m_paused = false;
    }
}

void KVLSoundOutputRing::SetPaused(bool paused) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_rule.IsPaused() == paused) {
            return;
        }
        m_rule.SetPaused(paused);
    }
    // Outside the lock: a device may hold its own lock while it pulls from the ring.
    DevicePaused(paused);
}

bool KVLSoundOutputRing::IsPaused() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rule.IsPaused();
}

bool KVLSoundOutputRing::IsHandingOut() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playing && !m_rule.IsPaused();
}

int32_t KVLSoundOutputRing::Pull(uint8_t* out, int32_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened || !m_playing || m_rule.IsPaused() || m_bufferBytes == 0) {
        std::memset(out, m_bits == 8 ? 0x80 : 0, static_cast<size_t>(bytes));
        return 0;
    }
    return PullLocked(out, bytes);
}

int32_t KVLSoundOutputRing::PullQueued(uint8_t* out, int32_t maxBytes, int32_t* music) {
    std::lock_guard<std::mutex> lock(m_mutex);
    *music = 0;
    if (!m_opened || !m_playing || m_rule.IsPaused() || m_bufferBytes == 0 || maxBytes <= 0) {
        return 0;
    }
    int32_t bytes = std::min(maxBytes, RingQueuedBytes());
    bytes -= bytes % m_blockAlign;
    if (bytes > 0) {
        // What it pulls, the device holds unplayed until it says otherwise.
        m_deviceQueued = std::min(m_deviceQueued + bytes, m_bufferBytes);
        *music = PullLocked(out, bytes);
    }
    return bytes;
}

int32_t KVLSoundOutputRing::PullLocked(uint8_t* out, int32_t bytes) {
    const int64_t before = m_playedBytes;
    // The cursor stops where the written data ends: a device that runs the ring dry
    // plays silence there, and the writer's next chunk goes in at the cursor. Run on,
    // the cursor would pass the write offset, the next chunk would land behind it (to be
    // heard a trip round the ring later while the position counted it heard at once),
    // and the queue would read as nearly full.
    const int64_t ahead = std::max<int64_t>(m_rule.BytesWritten() - m_playedBytes, 0);
    const int32_t take = static_cast<int32_t>(std::min<int64_t>(ahead, bytes));
    std::memset(out + take, m_bits == 8 ? 0x80 : 0, static_cast<size_t>(bytes - take));
    int32_t done = 0;
    while (done < take) {
        const int32_t piece = std::min(take - done, m_bufferBytes - m_playCursor);
        std::memcpy(out + done, m_ring.data() + m_playCursor, static_cast<size_t>(piece));
        done += piece;
        m_playCursor += piece;
        m_playedBytes += piece;
        if (m_playCursor == m_bufferBytes) {
            m_playCursor = 0;
        }
        // Before the next piece: a pull longer than the ring comes round to what it
        // just played, which must be silence by then.
        ClearHeardLocked();
    }
    const int64_t written = m_rule.BytesWritten();
    return static_cast<int32_t>(m_rule.MusicFramesAt(std::min(m_playedBytes, written)) -
                                m_rule.MusicFramesAt(std::min(before, written)));
}

void KVLSoundOutputRing::SetDeviceQueued(int32_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened) {
        return;
    }
    const int64_t most = std::min<int64_t>(m_playedBytes, m_bufferBytes);
    m_deviceQueued = static_cast<int32_t>(std::clamp<int64_t>(bytes, 0, most));
    ClearHeardLocked();
}

void KVLSoundOutputRing::ClearHeardLocked() {
    // Heard bytes are cleared: when the writer stops or falls behind, the looping ring
    // comes round to silence instead of replaying old music. Bytes pulled but not yet
    // heard stay for ReadPlaying; the fill rule counts them as queued, so the writer
    // does not come round to them.
    const uint8_t fill = m_bits == 8 ? 0x80 : 0;
    const int64_t heard = m_playedBytes - m_deviceQueued;
    while (m_clearedBytes < heard) {
        const int32_t at = static_cast<int32_t>(m_clearedBytes % m_bufferBytes);
        const int32_t piece = static_cast<int32_t>(std::min<int64_t>(heard - m_clearedBytes, m_bufferBytes - at));
        std::memset(m_ring.data() + at, fill, static_cast<size_t>(piece));
        m_clearedBytes += piece;
    }
}

bool KVLSoundOutputRing::ReadPlaying(int32_t position, uint32_t* destination, int32_t frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opened || m_blockAlign != 4 || destination == nullptr || frames < 0) {
        return false;
    }
    // The ring's byte sequence starts at ring offset 0, so a frame's place in the ring
    // is its place in the sequence modulo the ring's size.
    const int64_t total = m_rule.FramesWritten();
    const int64_t first = m_rule.FirstFrameHeld();
    for (int32_t i = 0; i < frames; ++i) {
        const int64_t f = static_cast<int64_t>(position) + i;
        uint32_t value = 0;
        if (f >= first && f < total) {
            const int64_t offset = m_rule.ByteOfFrame(f) % m_bufferBytes;
            const uint8_t* p = m_ring.data() + offset;
            value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                    static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        }
        destination[i] = value;
    }
    return true;
}

KVLSoundOutputWAV::KVLSoundOutputWAV(const KVLString& path) : m_path(path) {}

KVLSoundOutputWAV::~KVLSoundOutputWAV() { Finish(); }

bool KVLSoundOutputWAV::OpenDevice(int32_t rate, int32_t bits, bool stereo,
                                   KVLString* description, KVLString* error) {
    Finish();
    m_file = std::fopen(m_path.c_str(), "wb");
    if (m_file == nullptr) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(KVLSoundFailure::kInit);
        }
        return false;
    }
    m_rate = rate;
    m_bits = bits;
    m_channels = stereo ? 2 : 1;
    m_dataBytes = 0;
    uint8_t header[44] = {};
    if (std::fwrite(header, 1, sizeof header, m_file) != sizeof header) {
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    description->Format("WAV file %s", m_path.c_str());
    return true;
}

void KVLSoundOutputWAV::CloseDevice() { Finish(); }

bool KVLSoundOutputWAV::Advance(int32_t frames) {
    if (m_file == nullptr || frames < 0 || IsPaused()) {
        return false;
    }
    const int32_t bytes = frames * BlockAlign();
    m_scratch.resize(static_cast<size_t>(bytes));
    Pull(m_scratch.data(), bytes);
    if (std::fwrite(m_scratch.data(), 1, m_scratch.size(), m_file) != m_scratch.size()) {
        return false;
    }
    m_dataBytes += static_cast<uint32_t>(bytes);
    return true;
}

void KVLSoundOutputWAV::Finish() {
    if (m_file == nullptr) {
        return;
    }
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    PutU32(h + 4, 36 + m_dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutU32(h + 16, 16);
    PutU16(h + 20, 1);
    PutU16(h + 22, static_cast<uint32_t>(m_channels));
    PutU32(h + 24, static_cast<uint32_t>(m_rate));
    PutU32(h + 28, static_cast<uint32_t>(m_rate * m_channels * (m_bits / 8)));
    PutU16(h + 32, static_cast<uint32_t>(m_channels * (m_bits / 8)));
    PutU16(h + 34, static_cast<uint32_t>(m_bits));
    std::memcpy(h + 36, "data", 4);
    PutU32(h + 40, m_dataBytes);
    if (std::fseek(m_file, 0, SEEK_SET) == 0) {
        std::fwrite(h, 1, sizeof h, m_file);
    }
    std::fclose(m_file);
    m_file = nullptr;
}
