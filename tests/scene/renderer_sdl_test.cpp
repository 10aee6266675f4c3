// The renderer bound to an SDL window on a private Xvfb (one 640x480x16 screen): the
// context it asks for, the window's aspect reaching the projection although the only
// resize came before the context, the letterbox bars staying black, and the context
// going away with the window. Skipped when Xvfb is not installed.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <SDL.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/sdl/kvl_window_sdl.h"
#include "platform/xvfb_server.h"
#include "scene/sdl/zrn_renderer_sdl.h"
#include "support/test_support.h"

namespace {

class SDLRenderer : public testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveProgram("Xvfb")) {
            ZARNOTH_SKIP_MISSING() << "Xvfb is not installed (Debian package xvfb): window renderer tests skipped";
        }
        std::string error;
        ASSERT_TRUE(m_server.Start("640x480x16", &error)) << error;
        setenv("DISPLAY", m_server.display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
    }

    testsupport::XvfbServer m_server;
};

float ProjectionAspect() {
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    return m[5] / m[0];
}

// Red channel of the back buffer at (x, y from the top).
int RedAt(int x, int y) {
    GLubyte rgba[4] = {};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, 479 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return rgba[0];
}

TEST_F(SDLRenderer, FullScreenLetterboxedPicture) {
    struct Case {
        int32_t width, height;
        float aspect;
        int barRow;  // a row inside the top bar, -1 when there is none
    };
    const Case cases[] = {{640, 480, 640.0f / 480.0f, -1}, {320, 200, 640.0f / 400.0f, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        KVLWindowSDL window("ZARNOTH 3D", c.width, c.height, 16);
        ZRNRendererSDL renderer(&window);
        ASSERT_TRUE(window.Open()) << SDL_GetError();
        ASSERT_TRUE(renderer.Initialise()) << renderer.GetError().c_str();
        int depth = 0;
        int doubleBuffer = 0;
        SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
        SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
        EXPECT_GE(depth, 16);
        EXPECT_EQ(doubleBuffer, 1);
        EXPECT_NEAR(ProjectionAspect(), c.aspect, 1e-4f);

        renderer.Clear(KVLVector3(1.0f, 0.0f, 0.0f));
        EXPECT_GT(RedAt(320, 240), 200);
        if (c.barRow >= 0) {
            EXPECT_EQ(RedAt(320, c.barRow), 0);
            EXPECT_EQ(RedAt(320, 479 - c.barRow), 0);
        }
        EXPECT_TRUE(renderer.Present());
    }
}

TEST_F(SDLRenderer, ContextGoesWithTheWindow) {
    KVLWindowSDL window("ZARNOTH 3D", 640, 480, 16);
    window.SetFullScreen(false);
    ZRNRendererSDL renderer(&window);
    EXPECT_FALSE(renderer.Initialise());  // not open yet
    ASSERT_TRUE(window.Open()) << SDL_GetError();
    ASSERT_TRUE(renderer.Initialise()) << renderer.GetError().c_str();
    EXPECT_TRUE(renderer.HasContext());
    window.Close();
    EXPECT_FALSE(renderer.HasContext());
    EXPECT_EQ(renderer.GetTextureCache(), nullptr);
    renderer.Clear(KVLVector3::White);  // no context: does nothing
    renderer.ResetTextures();
    EXPECT_FALSE(renderer.Present());
}

// The application's teardown order: the window object goes first, then the renderer.
TEST_F(SDLRenderer, WindowDestroyedBeforeTheRenderer) {
    auto window = std::make_unique<KVLWindowSDL>("ZARNOTH 3D", 640, 480, 16);
    window->SetFullScreen(false);
    auto renderer = std::make_unique<ZRNRendererSDL>(window.get());
    ASSERT_TRUE(window->Open()) << SDL_GetError();
    ASSERT_TRUE(renderer->Initialise()) << renderer->GetError().c_str();
    window.reset();
    EXPECT_FALSE(renderer->HasContext());
    EXPECT_FALSE(renderer->Present());
    renderer.reset();
}

}  // namespace
