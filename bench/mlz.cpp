// MLZ animation speed and size.
//
// Two 256 x 256 animations of 60 frames (smooth colour fields with a moving block;
// once in full motion, once over a still background) are encoded as 16-bit frames
// and as 8-bit delta frames. Printed: encoder speed (quantising and coding separately), decoded
// frames per second (NextFrame, and NextFrame + GetFrame), the time against copying
// the same raw frame bytes, and the file size against `gzip -9` of the same raw frames.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "anim/kvl_anim_mlz.h"
#include "anim/kvl_mlz_encoder.h"
#include "core/kvl_memorystream.h"

namespace {

constexpr int kSide = 256;
constexpr int kFrames = 60;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Full motion: every pixel changes from frame to frame. Otherwise the background
// stands still and only the block and a 64 x 64 corner move.
std::vector<uint32_t> MakeFrame(int f, bool fullMotion) {
    std::vector<uint32_t> p(static_cast<size_t>(kSide) * kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const double u = x / 64.0;
            const double v = y / 64.0;
            const double t = (fullMotion || (x < 64 && y < 64)) ? f * 0.1 : 0.0;
            int r = static_cast<int>(127 + 127 * std::sin(u + t));
            int g = static_cast<int>(127 + 127 * std::sin(v * 1.3 - t));
            int b = static_cast<int>(127 + 127 * std::sin((u + v) * 0.7 + 2 * t));
            const int bx = (f * 3) % kSide;
            if (x >= bx && x < bx + 40 && y >= 100 && y < 140) {
                r = 250;
                g = 240;
                b = 30;
            }
            p[static_cast<size_t>(y) * kSide + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    return p;
}

// gzip -9 size of a byte block, through the gzip program.
long GzipSize(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/zarnoth-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return -1;
    FILE* f = fdopen(fd, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    const std::string command = std::string("gzip -9 -c ") + name + " | wc -c";
    FILE* pipe = popen(command.c_str(), "r");
    long size = -1;
    if (pipe != nullptr) {
        if (std::fscanf(pipe, "%ld", &size) != 1) size = -1;
        pclose(pipe);
    }
    std::remove(name);
    return size;
}

struct Result {
    std::vector<uint8_t> file;
    std::vector<uint8_t> rawFrames;  // the frame records' bytes as stored uncompressed
    double quantise = 0;
    double code = 0;
    int32_t rawStored = 0;
};

Result Encode(const std::vector<std::vector<uint32_t>>& frames, bool eightBit) {
    Result r;
    KVLMemoryStream out;
    KVLMLZWriter writer(out);
    KVLMLZHeader header;
    header.width = kSide;
    header.height = kSide;
    header.bitsPerPixel = eightBit ? 8 : 16;
    header.compression = eightBit ? 2 : 1;
    header.frameCount = kFrames;
    writer.Begin(header, nullptr);
    std::vector<uint16_t> words(static_cast<size_t>(kSide) * kSide);
    uint16_t previous[256] = {};
    bool first = true;
    for (const auto& f : frames) {
        if (eightBit) {
            auto t0 = std::chrono::steady_clock::now();
            const KVLQuantized q = KVLQuantize565(f.data(), f.size(), first ? nullptr : previous);
            std::memcpy(previous, q.palette, sizeof previous);
            first = false;
            r.quantise += Seconds(t0);
            t0 = std::chrono::steady_clock::now();
            writer.AddFrame8(q.indices.data(), q.palette);
            r.code += Seconds(t0);
            r.rawFrames.insert(r.rawFrames.end(), q.indices.begin(), q.indices.end());
            for (uint16_t w : q.palette) {
                r.rawFrames.push_back(static_cast<uint8_t>(w));
                r.rawFrames.push_back(static_cast<uint8_t>(w >> 8));
            }
        } else {
            for (size_t i = 0; i < f.size(); ++i) words[i] = KVLPixelTo565(f[i]);
            const auto t0 = std::chrono::steady_clock::now();
            writer.AddFrame16(words.data());
            r.code += Seconds(t0);
            for (uint16_t w : words) {
                r.rawFrames.push_back(static_cast<uint8_t>(w));
                r.rawFrames.push_back(static_cast<uint8_t>(w >> 8));
            }
        }
    }
    writer.Finish(nullptr);
    r.rawStored = writer.GetRawFrames();
    r.file = out.GetBytes();
    return r;
}

void Report(const char* name, const std::vector<std::vector<uint32_t>>& frames, bool eightBit) {
    const Result r = Encode(frames, eightBit);
    const double rawMB = static_cast<double>(r.rawFrames.size()) / 1e6;
    std::printf("%s\n", name);
    if (eightBit) {
        std::printf("  encode: quantise %.1f frames/s, code %.1f frames/s (%.1f MB/s of raw frames)\n",
                    kFrames / r.quantise, kFrames / r.code, rawMB / r.code);
    } else {
        std::printf("  encode: %.1f frames/s (%.1f MB/s of raw frames)\n", kFrames / r.code, rawMB / r.code);
    }
    const long gz = GzipSize(r.rawFrames);
    std::printf("  size: raw frames %zu bytes, MLZ %zu bytes (%d frames stored raw), gzip -9 %ld bytes, MLZ/gzip %.2f\n",
                r.rawFrames.size(), r.file.size(), r.rawStored, gz,
                gz > 0 ? static_cast<double>(r.file.size()) / gz : 0.0);

    KVLMemoryStream stream(r.file.data(), r.file.size());
    KVLAnimMLZ anim;
    if (!anim.Open(stream, nullptr, nullptr)) {
        std::printf("  decode: cannot open\n");
        return;
    }
    std::unique_ptr<KVLImage> image = KVLImage::Create(kSide, kSide);
    const int steps = 3 * kFrames;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i) anim.NextFrame();
    const double next = Seconds(t0) / steps;
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i) {
        anim.NextFrame();
        anim.GetFrame(*image);
    }
    const double both = Seconds(t0) / steps;
    // Peer: copying one raw frame record's bytes.
    const size_t frameBytes = r.rawFrames.size() / kFrames;
    std::vector<uint8_t> copy(frameBytes);
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i) {
        std::memcpy(copy.data(), r.rawFrames.data() + (static_cast<size_t>(i) % kFrames) * frameBytes, frameBytes);
    }
    const double copyTime = Seconds(t0) / steps;
    std::printf("  decode: NextFrame %.0f frames/s, NextFrame + GetFrame %.0f frames/s; NextFrame takes %.1f x a copy of the raw frame\n",
                1 / next, 1 / both, next / copyTime);
}

}  // namespace

int main() {
    for (bool fullMotion : {true, false}) {
        std::vector<std::vector<uint32_t>> frames;
        for (int f = 0; f < kFrames; ++f) frames.push_back(MakeFrame(f, fullMotion));
        const char* kind = fullMotion ? "full motion" : "still background";
        Report((std::string("256x256, 60 frames, ") + kind + ", 16-bit RGB 565").c_str(), frames, false);
        Report((std::string("256x256, 60 frames, ") + kind + ", 8-bit delta").c_str(), frames, true);
    }
    return 0;
}
