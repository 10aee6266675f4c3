// Fuzz target: the MLZ animation decoder. Opens the bytes, steps through up to two
// rounds of frames (64 steps at most) and converts each frame. No size filter: Open
// refuses frames larger than the file could hold.
#include <cstddef>
#include <cstdint>

#include "anim/kvl_anim_mlz.h"
#include "core/kvl_memorystream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KVLMemoryStream stream(data, size);
    KVLAnimMLZ anim;
    KVLPixelFormat format = kKVLPixelFormatNone;
    KVLString text;
    if (!anim.Open(stream, &format, &text)) {
        return 0;
    }
    std::unique_ptr<KVLImage> image = KVLImage::Create(anim.GetWidth(), anim.GetHeight());
    int64_t steps = 2 * static_cast<int64_t>(anim.GetFrameCount());
    if (steps > 64) {
        steps = 64;
    }
    uint32_t sum = 0;
    for (int64_t i = 0; i < steps; ++i) {
        if (!anim.GetFrame(*image)) {
            break;
        }
        sum += image->pixels[static_cast<size_t>(i) % static_cast<size_t>(image->width)];
        if (!anim.NextFrame()) {
            break;
        }
    }
    return sum == 0x12345678u ? 1 : 0;
}
