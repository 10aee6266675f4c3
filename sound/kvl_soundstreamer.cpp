// Sound streamers: block fetching and conversion, Read and Skip, capture names, MP3.
#include "sound/kvl_soundstreamer.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "sound/kvl_soundsource_mp3.h"

KVL_IMPLEMENT_ABSTRACT_CLASS(KVLSoundStreamer, KVLObject);
// Constructed with its source only, so the class has no factory.
const KVLClassInfo KVLSoundStreamerCapture::classKVLSoundStreamerCapture(
    "KVLSoundStreamerCapture", static_cast<int32_t>(sizeof(KVLSoundStreamerCapture)),
    &KVLSoundStreamer::classKVLSoundStreamer, nullptr,
    kKVLClassRank<KVLSoundStreamerCapture>);
KVL_IMPLEMENT_CLASS(KVLSoundStreamerMP3, KVLSoundStreamer);

namespace {

constexpr int32_t kFileBuffer = 65536;
const char* const kInvalidFile = "Invalid file";

std::atomic<KVLSoundCaptureFactory> g_captureFactory{nullptr};

}  // namespace

void KVLSetSoundCaptureFactory(KVLSoundCaptureFactory factory) { g_captureFactory.store(factory); }

bool KVLSoundStreamer::OpenFile(const KVLString& name, KVLString* error) {
    KVLFileStream file(name);
    KVLBufferedStream buffered(file, kFileBuffer);
    return OpenStream(buffered, error);
}

bool KVLSoundStreamer::Seek(int32_t) { return false; }

KVLSoundStreamerCapture::KVLSoundStreamerCapture(KVLSoundSource* source) : m_source(source) {}

void KVLSoundStreamerCapture::DiscardBlock() {
    m_current.reset();
    m_offset = 0;
}

int32_t KVLSoundStreamerCapture::FramesInHand() const {
    return m_current != nullptr && m_offset < m_current->frames ? m_current->frames - m_offset : 0;
}

KVLSoundStreamerCapture::~KVLSoundStreamerCapture() {
    if (m_source != nullptr) {
        m_source->Stop();
        if (m_ownsSource) {
            delete m_source;
        }
    }
}

bool KVLSoundStreamerCapture::AcceptsExtension(const KVLString& extension) {
    return extension.EqualsNoCase("dsoundcap") || extension.EqualsNoCase("mcicap");
}

bool KVLSoundStreamerCapture::OpenStream(const KVLStream&, KVLString* error) {
    if (m_source != nullptr) {
        return m_source->Open(error);
    }
    if (error != nullptr) {
        *error = kInvalidFile;
    }
    return false;
}

bool KVLSoundStreamerCapture::OpenFile(const KVLString& name, KVLString* error) {
    if (m_source != nullptr) {
        return m_source->Open(error);
    }
    KVLString base;
    KVLString extension;
    KVLSplitExtension(name, &base, &extension);
    if (!AcceptsExtension(extension)) {
        if (error != nullptr) {
            *error = kInvalidFile;
        }
        return false;
    }
    const KVLCaptureKind kind = extension.EqualsNoCase("dsoundcap") ? KVLCaptureKind::DirectSound
                                                                   : KVLCaptureKind::WaveIn;
    KVLSoundCaptureFactory factory = g_captureFactory.load();
    if (factory != nullptr) {
        m_source = factory(kind, base.ToInt(), kCaptureRate, 16, true, kCaptureBlockFrames);
    }
    if (m_source == nullptr) {
        if (error != nullptr) {
            *error = "Invalid sound capture device";
        }
        return false;
    }
    m_ownsSource = true;
    return m_source->Open(error);
}

int32_t KVLSoundStreamerCapture::GetSampleRate() { return m_source ? m_source->GetSampleRate() : 0; }
int32_t KVLSoundStreamerCapture::GetBitsPerSample() {
    return m_source ? m_source->GetBitsPerSample() : 0;
}
bool KVLSoundStreamerCapture::IsStereo() { return m_source ? m_source->IsStereo() : false; }
int32_t KVLSoundStreamerCapture::GetPosition() { return m_source ? m_source->GetPosition() : 0; }
int32_t KVLSoundStreamerCapture::GetLength() { return m_source ? m_source->GetLength() : 0; }
bool KVLSoundStreamerCapture::IsAtEnd() { return m_source ? m_source->IsAtEnd() : true; }

bool KVLSoundStreamerCapture::FetchBlock() {
    m_current.reset();
    m_offset = 0;
    const void* raw = m_source->NextBlock();
    if (raw == nullptr) {
        return false;
    }
    const int32_t n = m_source->GetBlockFrames();
    const int32_t bits = m_source->GetBitsPerSample();
    const bool stereo = m_source->IsStereo();
    if (n < 0) {
        return false;
    }
    if (bits == 16 && stereo) {
        auto* block = static_cast<KVLSampleBlock*>(std::calloc(1, sizeof(KVLSampleBlock)));
        if (block == nullptr) {
            return false;
        }
        block->frames = n;
        // The source's storage is 16-bit stereo already; the block only refers to it.
        block->data = const_cast<uint32_t*>(static_cast<const uint32_t*>(raw));
        block->owned = nullptr;
        m_current.reset(block);
        return true;
    }
    m_current = KVLMakeSampleBlock(n);
    const auto* p = static_cast<const uint8_t*>(raw);
    for (int32_t i = 0; i < n; ++i) {
        int32_t left;
        int32_t right;
        if (bits == 8 && !stereo) {
            left = right = (p[i] - 128) * 256;
        } else if (bits == 8) {
            left = (p[2 * i] - 128) * 256;
            right = (p[2 * i + 1] - 128) * 256;
        } else {
            left = right = static_cast<int16_t>(p[2 * i] | p[2 * i + 1] << 8);
        }
        m_current->data[i] = static_cast<uint16_t>(left) | static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16;
    }
    return true;
}

int32_t KVLSoundStreamerCapture::Read(KVLSampleBlock* request) {
    if (m_source == nullptr || request == nullptr || request->data == nullptr ||
        request->frames < 0) {
        return -1;
    }
    if (m_current == nullptr && !m_source->Start()) {
        return -1;
    }
    const int32_t wanted = request->frames;
    int32_t got = 0;
    for (;;) {
        if (m_current != nullptr && m_offset < m_current->frames) {
            const int32_t avail = m_current->frames - m_offset;
            if (avail >= wanted - got) {
                std::memcpy(request->data + got, m_current->data + m_offset,
                            static_cast<size_t>(wanted - got) * 4);
                m_offset += wanted - got;
                return wanted;
            }
            std::memcpy(request->data + got, m_current->data + m_offset,
                        static_cast<size_t>(avail) * 4);
            got += avail;
            m_offset = m_current->frames;
        }
        if (m_source->IsAtEnd()) {
            std::memset(request->data + got, 0, static_cast<size_t>(wanted - got) * 4);
            return got;
        }
        if (!FetchBlock()) {
            return -1;
        }
    }
}

bool KVLSoundStreamerCapture::Skip(int32_t frames) {
    if (m_source == nullptr) {
        return false;
    }
    if (m_source->GetLength() == -1) {
        return true;
    }
    if (m_current == nullptr && !m_source->Start()) {
        return false;
    }
    int32_t done = 0;
    for (;;) {
        if (m_current != nullptr && m_offset < m_current->frames) {
            const int32_t avail = m_current->frames - m_offset;
            if (avail >= frames - done) {
                m_offset += frames - done;
                return true;
            }
            done += avail;
            m_offset = m_current->frames;
        }
        if (m_source->IsAtEnd()) {
            return true;
        }
        if (!FetchBlock()) {
            return false;
        }
    }
}

KVLSoundStreamerMP3::KVLSoundStreamerMP3() = default;

KVLSoundStreamerMP3::~KVLSoundStreamerMP3() {
    m_inner.reset();
    m_source.reset();
}

bool KVLSoundStreamerMP3::AcceptsExtension(const KVLString& extension) {
    return extension.EqualsNoCase("MP3");
}

bool KVLSoundStreamerMP3::OpenStream(const KVLStream& stream, KVLString* error) {
    m_inner.reset();
    m_source = std::make_unique<KVLSoundSourceMP3>(stream);
    m_inner = std::make_unique<KVLSoundStreamerCapture>(m_source.get());
    return m_inner->OpenFile("foo", error);
}

int32_t KVLSoundStreamerMP3::GetSampleRate() { return m_inner ? m_inner->GetSampleRate() : 0; }
int32_t KVLSoundStreamerMP3::GetBitsPerSample() { return m_inner ? m_inner->GetBitsPerSample() : 0; }
bool KVLSoundStreamerMP3::IsStereo() { return m_inner ? m_inner->IsStereo() : false; }
int32_t KVLSoundStreamerMP3::GetPosition() {
    // The source counts what it decoded; the part of its block not handed out yet is
    // still ahead.
    return m_inner ? m_inner->GetPosition() - m_inner->FramesInHand() : 0;
}
int32_t KVLSoundStreamerMP3::GetLength() { return m_inner ? m_inner->GetLength() : 0; }
int32_t KVLSoundStreamerMP3::GetEstimatedLength() { return m_source ? m_source->GetEstimatedLength() : 0; }
int32_t KVLSoundStreamerMP3::GetExactLength() { return m_source ? m_source->GetExactLength() : -1; }
bool KVLSoundStreamerMP3::IsAtEnd() { return m_inner ? m_inner->IsAtEnd() : true; }
bool KVLSoundStreamerMP3::Skip(int32_t frames) { return m_inner ? m_inner->Skip(frames) : false; }
bool KVLSoundStreamerMP3::Seek(int32_t frame) {
    if (!m_inner || !m_source || frame < 0) {
        return false;
    }
    // The block in hand is the source's storage, which the seek overwrites.
    m_inner->DiscardBlock();
    int32_t blockStart = 0;
    if (!m_source->SeekFrame(frame, &blockStart)) {
        return false;
    }
    return frame <= blockStart || m_inner->Skip(frame - blockStart);
}

int32_t KVLSoundStreamerMP3::Read(KVLSampleBlock* request) {
    return m_inner ? m_inner->Read(request) : -1;
}
