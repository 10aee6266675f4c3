// A video made in parts and joined equals the video made in one run, checked through
// FFmpeg's per-frame checksums of the decoded pictures and sound (lossless FFV1 and
// PCM): parts made by hand with --from/--to, --jobs, and the README's recipe with GNU
// parallel run on local job slots. Small, slow videos keep it quick. Also the options
// refused before any work.
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "app_support.h"

namespace {

using testsupport::TempDir;

const char* const kOptions = " --codec ffv1 --fps 10 --size 160x120";

std::string Zarnoth() { return "'" + testsupport::BinPath("zarnoth") + "'"; }

// Every decoded picture and sound packet of the file, checksummed.
std::string Checksums(const std::string& file) {
    std::string out;
    EXPECT_EQ(testsupport::Run("ffmpeg -v error -i '" + file + "' -f framemd5 -", &out), 0) << file;
    return out;
}

class VideoParts : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"ffmpeg", "parallel"}) {
            if (!testsupport::HaveProgram(tool)) {
                ZARNOTH_SKIP_MISSING() << tool << " is part of the test set-up";
            }
        }
        ASSERT_EQ(testsupport::Run(Zarnoth() + " --video '" + dir.file("single.mkv") + "'" + kOptions + " 2>/dev/null"),
                  0);
        single = Checksums(dir.file("single.mkv"));
        ASSERT_GT(single.size(), 1000u);
        ASSERT_EQ(testsupport::Run(Zarnoth() + " --soundtrack '" + dir.file("whole.wav") + "' --fps 10"), 0);
    }
    // The parts [ticks[i], ticks[i + 1]) made one by one and joined.
    std::string Joined(const std::vector<int>& ticks) {
        std::string parts;
        for (size_t i = 0; i + 1 < ticks.size(); ++i) {
            const std::string part = dir.file("part" + std::to_string(i) + ".mkv");
            EXPECT_EQ(testsupport::Run(Zarnoth() + " --video '" + part + "'" + kOptions + " --from " +
                                       std::to_string(ticks[i]) + " --to " + std::to_string(ticks[i + 1]) +
                                       " 2>/dev/null"),
                      0);
            parts += " '" + part + "'";
        }
        const std::string out = dir.file("joined.mkv");
        EXPECT_EQ(testsupport::Run(Zarnoth() + " --join '" + out + "'" + parts + " --sound '" + dir.file("whole.wav") + "'"),
                  0);
        return Checksums(out);
    }

    TempDir dir;
    std::string single;
};

TEST_F(VideoParts, JoinedPartsEqualOneRun) {
    // Two parts, and three whose bounds fall inside a scene, a switch gap and the
    // oscilloscope's opening hold.
    EXPECT_EQ(Joined({0, 2870, 5880}), single);
    EXPECT_EQ(Joined({0, 300, 1125, 5880}), single);
}

TEST_F(VideoParts, JobsEqualOneRun) {
    const std::string out = dir.file("jobs.mkv");
    ASSERT_EQ(testsupport::Run(Zarnoth() + " --video '" + out + "'" + kOptions + " --jobs 3 2>/dev/null"), 0);
    EXPECT_EQ(Checksums(out), single);
}

// H.264 parts are encoded apart (each starts with a key picture), so their pictures
// are not the same bytes; the count is, and the sound decodes to the same samples.
TEST_F(VideoParts, H264JobsKeepEveryPictureAndTheSound) {
    const auto run = [&](const std::string& name, const std::string& more) {
        const std::string out = dir.file(name);
        EXPECT_EQ(testsupport::Run(Zarnoth() + " --video '" + out + "' --fps 10 --size 160x120" + more + " 2>/dev/null"), 0);
        std::string pictures;
        testsupport::Run("ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
                         "-of csv=p=0 '" + out + "'",
                         &pictures);
        std::string sound;
        EXPECT_EQ(testsupport::Run("ffmpeg -v error -i '" + out + "' -map 0:a -f framemd5 -", &sound), 0);
        return std::make_pair(pictures, sound);
    };
    const auto one = run("one.mp4", "");
    const auto jobs = run("jobs.mp4", " --jobs 2");
    EXPECT_EQ(one.first, "824\n");
    EXPECT_EQ(jobs.first, one.first);
    EXPECT_GT(one.second.size(), 1000u);
    EXPECT_EQ(jobs.second, one.second);
}

// The README's recipe for several machines, with this machine's job slots for hosts.
TEST_F(VideoParts, TheParallelRecipeEqualsOneRun) {
    const std::string recipe =
        "cd '" + dir.path() + "' && export PATH='" + testsupport::BinPath("") + "':$PATH && " +
        "printf '%s\\n' '0 0 1960' '1 1960 3920' '2 3920 5880' > parts.txt && "
        "parallel --will-cite --colsep ' ' -S 2/: --return part{1}.mkv --cleanup "
        "zarnoth --video part{1}.mkv" + std::string(kOptions) + " --from {2} --to {3} :::: parts.txt 2>/dev/null && "
        "zarnoth --join show.mkv part0.mkv part1.mkv part2.mkv --sound whole.wav";
    ASSERT_EQ(testsupport::Run(recipe), 0);
    EXPECT_EQ(Checksums(dir.file("show.mkv")), single);
}

TEST(VideoPartOptions, RefusedBeforeAnyWork) {
    const struct {
        const char* options;
        int status;
        const char* says;
    } cases[] = {
        {"--capture d --from 100 --to 200", 1, "go with --video"},
        {"--video x.mkv --codec ffv1 --from 300 --to 300", 1, "holds no picture"},
        {"--video x.mkv --jobs 2 --from 0 --to 100", 2, "without --from and --to"},
        {"--capture d --jobs 2", 2, "goes with --video"},
        {"--size 1280x720", 1, "not the live show"},
        {"--fps 30 --windowed", 1, "not the live show"},
        {"--shot 100 -o x.png --start 50", 1, "for the live show"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        std::string out;
        const int status =
            testsupport::Run("cd '" + dir.path() + "' && " + Zarnoth() + " " + c.options + " 2>&1", &out);
        EXPECT_EQ(status, c.status) << c.options << ": " << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.options << ": " << out;
        EXPECT_FALSE(testsupport::FileExists(dir.file("x.mkv")));
    }
}

}  // namespace
