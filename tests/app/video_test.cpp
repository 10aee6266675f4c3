// --video end to end, checked with FFmpeg's own programs: the streams, the length and
// picture count of the whole show, a lossless picture against --shot, the soundtrack;
// the picture sizes (bars around the 4:3 picture, supersampling); and the bad inputs,
// refused with a message before any work, or a failed write that leaves no file.
// The videos run at a few pictures per second so that the tests stay short.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo_show.h"
#include "show/zrn_showcontroller.h"
#include "show/zrn_showvideo_encoder.h"
#include "app_support.h"

namespace {

using testsupport::TempDir;

std::string Zarnoth() { return "'" + testsupport::BinPath("zarnoth") + "'"; }

// One value of ffprobe's flat output for the given stream ("v:0", "a:0") or the format.
std::string Probe(const std::string& file, const std::string& select, const std::string& entry) {
    std::string out;
    const std::string what = select.empty() ? "format=" + entry : "stream=" + entry;
    const std::string streams = select.empty() ? "" : " -select_streams " + select;
    testsupport::Run("ffprobe -v error" + streams + " -count_packets -show_entries " + what +
                         " -of default=noprint_wrappers=1:nokey=1 '" + file + "'",
                     &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

// The sound track decoded to 16-bit stereo at 44.1 kHz.
std::vector<int16_t> DecodeSound(const TempDir& dir, const std::string& file) {
    const std::string raw = dir.file("sound.raw");
    EXPECT_EQ(testsupport::Run("ffmpeg -v error -y -i '" + file + "' -map 0:a -f s16le -ac 2 -ar 44100 '" + raw + "'"),
              0);
    const std::vector<uint8_t> bytes = testsupport::ReadFile(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return samples;
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t n) {
    double ab = 0.0;
    double aa = 0.0;
    double bb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ab += static_cast<double>(a[i]) * b[i];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[i]) * b[i];
    }
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// Normalised RMSE between two pictures of the same size, or -1.
double Distance(const std::string& a, const std::string& b) {
    std::string out;
    testsupport::Run("compare-im6.q16 -metric RMSE '" + a + "' '" + b + "' null: 2>&1", &out);
    const size_t open = out.find('(');
    return open == std::string::npos ? -1.0 : std::atof(out.c_str() + open + 1);
}

bool HaveTools() {
    for (const char* tool : {"ffprobe", "ffmpeg", "compare-im6.q16"}) {
        if (!testsupport::HaveProgram(tool)) {
            return false;
        }
    }
    return true;
}

struct VideoCase {
    const char* name;
    const char* file;
    const char* options;
    int fps;
    const char* videoCodec;
    const char* pixelFormat;
    const char* size;
    const char* soundCodec;
    bool lossless;
};

class Video : public testing::TestWithParam<VideoCase> {};

TEST_P(Video, HoldsTheWholeShowWithItsSoundtrack) {
    if (!HaveTools()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg, ffprobe or ImageMagick is not installed";
    }
    const VideoCase& c = GetParam();
    TempDir dir;
    const std::string file = dir.file(c.file);
    ASSERT_EQ(testsupport::Run(Zarnoth() + " --video '" + file + "' " + c.options + " --fps " + std::to_string(c.fps) +
                               " 2>'" + dir.file("err.txt") + "'"),
              0);
    EXPECT_FALSE(testsupport::FileExists(file + ".part"));
    // No progress line when standard error is no terminal, and no encoder chatter.
    EXPECT_TRUE(testsupport::ReadFile(dir.file("err.txt")).empty());

    EXPECT_EQ(Probe(file, "v:0", "codec_name"), c.videoCodec);
    EXPECT_EQ(Probe(file, "v:0", "pix_fmt"), c.pixelFormat);
    EXPECT_EQ(Probe(file, "v:0", "width") + "x" + Probe(file, "v:0", "height"), c.size);
    EXPECT_EQ(Probe(file, "a:0", "codec_name"), c.soundCodec);
    EXPECT_EQ(Probe(file, "a:0", "sample_rate"), "44100");
    EXPECT_EQ(Probe(file, "a:0", "channels"), "2");
    const double showSeconds =
        DemoShowDescription().GetEndTick() * DemoShowDescription().tickMs / 1000.0;
    const double duration = std::atof(Probe(file, "", "duration").c_str());
    EXPECT_GE(duration, showSeconds);
    EXPECT_LE(duration, showSeconds + 1.0 / c.fps);
    const long pictures = std::atol(Probe(file, "v:0", "nb_read_packets").c_str());
    EXPECT_EQ(pictures, std::lround(duration * c.fps));

    // The soundtrack as heard: the capture's sound.wav is the decoded music sample
    // for sample (Capture.WritesEveryPictureAndTheSoundtrack), so the video's track is
    // held against the decoded music, then silence to the end of the last picture.
    const std::vector<int16_t> music = apptest::DecodeSoundtrack();
    const std::vector<int16_t> heard = DecodeSound(dir, file);
    ASSERT_FALSE(music.empty());
    EXPECT_NEAR(heard.size() / 2.0 / 44100.0, duration, 0.03);
    const size_t common = std::min(music.size(), heard.size());
    ASSERT_GT(common, 44100u * 2 * 60);
    if (c.lossless) {
        size_t mismatches = 0;
        for (size_t i = 0; i < heard.size(); ++i) {
            mismatches += heard[i] != (i < music.size() ? music[i] : 0) ? 1 : 0;
        }
        EXPECT_EQ(mismatches, 0u) << "of " << heard.size() << " samples";
        // Picture 98 at 10 pictures a second is the show at 9.8 s, tick 700 exactly:
        // what --shot 700 renders (the oscilloscope, trace and all).
        ASSERT_EQ(c.fps, 10);
        ASSERT_EQ(testsupport::Run("ffmpeg -v error -y -i '" + file +
                                   "' -vf 'select=eq(n\\,98)' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" +
                                   dir.file("video.rgb") + "'"),
                  0);
        ASSERT_EQ(testsupport::Run(Zarnoth() + " --shot 700 -o '" + dir.file("shot.png") + "'"), 0);
        ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + dir.file("shot.png") + "' -depth 8 'rgb:" +
                                   dir.file("shot.rgb") + "'"),
                  0);
        const std::vector<uint8_t> shot = testsupport::ReadFile(dir.file("shot.rgb"));
        EXPECT_EQ(shot.size(), 640u * 480u * 3u);
        EXPECT_TRUE(shot == testsupport::ReadFile(dir.file("video.rgb")));
    } else {
        EXPECT_GE(Correlation(music, heard, common), 0.99);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, Video,
    testing::Values(VideoCase{"FFV1", "show.mkv", "--codec ffv1", 10, "ffv1", "bgr0", "640x480", "pcm_s16le", true},
                    VideoCase{"H264", "show.mp4", "--size 1280x720", 2, "h264", "yuv420p", "1280x720", "aac", false}),
    [](const testing::TestParamInfo<VideoCase>& info) { return std::string(info.param.name); });

// Picture k of a video as 8-bit RGB rows.
std::vector<uint8_t> PictureOf(const TempDir& dir, const std::string& file, int k) {
    const std::string raw = dir.file("picture.rgb");
    EXPECT_EQ(testsupport::Run("ffmpeg -v error -y -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(k) +
                               ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" + raw + "'"),
              0);
    return testsupport::ReadFile(raw);
}

// Pixels of the oscilloscope's green trace (bright green, little red or blue).
int TracePixels(const std::vector<uint8_t>& rgb) {
    int n = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        n += rgb[i + 1] > 150 && rgb[i] < 90 && rgb[i + 2] < 90 ? 1 : 0;
    }
    return n;
}

// At an ordinary video rate the oscilloscope scene is the show a window shows: the
// trace appears within a second of the switch (3.92 s), after the scene's 300-frame
// hold, and the credits play to their last frame, which stays up before the next
// switch (15.68 s): the strip at the top changed as they ran and stands still for the
// last second before the switch (the scene's tests check that it stands on the last
// frame).
TEST(VideoTimeline, OscilloscopeAndCreditsAtThirtyPicturesASecond) {
    if (!HaveTools()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg, ffprobe or ImageMagick is not installed";
    }
    constexpr int kFps = 30;
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    TempDir dir;
    const std::string file = dir.file("show.mkv");
    ASSERT_EQ(testsupport::Run(Zarnoth() + " --video '" + file + "' --codec ffv1 --fps 30 --size 320x240 2>/dev/null"),
              0);
    const int switchPicture = static_cast<int>(std::ceil(3.92 * kFps));
    int firstTrace = -1;
    for (int k = switchPicture; k < switchPicture + 2 * kFps && firstTrace < 0; k += 3) {
        const std::vector<uint8_t> picture = PictureOf(dir, file, k);
        ASSERT_EQ(picture.size(), static_cast<size_t>(kWidth) * kHeight * 3);
        firstTrace = TracePixels(picture) > 100 ? k : -1;
    }
    ASSERT_GE(firstTrace, 0) << "no oscilloscope in the two seconds after its switch";
    EXPECT_LT(firstTrace / static_cast<double>(kFps) - 3.92, 1.0) << "picture " << firstTrace;
    EXPECT_EQ(TracePixels(PictureOf(dir, file, switchPicture - 2)), 0) << "the picture before it shows no trace";

    const auto strip = [&](int k) {
        std::vector<uint8_t> picture = PictureOf(dir, file, k);
        picture.resize(static_cast<size_t>(kWidth) * (kHeight / 4) * 3);
        return picture;
    };
    const int lastPicture = static_cast<int>(std::ceil(15.68 * kFps)) - 1;
    const std::vector<uint8_t> last = strip(lastPicture);
    for (int k = lastPicture - kFps; k < lastPicture; k += 5) {
        EXPECT_TRUE(last == strip(k)) << "the credits stand still at picture " << k;
    }
    EXPECT_FALSE(last == strip(firstTrace + kFps)) << "the credits ran";
}

// The 4:3 picture keeps its shape in any size: full height with black bars at the
// sides when wider, full width with bars above and below when taller. Supersampled
// or not, the picture inside is the plain 640x480 shot of the same moment (the
// software rasteriser draws edges a little differently at other sizes).
TEST(VideoPicture, FourByThreeInsideBlackBars) {
    if (!HaveTools()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg, ffprobe or ImageMagick is not installed";
    }
    const struct {
        const char* size;
        int ssaa;
        // The 4:3 picture inside.
        int width, height, x, y;
    } cases[] = {
        {"1920x1080", 1, 1440, 1080, 240, 0},
        {"640x960", 1, 640, 480, 0, 240},
        {"800x480", 2, 640, 480, 80, 0},
    };
    TempDir dir;
    // The room, two seconds into its scene; few pictures on the way keep this short.
    const std::string shot = Zarnoth() + " --shot 2000 --fps 2";
    ASSERT_EQ(testsupport::Run(shot + " -o '" + dir.file("plain.png") + "' 2>/dev/null"), 0);
    ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + dir.file("plain.png") + "' -resize 160x120! -strip '" +
                               dir.file("plain_small.png") + "'"),
              0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string file = dir.file("shot.png");
        ASSERT_EQ(testsupport::Run(shot + " --size " + c.size + " --ssaa " + std::to_string(c.ssaa) + " -o '" + file +
                                   "' 2>/dev/null"),
                  0);
        std::string size;
        ASSERT_EQ(testsupport::Run("identify-im6.q16 -format '%wx%h' '" + file + "'", &size), 0);
        EXPECT_EQ(size, c.size);
        const std::string w = std::to_string(c.width);
        const std::string h = std::to_string(c.height);
        const std::string x = std::to_string(c.x);
        const std::string y = std::to_string(c.y);
        ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + file + "' -crop " + w + "x" + h + "+" + x + "+" + y +
                                   " +repage -resize 160x120! -strip '" + dir.file("inside.png") + "'"),
                  0);
        const double d = Distance(dir.file("inside.png"), dir.file("plain_small.png"));
        EXPECT_GE(d, 0.0);
        EXPECT_LE(d, 0.03);
        // With the inside painted black, nothing is left but black.
        std::string brightest;
        ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + file + "' -fill black -draw 'rectangle " + x + "," + y + " " +
                                       std::to_string(c.x + c.width - 1) + "," + std::to_string(c.y + c.height - 1) +
                                       "' -format '%[fx:maxima.r+maxima.g+maxima.b]' info:",
                                   &brightest),
                  0);
        EXPECT_EQ(brightest, "0");
    }
}

// Each bad input: exit status 1, its message, no video file and no partial one. The
// checks come before any work; a write that fails on the way (a file size limit, as a
// full disk would) removes what was written.
TEST(VideoBadInput, RefusedWithAMessageAndNoFile) {
    const struct {
        const char* what;
        const char* file;
        const char* options;
        const char* message;
        // Run under a file size limit of this many KiB (0: none).
        int limitKiB;
    } cases[] = {
        {"unwritable path", "missing/show.mp4", "", "cannot write", 0},
        {"unknown codec", "show.mkv", "--codec vp9", "unknown codec 'vp9'", 0},
        {"codec the container cannot hold", "show.mp4", "--codec ffv1", "cannot hold ffv1", 0},
        {"unknown container", "show.xyz", "", "cannot tell a video format", 0},
        {"too small", "show.mp4", "--size 63x480", "at least 64x64", 0},
        {"too large", "show.mp4", "--size 7682x4320", "at most 7680x4320", 0},
        {"odd size for yuv420p", "show.mp4", "--size 641x480", "even width and height", 0},
        {"rendered size too large", "show.mp4", "--size 3840x2160 --ssaa 3", "8192", 0},
        {"unknown preset", "show.mp4", "--preset quick", "unknown preset 'quick' (ultrafast,", 0},
        {"preset for a lossless codec", "show.mkv", "--codec ffv1 --preset fast", "--preset and --crf are for h264", 0},
        {"disk full on the way", "show.mkv", "--codec ffv1 --fps 10", "cannot write", 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string file = dir.file(c.file);
        // A file of the user's that happens to have the name of a working file.
        const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
        const bool folder = std::string(c.file).find('/') == std::string::npos;
        if (folder) {
            testsupport::WriteFile(file + ".part", mine);
        }
        std::string command = Zarnoth() + " --video '" + file + "' " + c.options + " 2>'" + dir.file("err.txt") + "'";
        if (c.limitKiB > 0) {
            // A write past the limit fails with EFBIG once the signal is ignored.
            command = "bash -c \"trap '' XFSZ; ulimit -f " + std::to_string(c.limitKiB) + "; exec " + command + "\"";
        }
        const int status = testsupport::Run(command);
        const std::vector<uint8_t> err = testsupport::ReadFile(dir.file("err.txt"));
        const std::string text(err.begin(), err.end());
        EXPECT_EQ(status, 1) << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_FALSE(testsupport::FileExists(file));
        if (folder) {
            EXPECT_EQ(testsupport::ReadFile(file + ".part"), mine) << "the user's file is left as it was";
            EXPECT_EQ(testsupport::ListFolder(dir.path()), (std::vector<std::string>{"err.txt", c.file + std::string(".part")}))
                << "no working file is left";
        }
    }
}

// The encoder is a module of its own: the show's program links no FFmpeg library, and
// a program without the module next to it (nor installed) refuses --video, saying why.
TEST(VideoModule, TheProgramLoadsFFmpegOnlyForVideos) {
    std::string libraries;
    ASSERT_EQ(testsupport::Run("ldd " + Zarnoth(), &libraries), 0);
    EXPECT_EQ(libraries.find("libavcodec"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libx264"), std::string::npos) << libraries;

    TempDir dir;
    ASSERT_EQ(testsupport::Run("cp " + Zarnoth() + " '" + dir.file("zarnoth") + "'"), 0);
    const std::string err = dir.file("err.txt");
    const int status = testsupport::Run("'" + dir.file("zarnoth") + "' --video '" + dir.file("show.mkv") +
                                        "' --codec ffv1 2>'" + err + "'");
    const std::vector<uint8_t> bytes = testsupport::ReadFile(err);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(status, 1) << text;
    EXPECT_NE(text.find("zarnoth_video.so"), std::string::npos) << text;
    EXPECT_FALSE(testsupport::FileExists(dir.file("show.mkv")));
}

#ifdef ZARNOTH_OTHER_VIDEO_MODULE
// A module of another interface version beside the program is refused before any of
// its entry points is called, naming both versions; the installed one is not tried.
TEST(VideoModule, OneOfAnotherVersionIsRefused) {
    TempDir dir;
    ASSERT_EQ(testsupport::Run("cp " + Zarnoth() + " '" + dir.file("zarnoth") + "' && cp '" ZARNOTH_OTHER_VIDEO_MODULE
                               "' '" + dir.file("zarnoth_video.so") + "'"),
              0);
    for (const char* options : {"--video show.mkv --codec ffv1", "--join show.mkv a.mkv --sound a.wav"}) {
        SCOPED_TRACE(options);
        std::string out;
        const int status =
            testsupport::Run("cd '" + dir.path() + "' && ./zarnoth " + options + " 2>&1", &out);
        EXPECT_EQ(status, 1) << out;
        const ZRNShowVideoInterface other = {kZRNShowVideoInterfaceVersion + 1, kZRNShowVideoInterface.settingsBytes,
                                          kZRNShowVideoInterface.joinBytes, kZRNShowVideoInterface.stringBytes};
        // The line starts with the show's program name; the loader's words name none.
        EXPECT_NE(out.find("zarnoth: videos need zarnoth_video.so, which cannot be used: " + dir.file("zarnoth_video.so") +
                           " has interface version " + ZRNDescribeShowVideoInterface(other) +
                           ", this program needs version " + ZRNDescribeShowVideoInterface(kZRNShowVideoInterface)),
                  std::string::npos)
            << out;
        EXPECT_FALSE(testsupport::FileExists(dir.file("show.mkv")));
    }
}
#endif

}  // namespace
