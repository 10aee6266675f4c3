// The capture's progress line: its text, and that it appears on a terminal only.
#include <chrono>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "show/zrn_progressline.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

TEST(ZRNProgressLine, TellsDoneTotalElapsedRateAndLeft) {
    const struct {
        int64_t done, total;
        double elapsed;
        const char* text;
    } cases[] = {
        {0, 4940, 0.0, "capture: 0/4940 pictures, 0:00 elapsed"},
        {1235, 4940, 30.0, "capture: 1235/4940 pictures, 0:30 elapsed, 41.2/s, 1:30 left"},
        {4940, 4940, 125.4, "capture: 4940/4940 pictures, 2:05 elapsed, 39.4/s, 0:00 left"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZRNProgressLine::Format("capture", c.done, c.total, c.elapsed), c.text);
    }
}

TEST(ZRNProgressLine, NothingWhenTheStreamIsNoTerminal) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        ZRNProgressLine line(file, "capture", 10);
        EXPECT_FALSE(line.IsShown());
        for (int i = 1; i <= 10; ++i) {
            line.Update(i);
        }
    }
    EXPECT_EQ(std::ftell(file), 0L);
    std::fclose(file);
}

#ifndef _WIN32
TEST(ZRNProgressLine, RedrawsInPlaceOnATerminalAndEndsTheLine) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::FILE* terminal = std::fopen(ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    bool soon = false;
    {
        ZRNProgressLine line(terminal, "capture", 3);
        EXPECT_TRUE(line.IsShown());
        const auto first = std::chrono::steady_clock::now();
        line.Update(1);
        line.Update(2);  // too soon after the first: not drawn
        // A machine too busy to make the second call soon after the first may draw it.
        soon = std::chrono::steady_clock::now() - first < std::chrono::milliseconds(200);
        line.Update(3);  // the last is always drawn
    }
    std::string out;
    char buffer[256];
    ssize_t n = 0;
    fcntl(master, F_SETFL, O_NONBLOCK);
    while ((n = read(master, buffer, sizeof buffer)) > 0) {
        out.append(buffer, static_cast<size_t>(n));
    }
    std::fclose(terminal);
    close(master);
    EXPECT_EQ(out.rfind("\rcapture: 1/3 pictures", 0), 0u) << out;
    if (soon) {
        EXPECT_EQ(out.find("2/3"), std::string::npos) << out;
    }
    EXPECT_NE(out.find("\rcapture: 3/3 pictures"), std::string::npos) << out;
    // The terminal turns the final newline into CR LF.
    EXPECT_EQ(out.substr(out.size() - 2), "\r\n") << out;
}
#endif

}  // namespace
