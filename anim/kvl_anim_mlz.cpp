// KVLAnimMLZ: MLZ decoding and playback.
#include "anim/kvl_anim_mlz.h"

#include <cstring>
#include <utility>

const char kKVLMLZMagic[6] = {'K', 'V', 'L', 'M', 'L', 'Z'};

namespace {

// The longest LZ77 item pattern, one flag byte and eight 2-byte matches of 18 bytes,
// turns 17 stored bytes into 144: a frame of n bytes needs more than n / 9 of them.
constexpr int64_t kMaxExpansion = 9;

}  // namespace

void KVLMLZHeader::Encode(uint8_t b[kKVLMLZHeaderSize]) const {
    std::memcpy(b, kKVLMLZMagic, 6);
    KVLPutU32(b + 6, static_cast<uint32_t>(width));
    KVLPutU32(b + 10, static_cast<uint32_t>(height));
    b[14] = bitsPerPixel;
    b[15] = compression;
    KVLPutU32(b + 16, static_cast<uint32_t>(frameCount));
    KVLPutU32(b + 20, static_cast<uint32_t>(timing));
}

bool KVLMLZHeader::Decode(const uint8_t b[kKVLMLZHeaderSize]) {
    if (std::memcmp(b, kKVLMLZMagic, 6) != 0) {
        return false;
    }
    width = KVLGetS32(b + 6);
    height = KVLGetS32(b + 10);
    bitsPerPixel = b[14];
    compression = b[15];
    frameCount = KVLGetS32(b + 16);
    timing = KVLGetS32(b + 20);
    return true;
}

int64_t KVLMLZDecompress(const uint8_t* source, size_t sourceLength, uint8_t* destination, size_t capacity) {
    uint32_t flags = 0;
    size_t in = 0;
    size_t out = 0;
    for (;;) {
        flags >>= 1;
        if ((flags & 0x100) == 0) {
            // The high ones count down the items left under this flag byte.
            if (in >= sourceLength) {
                break;
            }
            flags = source[in++] | 0xFF00u;
        }
        if (flags & 1) {
            if (in >= sourceLength) {
                break;
            }
            if (out >= capacity) {
                return -1;
            }
            destination[out++] = source[in++];
            continue;
        }
        if (sourceLength - in < 2) {
            break;
        }
        const uint32_t v = source[in] | (static_cast<uint32_t>(source[in + 1]) << 8);
        in += 2;
        const size_t distance = (v & 0xFFF) + 1;
        const size_t length = (v >> 12) + kKVLMLZMinMatch;
        if (distance > out || length > capacity - out) {
            return -1;
        }
        uint8_t* dst = destination + out;
        const uint8_t* from = dst - distance;
        if (distance >= length) {
            std::memcpy(dst, from, length);
        } else {
            // An overlapping match repeats the bytes it is producing.
            for (size_t k = 0; k < length; ++k) {
                dst[k] = from[k];
            }
        }
        out += length;
    }
    return static_cast<int64_t>(out);
}

KVL_IMPLEMENT_CLASS(KVLAnimMLZ, KVLAnim);

KVLAnimMLZ::KVLAnimMLZ() = default;

KVLAnimMLZ::~KVLAnimMLZ() {
    if (m_stream && m_stream->IsOpen()) {
        m_stream->Close();
    }
}

bool KVLAnimMLZ::CanRead(const KVLString& extension) const {
    return extension.EqualsNoCase("MLZ") || extension.EqualsNoCase("ALZ");
}

bool KVLAnimMLZ::Open(const KVLStream& stream, KVLPixelFormat* format, KVLString* errorText) {
    auto fail = [&](const char* text) {
        m_valid = false;
        if (errorText != nullptr) {
            *errorText = text;
        }
        return false;
    };
    m_valid = false;
    if (m_stream && m_stream->IsOpen()) {
        m_stream->Close();
    }
    m_stream = stream.Clone();
    if (format != nullptr) {
        *format = kKVLPixelFormatNone;
    }
    if (errorText != nullptr) {
        *errorText = "Unable to open file";
    }
    if (!m_stream || !m_stream->OpenRead()) {
        return fail("Unable to open file");
    }
    uint8_t bytes[kKVLMLZHeaderSize];
    KVLMLZHeader header;
    if (!KVLReadExact(*m_stream, bytes, kKVLMLZHeaderSize) || !header.Decode(bytes)) {
        return fail("Not an MLZ file");
    }
    if (header.compression >= 3 || (header.bitsPerPixel != 8 && header.bitsPerPixel != 16)) {
        return fail("Unknown compression type");
    }
    if (header.frameCount <= 0 || header.frameCount > kKVLMLZMaxFrames ||
        !KVLImageSizeOK(header.width, header.height)) {
        return fail("File corrupted");
    }
    // A file too short to hold the first frame is refused before its buffers exist.
    const int64_t frameSize = header.FrameSize();
    const int64_t paletteSize = header.bitsPerPixel == 8 ? kKVLMLZPaletteSize : 0;
    if (static_cast<int64_t>(m_stream->GetLength()) - kKVLMLZHeaderSize < 4 + frameSize / kMaxExpansion + paletteSize) {
        return fail("File corrupted");
    }

    m_width = header.width;
    m_height = header.height;
    m_frameCount = header.frameCount;
    m_timing = static_cast<float>(header.timing);
    m_currentFrame = -1;
    m_delta = header.compression == 2;
    m_bitsPerPixel = header.bitsPerPixel;
    m_frameSize = static_cast<size_t>(frameSize);
    m_frame.assign(m_frameSize, 0);
    if (m_delta && m_bitsPerPixel == 8) {
        m_previous.assign(m_frameSize, 0);
    } else {
        m_previous.clear();
    }
    std::memset(m_palette, 0, sizeof m_palette);
    {
        std::lock_guard<std::mutex> lock(m_publishLock);
        m_shown.assign(m_frameSize, 0);
        std::memset(m_shownPalette, 0, sizeof m_shownPalette);
    }
    m_valid = true;
    if (!NextFrame()) {
        return fail("File corrupted");
    }
    if (format != nullptr) {
        *format = m_bitsPerPixel == 8 ? kKVLPixelFormatIndexed8 : kKVLPixelFormatRGB565;
    }
    if (errorText != nullptr) {
        errorText->Format("MLZ animation - %dx%dx%d - %d frame%s", m_width, m_height, m_bitsPerPixel, m_frameCount,
                          m_frameCount != 1 ? "s" : "");
    }
    return true;
}

bool KVLAnimMLZ::ReadFrame() {
    KVLStream& s = *m_stream;
    int32_t size = 0;
    if (!KVLReadS32(s, size)) {
        return false;
    }
    if (m_delta && m_bitsPerPixel == 8) {
        std::swap(m_frame, m_previous);
    }
    const int64_t left = static_cast<int64_t>(s.GetLength()) - s.Tell();
    if (size == -1) {
        if (static_cast<int64_t>(m_frameSize) > left ||
            !KVLReadExact(s, m_frame.data(), static_cast<int32_t>(m_frameSize))) {
            return false;
        }
    } else {
        if (size < -1 || size > left) {
            return false;
        }
        if (m_scratch.size() < static_cast<size_t>(size)) {
            m_scratch.resize(static_cast<size_t>(size));
        }
        if (!KVLReadExact(s, m_scratch.data(), size) ||
            KVLMLZDecompress(m_scratch.data(), static_cast<size_t>(size), m_frame.data(), m_frameSize) !=
                static_cast<int64_t>(m_frameSize)) {
            return false;
        }
    }
    if (m_bitsPerPixel == 8 && !KVLReadExact(s, m_palette, kKVLMLZPaletteSize)) {
        return false;
    }
    int32_t current = m_currentFrame.load() + 1;
    if (current >= m_frameCount) {
        current = 0;
    }
    if (current + 1 == m_frameCount && !s.SeekAbsolute(kKVLMLZHeaderSize)) {
        return false;
    }
    if (m_delta && m_bitsPerPixel == 8 && current != 0) {
        uint8_t* f = m_frame.data();
        const uint8_t* p = m_previous.data();
        for (size_t i = 0; i < m_frameSize; ++i) {
            f[i] = static_cast<uint8_t>(f[i] + p[i]);
        }
    }
    std::lock_guard<std::mutex> lock(m_publishLock);
    std::memcpy(m_shown.data(), m_frame.data(), m_frameSize);
    std::memcpy(m_shownPalette, m_palette, sizeof m_palette);
    m_currentFrame = current;
    return true;
}

bool KVLAnimMLZ::NextFrame() {
    if (!m_valid) {
        return false;
    }
    if (!ReadFrame()) {
        m_valid = false;
        return false;
    }
    return true;
}

bool KVLAnimMLZ::GetFrame(KVLImage& image) {
    if (!m_valid || image.pixels == nullptr || image.width != m_width || image.height != m_height) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_publishLock);
    const size_t count = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
    uint32_t* dst = image.pixels;
    const uint8_t* src = m_shown.data();
    if (m_bitsPerPixel == 8) {
        uint32_t table[256];
        for (int i = 0; i < 256; ++i) {
            table[i] = KVLPixelFrom565(KVLGetU16(m_shownPalette + 2 * i));
        }
        for (size_t i = 0; i < count; ++i) {
            dst[i] = table[src[i]];
        }
    } else {
        for (size_t i = 0; i < count; ++i) {
            dst[i] = KVLPixelFrom565(KVLGetU16(src + 2 * i));
        }
    }
    return true;
}
