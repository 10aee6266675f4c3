// KVLImage, KVLPixelFormat and the image reader framework.
//
// Every reader returns the same picture type: 32-bit pixels 0xAARRGGBB (bytes blue,
// green, red, alpha in memory), top row first, rows packed without padding. Readers
// are registered classes derived from KVLImageReader; KVLLoadImage finds the one that
// takes a file extension by walking the class list.
//
// Also here: the intermediate pictures readers decode into (palette indices, 16-bit
// words, blue-green-red triplets), the conversions from them to 32-bit pixels, the
// vertical flip, and a small buffered byte source for the run-length decoders.
//
// Limits: pictures are at most kKVLMaxImageSide pixels in each direction; readers
// refuse larger sizes before allocating anything. A picture may also not claim more
// pixels than its data can describe: each reader bounds the pixels by the bytes left
// in the stream where its format allows (uncompressed data exactly, run-length and
// entropy-coded data by their densest coding), and applies kKVLMaxImagePixels where
// the format does not (codes that skip to the end of a line or of the picture).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/kvl_object.h"
#include "core/kvl_stream.h"
#include "core/kvl_string.h"
#include "image/kvl_image_classranks.h"

constexpr int32_t kKVLMaxImageSide = 16384;
// The most pixels a picture may have when its format does not bound them by its data.
// 64 million 32-bit pixels stay below 256 MiB.
constexpr int64_t kKVLMaxImagePixels = 64'000'000;

// True when a picture of that size may be allocated: both sides 1 to kKVLMaxImageSide.
inline bool KVLImageSizeOK(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kKVLMaxImageSide && height <= kKVLMaxImageSide;
}

struct KVLImage {
    int32_t width = 0;
    int32_t height = 0;
    // width × height pixels, top row first. Points into block for pictures the engine
    // allocated; a caller may also point it at storage of its own (block stays empty).
    uint32_t* pixels = nullptr;
    std::unique_ptr<uint32_t[]> block;
    int32_t reserved = 0;

    // A zero-filled picture; the size must pass KVLImageSizeOK.
    static std::unique_ptr<KVLImage> Create(int32_t width, int32_t height);
    // The same without clearing the pixels, for producers that write every pixel
    // before anyone reads the picture.
    static std::unique_ptr<KVLImage> CreateForOverwrite(int32_t width, int32_t height);
};

struct KVLPixelFormat {
    int32_t bitsPerPixel;
    uint32_t alphaMask;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    bool hasAlpha;

    bool operator==(const KVLPixelFormat& other) const = default;
};

extern const KVLPixelFormat kKVLPixelFormatNone;
extern const KVLPixelFormat kKVLPixelFormatIndexed8;
extern const KVLPixelFormat kKVLPixelFormatRGB555;
extern const KVLPixelFormat kKVLPixelFormatRGB565;
extern const KVLPixelFormat kKVLPixelFormatARGB4444;
extern const KVLPixelFormat kKVLPixelFormatXRGB8888;
extern const KVLPixelFormat kKVLPixelFormatARGB8888;

// Optional progress sink of a reader: Begin once with the number of rows, then Step
// with the number of rows finished since the last call.
class KVLImageProgress {
public:
    virtual ~KVLImageProgress() = default;
    virtual void Begin(int32_t rows) = 0;
    virtual void Step(int32_t rows) = 0;
};

class KVLImageReader : public KVLObject {
    KVL_DECLARE_CLASS(KVLImageReader)
public:
    // Extension without the dot; ASCII case is ignored.
    virtual bool CanRead(const KVLString& extension) const = 0;
    // Reads one picture from an unopened stream, which the reader opens and closes
    // itself. All outputs are optional. Null on failure.
    virtual std::unique_ptr<KVLImage> ReadStream(KVLStream& stream, KVLPixelFormat* format,
                                                 KVLImageProgress* progress, KVLString* errorText) = 0;
    // ReadStream on the file behind a 64 KiB read buffer.
    virtual std::unique_ptr<KVLImage> ReadFile(const KVLString& path, KVLPixelFormat* format,
                                               KVLImageProgress* progress, KVLString* errorText);
};

// Reads a picture with the first reader in the class list that takes the extension.
// Sets format none and "Unknown file type" first; the chosen reader then reports. When
// the reader fails because the stream does not open (a missing file or archive
// member), the text says so after the reader's: "Unable to load file: no member
// 'X' in archive 'Y'".
std::unique_ptr<KVLImage> KVLLoadImage(KVLStream& stream, const KVLString& extension, KVLPixelFormat* format,
                                       KVLImageProgress* progress, KVLString* errorText);
// The same with the extension of the stream's name (a file's path, a member's name).
std::unique_ptr<KVLImage> KVLLoadImage(KVLStream& stream, KVLPixelFormat* format, KVLImageProgress* progress,
                                       KVLString* errorText);

// Pixel conversions (5- and 6-bit channels are shifted up without filling the low bits).
inline uint32_t KVLPixelFromRGB(uint32_t red, uint32_t green, uint32_t blue) {
    return 0xFF000000u + (red << 16) + (green << 8) + blue;
}
inline uint32_t KVLPixelFrom555(uint16_t w) {
    return 0xFF000000u + (((w >> 10) & 31u) << 19) + (((w >> 5) & 31u) << 11) + ((w & 31u) << 3);
}
inline uint32_t KVLPixelFrom565(uint16_t w) {
    return 0xFF000000u + (((w >> 11) & 31u) << 19) + (((w >> 5) & 63u) << 10) + ((w & 31u) << 3);
}
inline uint32_t KVLPixelFromBGR(const uint8_t* p) { return KVLPixelFromRGB(p[2], p[1], p[0]); }

// A 256-entry palette; entries a file does not give are opaque black.
struct KVLPalette {
    uint32_t entry[256];
    KVLPalette();
    // Entry i = 0xFF000000 + i × 0x010101.
    static KVLPalette GreyRamp();
};

// An intermediate picture of width × height elements of elementSize bytes (1: palette
// indices, 2: 16-bit words, 3: blue-green-red triplets), top row first once decoded.
// Zero-filled at creation, so pixels a short file does not reach read as 0.
struct KVLPicture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t elementSize = 0;
    std::vector<uint8_t> bytes;

    KVLPicture(int32_t w, int32_t h, int32_t size);
    size_t RowBytes() const { return static_cast<size_t>(width) * static_cast<size_t>(elementSize); }
    uint8_t* Row(int32_t y) { return bytes.data() + RowBytes() * static_cast<size_t>(y); }
    size_t PixelCount() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
};

// Exchanges row k with row height-1-k; a 1-row picture is left as it is.
void KVLFlipVertical(KVLPicture& picture);
// Conversions of a whole intermediate picture into a new KVLImage.
std::unique_ptr<KVLImage> KVLConvertIndexed(const KVLPicture& picture, const KVLPalette& palette);
std::unique_ptr<KVLImage> KVLConvert555(const KVLPicture& picture);
std::unique_ptr<KVLImage> KVLConvertBGR(const KVLPicture& picture);
// 4-byte elements taken as 0xAARRGGBB as they are.
std::unique_ptr<KVLImage> KVLConvertBGRA(const KVLPicture& picture);

// Byte-at-a-time reading from a stream in 4 KiB blocks, for the run-length decoders.
// At the end of the data Next reports false and leaves the value as it was.
class KVLByteSource {
public:
    // Reads from the stream's current position, at most limit bytes (-1: to the end).
    explicit KVLByteSource(KVLStream& stream, int64_t limit = -1) : m_stream(stream), m_limit(limit) {}
    bool Next(uint8_t& value) {
        if (m_index == m_count && !Refill()) {
            return false;
        }
        value = m_buffer[m_index++];
        return true;
    }
    bool AtEnd() { return m_index == m_count && !Refill(); }
    // Up to n bytes into destination; returns how many arrived.
    size_t Read(uint8_t* destination, size_t n);

private:
    bool Refill();

    KVLStream& m_stream;
    int64_t m_limit;
    int32_t m_index = 0;
    int32_t m_count = 0;
    uint8_t m_buffer[4096];
};
