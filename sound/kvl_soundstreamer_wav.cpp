// The WAV streamer: the RIFF chunk walk, the format checks, and reading 16-bit PCM
// frames straight from the data chunk.
#include "sound/kvl_soundstreamer_wav.h"

#include <algorithm>
#include <cstring>

KVL_IMPLEMENT_CLASS(KVLSoundStreamerWAV, KVLSoundStreamer);

namespace {

constexpr uint16_t kFormatPCM = 0x0001;
constexpr uint16_t kFormatFloat = 0x0003;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// The plain fmt fields, then (extensible) cbSize, valid bits, channel mask, subformat.
constexpr uint32_t kPlainFmtBytes = 16;
constexpr uint32_t kExtensibleFmtBytes = 40;
// The subformat GUID's bytes after its leading format tag: the same for every format
// that has a tag of its own.
constexpr uint8_t kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Frames read from the stream at a time by Read.
constexpr int32_t kPieceFrames = 4096;

// A name for the formats one is likely to meet, for the refusal.
const char* FormatName(uint16_t tag) {
    switch (tag) {
    case 0x0002: return "Microsoft ADPCM";
    case 0x0006: return "A-law";
    case 0x0007: return "mu-law";
    case 0x0011: return "IMA ADPCM";
    case 0x0050: return "MPEG audio";
    case 0x0055: return "MP3";
    default: return "an unknown format";
    }
}

}  // namespace

bool KVLIsWAVStream(const KVLStream& stream) {
    std::unique_ptr<KVLStream> probe = stream.Clone();
    if (!probe) {
        return false;
    }
    KVLStreamReading reading(*probe);
    uint8_t head[12];
    return reading.IsOpen() && KVLReadExact(*probe, head, 12) && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "WAVE", 4) == 0;
}

KVLSoundStreamerWAV::KVLSoundStreamerWAV() = default;
KVLSoundStreamerWAV::~KVLSoundStreamerWAV() = default;

bool KVLSoundStreamerWAV::AcceptsExtension(const KVLString& extension) { return extension.EqualsNoCase("WAV"); }

bool KVLSoundStreamerWAV::Fail(KVLString* error, const KVLString& reason) {
    m_open = false;
    m_stream.reset();
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

bool KVLSoundStreamerWAV::OpenStream(const KVLStream& stream, KVLString* error) {
    m_open = false;
    m_position = 0;
    m_length = 0;
    m_name = stream.GetName();
    if (m_name.IsEmpty()) {
        m_name = "WAV stream";
    }
    m_stream = stream.Clone();
    if (!m_stream || !m_stream->OpenRead()) {
        const KVLString why = m_stream ? m_stream->GetOpenError() : KVLString();
        KVLString reason = "Unable to open file";
        if (!why.IsEmpty()) {
            reason.Format("Unable to open file: %s", why.c_str());
        }
        return Fail(error, reason);
    }
    if (!ParseHeader(error)) {
        return false;
    }
    if (m_length > 0 && !m_stream->SeekAbsolute(m_dataOffset)) {
        KVLString reason;
        reason.Format("%s: cannot seek to its sample data", m_name.c_str());
        return Fail(error, reason);
    }
    m_raw.assign(static_cast<size_t>(kPieceFrames) * 2 * static_cast<size_t>(m_channels), 0);
    m_open = true;
    if (error != nullptr) {
        error->Format("WAV sound - %.1f kHz 16 bits %s", m_rate * 0.001, m_channels == 2 ? "stereo" : "mono");
    }
    return true;
}

bool KVLSoundStreamerWAV::ParseHeader(KVLString* error) {
    const char* name = m_name.c_str();
    KVLString reason;
    const int64_t fileLength = m_stream->GetLength();
    uint8_t head[12];
    if (!KVLReadExact(*m_stream, head, 12)) {
        reason.Format("%s is cut short: %d bytes, too few for a RIFF/WAVE header", name,
                      static_cast<int32_t>(std::max<int64_t>(fileLength, 0)));
        return Fail(error, reason);
    }
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        reason.Format("%s is not a WAV file (no RIFF/WAVE header)", name);
        return Fail(error, reason);
    }

    // The chunks, in whatever order they come, until both the format and the data are
    // known. Positions are 64-bit so that a chunk size near 4 GiB cannot wrap.
    uint8_t fmt[kExtensibleFmtBytes] = {};
    uint32_t fmtSize = 0;
    bool haveFmt = false;
    bool haveData = false;
    int64_t dataStart = 0;
    int64_t dataBytes = 0;
    int64_t pos = 12;
    while (!(haveFmt && haveData) && pos + 8 <= fileLength) {
        uint8_t chunk[8];
        if (!m_stream->SeekAbsolute(static_cast<int32_t>(pos)) || !KVLReadExact(*m_stream, chunk, 8)) {
            break;
        }
        const uint32_t size = KVLGetU32(chunk + 4);
        const int64_t body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFmt) {
            if (size < kPlainFmtBytes) {
                reason.Format("%s: its fmt chunk is %u bytes, too small for a sample format", name, size);
                return Fail(error, reason);
            }
            if (body + size > fileLength) {
                reason.Format("%s is cut short inside its fmt chunk", name);
                return Fail(error, reason);
            }
            fmtSize = std::min(size, kExtensibleFmtBytes);
            if (!KVLReadExact(*m_stream, fmt, static_cast<int32_t>(fmtSize))) {
                reason.Format("%s: its fmt chunk cannot be read", name);
                return Fail(error, reason);
            }
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            // A size beyond the file's end is cut to what is there.
            dataStart = body;
            dataBytes = std::min<int64_t>(size, fileLength - body);
            haveData = true;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFmt) {
        reason.Format("%s is cut short or damaged: no fmt chunk before its end", name);
        return Fail(error, reason);
    }
    if (!haveData) {
        reason.Format("%s is cut short or damaged: no data chunk before its end", name);
        return Fail(error, reason);
    }

    uint16_t tag = KVLGetU16(fmt);
    const uint16_t channels = KVLGetU16(fmt + 2);
    const uint32_t rate = KVLGetU32(fmt + 4);
    const uint16_t blockAlign = KVLGetU16(fmt + 12);
    const uint16_t bits = KVLGetU16(fmt + 14);
    if (tag == kFormatExtensible) {
        if (fmtSize < kExtensibleFmtBytes) {
            reason.Format("%s: its extensible fmt chunk is %u bytes, %u needed", name, fmtSize, kExtensibleFmtBytes);
            return Fail(error, reason);
        }
        if (std::memcmp(fmt + 26, kSubformatTail, sizeof(kSubformatTail)) != 0) {
            reason.Format("%s is in an unknown extensible subformat; 16-bit PCM is played", name);
            return Fail(error, reason);
        }
        tag = KVLGetU16(fmt + 24);
    }
    if (tag == kFormatFloat) {
        reason.Format("%s is %u-bit floating point; 16-bit PCM is played", name, bits);
        return Fail(error, reason);
    }
    if (tag != kFormatPCM) {
        reason.Format("%s is %s (format 0x%04X); 16-bit PCM is played", name, FormatName(tag), tag);
        return Fail(error, reason);
    }
    if (bits != 16) {
        reason.Format("%s is %u-bit PCM; 16-bit PCM is played", name, bits);
        return Fail(error, reason);
    }
    if (channels < 1 || channels > 2) {
        reason.Format("%s has %u channels; mono or stereo is played", name, channels);
        return Fail(error, reason);
    }
    if (rate < static_cast<uint32_t>(kMinRate) || rate > static_cast<uint32_t>(kMaxRate)) {
        reason.Format("%s is at %u Hz; %d to %d Hz is played", name, rate, kMinRate, kMaxRate);
        return Fail(error, reason);
    }
    if (blockAlign != channels * 2) {
        reason.Format("%s: its frames are %u bytes, not %d as 16-bit %s frames are", name, blockAlign,
                      channels * 2, channels == 2 ? "stereo" : "mono");
        return Fail(error, reason);
    }
    m_rate = static_cast<int32_t>(rate);
    m_channels = channels;
    // Within the stream, so within 32 bits.
    m_dataOffset = static_cast<int32_t>(dataStart);
    m_length = static_cast<int32_t>(dataBytes / blockAlign);
    return true;
}

int32_t KVLSoundStreamerWAV::GetSampleRate() { return m_open ? m_rate : 0; }
int32_t KVLSoundStreamerWAV::GetBitsPerSample() { return m_open ? 16 : 0; }
bool KVLSoundStreamerWAV::IsStereo() { return m_open && m_channels == 2; }
int32_t KVLSoundStreamerWAV::GetPosition() { return m_open ? m_position : 0; }
int32_t KVLSoundStreamerWAV::GetLength() { return m_open ? m_length : 0; }
bool KVLSoundStreamerWAV::IsAtEnd() { return !m_open || m_position >= m_length; }

bool KVLSoundStreamerWAV::Seek(int32_t frame) {
    if (!m_open || frame < 0) {
        return false;
    }
    const int32_t target = std::min(frame, m_length);
    // At the end nothing more is read until the next Seek: the stream stays put.
    if (target < m_length &&
        !m_stream->SeekAbsolute(m_dataOffset + target * 2 * m_channels)) {
        return false;
    }
    m_position = target;
    return true;
}

bool KVLSoundStreamerWAV::Skip(int32_t frames) {
    if (!m_open || frames < 0) {
        return false;
    }
    return Seek(m_position + std::min(frames, m_length - m_position));
}

int32_t KVLSoundStreamerWAV::Read(KVLSampleBlock* request) {
    if (!m_open || request == nullptr || request->data == nullptr || request->frames < 0) {
        return -1;
    }
    const int32_t wanted = request->frames;
    const int32_t frameBytes = 2 * m_channels;
    int32_t got = 0;
    while (got < wanted && m_position < m_length) {
        const int32_t n = std::min({wanted - got, m_length - m_position, kPieceFrames});
        const int32_t read = m_stream->Read(m_raw.data(), n * frameBytes);
        const int32_t frames = read > 0 ? read / frameBytes : 0;
        const uint8_t* p = m_raw.data();
        uint32_t* out = request->data + got;
        if (m_channels == 2) {
            for (int32_t i = 0; i < frames; ++i, p += 4) {
                out[i] = KVLGetU32(p);
            }
        } else {
            for (int32_t i = 0; i < frames; ++i, p += 2) {
                const uint32_t s = KVLGetU16(p);
                out[i] = s | s << 16;
            }
        }
        got += frames;
        m_position += frames;
        if (frames < n) {
            // The stream held less than its size said: the music ends here.
            m_length = m_position;
            break;
        }
    }
    std::memset(request->data + got, 0, static_cast<size_t>(wanted - got) * 4);
    return got;
}
