// The whole show end to end: zarnoth under a private Xvfb (640x480x16) with SDL's disk
// audio driver, left alone until it ends by itself. Checks the exit status, the length
// of the run and that the audio file holds the soundtrack: the device's output,
// located in the file, equals the engine's own decode of "snd\qv.mp3" sample for
// sample over the first 76 seconds of the music.
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app_support.h"
#include "platform/xvfb_server.h"
#include "support/test_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST(FullShow, RunsToTheEndWithTheSoundtrack) {
    if (!testsupport::HaveProgram("Xvfb")) {
        ZARNOTH_SKIP_MISSING() << "Xvfb is not installed (Debian package xvfb)";
    }
    testsupport::XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.Start("640x480x16", &error)) << error;
    testsupport::TempDir dir;
    const std::string audio = dir.file("audio.raw");
    const std::string exe = testsupport::BinPath("zarnoth");
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = apptest::StartProgram(exe, server.display(), audio);
    ASSERT_GE(pid, 0);
    int status = -1;
    pid_t done = 0;
    const auto limit = start + std::chrono::seconds(150);
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the show did not end by itself within 150 s";
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("the show ran %.2f s\n", seconds);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GE(seconds, 82.0);
    // Start-up and teardown are slower in sanitizer builds; the timeline is not.
    EXPECT_LE(seconds, kSanitized ? 100.0 : 86.0);

    const std::vector<int16_t> expected = apptest::DecodeSoundtrack();
    ASSERT_GT(expected.size(), 84u * 44100u * 2u);
    const std::vector<uint8_t> raw = testsupport::ReadFile(audio);
    std::vector<int16_t> heard(raw.size() / 2);
    std::memcpy(heard.data(), raw.data(), heard.size() * 2);
    // Find where one second into the music (a stretch of 1024 frames) lies in the file.
    const size_t probe = 44100 * 2;
    const size_t probeLength = 1024 * 2;
    size_t offset = SIZE_MAX;
    for (size_t i = 0; i + probeLength <= heard.size() && offset == SIZE_MAX; i += 2) {
        if (heard[i] == expected[probe] &&
            std::memcmp(&heard[i], &expected[probe], probeLength * sizeof(int16_t)) == 0) {
            offset = i - std::min(i, probe);
        }
    }
    ASSERT_NE(offset, SIZE_MAX) << "the soundtrack is not in the audio file";
    // The show stops the music at 82.32 s. SDL's disk driver paces its writes with
    // sleeps and falls a little behind the show's clock on a loaded machine (79.5 s of
    // music were seen written with both cores busy), so the comparison stops short.
    const size_t compared = 76u * 44100u * 2u;
    ASSERT_GE(heard.size(), offset + compared) << "the audio file ends before 76 s of music";
    size_t mismatches = 0;
    for (size_t i = 0; i < compared; ++i) {
        mismatches += heard[offset + i] == expected[i] ? 0 : 1;
    }
    EXPECT_EQ(mismatches, 0u) << "of " << compared << " samples";
}
