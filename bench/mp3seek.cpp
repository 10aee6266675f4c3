// Seek time of the MP3 streamer against decoding the whole stream, in the same run:
// the stream given on the command line (e.g. the show's soundtrack taken out of its
// archive with `kvl pak extract quorvel.pak 'snd\qv.mp3' qv.mp3`), else three minutes
// of synthesised music encoded with lame at start-up. Each seek is timed with the
// 4096 frames read after it; the first seek of a stream also walks its frame headers
// (the index) and is reported apart. Prints milliseconds and each seek's time as a
// fraction of the whole decoding (best of several runs, wall clock).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/kvl_memorystream.h"
#include "sound/kvl_soundstreamer.h"

namespace {

constexpr int kRuns = 5;

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        std::fclose(f);
    }
    return bytes;
}

std::vector<uint8_t> SynthesisedStream() {
    const std::string wav = "/tmp/bench_mp3seek.wav";
    const std::string mp3 = "/tmp/bench_mp3seek.mp3";
    const int rate = 44100;
    const int frames = rate * 180;
    std::vector<uint8_t> b(44 + static_cast<size_t>(frames) * 4);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    std::copy_n("RIFF", 4, b.begin());
    put(4, 36 + static_cast<uint32_t>(frames) * 4, 4);
    std::copy_n("WAVEfmt ", 8, b.begin() + 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 2, 2);
    put(24, rate, 4);
    put(28, rate * 4, 4);
    put(32, 4, 2);
    put(34, 16, 2);
    std::copy_n("data", 4, b.begin() + 36);
    put(40, static_cast<uint32_t>(frames) * 4, 4);
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f = 220.0 * std::pow(2.0, static_cast<int>(t * 4) % 12 / 12.0);
        put(44 + static_cast<size_t>(i) * 4, static_cast<uint16_t>(static_cast<int16_t>(9000 * std::sin(2 * 3.14159265 * f * t))), 2);
        put(46 + static_cast<size_t>(i) * 4, static_cast<uint16_t>(static_cast<int16_t>(7000 * std::sin(2 * 3.14159265 * 1.5 * f * t))), 2);
    }
    if (std::FILE* out = std::fopen(wav.c_str(), "wb")) {
        std::fwrite(b.data(), 1, b.size(), out);
        std::fclose(out);
    }
    if (std::system(("lame --quiet -b 128 " + wav + " " + mp3).c_str()) != 0) {
        return {};
    }
    std::remove(wav.c_str());
    std::vector<uint8_t> bytes = ReadAll(mp3);
    std::remove(mp3.c_str());
    return bytes;
}

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const std::vector<uint8_t> bytes = argc > 1 ? ReadAll(argv[1]) : SynthesisedStream();
    if (bytes.empty()) {
        std::fprintf(stderr, "no stream (give an MP3 file, or install lame)\n");
        return 1;
    }
    KVLMemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    KVLSampleBlock* block = KVLCreateSampleBlock(8192);
    KVLSampleBlock* after = KVLCreateSampleBlock(4096);
    double whole = 1e30;
    int32_t total = 0;
    for (int run = 0; run < kRuns; ++run) {
        KVLSoundStreamerMP3 streamer;
        const auto t0 = std::chrono::steady_clock::now();
        if (!streamer.OpenStream(stream, nullptr)) {
            std::fprintf(stderr, "not an MP3 stream\n");
            return 1;
        }
        total = 0;
        int32_t r = 0;
        while ((r = streamer.Read(block)) > 0) {
            total += r;
        }
        whole = std::min(whole, Ms(std::chrono::steady_clock::now() - t0));
    }
    const double fractions[] = {0.0, 0.1, 0.25, 0.5, 0.75, 0.999};
    std::vector<double> best(std::size(fractions), 1e30);
    double first = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        KVLSoundStreamerMP3 streamer;
        streamer.OpenStream(stream, nullptr);
        auto t0 = std::chrono::steady_clock::now();
        streamer.Seek(total / 3);
        streamer.Read(after);
        first = std::min(first, Ms(std::chrono::steady_clock::now() - t0));
        for (size_t i = 0; i < std::size(fractions); ++i) {
            const auto frame = static_cast<int32_t>(fractions[i] * total);
            t0 = std::chrono::steady_clock::now();
            if (!streamer.Seek(frame)) {
                std::fprintf(stderr, "seek to %d failed\n", frame);
                return 1;
            }
            streamer.Read(after);
            best[i] = std::min(best[i], Ms(std::chrono::steady_clock::now() - t0));
        }
    }
    std::printf("stream: %zu bytes, %d frames (%.1f s)\n", bytes.size(), total, total / 44100.0);
    std::printf("decoding the whole stream: %.2f ms\n", whole);
    std::printf("first seek (with the frame index): %.3f ms  ratio %.5f\n", first, first / whole);
    for (size_t i = 0; i < std::size(fractions); ++i) {
        std::printf("seek to %5.1f %%: %.3f ms  ratio %.5f\n", fractions[i] * 100, best[i], best[i] / whole);
    }
    KVLReleaseSampleBlock(block);
    KVLReleaseSampleBlock(after);
    return 0;
}
