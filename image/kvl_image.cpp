// KVLImage, pixel formats, conversions and reader dispatch.
#include "image/kvl_image.h"

#include <algorithm>
#include <cstring>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"

const KVLPixelFormat kKVLPixelFormatNone = {-1, 0, 0, 0, 0, false};
const KVLPixelFormat kKVLPixelFormatIndexed8 = {8, 0, 0, 0, 0, false};
const KVLPixelFormat kKVLPixelFormatRGB555 = {16, 0, 0x7C00, 0x03E0, 0x001F, false};
const KVLPixelFormat kKVLPixelFormatRGB565 = {16, 0, 0xF800, 0x07E0, 0x001F, false};
const KVLPixelFormat kKVLPixelFormatARGB4444 = {16, 0xF000, 0x0F00, 0x00F0, 0x000F, true};
const KVLPixelFormat kKVLPixelFormatXRGB8888 = {32, 0, 0x00FF0000, 0x0000FF00, 0x000000FF, false};
const KVLPixelFormat kKVLPixelFormatARGB8888 = {32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF, true};

namespace {
constexpr int32_t kReadFileBuffer = 65536;
}

std::unique_ptr<KVLImage> KVLImage::Create(int32_t width, int32_t height) {
    auto image = CreateForOverwrite(width, height);
    std::fill(image->pixels, image->pixels + static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
    return image;
}

std::unique_ptr<KVLImage> KVLImage::CreateForOverwrite(int32_t width, int32_t height) {
    auto image = std::make_unique<KVLImage>();
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    // Default-initialised (not zeroed); spelled out because the web toolchain's C++
    // library lacks std::make_unique_for_overwrite.
    image->block = std::unique_ptr<uint32_t[]>(new uint32_t[count]);
    image->pixels = image->block.get();
    image->width = width;
    image->height = height;
    image->reserved = 0;
    return image;
}

KVL_IMPLEMENT_ABSTRACT_CLASS(KVLImageReader, KVLObject);

std::unique_ptr<KVLImage> KVLImageReader::ReadFile(const KVLString& path, KVLPixelFormat* format,
                                                   KVLImageProgress* progress, KVLString* errorText) {
    KVLFileStream file(path);
    KVLBufferedStream buffered(file, kReadFileBuffer);
    return ReadStream(buffered, format, progress, errorText);
}

std::unique_ptr<KVLImage> KVLLoadImage(KVLStream& stream, const KVLString& extension, KVLPixelFormat* format,
                                       KVLImageProgress* progress, KVLString* errorText) {
    if (format != nullptr) {
        *format = kKVLPixelFormatNone;
    }
    if (errorText != nullptr) {
        *errorText = "Unknown file type";
    }
    for (const KVLClassInfo* info = KVLClassInfo::GetFirst(); info != nullptr; info = info->GetNext()) {
        if (!info->IsDerivedFrom(KVLImageReader::StaticClass()) || info->IsAbstract()) {
            continue;
        }
        std::unique_ptr<KVLImageReader> reader = KVLCreateAs<KVLImageReader>(info);
        if (reader && reader->CanRead(extension)) {
            std::unique_ptr<KVLImage> image = reader->ReadStream(stream, format, progress, errorText);
            if (image == nullptr && errorText != nullptr) {
                // Some readers leave the text alone when the stream does not open, so
                // that it would read "Unknown file type": the reason goes in its place.
                const KVLString why = KVLWhyNotOpen(stream);
                if (!why.IsEmpty()) {
                    errorText->Format("Unable to load file: %s", why.c_str());
                }
            }
            return image;
        }
    }
    return nullptr;
}

std::unique_ptr<KVLImage> KVLLoadImage(KVLStream& stream, KVLPixelFormat* format, KVLImageProgress* progress,
                                       KVLString* errorText) {
    const KVLString extension = KVLStreamExtension(stream);
    if (extension.IsEmpty()) {
        if (format != nullptr) {
            *format = kKVLPixelFormatNone;
        }
        if (errorText != nullptr) {
            errorText->Format("Unknown file type: '%s' has no extension", stream.GetName().c_str());
        }
        return nullptr;
    }
    return KVLLoadImage(stream, extension, format, progress, errorText);
}


KVLPalette::KVLPalette() {
    std::fill(std::begin(entry), std::end(entry), 0xFF000000u);
}

KVLPalette KVLPalette::GreyRamp() {
    KVLPalette p;
    for (uint32_t i = 0; i < 256; ++i) {
        p.entry[i] = 0xFF000000u + i * 0x010101u;
    }
    return p;
}

KVLPicture::KVLPicture(int32_t w, int32_t h, int32_t size)
    : width(w), height(h), elementSize(size),
      bytes(static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(size)) {}

void KVLFlipVertical(KVLPicture& picture) {
    if (picture.height <= 1) {
        return;
    }
    const size_t rowBytes = picture.RowBytes();
    std::vector<uint8_t> scratch(rowBytes);
    for (int32_t k = 0; k < picture.height / 2; ++k) {
        uint8_t* a = picture.Row(k);
        uint8_t* b = picture.Row(picture.height - 1 - k);
        std::memcpy(scratch.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, scratch.data(), rowBytes);
    }
}

std::unique_ptr<KVLImage> KVLConvertIndexed(const KVLPicture& picture, const KVLPalette& palette) {
    auto image = KVLImage::CreateForOverwrite(picture.width, picture.height);
    const size_t n = picture.PixelCount();
    const uint8_t* src = picture.bytes.data();
    for (size_t i = 0; i < n; ++i) {
        image->pixels[i] = palette.entry[src[i]];
    }
    return image;
}

std::unique_ptr<KVLImage> KVLConvert555(const KVLPicture& picture) {
    auto image = KVLImage::CreateForOverwrite(picture.width, picture.height);
    const size_t n = picture.PixelCount();
    const uint8_t* src = picture.bytes.data();
    for (size_t i = 0; i < n; ++i) {
        image->pixels[i] = KVLPixelFrom555(KVLGetU16(src + 2 * i));
    }
    return image;
}

std::unique_ptr<KVLImage> KVLConvertBGR(const KVLPicture& picture) {
    auto image = KVLImage::CreateForOverwrite(picture.width, picture.height);
    const size_t n = picture.PixelCount();
    const uint8_t* src = picture.bytes.data();
    for (size_t i = 0; i < n; ++i) {
        image->pixels[i] = KVLPixelFromBGR(src + 3 * i);
    }
    return image;
}

std::unique_ptr<KVLImage> KVLConvertBGRA(const KVLPicture& picture) {
    auto image = KVLImage::CreateForOverwrite(picture.width, picture.height);
    const size_t n = picture.PixelCount();
    const uint8_t* src = picture.bytes.data();
    for (size_t i = 0; i < n; ++i) {
        image->pixels[i] = KVLGetU32(src + 4 * i);
    }
    return image;
}

bool KVLByteSource::Refill() {
    int32_t want = static_cast<int32_t>(sizeof m_buffer);
    if (m_limit >= 0 && m_limit < want) {
        want = static_cast<int32_t>(m_limit);
    }
    const int32_t got = want > 0 ? m_stream.Read(m_buffer, want) : 0;
    m_index = 0;
    m_count = got > 0 ? got : 0;
    if (m_limit >= 0) {
        m_limit -= m_count;
    }
    return m_count > 0;
}

size_t KVLByteSource::Read(uint8_t* destination, size_t n) {
    size_t done = 0;
    while (done < n) {
        if (m_index == m_count && !Refill()) {
            break;
        }
        size_t chunk = static_cast<size_t>(m_count - m_index);
        if (chunk > n - done) {
            chunk = n - done;
        }
        std::memcpy(destination + done, m_buffer + m_index, chunk);
        m_index += static_cast<int32_t>(chunk);
        done += chunk;
    }
    return done;
}
