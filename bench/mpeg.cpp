// Decoding speed of the MPEG audio decoder against libmpg123 on the same stream: three
// minutes of synthesised 44.1 kHz stereo music, encoded at 128 kbit/s with lame at
// start-up, decoded to 16-bit PCM by both (single thread; best thread CPU time of
// several alternating runs).
// Prints both times and the ratio (ours / libmpg123; below 1 means faster).
#include <mpg123.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sound/mpeg/mpg_decoder.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 180;
constexpr int kRuns = 5;

void WriteMusicWav(const std::string& path) {
    const size_t frames = static_cast<size_t>(kRate) * kSeconds;
    std::vector<int16_t> pcm(frames * 2);
    const double pi = 3.14159265358979323846;
    static const double kNotes[8] = {220.0, 261.63, 329.63, 392.0, 246.94, 293.66, 349.23, 440.0};
    uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const int step = static_cast<int>(t * 4.0);
        const double in = t - step / 4.0;
        const double env = std::exp(-in * 5.0) * (1.0 - std::exp(-in * 300.0));
        double l = 0.0;
        double r = 0.0;
        for (int v = 0; v < 3; ++v) {
            const double f = kNotes[(step / 2 + 3 * v) % 8] * (v + 1);
            double tone = 0.0;
            for (int h = 1; h <= 8; ++h) {
                tone += std::sin(2 * pi * f * h * t + v) / (h * 1.5);
            }
            l += tone * (v == 0 ? 0.7 : 0.35);
            r += tone * (v == 2 ? 0.7 : 0.35);
        }
        noise = noise * 1664525u + 1013904223u;
        const double n = static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
        const double hat = (step % 2) ? std::exp(-in * 30.0) * n * 0.3 : 0.0;
        pcm[2 * i] = static_cast<int16_t>(std::lround(std::clamp(0.2 * l * env + hat, -1.0, 1.0) * 32000));
        pcm[2 * i + 1] = static_cast<int16_t>(std::lround(std::clamp(0.2 * r * env + 0.8 * hat, -1.0, 1.0) * 32000));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return;
    }
    const uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
    uint8_t h[44] = {};
    auto put32 = [&](int at, uint32_t v) { for (int k = 0; k < 4; ++k) h[at + k] = static_cast<uint8_t>(v >> (8 * k)); };
    auto put16 = [&](int at, uint32_t v) { h[at] = static_cast<uint8_t>(v); h[at + 1] = static_cast<uint8_t>(v >> 8); };
    std::memcpy(h, "RIFF", 4);
    put32(4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 2);
    put32(24, kRate);
    put32(28, kRate * 4);
    put16(32, 4);
    put16(34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(40, data);
    std::fwrite(h, 1, 44, f);
    std::fwrite(pcm.data(), 2, pcm.size(), f);
    std::fclose(f);
}

struct Feed {
    const std::vector<uint8_t>* bytes;
    size_t pos;
};

int32_t Read(void* context, uint8_t* dst, int32_t max) {
    auto* f = static_cast<Feed*>(context);
    const size_t n = std::min(f->bytes->size() - f->pos, static_cast<size_t>(max));
    if (n) {
        std::memcpy(dst, f->bytes->data() + f->pos, n);
    }
    f->pos += n;
    return static_cast<int32_t>(n);
}

size_t DecodeOurs(const std::vector<uint8_t>& bytes, uint64_t& checksum) {
    Feed feed{&bytes, 0};
    MpgDecoder dec;
    if (!mpgOpen(dec, Read, &feed, static_cast<int32_t>(bytes.size()))) {
        return 0;
    }
    int16_t out[kMpgMaxFrameSamples];
    size_t samples = 0;
    for (int32_t n; (n = mpgDecodeFrame(dec, out)) >= 0;) {
        samples += static_cast<size_t>(n) * 2;
        checksum += static_cast<uint16_t>(out[n]);
    }
    mpgClose(dec);
    return samples;
}

size_t DecodeMpg123(const std::vector<uint8_t>& bytes, uint64_t& checksum) {
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, kRate, 2, MPG123_ENC_SIGNED_16);
    size_t samples = 0;
    if (mpg123_open_feed(mh) == MPG123_OK && mpg123_feed(mh, bytes.data(), bytes.size()) == MPG123_OK) {
        unsigned char buf[4608];
        for (;;) {
            size_t done = 0;
            const int r = mpg123_read(mh, buf, sizeof(buf), &done);
            samples += done / 2;
            if (done >= 4) {
                checksum += buf[2];
            }
            if (r == MPG123_NEW_FORMAT || (r == MPG123_OK && done > 0)) {
                continue;
            }
            break;
        }
    }
    mpg123_delete(mh);
    return samples;
}

// CPU time of this thread: the machine may be shared, and both decoders run here.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Best of several runs, alternating with the peer's runs by the caller.
template <typename F>
double Once(F&& f) {
    const double t0 = ThreadSeconds();
    f();
    return ThreadSeconds() - t0;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[65536];
        for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), f)) > 0;) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        std::fclose(f);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    // bench_mpeg --keep FILE also leaves the encoded stream in FILE; bench_mpeg --file
    // FILE [ours|mpg123] decodes that stream instead, optionally with one decoder once
    // (for instruction-count profiling).
    const char* keep = argc == 3 && std::strcmp(argv[1], "--keep") == 0 ? argv[2] : nullptr;
    const char* given = argc >= 3 && std::strcmp(argv[1], "--file") == 0 ? argv[2] : nullptr;
    const char* only = given != nullptr && argc == 4 ? argv[3] : nullptr;
    std::vector<uint8_t> bytes;
    if (given == nullptr) {
        char dir[] = "/tmp/bench_mpeg_XXXXXX";
        if (!mkdtemp(dir)) {
            std::perror("mkdtemp");
            return 1;
        }
        const std::string wav = std::string(dir) + "/music.wav";
        const std::string mp3 = std::string(dir) + "/music.mp3";
        WriteMusicWav(wav);
        const std::string cmd = "lame --quiet -b 128 " + wav + " " + mp3;
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "bench_mpeg: lame failed (is it installed?)\n");
            return 1;
        }
        bytes = ReadAll(mp3);
        std::remove(wav.c_str());
        if (keep != nullptr) {
            std::rename(mp3.c_str(), keep);
        }
        std::remove(mp3.c_str());
        std::remove(dir);
    } else {
        bytes = ReadAll(given);
        if (bytes.empty()) {
            std::fprintf(stderr, "bench_mpeg: cannot read %s\n", given);
            return 1;
        }
    }
    if (only != nullptr) {
        uint64_t sum = 0;
        const bool ours = std::strcmp(only, "ours") == 0;
        const double t = Once([&] { ours ? DecodeOurs(bytes, sum) : DecodeMpg123(bytes, sum); });
        std::printf("%s: %.3f s\n", ours ? "engine decoder" : "libmpg123", t);
        return 0;
    }
    uint64_t sumOurs = 0;
    uint64_t sumTheirs = 0;
    size_t ours = 0;
    size_t theirs = 0;
    double tOurs = 1e9;
    double tTheirs = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        tOurs = std::min(tOurs, Once([&] { ours = DecodeOurs(bytes, sumOurs); }));
        tTheirs = std::min(tTheirs, Once([&] { theirs = DecodeMpg123(bytes, sumTheirs); }));
    }
    std::printf("stream: %zu bytes, %d s of 44.1 kHz stereo at 128 kbit/s\n", bytes.size(), kSeconds);
    std::printf("engine decoder: %.3f s  (%zu samples, %.0fx real time)\n", tOurs, ours, kSeconds / tOurs);
    std::printf("libmpg123:      %.3f s  (%zu samples, %.0fx real time)\n", tTheirs, theirs, kSeconds / tTheirs);
    std::printf("ratio engine / libmpg123: %.2f\n", tOurs / tTheirs);
    return ours > 0 && theirs > 0 ? 0 : 1;
}
