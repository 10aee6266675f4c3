// The MP3 sound source and the ID3v1 tag reader.
#include "sound/kvl_soundsource_mp3.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "sound/mpeg/mpg_decoder.h"

namespace {

constexpr int32_t kTagSize = 128;
constexpr int kGenreCount = 148;

// ID3v1 genres 0-79, then the extension list 80-147.
const char* const kGenres[kGenreCount] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip",
    "Gospel", "Noise", "Alternative Rock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk",
    "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club",
    "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore",
    "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Thrash Metal", "Anime", "Jpop", "Synthpop",
};

// The one open MP3 source, null when none is.
std::atomic<const KVLSoundSourceMP3*>& ActiveSource() {
    static std::atomic<const KVLSoundSourceMP3*> active{nullptr};
    return active;
}

}  // namespace

const char* KVLID3GenreName(uint8_t genre) { return genre < kGenreCount ? kGenres[genre] : "Unknown"; }

std::unique_ptr<KVLID3Tag> KVLReadID3Tag(KVLStream& stream) {
    if (!stream.SeekFromEnd(kTagSize)) {
        return nullptr;
    }
    uint8_t raw[kTagSize];
    if (stream.Read(raw, kTagSize) != kTagSize || std::memcmp(raw, "TAG", 3) != 0) {
        stream.SeekAbsolute(0);
        return nullptr;
    }
    auto tag = std::make_unique<KVLID3Tag>();
    const char* text = reinterpret_cast<const char*>(raw);
    tag->artist = KVLString(text + 33, 30);
    tag->album = KVLString(text + 63, 30);
    tag->year = KVLString(text + 93, 4).ToInt();
    tag->comment = KVLString(text + 97, 30);
    tag->genre = KVLID3GenreName(raw[127]);
    stream.SeekAbsolute(0);
    return tag;
}

struct KVLSoundSourceMP3::Decoding {
    MpgDecoder decoder;
    MpgFrameIndex index;
    // 1152 frames of 16-bit stereo at most.
    std::array<int16_t, kMpgMaxFrameSamples> pcm{};
};

KVLSoundSourceMP3::KVLSoundSourceMP3(const KVLStream& stream)
    : m_stream(stream.Clone()), m_mpg(std::make_unique<Decoding>()) {}

KVLSoundSourceMP3::~KVLSoundSourceMP3() {
    // The decoder frees its buffers with the source; only the claim is given back.
    const KVLSoundSourceMP3* self = this;
    ActiveSource().compare_exchange_strong(self, nullptr);
}

void KVLSoundSourceMP3::SetFullBand(bool on) { mpgSetFullBand(m_mpg->decoder, on); }

int32_t KVLSoundSourceMP3::ReadInput(void* context, uint8_t* destination, int32_t maximum) {
    auto* stream = static_cast<KVLStream*>(context);
    const int32_t got = stream->Read(destination, maximum);
    return got > 0 ? got : 0;
}

bool KVLSoundSourceMP3::Open(KVLString* error) {
    if (error) {
        *error = "Unable to open file";
    }
    if (m_open) {
        // Opening twice would restart the decoder under the reader's feet.
        if (error) {
            *error = "Too many MP3 streamers opened";
        }
        return false;
    }
    const KVLSoundSourceMP3* expected = nullptr;
    if (!ActiveSource().compare_exchange_strong(expected, this)) {
        if (error) {
            *error = "Too many MP3 streamers opened";
        }
        return false;
    }
    if (!m_stream || !m_stream->OpenRead()) {
        ActiveSource().store(nullptr);
        // The reason names the file or the archive member that is missing.
        const KVLString why = m_stream ? m_stream->GetOpenError() : KVLString();
        if (error && !why.IsEmpty()) {
            error->Format("Unable to open file: %s", why.c_str());
        }
        return false;
    }
    m_tag = KVLReadID3Tag(*m_stream);
    m_stream->SeekAbsolute(0);
    m_position = 0;
    m_total = -1;
    m_blockFrames = -1;
    const bool ok = mpgOpen(m_mpg->decoder, &KVLSoundSourceMP3::ReadInput, m_stream.get(), m_stream->GetLength());
    if (!ok) {
        ActiveSource().store(nullptr);
        if (error) {
            *error = "Not a MP3 file";
        }
        return false;
    }
    m_open = true;
    if (error) {
        error->Format("MP3 sound - %.1f kbps %.1f kHz %s", mpgBitrate(m_mpg->decoder) * 0.001,
                      mpgSampleRate(m_mpg->decoder) * 0.001, mpgIsStereo(m_mpg->decoder) ? "stereo" : "mono");
    }
    return true;
}

int32_t KVLSoundSourceMP3::GetSampleRate() { return m_open ? mpgSampleRate(m_mpg->decoder) : 0; }

int32_t KVLSoundSourceMP3::GetBitsPerSample() { return m_open ? mpgBitsPerSample(m_mpg->decoder) : 0; }

bool KVLSoundSourceMP3::IsStereo() { return m_open && mpgIsStereo(m_mpg->decoder); }

int32_t KVLSoundSourceMP3::GetLength() {
    if (!m_open) {
        return 0;
    }
    if (m_total != -1) {
        return m_total;
    }
    // Once the frames have been counted the length is exact.
    if (m_indexed && !m_mpg->index.frames.empty()) {
        return static_cast<int32_t>(m_mpg->index.frames.size()) * m_mpg->index.samplesPerFrame;
    }
    return mpgEstimatedFrames(m_mpg->decoder);
}

int32_t KVLSoundSourceMP3::GetEstimatedLength() { return m_open ? mpgEstimatedFrames(m_mpg->decoder) : 0; }

bool KVLSoundSourceMP3::EnsureIndex() {
    if (!m_indexed) {
        m_indexed = true;
        if (!m_stream->SeekAbsolute(0) ||
            !mpgScanFrames(m_mpg->decoder, &KVLSoundSourceMP3::ReadInput, m_stream.get(), &m_mpg->index)) {
            m_mpg->index.frames.clear();
        }
    }
    return !m_mpg->index.frames.empty() && m_mpg->index.samplesPerFrame > 0;
}

int32_t KVLSoundSourceMP3::GetExactLength() {
    if (!m_open) {
        return -1;
    }
    // The walk reads the stream through the same callback as the decoder: the decoder's
    // next input must come from where it left off.
    const int32_t readPosition = m_stream->Tell();
    const bool counted = EnsureIndex();
    m_stream->SeekAbsolute(readPosition);
    if (!counted) {
        return -1;
    }
    return static_cast<int32_t>(m_mpg->index.frames.size()) * m_mpg->index.samplesPerFrame;
}

bool KVLSoundSourceMP3::SeekFrame(int32_t frame, int32_t* blockStart) {
    if (!m_open || frame < 0 || blockStart == nullptr) {
        return false;
    }
    EnsureIndex();
    const int32_t per = m_mpg->index.samplesPerFrame;
    const auto count = static_cast<int32_t>(m_mpg->index.frames.size());
    if (count == 0 || per <= 0) {
        return false;
    }
    const int32_t k = frame / per;
    // Ends the stream cleanly: the next block is the empty one that marks the end.
    auto endAt = [&](int32_t position) {
        m_position = position;
        m_total = position;
        m_blockFrames = 0;
        if (!m_stream->SeekAbsolute(m_mpg->index.endOffset) || !mpgRestart(m_mpg->decoder, m_mpg->index.endOffset)) {
            mpgClose(m_mpg->decoder);
        }
    };
    if (k >= count) {
        endAt(count * per);
        *blockStart = count * per;
        return true;
    }
    const MpgFrameEntry& target = m_mpg->index.frames[static_cast<size_t>(k)];
    const int32_t from = std::min(target.restart, k);
    const int32_t offset = m_mpg->index.frames[static_cast<size_t>(from)].offset;
    if (!m_stream->SeekAbsolute(offset) || !mpgRestart(m_mpg->decoder, offset)) {
        endAt(from * per);
        return false;
    }
    // The frames before the target only rebuild the decoder's state; their output goes.
    for (int32_t i = from; i < k; ++i) {
        if (mpgDecodeFrame(m_mpg->decoder, m_mpg->pcm.data()) < 0) {
            endAt(i * per);
            return false;
        }
    }
    m_position = k * per;
    m_total = -1;
    m_blockFrames = -1;
    *blockStart = m_position;
    return true;
}

const void* KVLSoundSourceMP3::NextBlock() {
    if (!m_open) {
        return nullptr;
    }
    const int32_t n = mpgDecodeFrame(m_mpg->decoder, m_mpg->pcm.data());
    if (n < 0) {
        if (m_total != -1) {
            return nullptr;
        }
        m_total = m_position;
        m_blockFrames = 0;
        return m_mpg->pcm.data();
    }
    m_blockFrames = n;
    m_position += n;
    return m_mpg->pcm.data();
}
