// kvl play: plays an MPEG audio file through the engine's player on the default sound
// device, showing elapsed and total time on one line; Ctrl-C stops it cleanly.
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "sound/kvl_sounddevice.h"
#include "sound/kvl_soundplayer.h"
#include "sound/kvl_soundstreamer.h"
#include "tools/kvl/kvl_command.h"

namespace {

extern const KvlCommand kPlayCommand;

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

std::string Clock(int64_t frames, int32_t rate, int64_t limit = -1) {
    // The last block is padded with silence: the position may pass the music's length.
    if (limit >= 0 && frames > limit) {
        frames = limit;
    }
    if (frames < 0 || rate <= 0) {
        return "--:--";
    }
    const int64_t tenths = frames * 10 / rate;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

int Run(const std::vector<std::string>& args) {
    std::string input;
    for (const std::string& arg : args) {
        if (!arg.empty() && arg[0] == '-') {
            return KvlUsageError(kPlayCommand, "unknown option '" + arg + "'");
        }
        if (!input.empty()) {
            return KvlUsageError(kPlayCommand, "more than one input file");
        }
        input = arg;
    }
    if (input.empty()) {
        return KvlUsageError(kPlayCommand, "play takes an MP3 file");
    }
    KVLSoundStreamerMP3 streamer;
    KVLString text;
    if (!streamer.OpenFile(input.c_str(), &text)) {
        return KvlFail(input + ": " + text.c_str());
    }
    std::printf("%s\n", text.c_str());
    // Read before playing: from then on the worker alone uses the streamer.
    const int32_t rate = streamer.GetSampleRate();
    const int32_t total = streamer.GetLength();
    const std::unique_ptr<KVLSoundOutput> output = KVLCreateSoundOutput(-1);
    KVLSoundPlayer player(output.get(), 2);
    if (!player.Play(&streamer, &text)) {
        return KvlFail(std::string("Unable to play music: ") + text.c_str());
    }
    std::printf("%s\n", text.c_str());
    g_interrupted = 0;
    auto previous = std::signal(SIGINT, &OnInterrupt);
    while (!player.IsFinished() && g_interrupted == 0) {
        std::printf("\r%s / %s", Clock(output->GetPlayPosition(), rate, total).c_str(), Clock(total, rate).c_str());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (g_interrupted == 0) {
        // The device holds a little of the music in its own buffer after the ring has
        // handed it over; let it be heard before the device closes.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    player.Stop();
    std::signal(SIGINT, previous);
    std::printf("\r%s / %s%s\n", Clock(output->GetPlayPosition(), rate, total).c_str(), Clock(total, rate).c_str(),
                g_interrupted != 0 ? " (stopped)" : "");
    return kKvlOk;
}

const KvlCommand kPlayCommand = {
    "play",
    "play an MP3 file through the engine's sound player",
    "usage:\n"
    "  kvl play FILE.mp3\n"
    "      plays FILE on the default sound device through the engine's streamer,\n"
    "      player and sound output, showing elapsed / total time; ends when the music\n"
    "      has been heard, or on Ctrl-C.\n",
    Run,
};

const KvlCommandRegistration kRegistration(kPlayCommand);

}  // namespace
