// KVLWindowSDL on SDL's dummy video driver: listener notifications and their order,
// the registry, event routing, windowed sizes and the message box. Nothing here
// needs a display.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kvl_messagebox.h"
#include "platform/sdl/kvl_window_sdl.h"

namespace {

// Appends "name:event" lines to a shared log.
class RecordingListener : public KVLWindowListener {
public:
    RecordingListener(std::string name, std::vector<std::string>* log)
        : m_name(std::move(name)), m_log(log) {}
    void OnDestroyed() override { Log("destroyed"); }
    bool OnDestroying() override {
        Log("destroying");
        return false;  // the window must not care
    }
    void OnResize(int32_t w, int32_t h) override {
        Log("resize " + std::to_string(w) + "x" + std::to_string(h));
    }
    void OnPresent() override { Log("present"); }
    void OnKeyDown(int32_t key) override { Log("key " + std::to_string(key)); }

private:
    void Log(const std::string& what) { m_log->push_back(m_name + ":" + what); }
    std::string m_name;
    std::vector<std::string>* m_log;
};

class DummyVideo : public testing::Test {
protected:
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
};

void PushWindowEvent(KVLWindowSDL& w, Uint8 type, int data1 = 0, int data2 = 0) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(w.GetSDLWindow());
    e.window.event = type;
    e.window.data1 = data1;
    e.window.data2 = data2;
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}

void PushKey(KVLWindowSDL& w, SDL_Keycode sym) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(w.GetSDLWindow());
    e.key.keysym.sym = sym;
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}

// Lets SDL deliver whatever the driver queued at Open, then forgets it.
void Drain(std::vector<std::string>* log) {
    KVLWindowSDL::PumpMessages();
    log->clear();
}

using Log = std::vector<std::string>;

TEST_F(DummyVideo, CloseNotifiesEveryListenerInTwoPasses) {
    Log log;
    RecordingListener a("A", &log);
    RecordingListener b("B", &log);
    {
        KVLWindowSDL w("ZARNOTH 3D", 640, 480, 16);
        w.AddListener(&a);
        w.AddListener(&b);
        ASSERT_TRUE(w.Open()) << SDL_GetError();
        ASSERT_TRUE(w.IsOpen());
        EXPECT_STREQ(SDL_GetWindowTitle(w.GetSDLWindow()), "ZARNOTH 3D");
        int32_t cw = 0;
        int32_t ch = 0;
        w.GetClientSize(&cw, &ch);
        const std::string size = std::to_string(cw) + "x" + std::to_string(ch);
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[0], "A:resize " + size);  // Open reports the size it got
        EXPECT_EQ(log[1], "B:resize " + size);
        Drain(&log);

        PushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        EXPECT_TRUE(KVLWindowSDL::PumpMessages());
        EXPECT_EQ(log, (Log{"A:destroying", "B:destroying", "A:destroyed", "B:destroyed"}));
        EXPECT_FALSE(w.IsOpen());
        EXPECT_EQ(w.GetSDLWindow(), nullptr);
        w.Close();  // a second close does nothing
    }
    // Destroying the object after the close calls no listener again.
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(DummyVideo, DestructionClosesAnOpenWindow) {
    Log log;
    RecordingListener a("A", &log);
    RecordingListener b("B", &log);
    {
        KVLWindowSDL w("ZARNOTH 3D", 640, 480, 16);
        w.AddListener(&a);
        w.AddListener(&b);
        ASSERT_TRUE(w.Open()) << SDL_GetError();
        Drain(&log);
    }
    EXPECT_EQ(log, (Log{"A:destroying", "B:destroying", "A:destroyed", "B:destroyed"}));

    log.clear();
    {
        KVLWindowSDL never("never opened", 640, 480, 16);
        never.AddListener(&a);
    }
    EXPECT_TRUE(log.empty());
}

TEST_F(DummyVideo, ListenersAddedAndRemoved) {
    Log log;
    RecordingListener a("A", &log);
    RecordingListener b("B", &log);
    KVLWindowSDL w("t", 640, 480, 16);
    w.SetFullScreen(false);
    w.AddListener(&a);
    w.AddListener(&b);
    w.AddListener(&a);  // no duplicate check: A hears everything twice
    EXPECT_EQ(w.GetListenerCount(), 3);
    w.RemoveListener(&a);  // the first occurrence only
    EXPECT_EQ(w.GetListenerCount(), 2);
    RecordingListener absent("X", &log);
    w.RemoveListener(&absent);
    EXPECT_EQ(w.GetListenerCount(), 2);
    ASSERT_TRUE(w.Open()) << SDL_GetError();
    EXPECT_EQ(log, (Log{"B:resize 640x480", "A:resize 640x480"}));
}

TEST_F(DummyVideo, ResizePresentAndKeysReachTheirWindow) {
    Log log;
    RecordingListener a("A", &log);
    RecordingListener b("B", &log);
    KVLWindowSDL first("first", 640, 480, 16);
    KVLWindowSDL second("second", 320, 240, 16);
    first.SetFullScreen(false);
    second.SetFullScreen(false);
    first.AddListener(&a);
    second.AddListener(&b);
    ASSERT_TRUE(first.Open()) << SDL_GetError();
    ASSERT_TRUE(second.Open()) << SDL_GetError();
    Drain(&log);

    PushWindowEvent(second, SDL_WINDOWEVENT_EXPOSED);
    PushWindowEvent(first, SDL_WINDOWEVENT_SIZE_CHANGED, 0, 0);  // minimised: passed on as is
    PushKey(first, SDLK_LEFT);
    PushKey(second, SDLK_q);
    PushKey(second, SDLK_ESCAPE);
    PushKey(second, SDLK_F5);
    EXPECT_TRUE(KVLWindowSDL::PumpMessages());
    EXPECT_EQ(log, (Log{"B:present", "A:resize 0x0", "A:key " + std::to_string(KVLKeyLeft),
                        "B:key 113", "B:key 27", "B:key " + std::to_string(KVLKeyOther)}));

    // Events for a window that no object holds reach nobody.
    log.clear();
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = 0xfffff;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    EXPECT_TRUE(KVLWindowSDL::PumpMessages());
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(first.IsOpen());
    EXPECT_TRUE(second.IsOpen());
}

TEST_F(DummyVideo, InvalidatePresentsOnceAtTheNextPump) {
    Log log;
    RecordingListener a("A", &log);
    KVLWindowSDL w("t", 640, 480, 16);
    w.SetFullScreen(false);
    w.AddListener(&a);
    w.Invalidate();  // not open: nothing to present
    ASSERT_TRUE(w.Open()) << SDL_GetError();
    Drain(&log);
    w.Invalidate();
    w.Invalidate();
    EXPECT_TRUE(log.empty());
    KVLWindowSDL::PumpMessages();
    EXPECT_EQ(log, (Log{"A:present"}));
    KVLWindowSDL::PumpMessages();
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(DummyVideo, WindowedSizesAndPicture) {
    Log log;
    RecordingListener a("A", &log);
    KVLWindowSDL w("t", 640, 480, 16);
    w.SetFullScreen(false);
    w.AddListener(&a);
    ASSERT_TRUE(w.Open()) << SDL_GetError();
    EXPECT_EQ(log, (Log{"A:resize 640x480"}));
    EXPECT_EQ(w.GetPictureRect(), (KVLRect{0, 0, 640, 480}));
    EXPECT_TRUE(w.Open());  // already open: nothing more
    EXPECT_EQ(log.size(), 1u);
    Drain(&log);

    w.SetClientSize(800, 480);
    KVLWindowSDL::PumpMessages();
    EXPECT_EQ(log, (Log{"A:resize 800x480"}));
    EXPECT_EQ(w.GetWidth(), 640);  // the requested size stays
    EXPECT_EQ(w.GetHeight(), 480);
    EXPECT_EQ(w.GetPictureRect(), (KVLRect{80, 0, 640, 480}));
    w.SetClientSize(0, 100);  // refused, nothing changes
    KVLWindowSDL::PumpMessages();
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(DummyVideo, MoveCenterShow) {
    KVLWindowSDL w("t", 640, 480, 16);
    w.SetFullScreen(false);
    w.Move(5, 5);  // not open: nothing to move
    w.Center();
    w.Show(0);
    ASSERT_TRUE(w.Open()) << SDL_GetError();
    SDL_Rect desk;
    ASSERT_EQ(SDL_GetDisplayBounds(0, &desk), 0);
    int x = -1;
    int y = -1;
    w.Move(10, 20);
    SDL_GetWindowPosition(w.GetSDLWindow(), &x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    w.SetClientSize(301, 201);
    w.Center();  // odd leftovers truncate
    SDL_GetWindowPosition(w.GetSDLWindow(), &x, &y);
    EXPECT_EQ(x, desk.x + (desk.w - 301) / 2);
    EXPECT_EQ(y, desk.y + (desk.h - 201) / 2);
    w.Show(0);
    EXPECT_NE(SDL_GetWindowFlags(w.GetSDLWindow()) & SDL_WINDOW_HIDDEN, 0u);
    w.Show(5);
    EXPECT_NE(SDL_GetWindowFlags(w.GetSDLWindow()) & SDL_WINDOW_SHOWN, 0u);
}

TEST_F(DummyVideo, FullScreenFallsBackToTheDesktopMode) {
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_DisplayMode desk;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desk), 0) << SDL_GetError();
    // A size the dummy driver does not offer.
    KVLWindowSDL w("t", 333, 111, 16);
    ASSERT_TRUE(w.Open()) << SDL_GetError();
    EXPECT_EQ(w.GetModeChoice().match, KVLDisplayModeMatch::Desktop);
    EXPECT_EQ(w.GetSavedDisplayMode().width, desk.w);
    EXPECT_EQ(w.GetSavedDisplayMode().height, desk.h);
    int32_t cw = 0;
    int32_t ch = 0;
    w.GetClientSize(&cw, &ch);
    EXPECT_EQ(cw, desk.w);
    EXPECT_EQ(ch, desk.h);
    EXPECT_EQ(w.GetPictureRect(), KVLLetterbox(desk.w, desk.h, 333, 111));
    EXPECT_EQ(w.GetModeChoice().picture, w.GetPictureRect());
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST_F(DummyVideo, CursorModeMinusOneHides) {
    KVLWindowSDL w("t", 640, 480, 16);
    w.SetFullScreen(false);
    ASSERT_TRUE(w.Open()) << SDL_GetError();
    SDL_ShowCursor(SDL_ENABLE);
    w.SetCursorMode(0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    w.SetCursorMode(-1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    SDL_ShowCursor(SDL_ENABLE);
}

TEST_F(DummyVideo, RegistryKeepsConstructionOrder) {
    const int32_t before = KVLWindowSDL::GetRegistry().GetCount();
    auto* a = new KVLWindowSDL("a", 1, 1, 16);
    auto* b = new KVLWindowSDL("b", 1, 1, 16);
    auto* c = new KVLWindowSDL("c", 1, 1, 16);
    const KVLArray<KVLWindowSDL*>& reg = KVLWindowSDL::GetRegistry();
    ASSERT_EQ(reg.GetCount(), before + 3);
    EXPECT_EQ(reg[before], a);
    EXPECT_EQ(reg[before + 1], b);
    EXPECT_EQ(reg[before + 2], c);
    delete b;
    ASSERT_EQ(reg.GetCount(), before + 2);
    EXPECT_EQ(reg[before], a);
    EXPECT_EQ(reg[before + 1], c);
    EXPECT_EQ(KVLWindowSDL::FindWindow(0), nullptr);  // unopened windows have no id
    delete a;
    delete c;
    EXPECT_EQ(reg.GetCount(), before);
}

TEST(MessageBox, WithoutADisplayOnlyWritesTheLine) {
    struct Case {
        const char* driver;   // null: unset
        const char* display;  // null: unset
    };
    // Every test program sets ZARNOTH_NO_MESSAGE_BOX; these cases run without it.
    const Case cases[] = {{"dummy", ":0"}, {"offscreen", ":0"}, {nullptr, nullptr}};
    const char* oldQuiet = std::getenv("ZARNOTH_NO_MESSAGE_BOX");
    const std::string savedQuiet = oldQuiet != nullptr ? oldQuiet : "";
    unsetenv("ZARNOTH_NO_MESSAGE_BOX");
    const char* oldDriver = std::getenv("SDL_VIDEODRIVER");
    const std::string savedDriver = oldDriver != nullptr ? oldDriver : "";
    const char* oldDisplay = std::getenv("DISPLAY");
    const std::string savedDisplay = oldDisplay != nullptr ? oldDisplay : "";
    const char* oldWayland = std::getenv("WAYLAND_DISPLAY");
    const std::string savedWayland = oldWayland != nullptr ? oldWayland : "";
    unsetenv("WAYLAND_DISPLAY");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver != nullptr ? c.driver : "(no driver)");
        c.driver != nullptr ? setenv("SDL_VIDEODRIVER", c.driver, 1) : unsetenv("SDL_VIDEODRIVER");
        c.display != nullptr ? setenv("DISPLAY", c.display, 1) : unsetenv("DISPLAY");
        testing::internal::CaptureStderr();
        const bool shown = KVLMessageBox("Unable to play music");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(shown);
        EXPECT_EQ(err, "Error: Unable to play music\n");
    }
    testing::internal::CaptureStderr();
    KVLMessageBox("Error creating application", "ZARNOTH 3D");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ZARNOTH 3D: Error creating application\n");
    oldDriver != nullptr ? setenv("SDL_VIDEODRIVER", savedDriver.c_str(), 1) : unsetenv("SDL_VIDEODRIVER");
    oldDisplay != nullptr ? setenv("DISPLAY", savedDisplay.c_str(), 1) : unsetenv("DISPLAY");
    if (oldWayland != nullptr) {
        setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1);
    }
    if (oldQuiet != nullptr) {
        setenv("ZARNOTH_NO_MESSAGE_BOX", savedQuiet.c_str(), 1);
    }
}

}  // namespace
