// ZRNRendererWGL on a real window and ZRNRendererOffscreen over WGL: the pixel format
// asked for, the initial state, a known colour drawn and read back, a textured quad
// uploaded as BGRA, the context given back when the window goes, and the teardown in
// the application's order (window first, renderer after).
#include <gtest/gtest.h>

#include <windows.h>
#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "image/kvl_image.h"
#include "platform/win32/kvl_window_win32.h"
#include "scene/win32/zrn_renderer_wgl.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"
#include "scene/zrn_renderer_offscreen.h"

namespace {

// Pixels compare per channel within tol (16-bit colour rounds).
::testing::AssertionResult Near(uint32_t got, uint32_t want, int tol) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>((got >> shift) & 0xFF);
        const int b = static_cast<int>((want >> shift) & 0xFF);
        if (a - b > tol || b - a > tol) {
            return ::testing::AssertionFailure() << std::hex << "0x" << got << " is not near 0x" << want;
        }
    }
    return ::testing::AssertionSuccess();
}

uint32_t ReadBackPixel(int x, int y) {
    uint8_t bgra[4] = {};
    glReadPixels(x, y, 1, 1, GL_BGRA_EXT, GL_UNSIGNED_BYTE, bgra);
    return 0xFF000000u | (static_cast<uint32_t>(bgra[2]) << 16) | (static_cast<uint32_t>(bgra[1]) << 8) | bgra[0];
}

class CountingListener : public KVLWindowListener {
public:
    int destroying = 0;
    bool OnDestroying() override {
        ++destroying;
        return true;
    }
};

TEST(RendererWGL, WindowContextDrawsAndSwaps) {
    // Small enough to fit with its frame on a 640x480 desktop.
    auto window = std::make_unique<KVLWindowWin32>("kvl wgl test", 320, 240, 16);
    window->SetFullScreen(false);
    auto renderer = std::make_unique<ZRNRendererWGL>(window.get());
    CountingListener after;
    window->AddListener(&after);
    EXPECT_FALSE(renderer->Initialise());  // the window is not open yet
    ASSERT_TRUE(window->Open());
    renderer->SetSwapInterval(0);
    ASSERT_TRUE(renderer->Initialise()) << renderer->GetError().c_str();
    ASSERT_TRUE(renderer->HasContext());
    EXPECT_NE(wglGetCurrentContext(), nullptr);

    // The pixel format: double-buffered RGBA for a window with OpenGL and a depth
    // buffer (the driver may give more than the 16 bits asked for).
    PIXELFORMATDESCRIPTOR pfd = {};
    HDC dc = wglGetCurrentDC();
    ASSERT_NE(dc, nullptr);
    ASSERT_NE(DescribePixelFormat(dc, renderer->GetPixelFormat(), sizeof pfd, &pfd), 0);
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    EXPECT_NE(pfd.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_NE(pfd.dwFlags & PFD_SUPPORT_OPENGL, 0u);
    EXPECT_NE(pfd.dwFlags & PFD_DRAW_TO_WINDOW, 0u);
    EXPECT_GE(pfd.cDepthBits, 16);

    // Initial state: depth test, lighting, normalise; the viewport is the client area.
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 240);

    renderer->Clear(KVLVector3(1.0f, 0.0f, 0.0f));
    glFinish();
    glReadBuffer(GL_BACK);
    EXPECT_TRUE(Near(ReadBackPixel(160, 120), 0xFFFF0000u, 8));
    EXPECT_TRUE(Near(ReadBackPixel(0, 0), 0xFFFF0000u, 8));
    EXPECT_TRUE(renderer->Present());

    // A wider client area: the picture keeps 4:3 in the middle, the bars stay black.
    window->SetClientSize(400, 240);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 40);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 240);
    renderer->Clear(KVLVector3(0.0f, 0.0f, 1.0f));
    glFinish();
    EXPECT_TRUE(Near(ReadBackPixel(200, 120), 0xFF0000FFu, 8));
    EXPECT_TRUE(Near(ReadBackPixel(10, 120), 0xFF000000u, 8));
    EXPECT_TRUE(Near(ReadBackPixel(390, 120), 0xFF000000u, 8));
    EXPECT_TRUE(renderer->Present());
    // The window's erase notice presents too.
    window->Invalidate();

    // Application order: the window goes first; the renderer gives its context back
    // while the native window still exists and is a no-op from then on.
    window.reset();
    EXPECT_EQ(after.destroying, 1);
    EXPECT_FALSE(renderer->HasContext());
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(renderer->Present());
    renderer->Clear(KVLVector3(0.0f, 1.0f, 0.0f));
    renderer.reset();
}

TEST(RendererWGL, RendererDestroyedFirstLeavesTheWindowListenerListClean) {
    KVLWindowWin32 window("kvl wgl order test", 320, 240, 16);
    window.SetFullScreen(false);
    {
        ZRNRendererWGL renderer(&window);
        EXPECT_EQ(window.GetListenerCount(), 1);
        ASSERT_TRUE(window.Open());
        ASSERT_TRUE(renderer.Initialise()) << renderer.GetError().c_str();
    }
    EXPECT_EQ(window.GetListenerCount(), 0);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    window.Close();
}

TEST(RendererOffscreenWGL, ClearColourReadsBackTopRowFirst) {
    struct Case {
        KVLVector3 colour;
        uint32_t pixel;
    };
    ZRNRendererOffscreen renderer(64, 48);
    ASSERT_TRUE(renderer.Initialise()) << renderer.GetError().c_str();
    // Where the driver has framebuffer objects the drawing goes to one, not to the
    // hidden window.
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    ASSERT_NE(extensions, nullptr);
    if (std::string(extensions).find("GL_EXT_framebuffer_object") != std::string::npos) {
        GLint framebuffer = 0;
        glGetIntegerv(0x8CA6 /* GL_FRAMEBUFFER_BINDING_EXT */, &framebuffer);
        EXPECT_NE(framebuffer, 0);
    } else {
        std::printf("[   info   ] no framebuffer objects: the hidden window's back buffer is used\n");
    }
    for (const Case& c : {Case{KVLVector3(1.0f, 0.0f, 0.0f), 0xFFFF0000u}, Case{KVLVector3(0.0f, 1.0f, 0.0f), 0xFF00FF00u},
                          Case{KVLVector3(0.0f, 0.0f, 1.0f), 0xFF0000FFu},
                          Case{KVLVector3(0.5f, 0.25f, 0.75f), 0xFF8040BFu}}) {
        renderer.Clear(c.colour);
        ASSERT_TRUE(renderer.Present());
        std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
        ASSERT_NE(picture, nullptr);
        ASSERT_EQ(picture->width, 64);
        ASSERT_EQ(picture->height, 48);
        EXPECT_TRUE(Near(picture->pixels[0], c.pixel, 2));
        EXPECT_TRUE(Near(picture->pixels[64 * 48 - 1], c.pixel, 2));
    }

    // A lower half drawn in white through the fixed pipeline with no lighting: the
    // bottom rows of the picture are white, the top rows keep the clear colour.
    renderer.Clear(KVLVector3(0.0f, 0.0f, 0.0f));
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 0.0f);
    glVertex2f(-1.0f, 0.0f);
    glEnd();
    renderer.Present();
    std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(Near(picture->pixels[0], 0xFF000000u, 2));                  // top left
    EXPECT_TRUE(Near(picture->pixels[64 * 47], 0xFFFFFFFFu, 2));            // bottom left
}

TEST(RendererOffscreenWGL, BGRATextureKeepsItsChannels) {
    ZRNRendererOffscreen renderer(32, 32);
    ASSERT_TRUE(renderer.Initialise()) << renderer.GetError().c_str();
    // A 2x2 texture in one colour, 0xAARRGGBB as the image readers deliver it.
    std::unique_ptr<KVLImage> texture = KVLImage::Create(2, 2);
    for (int i = 0; i < 4; ++i) {
        texture->pixels[i] = 0xFF2080C0u;
    }
    // Kind 4: textured, unlit.
    ZRNMaterial material(KVLString("bgra test"), 4, false, texture.get());
    renderer.Clear(KVLVector3(0.0f, 0.0f, 0.0f));
    renderer.ApplyMaterial(material);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    renderer.Present();
    std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(Near(picture->pixels[16 * 32 + 16], 0xFF2080C0u, 3));
}

TEST(RendererOffscreenWGL, RefusesSizesOutOfRange) {
    for (int32_t size : {0, -5, 8193}) {
        ZRNRendererOffscreen renderer(size, 16);
        EXPECT_FALSE(renderer.Initialise());
        EXPECT_FALSE(renderer.GetError().IsEmpty());
        EXPECT_EQ(renderer.ReadPixels(), nullptr);
    }
}

}  // namespace
