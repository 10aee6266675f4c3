// Display-mode choice and letterboxing (no windowing system involved).
#include "platform/kvl_displaymode.h"

KVLRect KVLLetterbox(int32_t outerWidth, int32_t outerHeight, int32_t width, int32_t height) {
    KVLRect r{0, 0, outerWidth > 0 ? outerWidth : 0, outerHeight > 0 ? outerHeight : 0};
    if (width <= 0 || height <= 0 || r.width == 0 || r.height == 0) {
        return r;
    }
    // Compare outerWidth/outerHeight with width/height without division; 64-bit
    // products cannot overflow for 32-bit sizes.
    const int64_t ow = r.width;
    const int64_t oh = r.height;
    if (ow * height > oh * width) {
        // Outer is wider: full height, bars left and right.
        const int64_t w = (oh * width + height / 2) / height;
        r.width = static_cast<int32_t>(w < ow ? w : ow);
        r.x = static_cast<int32_t>((ow - r.width) / 2);
    } else if (ow * height < oh * width) {
        // Outer is taller: full width, bars above and below.
        const int64_t h = (ow * height + width / 2) / width;
        r.height = static_cast<int32_t>(h < oh ? h : oh);
        r.y = static_cast<int32_t>((oh - r.height) / 2);
    }
    return r;
}

KVLDisplayModeChoice KVLChooseDisplayMode(std::span<const KVLDisplayMode> offered,
                                          const KVLDisplayMode& desktop, int32_t width,
                                          int32_t height, int32_t bitsPerPixel) {
    KVLDisplayModeChoice choice;
    int32_t sameSize = -1;
    for (size_t i = 0; i < offered.size(); ++i) {
        const KVLDisplayMode& m = offered[i];
        if (m.width != width || m.height != height) {
            continue;
        }
        if (m.bitsPerPixel == bitsPerPixel) {
            choice.match = KVLDisplayModeMatch::Exact;
            choice.index = static_cast<int32_t>(i);
            choice.mode = m;
            choice.picture = KVLRect{0, 0, width, height};
            return choice;
        }
        if (sameSize < 0) {
            sameSize = static_cast<int32_t>(i);
        }
    }
    if (sameSize >= 0) {
        choice.match = KVLDisplayModeMatch::SameSize;
        choice.index = sameSize;
        choice.mode = offered[static_cast<size_t>(sameSize)];
        choice.picture = KVLRect{0, 0, width, height};
        return choice;
    }
    choice.match = KVLDisplayModeMatch::Desktop;
    choice.index = -1;
    choice.mode = desktop;
    choice.picture = KVLLetterbox(desktop.width, desktop.height, width, height);
    return choice;
}
