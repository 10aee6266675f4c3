// The pixel format both WGL bindings (the window's and the offscreen one's) give their
// device context: double-buffered RGBA for a window, with OpenGL and a 16-bit depth
// buffer; only the colour depth differs. A device context takes a pixel format once.
#pragma once

#include <cstdint>

struct HDC__;

// The number of the format chosen and set on dc; 0 when the driver offers none,
// -1 when SetPixelFormat refused it (GetLastError says why).
int ZRNSetWGLPixelFormat(HDC__* dc, uint8_t colourBits);
