// KVLImageReaderPCX: PCX decoding.
//
// The variant follows the number of planes. Run bytes (two top bits set) carry a
// 6-bit count; a count of 0 repeats nothing. Monochrome and 16-colour lines are
// decoded line by line, bytes-per-line bytes per plane, so pictures whose width is not
// a multiple of 8 keep their rows aligned; runs that cross a line end carry on into
// the next line. A truncated pixel stream ends decoding: what was not reached stays 0.
//
// A run gives at most 63 bytes for 2 bytes of file, so a picture that needs more
// decoded bytes than the data after the header could give is refused before anything
// is allocated; a file cut short of what its picture needs but not that short decodes.
#include "image/kvl_imagereader_pcx.h"

#include <algorithm>

namespace {

constexpr int32_t kHeaderSize = 128;
constexpr int32_t kPaletteSize = 768;
constexpr uint8_t kRunMarker = 0xC0;

struct Header {
    uint8_t version = 0;
    uint8_t bitsPerPixel = 0;
    uint8_t planes = 0;
    uint16_t bytesPerLine = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t egaPalette[48] = {};
};

bool ReadHeader(KVLStream& s, Header& h) {
    uint8_t b[kHeaderSize];
    if (!KVLReadExact(s, b, kHeaderSize)) {
        return false;
    }
    h.version = b[1];
    h.bitsPerPixel = b[3];
    const int32_t xMin = KVLGetU16(b + 4);
    const int32_t yMin = KVLGetU16(b + 6);
    const int32_t xMax = KVLGetU16(b + 8);
    const int32_t yMax = KVLGetU16(b + 10);
    for (int i = 0; i < 48; ++i) {
        h.egaPalette[i] = b[16 + i];
    }
    h.planes = b[65];
    h.bytesPerLine = KVLGetU16(b + 66);

    int32_t width = xMax - xMin + 1;
    if (width == 1) {
        width = xMax - xMin;
    }
    const int32_t lineBits = 8 * h.bytesPerLine;
    if (width != lineBits && h.version != 5) {
        width = lineBits;
    } else if (width != h.bytesPerLine && h.version == 5 && h.planes != 4 && h.bitsPerPixel != 1) {
        width = h.bytesPerLine;
    }
    h.width = width;
    h.height = yMax - yMin + 1;
    return true;
}

enum class Variant { Colours256, Mono, True24, Colours16, Refused };

Variant ChooseVariant(const Header& h, KVLPixelFormat& format, int& bits) {
    switch (h.planes) {
        case 1:
            format = kKVLPixelFormatIndexed8;
            bits = 8;
            return (h.version == 5 && h.bitsPerPixel != 1) ? Variant::Colours256 : Variant::Mono;
        case 3:
            bits = 24;
            if (h.version == 5) {
                format = kKVLPixelFormatXRGB8888;
                return Variant::True24;
            }
            format = kKVLPixelFormatNone;
            return Variant::Refused;
        case 4:
            format = kKVLPixelFormatIndexed8;
            bits = 4;
            return Variant::Colours16;
        default:
            format = kKVLPixelFormatNone;
            bits = -1;
            return Variant::Refused;
    }
}

// Decoded bytes the variant takes from the run-length stream for the whole picture. A
// planar line that is narrower than the picture counts as wide enough to cover it,
// so pixels that no byte reaches are claimed all the same.
int64_t DecodedBytes(const Header& h, Variant variant) {
    const int64_t planeLine = std::max<int64_t>(h.bytesPerLine, (int64_t{h.width} + 7) / 8);
    switch (variant) {
        case Variant::Colours256: return int64_t{h.width} * h.height;
        case Variant::Mono: return planeLine * h.height;
        case Variant::Colours16: return 4 * planeLine * h.height;
        case Variant::True24: return 3 * int64_t{h.width} * h.height;
        case Variant::Refused: break;
    }
    return 0;
}

// The most bytes that length bytes of run-length data decode to: 63 per run of two
// bytes, one for a byte left over.
int64_t MostDecoded(int64_t length) { return length <= 0 ? 0 : length / 2 * 63 + length % 2; }

// Decoded values of the run-length stream, one at a time.
class RunDecoder {
public:
    explicit RunDecoder(KVLStream& s) : m_src(s) {}
    // False at the end of the data.
    bool Next(uint8_t& v) {
        if (m_pending > 0) {
            --m_pending;
            v = m_value;
            return true;
        }
        for (;;) {
            uint8_t b = 0;
            if (!m_src.Next(b)) {
                return false;
            }
            if ((b & kRunMarker) != kRunMarker) {
                v = b;
                return true;
            }
            if (!m_src.Next(m_value)) {
                return false;
            }
            const int count = b & 0x3F;
            if (count > 0) {
                m_pending = count - 1;
                v = m_value;
                return true;
            }
        }
    }
    // Forgets the rest of the current run.
    void DropRun() { m_pending = 0; }

private:
    KVLByteSource m_src;
    uint8_t m_value = 0;
    int m_pending = 0;
};

void Begin(KVLImageProgress* p, int32_t rows) {
    if (p != nullptr) p->Begin(rows);
}
void Step(KVLImageProgress* p) {
    if (p != nullptr) p->Step(1);
}

std::unique_ptr<KVLImage> Decode256(KVLStream& s, const Header& h, KVLImageProgress* progress) {
    KVLPicture picture(h.width, h.height, 1);
    KVLPalette palette;
    if (s.SeekFromEnd(kPaletteSize)) {
        uint8_t rgb[kPaletteSize];
        const int32_t got = s.Read(rgb, kPaletteSize);
        for (int32_t i = 0; i < 256 && 3 * i + 2 < got; ++i) {
            palette.entry[i] = KVLPixelFromRGB(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        }
    }
    if (!s.SeekAbsolute(kHeaderSize)) {
        return KVLConvertIndexed(picture, palette);
    }
    Begin(progress, h.height);
    RunDecoder runs(s);
    for (int32_t y = 0; y < h.height; ++y) {
        uint8_t* row = picture.Row(y);
        for (int32_t x = 0; x < h.width; ++x) {
            if (!runs.Next(row[x])) {
                return KVLConvertIndexed(picture, palette);
            }
        }
        Step(progress);
    }
    return KVLConvertIndexed(picture, palette);
}

// Monochrome (one plane) and 16 colours (four planes): each line holds the planes one
// after another, bytes-per-line bytes each, 8 pixels per byte from the top bit. Plane
// p supplies bit p of the pixel's palette index.
std::unique_ptr<KVLImage> DecodePlanar(KVLStream& s, const Header& h, int planes, const KVLPalette& palette,
                                       KVLImageProgress* progress) {
    KVLPicture picture(h.width, h.height, 1);
    if (!s.SeekAbsolute(kHeaderSize)) {
        return KVLConvertIndexed(picture, palette);
    }
    Begin(progress, h.height);
    RunDecoder runs(s);
    for (int32_t y = 0; y < h.height; ++y) {
        uint8_t* row = picture.Row(y);
        for (int p = 0; p < planes; ++p) {
            for (int32_t i = 0; i < h.bytesPerLine; ++i) {
                uint8_t b = 0;
                if (!runs.Next(b)) {
                    return KVLConvertIndexed(picture, palette);
                }
                for (int j = 0; j < 8; ++j) {
                    const int32_t x = i * 8 + j;
                    if (x < h.width && ((b >> (7 - j)) & 1) != 0) {
                        row[x] = static_cast<uint8_t>(row[x] | (planes == 1 ? 0xFF : (1 << p)));
                    }
                }
            }
        }
        Step(progress);
    }
    return KVLConvertIndexed(picture, palette);
}

std::unique_ptr<KVLImage> Decode24(KVLStream& s, const Header& h, KVLImageProgress* progress) {
    if (h.version != 5 || h.planes != 3) {
        return nullptr;
    }
    auto image = KVLImage::Create(h.width, h.height);
    if (!s.SeekAbsolute(kHeaderSize)) {
        return image;
    }
    Begin(progress, h.height);
    RunDecoder runs(s);
    static const int kShift[3] = {16, 8, 0};
    for (int32_t y = 0; y < h.height; ++y) {
        uint32_t* row = image->pixels + static_cast<size_t>(y) * static_cast<size_t>(h.width);
        for (int p = 0; p < 3; ++p) {
            for (int32_t x = 0; x < h.width; ++x) {
                uint8_t v = 0;
                if (!runs.Next(v)) {
                    return image;
                }
                row[x] += static_cast<uint32_t>(v) << kShift[p];
            }
            runs.DropRun();
        }
        Step(progress);
    }
    return image;
}

}  // namespace

KVL_IMPLEMENT_CLASS(KVLImageReaderPCX, KVLImageReader);

bool KVLImageReaderPCX::CanRead(const KVLString& extension) const { return extension.EqualsNoCase("PCX"); }

std::unique_ptr<KVLImage> KVLImageReaderPCX::ReadStream(KVLStream& stream, KVLPixelFormat* format,
                                                        KVLImageProgress* progress, KVLString* errorText) {
    Header h;
    {
        KVLStreamReading reading(stream);
        if (!reading.IsOpen() || !ReadHeader(stream, h) || h.width <= 0 || h.height <= 0) {
            return nullptr;
        }
    }
    auto fail = [&]() -> std::unique_ptr<KVLImage> {
        if (format != nullptr) {
            *format = kKVLPixelFormatNone;
        }
        if (errorText != nullptr) {
            *errorText = "Unable to load file";
        }
        return nullptr;
    };
    if (!KVLImageSizeOK(h.width, h.height)) {
        return fail();
    }
    KVLPixelFormat reported = kKVLPixelFormatNone;
    int bits = -1;
    const Variant variant = ChooseVariant(h, reported, bits);
    if (format != nullptr) {
        *format = reported;
    }
    if (errorText != nullptr) {
        errorText->Format("PCX picture - %dx%dx%d", h.width, h.height, bits);
    }
    if (variant == Variant::Refused) {
        return fail();
    }

    KVLStreamReading reading(stream);
    Header again;
    if (!reading.IsOpen() || !ReadHeader(stream, again) || again.width != h.width || again.height != h.height) {
        return fail();
    }
    if (DecodedBytes(again, variant) > MostDecoded(int64_t{stream.GetLength()} - kHeaderSize)) {
        return fail();
    }
    std::unique_ptr<KVLImage> image;
    switch (variant) {
        case Variant::Colours256:
            image = Decode256(stream, again, progress);
            break;
        case Variant::Mono: {
            KVLPalette palette = KVLPalette::GreyRamp();
            image = DecodePlanar(stream, again, 1, palette, progress);
            break;
        }
        case Variant::Colours16: {
            KVLPalette palette;
            for (int i = 0; i < 16; ++i) {
                const uint8_t* e = again.egaPalette + 3 * i;
                palette.entry[i] = KVLPixelFromRGB(e[0], e[1], e[2]);
            }
            image = DecodePlanar(stream, again, 4, palette, progress);
            break;
        }
        case Variant::True24:
            image = Decode24(stream, again, progress);
            break;
        case Variant::Refused:
            break;
    }
    if (!image) {
        return fail();
    }
    return image;
}
