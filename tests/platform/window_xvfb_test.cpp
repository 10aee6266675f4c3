// KVLWindowSDL on a real X server: Xvfb started with a single 640x480x16 screen.
// Checks the display-mode choice against what the server offers, a close requested
// through the X server (as a window manager's close button sends it), and that a
// GL-capable window takes a context. Skipped when Xvfb is not installed.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/sdl/kvl_window_sdl.h"
#include "support/test_support.h"
#include "xvfb_server.h"

namespace {

using Log = std::vector<std::string>;

class OrderListener : public KVLWindowListener {
public:
    OrderListener(std::string name, Log* log) : m_name(std::move(name)), m_log(log) {}
    void OnDestroyed() override { m_log->push_back(m_name + ":destroyed"); }
    bool OnDestroying() override {
        m_log->push_back(m_name + ":destroying");
        return true;
    }
    void OnResize(int32_t w, int32_t h) override {
        m_log->push_back(m_name + ":resize " + std::to_string(w) + "x" + std::to_string(h));
    }

private:
    std::string m_name;
    Log* m_log;
};

class XvfbWindow : public testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveProgram("Xvfb")) {
            ZARNOTH_SKIP_MISSING() << "Xvfb is not installed (Debian package xvfb): real-window tests skipped";
        }
        std::string error;
        ASSERT_TRUE(m_server.Start("640x480x16", &error)) << error;
        setenv("DISPLAY", m_server.display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
    }

    testsupport::XvfbServer m_server;
};

// Sends WM_DELETE_WINDOW to the window through the X server, as a window manager
// does when the user closes a window.
void RequestClose(const std::string& display, SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info)) << SDL_GetError();
    ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
    Display* d = XOpenDisplay(display.c_str());
    ASSERT_NE(d, nullptr);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = info.info.x11.window;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, info.info.x11.window, False, NoEventMask, &ev);
    XFlush(d);
    XCloseDisplay(d);
}

TEST_F(XvfbWindow, OpensTheExactModeAndClosesInOrder) {
    Log log;
    OrderListener renderer("renderer", &log);
    OrderListener controller("controller", &log);
    KVLWindowSDL w("ZARNOTH 3D", 640, 480, 16);
    w.AddListener(&renderer);
    w.AddListener(&controller);
    ASSERT_TRUE(w.Open()) << SDL_GetError();

    const KVLDisplayModeChoice& choice = w.GetModeChoice();
    EXPECT_EQ(choice.match, KVLDisplayModeMatch::Exact);
    EXPECT_EQ(choice.mode.width, 640);
    EXPECT_EQ(choice.mode.height, 480);
    EXPECT_EQ(choice.mode.bitsPerPixel, 16);
    SDL_DisplayMode now;
    ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &now), 0) << SDL_GetError();
    EXPECT_EQ(now.w, 640);
    EXPECT_EQ(now.h, 480);
    EXPECT_EQ(SDL_BYTESPERPIXEL(now.format), 2);
    EXPECT_STREQ(SDL_GetWindowTitle(w.GetSDLWindow()), "ZARNOTH 3D");
    EXPECT_NE(SDL_GetWindowFlags(w.GetSDLWindow()) & SDL_WINDOW_FULLSCREEN, 0u);
    int32_t cw = 0;
    int32_t ch = 0;
    w.GetClientSize(&cw, &ch);
    EXPECT_EQ(cw, 640);
    EXPECT_EQ(ch, 480);
    EXPECT_EQ(w.GetPictureRect(), (KVLRect{0, 0, 640, 480}));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "renderer:resize 640x480");
    EXPECT_EQ(log[1], "controller:resize 640x480");
    w.SetCursorMode(-1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);

    KVLWindowSDL::PumpMessages();
    log.clear();
    RequestClose(m_server.display(), w.GetSDLWindow());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (w.IsOpen() && std::chrono::steady_clock::now() < end) {
        EXPECT_TRUE(KVLWindowSDL::PumpMessages());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(w.IsOpen()) << "the close request never arrived";
    // Whatever size notifications came before the close, the destroy passes are last.
    Log tail(log.end() - std::min<size_t>(log.size(), 4), log.end());
    EXPECT_EQ(tail, (Log{"renderer:destroying", "controller:destroying", "renderer:destroyed",
                         "controller:destroyed"}));
    ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &now), 0);
    EXPECT_EQ(now.w, w.GetSavedDisplayMode().width);
    EXPECT_EQ(now.h, w.GetSavedDisplayMode().height);
}

TEST_F(XvfbWindow, FallbacksOnASingleModeScreen) {
    struct Case {
        int32_t width, height, bpp;
        KVLDisplayModeMatch match;
        KVLRect picture;
    };
    const Case cases[] = {
        {640, 480, 32, KVLDisplayModeMatch::SameSize, {0, 0, 640, 480}},
        {320, 200, 16, KVLDisplayModeMatch::Desktop, {0, 40, 640, 400}},
        {800, 600, 16, KVLDisplayModeMatch::Desktop, {0, 0, 640, 480}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bpp);
        KVLWindowSDL w("ZARNOTH 3D", c.width, c.height, c.bpp);
        ASSERT_TRUE(w.Open()) << SDL_GetError();
        EXPECT_EQ(w.GetModeChoice().match, c.match);
        EXPECT_EQ(w.GetPictureRect(), c.picture);
        int32_t cw = 0;
        int32_t ch = 0;
        w.GetClientSize(&cw, &ch);
        EXPECT_EQ(cw, 640);
        EXPECT_EQ(ch, 480);
    }
}

TEST_F(XvfbWindow, GLCapableWindowTakesAContext) {
    void* libgl = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (libgl == nullptr) {
        ZARNOTH_SKIP_MISSING() << "libGL.so.1 is not installed: GL window test skipped";
    }
    dlclose(libgl);
    KVLWindowSDL w("ZARNOTH 3D", 640, 480, 16);
    w.RequestOpenGL();
    ASSERT_TRUE(w.Open()) << SDL_GetError();
    EXPECT_NE(SDL_GetWindowFlags(w.GetSDLWindow()) & SDL_WINDOW_OPENGL, 0u);
    SDL_GLContext context = SDL_GL_CreateContext(w.GetSDLWindow());
    ASSERT_NE(context, nullptr) << SDL_GetError();
    int depth = 0;
    int doubleBuffer = 0;
    int red = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
    SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &red);
    std::printf("GL window on Xvfb 640x480x16: red %d bits, depth %d bits, double buffer %d\n",
                red, depth, doubleBuffer);
    EXPECT_GE(depth, 16);
    EXPECT_EQ(doubleBuffer, 1);
    EXPECT_GE(red, 5);
    SDL_GL_SwapWindow(w.GetSDLWindow());
    SDL_GL_DeleteContext(context);
}

}  // namespace
