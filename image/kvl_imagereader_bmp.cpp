// KVLImageReaderBMP: Windows bitmap decoding.
//
// Pixels are always read from the pixel-data offset of the file header, and the
// palette lies between the end of the headers (14 + header size) and that offset, so
// files with longer headers or extra bytes before the pixels come out right.
//
// Uncompressed pixels must all be in the file. Run-length data has codes that end a
// line, move the position or end the picture in two to four bytes, so its size says
// nothing about the picture's: such pictures are held to kKVLMaxImagePixels instead.
// Both checks come before anything is allocated.
#include "image/kvl_imagereader_bmp.h"

#include <climits>
#include <cstring>

namespace {

constexpr uint16_t kMagic = 0x4D42;  // "BM"
constexpr int32_t kFileHeaderSize = 14;
constexpr int32_t kInfoHeaderSize = 40;
constexpr int32_t kCoreHeaderSize = 12;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRLE8 = 1;

struct Headers {
    uint32_t fileSize = 0;
    uint32_t dataOffset = 0;
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // absolute value
    bool bottomUp = true;
    uint16_t bits = 0;
    uint32_t compression = 0;
    bool core = false;
    int64_t headersEnd = 0;
};

// Reads and checks both headers from the start of an open stream.
bool ParseHeaders(KVLStream& s, Headers& h) {
    uint8_t file[kFileHeaderSize];
    if (!KVLReadExact(s, file, kFileHeaderSize) || KVLGetU16(file) != kMagic) {
        return false;
    }
    h.fileSize = KVLGetU32(file + 2);
    h.dataOffset = KVLGetU32(file + 10);

    // A core header is only 12 bytes long, so a small core file may hold fewer than 40
    // bytes after the file header: accept whatever arrives and check what is needed.
    uint8_t info[kInfoHeaderSize] = {};
    const int32_t got = s.Read(info, kInfoHeaderSize);
    if (got < 4) {
        return false;
    }
    h.headerSize = KVLGetU32(info);
    int64_t height = 0;
    if (h.headerSize == static_cast<uint32_t>(kCoreHeaderSize)) {
        if (got < kCoreHeaderSize) {
            return false;
        }
        h.core = true;
        h.width = KVLGetU16(info + 4);
        height = KVLGetU16(info + 6);
        h.bits = KVLGetU16(info + 10);
        h.compression = kCompressionNone;
    } else {
        if (got < kInfoHeaderSize || h.headerSize < static_cast<uint32_t>(kInfoHeaderSize)) {
            return false;
        }
        h.width = KVLGetS32(info + 4);
        height = KVLGetS32(info + 8);
        h.bits = KVLGetU16(info + 14);
        h.compression = KVLGetU32(info + 16);
    }
    h.bottomUp = height > 0;
    if (height < 0) {
        height = -height;
    }
    if (!KVLImageSizeOK(h.width, height)) {
        return false;
    }
    h.height = static_cast<int32_t>(height);
    h.headersEnd = kFileHeaderSize + static_cast<int64_t>(h.headerSize);
    // Stream positions are 32-bit: an offset beyond them cannot be reached.
    return h.dataOffset >= h.headersEnd && h.dataOffset <= static_cast<uint32_t>(INT32_MAX);
}

int64_t RowSize(int32_t width, int bits) {
    const int64_t w = width;
    switch (bits) {
        case 1: return ((w + 31) & ~int64_t{31}) / 8;
        case 4: return ((w + 7) & ~int64_t{7}) / 2;
        case 8: return (w + 3) & ~int64_t{3};
        case 16: return (w * 2 + 3) & ~int64_t{3};
        case 24: return w * 3 + (w & 3);
        case 32: return w * 4;
        default: return 0;
    }
}

bool ReadPalette(KVLStream& s, const Headers& h, KVLPalette& palette) {
    const int32_t entrySize = h.core ? 3 : 4;
    int64_t count = (static_cast<int64_t>(h.dataOffset) - h.headersEnd) / entrySize;
    if (count > 256) {
        count = 256;
    }
    if (!s.SeekAbsolute(static_cast<int32_t>(h.headersEnd))) {
        return false;
    }
    uint8_t bytes[256 * 4];
    if (!KVLReadExact(s, bytes, static_cast<int32_t>(count * entrySize))) {
        return false;
    }
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* e = bytes + i * entrySize;
        palette.entry[i] = KVLPixelFromRGB(e[2], e[1], e[0]);
    }
    return true;
}

// Reads height rows of rowSize bytes from the pixel-data offset. Fails before
// allocating when the file cannot hold them.
bool ReadRows(KVLStream& s, const Headers& h, int64_t rowSize, KVLImageProgress* progress,
              std::vector<uint8_t>& rows) {
    const int64_t total = rowSize * h.height;
    if (static_cast<int64_t>(h.dataOffset) + total > s.GetLength() || !s.SeekAbsolute(static_cast<int32_t>(h.dataOffset))) {
        return false;
    }
    rows.resize(static_cast<size_t>(total));
    if (progress == nullptr) {
        return KVLReadExact(s, rows.data(), static_cast<int32_t>(total));
    }
    progress->Begin(h.height);
    for (int32_t y = 0; y < h.height; ++y) {
        if (!KVLReadExact(s, rows.data() + rowSize * y, static_cast<int32_t>(rowSize))) {
            return false;
        }
        progress->Step(1);
    }
    return true;
}

bool DecodeRLE8(KVLStream& s, const Headers& h, KVLImageProgress* progress, KVLPicture& picture) {
    if (!s.SeekAbsolute(static_cast<int32_t>(h.dataOffset))) {
        return false;
    }
    // The run-length data ends at the file size of the header; a size field that is
    // missing or points past the data is replaced by the stream's length.
    const int64_t length = s.GetLength();
    int64_t end = h.fileSize;
    if (end <= static_cast<int64_t>(h.dataOffset) || end > length) {
        end = length;
    }
    KVLByteSource src(s, end - h.dataOffset);
    if (progress != nullptr) {
        progress->Begin(h.height);
    }
    const int32_t w = picture.width;
    int64_t x = 0;
    int64_t y = 0;
    // Runs and literals are clipped at the end of their row; positions that a delta
    // moves outside the picture write nothing.
    auto put = [&](uint8_t v) {
        if (x < w && y < h.height) {
            picture.Row(static_cast<int32_t>(y))[x] = v;
        }
        ++x;
    };
    uint8_t n = 0;
    uint8_t v = 0;
    while (y < h.height && src.Next(n) && src.Next(v)) {
        if (n > 0) {
            for (int i = 0; i < n && x < w; ++i) {
                put(v);
            }
            continue;
        }
        if (v == 0) {
            x = 0;
            ++y;
            if (progress != nullptr) {
                progress->Step(1);
            }
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            uint8_t dx = 0;
            uint8_t dy = 0;
            if (!src.Next(dx) || !src.Next(dy)) {
                break;
            }
            x += dx;
            y += dy;
            if (progress != nullptr && dy > 0) {
                progress->Step(dy);
            }
        } else {
            uint8_t value = 0;
            for (int i = 0; i < v; ++i) {
                if (!src.Next(value)) {
                    return true;
                }
                put(value);
            }
            if (v & 1) {
                src.Next(value);
            }
        }
    }
    return true;
}

std::unique_ptr<KVLImage> DecodePalette(KVLStream& s, const Headers& h, KVLImageProgress* progress) {
    KVLPalette palette;
    if (!ReadPalette(s, h, palette)) {
        return nullptr;
    }
    if (h.compression == kCompressionRLE8) {
        if (h.bits != 8 || int64_t{h.width} * h.height > kKVLMaxImagePixels) {
            return nullptr;
        }
        KVLPicture picture(h.width, h.height, 1);
        if (!DecodeRLE8(s, h, progress, picture)) {
            return nullptr;
        }
        if (h.bottomUp) {
            KVLFlipVertical(picture);
        }
        return KVLConvertIndexed(picture, palette);
    }
    if (h.compression != kCompressionNone) {
        return nullptr;
    }
    const int64_t rowSize = RowSize(h.width, h.bits);
    std::vector<uint8_t> rows;
    if (!ReadRows(s, h, rowSize, progress, rows)) {
        return nullptr;
    }
    KVLPicture picture(h.width, h.height, 1);
    for (int32_t y = 0; y < h.height; ++y) {
        const uint8_t* src = rows.data() + rowSize * y;
        uint8_t* dst = picture.Row(y);
        for (int32_t x = 0; x < h.width; ++x) {
            switch (h.bits) {
                case 8: dst[x] = src[x]; break;
                case 4: dst[x] = static_cast<uint8_t>((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
                default: dst[x] = static_cast<uint8_t>((src[x >> 3] >> (7 - (x & 7))) & 1); break;
            }
        }
    }
    rows = std::vector<uint8_t>();
    if (h.bottomUp) {
        KVLFlipVertical(picture);
    }
    return KVLConvertIndexed(picture, palette);
}

std::unique_ptr<KVLImage> DecodeTrueColour(KVLStream& s, const Headers& h, KVLImageProgress* progress) {
    if (h.compression != kCompressionNone) {
        return nullptr;
    }
    const int64_t rowSize = RowSize(h.width, h.bits);
    std::vector<uint8_t> rows;
    if (!ReadRows(s, h, rowSize, progress, rows)) {
        return nullptr;
    }
    const int32_t elementSize = h.bits / 8;
    KVLPicture picture(h.width, h.height, elementSize);
    for (int32_t y = 0; y < h.height; ++y) {
        std::memcpy(picture.Row(y), rows.data() + rowSize * y, picture.RowBytes());
    }
    rows = std::vector<uint8_t>();
    if (h.bottomUp) {
        KVLFlipVertical(picture);
    }
    switch (h.bits) {
        case 16: return KVLConvert555(picture);
        case 24: return KVLConvertBGR(picture);
        default: return KVLConvertBGRA(picture);
    }
}

}  // namespace

KVL_IMPLEMENT_CLASS(KVLImageReaderBMP, KVLImageReader);

bool KVLImageReaderBMP::CanRead(const KVLString& extension) const { return extension.EqualsNoCase("BMP"); }

std::unique_ptr<KVLImage> KVLImageReaderBMP::ReadStream(KVLStream& stream, KVLPixelFormat* format,
                                                        KVLImageProgress* progress, KVLString* errorText) {
    if (format != nullptr) {
        *format = kKVLPixelFormatNone;
    }
    if (errorText != nullptr) {
        *errorText = "Unable to load file";
    }
    Headers h;
    {
        KVLStreamReading reading(stream);
        if (!reading.IsOpen() || !ParseHeaders(stream, h)) {
            return nullptr;
        }
    }
    if (errorText != nullptr) {
        errorText->Format("BMP picture - %dx%dx%d", h.width, h.height, h.bits);
    }

    std::unique_ptr<KVLImage> image;
    KVLPixelFormat decoded = kKVLPixelFormatNone;
    {
        // Each decoder works on a fresh opening with the headers parsed again.
        KVLStreamReading reading(stream);
        Headers again;
        if (reading.IsOpen() && ParseHeaders(stream, again)) {
            switch (again.bits) {
                case 1:
                case 4:
                case 8:
                    image = DecodePalette(stream, again, progress);
                    decoded = kKVLPixelFormatIndexed8;
                    break;
                case 16:
                    image = DecodeTrueColour(stream, again, progress);
                    decoded = kKVLPixelFormatRGB555;
                    break;
                case 24:
                    image = DecodeTrueColour(stream, again, progress);
                    decoded = kKVLPixelFormatXRGB8888;
                    break;
                case 32:
                    image = DecodeTrueColour(stream, again, progress);
                    decoded = kKVLPixelFormatARGB8888;
                    break;
                default:
                    break;
            }
        }
    }
    if (!image) {
        if (errorText != nullptr) {
            *errorText = "Unable to load file";
        }
        if (format != nullptr) {
            *format = kKVLPixelFormatNone;
        }
        return nullptr;
    }
    if (format != nullptr) {
        *format = decoded;
    }
    return image;
}
