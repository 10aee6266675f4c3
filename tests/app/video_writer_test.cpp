// ZRNShowVideoWriter on its own, with made-up pictures and sound: the encoding thread
// keeps the caller's order (FFV1 and PCM give back every byte), a failure on the
// encoding thread shows at a later call with the encoder's message and leaves no
// file, and a writer dropped with a full queue stops cleanly. These run the threaded
// writer hard enough for ThreadSanitizer to see its hand-overs.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "show/zrn_showvideo.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

using testsupport::TempDir;

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr int32_t kFps = 10;
constexpr int32_t kRate = 44100;
constexpr int64_t kFramesPerPicture = kRate / kFps;

// Picture k: every pixel differs from its neighbours and from picture k - 1, so a
// picture out of order or changed on the way shows.
std::unique_ptr<KVLImage> MakePicture(int32_t k) {
    std::unique_ptr<KVLImage> picture = KVLImage::Create(kWidth, kHeight);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t r = static_cast<uint32_t>(x * 4 + k) & 0xFF;
            const uint32_t g = static_cast<uint32_t>(y * 5 + 3 * k) & 0xFF;
            const uint32_t b = static_cast<uint32_t>(x ^ y ^ (k * 7)) & 0xFF;
            picture->pixels[y * kWidth + x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    return picture;
}

// The sound of picture k: a different ramp in each channel.
std::vector<int16_t> MakeSound(int32_t k) {
    std::vector<int16_t> samples(static_cast<size_t>(kFramesPerPicture) * 2);
    for (int64_t i = 0; i < kFramesPerPicture; ++i) {
        const int64_t n = k * kFramesPerPicture + i;
        samples[2 * i] = static_cast<int16_t>((n * 37) % 65536 - 32768);
        samples[2 * i + 1] = static_cast<int16_t>(-((n * 11) % 30000));
    }
    return samples;
}

ZRNShowVideoSettings Settings(const std::string& path, const std::string& codec) {
    ZRNShowVideoSettings settings;
    settings.path = path;
    settings.codec = codec;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fps = kFps;
    settings.sampleRate = kRate;
    return settings;
}

const std::vector<uint8_t> kMine = {'m', 'i', 'n', 'e'};

bool HaveFFmpeg() { return testsupport::HaveProgram("ffmpeg") && testsupport::HaveProgram("ffprobe"); }

// Sends 'pictures' pictures, each followed by its sound, and finishes.
void WriteAll(ZRNShowVideoWriter* writer, int32_t pictures) {
    for (int32_t k = 0; k < pictures; ++k) {
        ASSERT_TRUE(writer->AddPicture(MakePicture(k))) << writer->Error();
        const std::vector<int16_t> sound = MakeSound(k);
        ASSERT_TRUE(writer->AddSound(sound.data(), kFramesPerPicture)) << writer->Error();
    }
    ASSERT_TRUE(writer->Finish(pictures * kFramesPerPicture)) << writer->Error();
}

TEST(VideoWriter, EncodesPicturesAndSoundInTheCallersOrder) {
    if (!HaveFFmpeg()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg or ffprobe is not installed";
    }
    constexpr int32_t kPictures = 40;
    TempDir dir;
    const std::string file = dir.file("out.mkv");
    // A file of the user's with the name a working file once had: never touched.
    testsupport::WriteFile(file + ".part", kMine);
    {
        ZRNShowVideoWriter writer(Settings(file, "ffv1"));
        ASSERT_TRUE(writer.Open()) << writer.Error();
        WriteAll(&writer, kPictures);
        // Finished: nothing more goes in.
        EXPECT_FALSE(writer.AddPicture(MakePicture(0)));
        EXPECT_EQ(writer.Error(), "the video file is not open");
    }
    ASSERT_TRUE(testsupport::FileExists(file));
    EXPECT_EQ(testsupport::ReadFile(file + ".part"), kMine);
    EXPECT_EQ(testsupport::ListFolder(dir.path()), (std::vector<std::string>{"out.mkv", "out.mkv.part"}));

    ASSERT_EQ(testsupport::Run("ffmpeg -v error -y -i '" + file + "' -map 0:v -f rawvideo -pix_fmt bgra '" +
                               dir.file("pictures.raw") + "'"),
              0);
    const std::vector<uint8_t> pictures = testsupport::ReadFile(dir.file("pictures.raw"));
    const size_t pictureBytes = static_cast<size_t>(kWidth) * kHeight * 4;
    ASSERT_EQ(pictures.size(), pictureBytes * kPictures);
    for (int32_t k = 0; k < kPictures; ++k) {
        const std::unique_ptr<KVLImage> expected = MakePicture(k);
        size_t wrong = 0;
        for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i) {
            const uint8_t* p = pictures.data() + k * pictureBytes + 4 * i;
            const uint32_t got = 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
            wrong += got != expected->pixels[i] ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u) << "picture " << k;
    }

    ASSERT_EQ(testsupport::Run("ffmpeg -v error -y -i '" + file + "' -map 0:a -f s16le '" + dir.file("sound.raw") + "'"),
              0);
    const std::vector<uint8_t> sound = testsupport::ReadFile(dir.file("sound.raw"));
    ASSERT_EQ(sound.size(), static_cast<size_t>(kPictures * kFramesPerPicture) * 4);
    size_t wrong = 0;
    for (int32_t k = 0; k < kPictures; ++k) {
        const std::vector<int16_t> expected = MakeSound(k);
        for (size_t i = 0; i < expected.size(); ++i) {
            const size_t at = 2 * (k * expected.size() + i);
            wrong += static_cast<int16_t>(sound[at] | sound[at + 1] << 8) != expected[i] ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

// H.264 through the same path (x264 runs threads of its own): the picture count and
// the sound length come out right.
TEST(VideoWriter, H264KeepsEveryPicture) {
    if (!HaveFFmpeg()) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg or ffprobe is not installed";
    }
    constexpr int32_t kPictures = 25;
    TempDir dir;
    const std::string file = dir.file("out.mp4");
    ZRNShowVideoSettings settings = Settings(file, "h264");
    settings.preset = "ultrafast";
    settings.crf = 30;
    {
        ZRNShowVideoWriter writer(settings);
        ASSERT_TRUE(writer.Open()) << writer.Error();
        WriteAll(&writer, kPictures);
    }
    std::string count;
    ASSERT_EQ(testsupport::Run("ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
                               "-of default=noprint_wrappers=1:nokey=1 '" +
                                   file + "'",
                               &count),
              0);
    EXPECT_EQ(std::atoi(count.c_str()), kPictures);
}

// Refused at once, before anything is queued.
TEST(VideoWriter, RefusesAPictureOfAnotherSize) {
    TempDir dir;
    ZRNShowVideoWriter writer(Settings(dir.file("out.mkv"), "ffv1"));
    ASSERT_TRUE(writer.Open()) << writer.Error();
    EXPECT_FALSE(writer.AddPicture(KVLImage::Create(kWidth + 2, kHeight)));
    EXPECT_EQ(writer.Error(), "a picture of the wrong size");
    EXPECT_FALSE(writer.AddPicture(nullptr));
    // The writer itself is still good.
    EXPECT_TRUE(writer.AddPicture(MakePicture(0))) << writer.Error();
}

TEST(VideoWriter, NothingGoesInBeforeOpen) {
    TempDir dir;
    ZRNShowVideoWriter writer(Settings(dir.file("out.mkv"), "ffv1"));
    const std::vector<int16_t> sound = MakeSound(0);
    EXPECT_FALSE(writer.AddSound(sound.data(), kFramesPerPicture));
    EXPECT_EQ(writer.Error(), "the video file is not open");
    EXPECT_FALSE(writer.Finish(0));
}

#ifndef _WIN32
// Writes fail past a file size limit (SIGXFSZ ignored: the write answers EFBIG): the
// header fits in the muxer's buffer, and the writes fail once it is flushed, on the
// encoding thread. The caller hears of it at a later call (AddPicture, AddSound or at
// the latest Finish), with the encoder's message, and nothing is left behind once the
// writer goes but the user's own OUT.part, untouched.
TEST(VideoWriter, AFailedWriteShowsAtALaterCallAndLeavesNoFile) {
    TempDir dir;
    const std::string file = dir.file("out.mkv");
    testsupport::WriteFile(file + ".part", kMine);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 16384;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    {
        ZRNShowVideoWriter writer(Settings(file, "ffv1"));
        ASSERT_TRUE(writer.Open()) << writer.Error();
        bool failed = false;
        for (int32_t k = 0; k < 200 && !failed; ++k) {
            const std::vector<int16_t> sound = MakeSound(k);
            failed = !writer.AddPicture(MakePicture(k)) || !writer.AddSound(sound.data(), kFramesPerPicture);
        }
        if (!failed) {
            EXPECT_FALSE(writer.Finish(200 * kFramesPerPicture));
        }
        EXPECT_EQ(writer.Error().rfind("cannot write " + file, 0), 0u) << writer.Error();
        // Stays failed.
        EXPECT_FALSE(writer.AddPicture(MakePicture(0)));
        EXPECT_EQ(writer.Error().rfind("cannot write " + file, 0), 0u) << writer.Error();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(testsupport::ReadFile(file + ".part"), kMine);
    EXPECT_EQ(testsupport::ListFolder(dir.path()), std::vector<std::string>{"out.mkv.part"});
}
#endif

// A writer that goes away unfinished, with pictures still queued, stops its thread
// and deletes its working file (and only that).
TEST(VideoWriter, DroppedUnfinishedLeavesNoFile) {
    TempDir dir;
    const std::string file = dir.file("out.mkv");
    testsupport::WriteFile(file + ".part", kMine);
    {
        ZRNShowVideoWriter writer(Settings(file, "ffv1"));
        ASSERT_TRUE(writer.Open()) << writer.Error();
        for (int32_t k = 0; k < 20; ++k) {
            ASSERT_TRUE(writer.AddPicture(MakePicture(k))) << writer.Error();
        }
        const std::vector<std::string> names = testsupport::ListFolder(dir.path());
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[0].rfind("out.mkv.", 0), 0u) << names[0];
        EXPECT_NE(names[0], "out.mkv.part") << "a working file of its own, beside the user's";
    }
    EXPECT_EQ(testsupport::ReadFile(file + ".part"), kMine);
    EXPECT_EQ(testsupport::ListFolder(dir.path()), std::vector<std::string>{"out.mkv.part"});
}

}  // namespace
