// KVLWindowWin32 on a real Win32 display (Wine's virtual desktop in CI): the mode
// switch and its restore, the borderless full-screen window, the listener
// notifications and their order, the never-validated client area, the windowed mode,
// the main-loop helpers and the message box switch.
//
// The full-screen cases need a desktop that is not already 640x480x16 and that offers
// that mode; they are skipped, with the reason, where the display offers no such mode.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kvl_messagebox.h"
#include "platform/kvl_programpath.h"
#include "platform/win32/kvl_window_win32.h"

namespace {

using Log = std::vector<std::string>;

class RecordingListener : public KVLWindowListener {
public:
    RecordingListener(std::string name, Log* log) : m_name(std::move(name)), m_log(log) {}
    void OnDestroyed() override { Add("destroyed"); }
    bool OnDestroying() override {
        Add("destroying");
        return false;  // the window must not care
    }
    void OnResize(int32_t w, int32_t h) override { Add("resize " + std::to_string(w) + "x" + std::to_string(h)); }
    void OnPresent() override { Add("present"); }
    void OnKeyDown(int32_t key) override { Add("key " + std::to_string(key)); }

private:
    void Add(const std::string& what) { m_log->push_back(m_name + ":" + what); }
    std::string m_name;
    Log* m_log;
};

struct Mode {
    int width;
    int height;
    int bits;
};

Mode CurrentMode() {
    DEVMODEA m = {};
    m.dmSize = sizeof m;
    EXPECT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &m));
    return Mode{static_cast<int>(m.dmPelsWidth), static_cast<int>(m.dmPelsHeight), static_cast<int>(m.dmBitsPerPel)};
}

bool Offers(int width, int height, int bits) {
    DEVMODEA m = {};
    m.dmSize = sizeof m;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &m); ++i) {
        if (static_cast<int>(m.dmPelsWidth) == width && static_cast<int>(m.dmPelsHeight) == height &&
            static_cast<int>(m.dmBitsPerPel) == bits) {
            return true;
        }
    }
    return false;
}

// Handles whatever is queued apart from the endless WM_PAINT.
void Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_PAINT) {
        ASSERT_TRUE(KVLWindowWin32::PumpMessages());
    }
}

#define SKIP_WITHOUT_MODE_CHANGE()                                                                        \
    do {                                                                                                  \
        const Mode desk = CurrentMode();                                                                  \
        if (!Offers(640, 480, 16) || (desk.width == 640 && desk.height == 480 && desk.bits == 16)) {     \
            GTEST_SKIP() << "the display offers no 640x480x16 mode apart from the current one (desktop " \
                         << desk.width << "x" << desk.height << "x" << desk.bits << ")";                 \
        }                                                                                                 \
    } while (0)

TEST(WindowWin32, FullScreenSwitchesTheModeAndRestoresItAfterDestruction) {
    SKIP_WITHOUT_MODE_CHANGE();
    const Mode before = CurrentMode();
    Log log;
    RecordingListener a("A", &log);
    RecordingListener b("B", &log);
    {
        KVLWindowWin32 w("ZARNOTH 3D", 640, 480, 16);
        w.AddListener(&a);
        w.AddListener(&b);
        ASSERT_TRUE(w.Open());
        HWND handle = w.GetHandle();
        ASSERT_NE(handle, nullptr);
        EXPECT_TRUE(w.IsModeChanged());
        const Mode during = CurrentMode();
        EXPECT_EQ(during.width, 640);
        EXPECT_EQ(during.height, 480);
        EXPECT_EQ(during.bits, 16);
        EXPECT_EQ(w.GetSavedDisplayMode().width, before.width);
        EXPECT_EQ(w.GetSavedDisplayMode().height, before.height);
        EXPECT_EQ(w.GetSavedDisplayMode().bitsPerPixel, before.bits);

        // Class name and title, styles, topmost, covering the new screen.
        char text[64] = {};
        GetClassNameA(handle, text, sizeof text);
        EXPECT_STREQ(text, "ZARNOTH 3D");
        GetWindowTextA(handle, text, sizeof text);
        EXPECT_STREQ(text, "ZARNOTH 3D");
        const LONG style = GetWindowLongA(handle, GWL_STYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0);
        EXPECT_NE(style & WS_VISIBLE, 0);
        const LONG exStyle = GetWindowLongA(handle, GWL_EXSTYLE);
        EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
        EXPECT_EQ(exStyle & WS_EX_CLIENTEDGE, 0);
        EXPECT_TRUE(IsZoomed(handle));
        RECT r;
        ASSERT_TRUE(GetWindowRect(handle, &r));
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right - r.left, 640);
        EXPECT_EQ(r.bottom - r.top, 480);
        int32_t cw = 0;
        int32_t ch = 0;
        w.GetClientSize(&cw, &ch);
        EXPECT_EQ(cw, 640);
        EXPECT_EQ(ch, 480);
        EXPECT_EQ(w.GetPictureRect(), (KVLRect{0, 0, 640, 480}));

        // Every size notice went to A before B, and the last one is the client size.
        Drain();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], "A:resize 640x480");
        EXPECT_EQ(log[log.size() - 1], "B:resize 640x480");
        for (size_t i = 0; i + 1 < log.size(); i += 2) {
            EXPECT_EQ(log[i].substr(0, 2), "A:") << i;
            EXPECT_EQ(log[i + 1].substr(0, 2), "B:") << i;
            EXPECT_EQ(log[i].substr(2), log[i + 1].substr(2)) << i;
        }
        log.clear();
    }
    EXPECT_EQ(log, (Log{"A:destroying", "B:destroying", "A:destroyed", "B:destroyed"}));
    const Mode after = CurrentMode();
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.bits, before.bits);
}

TEST(WindowWin32, UserCloseNotifiesOnceAndTheModeComesBack) {
    SKIP_WITHOUT_MODE_CHANGE();
    const Mode before = CurrentMode();
    Log log;
    RecordingListener a("A", &log);
    RecordingListener b("B", &log);
    KVLWindowWin32 w("ZARNOTH 3D", 640, 480, 16);
    w.AddListener(&a);
    w.AddListener(&b);
    ASSERT_TRUE(w.Open());
    Drain();
    log.clear();
    // What Alt+F4 amounts to: WM_CLOSE, which the default procedure turns into
    // DestroyWindow.
    ASSERT_TRUE(PostMessageA(w.GetHandle(), WM_CLOSE, 0, 0));
    Drain();
    EXPECT_EQ(log, (Log{"A:destroying", "B:destroying", "A:destroyed", "B:destroyed"}));
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.IsModeChanged());
    EXPECT_EQ(CurrentMode().width, before.width);
    EXPECT_EQ(CurrentMode().bits, before.bits);
    log.clear();
    w.Close();  // nothing left to close: no second notification
    EXPECT_TRUE(log.empty());
}

TEST(WindowWin32, NoExactModeLeavesTheDisplayAlone) {
    const Mode before = CurrentMode();
    struct Case {
        int width;
        int height;
        int bits;
    };
    for (const Case& c : {Case{641, 480, 16}, Case{640, 480, 13}, Case{12345, 480, 16}}) {
        if (Offers(c.width, c.height, c.bits)) {
            continue;
        }
        Log log;
        RecordingListener a("A", &log);
        KVLWindowWin32 w("ZARNOTH 3D", c.width, c.height, c.bits);
        w.AddListener(&a);
        EXPECT_FALSE(w.Open()) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(w.GetHandle(), nullptr);
        EXPECT_FALSE(w.IsModeChanged());
        const Mode now = CurrentMode();
        EXPECT_EQ(now.width, before.width);
        EXPECT_EQ(now.height, before.height);
        EXPECT_EQ(now.bits, before.bits);
        EXPECT_TRUE(log.empty());
    }
}

TEST(WindowWin32, PaintIsNeverValidated) {
    KVLWindowWin32 w("kvl paint test", 320, 200, 16);
    w.SetFullScreen(false);
    ASSERT_TRUE(w.Open());
    Drain();
    // Each WM_PAINT is taken and dispatched; another is there at once.
    for (int i = 0; i < 50; ++i) {
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, w.GetHandle(), WM_PAINT, WM_PAINT, PM_NOREMOVE)) << "pass " << i;
        KVLWindowWin32::WaitForMessage();
        ASSERT_TRUE(KVLWindowWin32::PumpMessages());
    }
    RECT update;
    EXPECT_TRUE(GetUpdateRect(w.GetHandle(), &update, FALSE));
}

TEST(WindowWin32, WindowedHasTheRequestedClientSizeAndKeepsTheMode) {
    const Mode before = CurrentMode();
    Log log;
    RecordingListener a("A", &log);
    // Small enough that window and frame fit on a 640x480 desktop: a window is never
    // made larger than the screen allows.
    KVLWindowWin32 w("kvl windowed test", 320, 240, 16);
    w.SetFullScreen(false);
    w.AddListener(&a);
    ASSERT_TRUE(w.Open());
    EXPECT_TRUE(w.Open());  // already open
    EXPECT_FALSE(w.IsModeChanged());
    EXPECT_EQ(CurrentMode().width, before.width);
    int32_t cw = 0;
    int32_t ch = 0;
    w.GetClientSize(&cw, &ch);
    EXPECT_EQ(cw, 320);
    EXPECT_EQ(ch, 240);
    EXPECT_EQ(GetWindowLongA(w.GetHandle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    Drain();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "A:resize 320x240");

    // SetClientSize and a wider client: the picture is letterboxed at 4:3.
    w.SetClientSize(400, 240);
    Drain();
    w.GetClientSize(&cw, &ch);
    EXPECT_EQ(cw, 400);
    EXPECT_EQ(ch, 240);
    EXPECT_EQ(log.back(), "A:resize 400x240");
    EXPECT_EQ(w.GetPictureRect(), (KVLRect{40, 0, 320, 240}));

    // Move and Center place the outer rectangle.
    w.Move(10, 20);
    RECT r;
    ASSERT_TRUE(GetWindowRect(w.GetHandle(), &r));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    w.Center();
    RECT desk;
    ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &desk));
    ASSERT_TRUE(GetWindowRect(w.GetHandle(), &r));
    EXPECT_EQ(r.left, ((desk.right - desk.left) - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, ((desk.bottom - desk.top) - (r.bottom - r.top)) / 2);

    // Invalidate: the erase is done at once and heard as OnPresent.
    log.clear();
    w.Invalidate();
    EXPECT_EQ(log, (Log{"A:present"}));

    // Keys: letters in lower case, the arrows as KVLKey codes.
    log.clear();
    PostMessageA(w.GetHandle(), WM_KEYDOWN, 'N', 0);
    PostMessageA(w.GetHandle(), WM_KEYDOWN, VK_RIGHT, 0);
    PostMessageA(w.GetHandle(), WM_KEYDOWN, VK_ESCAPE, 0);
    Drain();
    EXPECT_EQ(log, (Log{"A:key 110", "A:key " + std::to_string(KVLKeyRight), "A:key 27"}));

    // Hidden and shown again.
    w.Show(SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(w.GetHandle()));
    w.Show(SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(w.GetHandle()));
}

TEST(WindowWin32, RegistryAndMessagesBeforeTheHandleIsKnown) {
    const int32_t before = KVLWindowWin32::GetRegistry().GetCount();
    {
        Log log;
        RecordingListener a("A", &log);
        KVLWindowWin32 w1("kvl registry one", 200, 100, 16);
        KVLWindowWin32 w2("kvl registry two", 200, 100, 16);
        EXPECT_EQ(KVLWindowWin32::GetRegistry().GetCount(), before + 2);
        EXPECT_TRUE(KVLWindowWin32::IsRegistered(&w1));
        w1.SetFullScreen(false);
        w2.SetFullScreen(false);
        w2.AddListener(&a);
        ASSERT_TRUE(w1.Open());
        ASSERT_TRUE(w2.Open());
        Drain();
        // Messages for w1 never reach w2's listener.
        log.clear();
        PostMessageA(w1.GetHandle(), WM_KEYDOWN, 'A', 0);
        SendMessageA(w1.GetHandle(), WM_SIZE, 0, MAKELPARAM(3, 4));
        Drain();
        EXPECT_TRUE(log.empty());
        SendMessageA(w2.GetHandle(), WM_SIZE, 0, MAKELPARAM(0, 0));
        EXPECT_EQ(log, (Log{"A:resize 0x0"}));
        w2.RemoveListener(&a);
    }
    EXPECT_EQ(KVLWindowWin32::GetRegistry().GetCount(), before);
}

TEST(WindowWin32, QuitEndsThePump) {
    KVLWindowWin32 w("kvl quit test", 200, 100, 16);
    w.SetFullScreen(false);
    ASSERT_TRUE(w.Open());
    Drain();
    PostQuitMessage(0);
    // WM_QUIT comes before the paint that is always pending.
    int passes = 0;
    bool more = true;
    while (more && passes < 100) {
        KVLWindowWin32::WaitForMessage();
        more = KVLWindowWin32::PumpMessages();
        ++passes;
    }
    EXPECT_FALSE(more);
    EXPECT_LE(passes, 2);
}

TEST(ProgramFolderWin32, IsTheExecutablesFolder) {
    const KVLString folder = KVLGetProgramFolder();
    ASSERT_FALSE(folder.IsEmpty());
    const std::string f = folder.c_str();
    EXPECT_EQ(f.back(), '\\');
    const DWORD attributes = GetFileAttributesA(f.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    char module[MAX_PATH + 1] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
    const std::string m = module;
    EXPECT_EQ(m.substr(0, f.size()), f);
    EXPECT_EQ(m.find_first_of("\\/", f.size()), std::string::npos);  // only the file name follows
}

TEST(MessageBoxWin32, WritesTheLineAndShowsNoBoxWhenAskedNotTo) {
    ASSERT_EQ(_putenv("ZARNOTH_NO_MESSAGE_BOX=1"), 0);
    testing::internal::CaptureStderr();
    const bool shown = KVLMessageBox("Error creating application", "Error");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(shown);
    EXPECT_EQ(err, "Error: Error creating application\n");
}

}  // namespace
