// Choice of the full-screen display mode, kept apart from any windowing system so that
// it can be checked against made-up mode lists.
//
// Rule, in order: the first offered mode with exactly the requested width, height and
// bits per pixel; else the first offered mode of the requested width and height at any
// depth; else the desktop's own mode, with the picture letterboxed at the requested
// aspect. Refresh rates play no part. Modes are taken in the order the system offers
// them, so the first match wins.
#pragma once

#include <cstdint>
#include <span>

struct KVLDisplayMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    int32_t refreshRate = 0;  // Hz, 0 when unknown
};

// A rectangle in pixels, origin top left.
struct KVLRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool operator==(const KVLRect&) const = default;
};

enum class KVLDisplayModeMatch {
    Exact,     // width, height and depth as requested
    SameSize,  // width and height as requested, another depth
    Desktop,   // no mode of that size: the desktop's mode, picture letterboxed
};

struct KVLDisplayModeChoice {
    KVLDisplayModeMatch match = KVLDisplayModeMatch::Desktop;
    int32_t index = -1;      // index in the offered list; -1 for the desktop mode
    KVLDisplayMode mode;     // the mode to switch to
    KVLRect picture;         // where the picture goes inside that mode
};

// The largest rectangle of the aspect width:height that fits outerWidth x outerHeight,
// centred (odd leftovers go to the right and bottom). A requested size that is not
// positive, or an empty outer size, gives the whole outer rectangle.
KVLRect KVLLetterbox(int32_t outerWidth, int32_t outerHeight, int32_t width, int32_t height);

KVLDisplayModeChoice KVLChooseDisplayMode(std::span<const KVLDisplayMode> offered,
                                          const KVLDisplayMode& desktop, int32_t width,
                                          int32_t height, int32_t bitsPerPixel);
