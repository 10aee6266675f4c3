// KVLImageReaderTGA: Targa decoding.
//
// The image ID field is skipped, and so is a colour map in a true-colour file, so the
// pixel data is found whatever the writer put before it. The first colour map index
// is ignored: pixel values index the stored map from its first entry. Greyscale
// run-length files (type 11) and 16-bit colour maps are not read.
//
// The pixel data must be able to describe the whole picture, checked before anything
// is allocated: uncompressed pixels must all be there, and run-length data gets at
// most 128 pixels out of each packet of a count byte and one pixel value. Pixels that
// a short run-length file within that bound does not supply stay 0.
#include "image/kvl_imagereader_tga.h"

#include <cstring>

namespace {

constexpr int32_t kHeaderSize = 18;
constexpr uint8_t kTypeMapped = 1;
constexpr uint8_t kTypeTrue = 2;
constexpr uint8_t kTypeGrey = 3;
constexpr uint8_t kTypeMappedRLE = 9;
constexpr uint8_t kTypeTrueRLE = 10;
constexpr uint8_t kTopFirst = 0x20;

struct Header {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t type = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntryBits = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t depth = 0;
    uint8_t descriptor = 0;

    int32_t MapBytes() const { return mapLength * ((mapEntryBits + 7) / 8); }
};

bool ReadHeader(KVLStream& s, Header& h) {
    uint8_t b[kHeaderSize];
    if (!KVLReadExact(s, b, kHeaderSize)) {
        return false;
    }
    h.idLength = b[0];
    h.mapType = b[1];
    h.type = b[2];
    h.mapLength = KVLGetU16(b + 5);
    h.mapEntryBits = b[7];
    h.width = KVLGetU16(b + 12);
    h.height = KVLGetU16(b + 14);
    h.depth = b[16];
    h.descriptor = b[17];
    return h.width != 0 && h.height != 0;
}

// True when the data from the stream's position on can describe every pixel of the
// picture: size bytes per uncompressed pixel, at most 128 pixels per run-length packet.
bool DataCoversPicture(KVLStream& s, const Header& h, int32_t size, bool packets) {
    const int64_t available = int64_t{s.GetLength()} - s.Tell();
    const int64_t pixels = int64_t{h.width} * h.height;
    if (packets) {
        return available > 0 && pixels <= available / (1 + size) * 128;
    }
    return pixels * size <= available;
}

// Reads whole rows into the picture, the first row read becoming the last row.
void ReadPlainRows(KVLStream& s, KVLPicture& picture, KVLImageProgress* progress) {
    if (progress != nullptr) {
        progress->Begin(picture.height);
    }
    const int32_t rowBytes = static_cast<int32_t>(picture.RowBytes());
    for (int32_t i = 0; i < picture.height; ++i) {
        if (s.Read(picture.Row(picture.height - 1 - i), rowBytes) != rowBytes) {
            return;
        }
        if (progress != nullptr) {
            progress->Step(1);
        }
    }
}

// Run-length packets in file order into the picture's elements; packets may cross
// rows and are cut at the last pixel.
void ReadPackets(KVLStream& s, KVLPicture& picture, KVLImageProgress* progress) {
    if (progress != nullptr) {
        progress->Begin(picture.height);
    }
    KVLByteSource src(s);
    const size_t total = picture.PixelCount();
    const int32_t size = picture.elementSize;
    uint8_t* out = picture.bytes.data();
    size_t filled = 0;
    int64_t column = 0;
    uint8_t value[4] = {};
    while (filled < total) {
        uint8_t c = 0;
        if (!src.Next(c)) {
            return;
        }
        const size_t count = static_cast<size_t>(c & 127) + 1;
        const size_t take = count < total - filled ? count : total - filled;
        if (c & 0x80) {
            for (int32_t k = 0; k < size; ++k) {
                if (!src.Next(value[k])) {
                    return;
                }
            }
            uint8_t* dst = out + filled * size;
            for (size_t i = 0; i < take; ++i, dst += size) {
                std::memcpy(dst, value, static_cast<size_t>(size));
            }
        } else {
            const size_t bytes = take * static_cast<size_t>(size);
            if (src.Read(out + filled * size, bytes) != bytes) {
                return;
            }
            // A raw packet cut at the last pixel still holds its remaining values.
            for (size_t i = take; i < count; ++i) {
                uint8_t skipped[4];
                if (src.Read(skipped, static_cast<size_t>(size)) != static_cast<size_t>(size)) {
                    return;
                }
            }
        }
        filled += take;
        column += static_cast<int64_t>(take);
        while (column > picture.width) {
            column -= picture.width;
            if (progress != nullptr) {
                progress->Step(1);
            }
        }
    }
}

std::unique_ptr<KVLImage> Decode8(KVLStream& s, const Header& h, KVLImageProgress* progress) {
    const bool mapped = h.type == kTypeMapped || h.type == kTypeMappedRLE;
    if (h.depth != 8 || h.mapEntryBits == 16 || (!mapped && h.type != kTypeGrey)) {
        return nullptr;
    }
    if (mapped && h.mapEntryBits != 24 && h.mapEntryBits != 32) {
        return nullptr;
    }
    if (!s.SeekAbsolute(kHeaderSize + h.idLength)) {
        return nullptr;
    }
    KVLPalette palette = KVLPalette::GreyRamp();
    if (mapped) {
        palette = KVLPalette();
        const int32_t entryBytes = h.mapEntryBits / 8;
        const int32_t kept = h.mapLength < 256 ? h.mapLength : 256;
        uint8_t map[256 * 4];
        const int32_t got = s.Read(map, kept * entryBytes);
        for (int32_t i = 0; i < kept && (i + 1) * entryBytes <= got; ++i) {
            const uint8_t* e = map + i * entryBytes;
            palette.entry[i] = KVLPixelFromRGB(e[2], e[1], e[0]);
        }
        if (!s.SeekAbsolute(kHeaderSize + h.idLength + h.MapBytes())) {
            return nullptr;
        }
    }
    if (!DataCoversPicture(s, h, 1, h.type == kTypeMappedRLE)) {
        return nullptr;
    }
    KVLPicture picture(h.width, h.height, 1);
    if (h.type == kTypeMappedRLE) {
        ReadPackets(s, picture, progress);
        KVLFlipVertical(picture);
    } else {
        ReadPlainRows(s, picture, progress);
    }
    if (h.descriptor & kTopFirst) {
        KVLFlipVertical(picture);
    }
    return KVLConvertIndexed(picture, palette);
}

std::unique_ptr<KVLImage> DecodeTrue(KVLStream& s, const Header& h, int32_t size, KVLImageProgress* progress) {
    if (h.depth != size * 8 || (h.type != kTypeTrue && h.type != kTypeTrueRLE)) {
        return nullptr;
    }
    const int32_t skip = kHeaderSize + h.idLength + (h.mapType == 1 ? h.MapBytes() : 0);
    if (!s.SeekAbsolute(skip) || !DataCoversPicture(s, h, size, h.type == kTypeTrueRLE)) {
        return nullptr;
    }
    KVLPicture picture(h.width, h.height, size);
    if (h.type == kTypeTrue) {
        ReadPlainRows(s, picture, progress);
        if (h.descriptor & kTopFirst) {
            KVLFlipVertical(picture);
        }
    } else {
        ReadPackets(s, picture, progress);
        if (!(h.descriptor & kTopFirst)) {
            KVLFlipVertical(picture);
        }
    }
    switch (size) {
        case 2: return KVLConvert555(picture);
        case 3: return KVLConvertBGR(picture);
        default: return KVLConvertBGRA(picture);
    }
}

}  // namespace

KVL_IMPLEMENT_CLASS(KVLImageReaderTGA, KVLImageReader);

bool KVLImageReaderTGA::CanRead(const KVLString& extension) const { return extension.EqualsNoCase("TGA"); }

std::unique_ptr<KVLImage> KVLImageReaderTGA::ReadStream(KVLStream& stream, KVLPixelFormat* format,
                                                        KVLImageProgress* progress, KVLString* errorText) {
    Header h;
    {
        KVLStreamReading reading(stream);
        if (!reading.IsOpen() || !ReadHeader(stream, h)) {
            return nullptr;
        }
    }
    if (format != nullptr) {
        *format = kKVLPixelFormatNone;
    }
    if (errorText != nullptr) {
        errorText->Format("Targa picture - %dx%dx%d", h.width, h.height, h.depth);
    }

    std::unique_ptr<KVLImage> image;
    KVLPixelFormat decoded = kKVLPixelFormatNone;
    if (KVLImageSizeOK(h.width, h.height)) {
        KVLStreamReading reading(stream);
        Header again;
        if (reading.IsOpen() && ReadHeader(stream, again)) {
            switch (again.depth / 8) {
                case 1:
                    image = Decode8(stream, again, progress);
                    decoded = kKVLPixelFormatIndexed8;
                    break;
                case 2:
                    image = DecodeTrue(stream, again, 2, progress);
                    decoded = kKVLPixelFormatRGB555;
                    break;
                case 3:
                    image = DecodeTrue(stream, again, 3, progress);
                    decoded = kKVLPixelFormatXRGB8888;
                    break;
                case 4:
                    if (format != nullptr) {
                        *format = kKVLPixelFormatARGB8888;
                    }
                    image = DecodeTrue(stream, again, 4, progress);
                    decoded = kKVLPixelFormatARGB8888;
                    break;
                default:
                    break;
            }
        }
    }
    if (!image) {
        if (format != nullptr) {
            *format = kKVLPixelFormatNone;
        }
        if (errorText != nullptr) {
            *errorText = "Unable to load file";
        }
        return nullptr;
    }
    if (format != nullptr) {
        *format = decoded;
    }
    return image;
}
