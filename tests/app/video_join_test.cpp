// Joining video parts: parts written with their picture ranges, put together, equal
// one file written in a single run (FFV1: every decoded picture and sample; H.264:
// the picture count and the sound sample for sample in length); bad sets of parts
// are refused with a message naming the file, and no file is left. The parts are made
// with ZRNShowVideoWriter from made-up pictures, the whole soundtrack is a WAV file.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo_show.h"
#include "show/zrn_showstepper.h"
#include "show/zrn_showoffline.h"
#include "show/zrn_showvideo.h"
#include "support/test_support.h"

namespace {

using testsupport::TempDir;

constexpr int32_t kRate = 44100;

std::unique_ptr<KVLImage> MakePicture(int32_t width, int32_t height, int64_t k) {
    std::unique_ptr<KVLImage> picture = KVLImage::Create(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t r = static_cast<uint32_t>(x * 3 + k * 5) & 0xFF;
            const uint32_t g = static_cast<uint32_t>(y * 7 + k) & 0xFF;
            const uint32_t b = static_cast<uint32_t>((x + y) * (k + 1)) & 0xFF;
            picture->pixels[y * width + x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    return picture;
}

int16_t Sample(int64_t i) { return static_cast<int16_t>((i * 97) % 60000 - 30000); }

struct Part {
    std::string file;
    int64_t from;
    int64_t to;
    std::string codec = "ffv1";
    int32_t width = 48;
    int32_t height = 32;
    int32_t fps = 10;
};

// A file of pictures [from, to) with their sound; the range tag unless whole.
void WritePart(const Part& p, bool whole = false) {
    ZRNShowVideoSettings settings;
    settings.path = p.file;
    settings.codec = p.codec;
    settings.width = p.width;
    settings.height = p.height;
    settings.fps = p.fps;
    settings.sampleRate = kRate;
    if (p.codec == "h264") {
        settings.preset = "ultrafast";
    }
    if (!whole) {
        settings.fromPicture = p.from;
        settings.toPicture = p.to;
    }
    ZRNShowVideoWriter writer(settings);
    ASSERT_TRUE(writer.Open()) << writer.Error();
    for (int64_t k = p.from; k < p.to; ++k) {
        ASSERT_TRUE(writer.AddPicture(MakePicture(p.width, p.height, k))) << writer.Error();
        const int64_t begin = k * kRate / p.fps;
        const int64_t end = (k + 1) * kRate / p.fps;
        std::vector<int16_t> sound;
        for (int64_t i = 2 * begin; i < 2 * end; ++i) {
            sound.push_back(Sample(i));
        }
        ASSERT_TRUE(writer.AddSound(sound.data(), end - begin)) << writer.Error();
    }
    ASSERT_TRUE(writer.Finish(p.to * kRate / p.fps - p.from * kRate / p.fps)) << writer.Error();
}

// The whole soundtrack, a little longer than the pictures (the join cuts it).
void WriteWav(const std::string& path, int64_t frames) {
    std::vector<uint8_t> bytes = testsupport::WavHeader(static_cast<uint32_t>(frames * 4), kRate, 2);
    for (int64_t i = 0; i < 2 * frames; ++i) {
        const uint16_t v = static_cast<uint16_t>(Sample(i));
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    testsupport::WriteFile(path, bytes);
}

std::vector<uint8_t> Decode(const TempDir& dir, const std::string& file, const std::string& what) {
    const std::string raw = dir.file("decoded.raw");
    const std::string how = what == "v" ? "-map 0:v -f rawvideo -pix_fmt bgra" : "-map 0:a -f s16le -ac 2 -ar 44100";
    EXPECT_EQ(testsupport::Run("ffmpeg -v error -y -i '" + file + "' " + how + " '" + raw + "'"), 0) << file;
    return testsupport::ReadFile(raw);
}

bool HaveFFmpeg() { return testsupport::HaveProgram("ffmpeg") && testsupport::HaveProgram("ffprobe"); }

// A join of the parts into a made-up show of N pictures at 10 pictures a second, of
// 14 ms ticks: it ends on the last tick before picture N's show time.
template <int64_t N>
ZRNShowVideoJoin Join(const std::string& out, const std::vector<Part>& parts, const std::string& wav) {
    constexpr ZRNShowTime kTime(14);
    constexpr int32_t kEndTick = static_cast<int32_t>(N * 1000 / (10 * kTime.GetTickMs()));
    static_assert(kTime.FirstPictureAt(kEndTick, 10) == N);
    ZRNShowVideoJoin join{out, {}, wav, kEndTick, kTime.GetTickMs()};
    for (const Part& p : parts) {
        join.parts.push_back(p.file);
    }
    return join;
}

TEST(VideoJoin, PartsJoinedEqualASingleRun) {
    if (!HaveFFmpeg()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg or ffprobe is not installed";
    }
    const struct {
        const char* name;
        std::vector<std::pair<int64_t, int64_t>> ranges;
    } cases[] = {
        {"two parts", {{0, 13}, {13, 30}}},
        {"three parts, given out of order", {{20, 30}, {0, 7}, {7, 20}}},
    };
    TempDir dir;
    const std::string wav = dir.file("whole.wav");
    WriteWav(wav, 30 * kRate / 10 + 5000);
    WritePart({dir.file("single.mkv"), 0, 30}, true);
    const std::vector<uint8_t> pictures = Decode(dir, dir.file("single.mkv"), "v");
    const std::vector<uint8_t> sound = Decode(dir, dir.file("single.mkv"), "a");
    ASSERT_EQ(pictures.size(), 30u * 48 * 32 * 4);
    ASSERT_EQ(sound.size(), 30u * kRate / 10 * 4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Part> parts;
        for (const auto& [from, to] : c.ranges) {
            parts.push_back({dir.file("part" + std::to_string(from) + ".mkv"), from, to});
            WritePart(parts.back());
        }
        const std::string out = dir.file("joined.mkv");
        ASSERT_EQ(ZRNJoinShowVideo(Join<30>(out, parts, wav)), "");
        EXPECT_TRUE(Decode(dir, out, "v") == pictures);
        EXPECT_TRUE(Decode(dir, out, "a") == sound);
        EXPECT_FALSE(testsupport::FileExists(out + ".part"));
    }
}

// H.264 with AAC: the joined file has every picture, and its sound the single run's
// length to the sample.
TEST(VideoJoin, H264PartsKeepEveryPictureAndTheSoundLength) {
    if (!HaveFFmpeg()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg or ffprobe is not installed";
    }
    TempDir dir;
    const std::string wav = dir.file("whole.wav");
    WriteWav(wav, 40 * kRate / 10);
    Part single{dir.file("single.mp4"), 0, 40, "h264", 64, 48};
    WritePart(single, true);
    std::vector<Part> parts = {{dir.file("a.mp4"), 0, 25, "h264", 64, 48}, {dir.file("b.mp4"), 25, 40, "h264", 64, 48}};
    for (const Part& p : parts) {
        WritePart(p);
    }
    const std::string out = dir.file("joined.mp4");
    ASSERT_EQ(ZRNJoinShowVideo(Join<40>(out, parts, wav)), "");
    std::string count;
    ASSERT_EQ(testsupport::Run("ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
                               "-of default=noprint_wrappers=1:nokey=1 '" +
                                   out + "'",
                               &count),
              0);
    EXPECT_EQ(std::atoi(count.c_str()), 40);
    EXPECT_EQ(Decode(dir, out, "a").size(), Decode(dir, single.file, "a").size());
}

TEST(VideoJoin, BadPartsAreRefusedNamingTheFile) {
    if (!HaveFFmpeg()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg or ffprobe is not installed";
    }
    TempDir dir;
    const std::string wav = dir.file("whole.wav");
    const auto part = [&](const std::string& name, int64_t from, int64_t to) {
        return Part{dir.file(name), from, to};
    };
    Part other = part("other_size.mkv", 10, 20);
    other.width = 64;
    Part rate = part("other_rate.mkv", 10, 20);
    rate.fps = 20;
    Part h264 = part("h264.mkv", 10, 20);
    h264.codec = "h264";
    h264.width = 48;
    const struct {
        const char* what;
        std::vector<Part> parts;
        // The part whose file is cut to half its length (-1: none), the one written
        // without its range (-1: none).
        int truncated;
        int whole;
        const char* message;
        const char* names;
        // The sound's length in frames (0: three seconds, longer than the show).
        int64_t soundFrames = 0;
    } cases[] = {
        // The show is 20 pictures long, 2 s at 10 pictures/s.
        {"no end", {part("a.mkv", 0, 10)}, -1, -1, "pictures 10-20 are missing after", "a.mkv"},
        {"past the end", {part("a.mkv", 0, 10), part("g.mkv", 10, 25)}, -1, -1, "past the show's end", "g.mkv"},
        {"no middle", {part("a.mkv", 0, 10), part("h.mkv", 15, 20)}, -1, -1, "pictures 10-15 are missing before",
         "h.mkv"},
        {"short sound", {part("a.mkv", 0, 10), part("b2.mkv", 10, 20)}, -1, -1,
         "the sound from 1.500 s to 2.000 s (frames 66150-88200) is missing", "whole.wav", kRate * 3 / 2},
        {"overlap", {part("a.mkv", 0, 10), part("b.mkv", 8, 20)}, -1, -1, "overlaps", "b.mkv"},
        {"gap", {part("a.mkv", 0, 10), part("c.mkv", 12, 20)}, -1, -1, "pictures 10-12 are missing", "c.mkv"},
        {"no start", {part("d.mkv", 3, 10)}, -1, -1, "pictures 0-3 are missing", "d.mkv"},
        {"other size", {part("a.mkv", 0, 10), other}, -1, -1, "does not match", "other_size.mkv"},
        {"other rate", {part("a.mkv", 0, 10), rate}, -1, -1, "does not match", "other_rate.mkv"},
        {"other codec", {part("a.mkv", 0, 10), h264}, -1, -1, "does not match", "h264.mkv"},
        {"truncated", {part("a.mkv", 0, 10), part("e.mkv", 10, 20)}, 1, -1, "e.mkv", "e.mkv"},
        {"no range", {part("f.mkv", 0, 10)}, -1, 0, "not a part", "f.mkv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (size_t i = 0; i < c.parts.size(); ++i) {
            WritePart(c.parts[i], static_cast<int>(i) == c.whole);
            if (static_cast<int>(i) == c.truncated) {
                std::vector<uint8_t> bytes = testsupport::ReadFile(c.parts[i].file);
                bytes.resize(bytes.size() / 2);
                testsupport::WriteFile(c.parts[i].file, bytes);
            }
        }
        WriteWav(wav, c.soundFrames > 0 ? c.soundFrames : 3 * kRate);
        const std::string out = dir.file("joined.mkv");
        const std::string problem = ZRNJoinShowVideo(Join<20>(out, c.parts, wav));
        EXPECT_NE(problem.find(c.message), std::string::npos) << problem;
        EXPECT_NE(problem.find(c.names), std::string::npos) << problem;
        EXPECT_FALSE(testsupport::FileExists(out));
        EXPECT_FALSE(testsupport::FileExists(out + ".part"));
    }
}

// The program joins against the show's own length (a whole join of the real show is
// in video_parts_test): parts that end early or start late are refused, status 1, the
// message and no file.
TEST(VideoJoin, TheProgramRefusesPartsThatMissPartOfTheShow) {
    if (!HaveFFmpeg()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg or ffprobe is not installed";
    }
    TempDir dir;
    const std::string wav = dir.file("whole.wav");
    WriteWav(wav, 2 * kRate);
    WritePart({dir.file("a.mkv"), 0, 10});
    WritePart({dir.file("b.mkv"), 10, 20});
    const std::string show = std::to_string(DemoTimeline().VideoPictures(10));
    const struct {
        std::string parts;
        std::string message;
    } cases[] = {
        {"a.mkv' '" + dir.file("b.mkv"),
         "pictures 20-" + show + " are missing after " + dir.file("b.mkv") + ": the show has " + show +
             " pictures at 10 pictures/s"},
        {"b.mkv", "pictures 0-10 are missing before " + dir.file("b.mkv")},
    };
    for (const auto& c : cases) {
        const std::string out = dir.file("out.mkv");
        std::string err;
        EXPECT_EQ(testsupport::Run("'" + testsupport::BinPath("zarnoth") + "' --join '" + out + "' '" + dir.path() +
                                       "/" + c.parts + "' --sound '" + wav + "' 2>&1",
                                   &err),
                  1);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_FALSE(testsupport::FileExists(out));
    }
}

}  // namespace
