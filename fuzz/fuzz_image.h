// Shared body of the image reader fuzz targets: decode the bytes with one reader and
// read every pixel of the result, so that a pixel left uninitialised or a picture of
// the wrong size shows up under the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/kvl_memorystream.h"
#include "image/kvl_image.h"

// Pictures that only the pixel budget holds (no bound from their data) are skipped
// above this size: they are valid input and reach no code that a small picture does
// not, but a few bytes can declare them, so the fuzzer would spend its time filling
// large pictures (a 2-million-pixel one takes 0.1 s under the sanitizers).
constexpr int64_t kFuzzMaxPixels = int64_t{1} << 16;

class FuzzProgress : public KVLImageProgress {
public:
    void Begin(int32_t rows) override { total = rows; }
    void Step(int32_t rows) override { done += rows; }
    int64_t total = 0;
    int64_t done = 0;
};

template <class Reader>
int FuzzImageReader(const uint8_t* data, size_t size, bool withProgress) {
    KVLMemoryStream stream(data, size);
    Reader reader;
    KVLPixelFormat format = kKVLPixelFormatNone;
    KVLString text;
    FuzzProgress progress;
    std::unique_ptr<KVLImage> image = reader.ReadStream(stream, &format, withProgress ? &progress : nullptr, &text);
    if (image) {
        uint32_t sum = 0;
        const size_t n = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
        for (size_t i = 0; i < n; ++i) {
            sum += image->pixels[i];
        }
        if (sum == 0x12345678u && text.IsEmpty()) {
            return 1;
        }
    }
    return 0;
}
