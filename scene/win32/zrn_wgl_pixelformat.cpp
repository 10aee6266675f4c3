// ZRNSetWGLPixelFormat: ChoosePixelFormat and SetPixelFormat on one descriptor.
#include "scene/win32/zrn_wgl_pixelformat.h"

#include <windows.h>

int ZRNSetWGLPixelFormat(HDC dc, uint8_t colourBits) {
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = colourBits;
    pfd.cDepthBits = 16;
    const int format = ChoosePixelFormat(dc, &pfd);
    if (format == 0) {
        return 0;
    }
    return SetPixelFormat(dc, format, &pfd) ? format : -1;
}
