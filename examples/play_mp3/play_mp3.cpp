// play_mp3: plays an MPEG audio file (Layer I, II or III) on the default sound device
// through the engine's streamer, player and sound output, with a progress line.
//   play_mp3 FILE.mp3
// Threads: the player decodes on a worker thread of its own; this thread only asks
// where the device stands. The streamer belongs to the worker between Play and Stop,
// so everything wanted from it is read before Play.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "zarnoth/sound/kvl_sounddevice.h"
#include "zarnoth/sound/kvl_soundplayer.h"
#include "zarnoth/sound/kvl_soundstreamer.h"

// Frames as seconds with tenths.
static double Seconds(int64_t frames, int32_t rate) { return rate > 0 ? double(frames) / rate : 0.0; }

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.mp3\n", argv[0]);
        return 2;
    }
    KVLSoundStreamerMP3 streamer;
    KVLString text;
    if (!streamer.OpenFile(argv[1], &text)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], text.c_str());
        return 1;
    }
    std::printf("%s\n", text.c_str());
    const int32_t rate = streamer.GetSampleRate();
    const int64_t total = streamer.GetLength();

    // -1: the system's default device. The player queues two blocks ahead.
    const std::unique_ptr<KVLSoundOutput> output = KVLCreateSoundOutput(-1);
    KVLSoundPlayer player(output.get(), 2);
    if (!player.Play(&streamer, &text)) {
        std::fprintf(stderr, "cannot play: %s\n", text.c_str());
        return 1;
    }
    // The last block is padded with silence: the position may pass the length.
    auto progress = [&] {
        const int64_t played = std::min<int64_t>(output->GetPlayPosition(), total);
        std::printf("\r%6.1f / %.1f s", Seconds(played, rate), Seconds(total, rate));
        std::fflush(stdout);
    };
    while (!player.IsFinished()) {
        progress();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    progress();  // where the music ended
    std::printf("\n");
    player.Stop();
    return 0;
}
