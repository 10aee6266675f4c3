// The generated data archive, checked from the outside: the generator is run twice
// into a scratch folder and compared with the build's archive; members are read
// through the engine's PAK streams, pictures decoded with djpeg, the MP3 frame headers
// counted here and the sound decoded with mpg123.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/demo_archive_members.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"
#include "support/test_support.h"

using testsupport::BinPath;
using testsupport::HaveProgram;
using testsupport::ReadFile;
using testsupport::Run;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using Bytes = std::vector<uint8_t>;

struct Archive {
    std::vector<std::string> names;
    std::map<std::string, Bytes> members;
};

Archive LoadArchive(const std::string& path) {
    Archive archive;
    KVLFileStream file{KVLString(path.c_str())};
    KVLArray<KVLPAKEntry> entries;
    KVLString error;
    if (!KVLPAKReadDirectory(file, entries, &error)) {
        ADD_FAILURE() << path << ": " << error.c_str();
        return archive;
    }
    for (int i = 0; i < entries.GetCount(); ++i) {
        const std::string name = entries[i].GetName().c_str();
        KVLPAKStream member(file, KVLString(name.c_str()));
        EXPECT_TRUE(member.OpenRead()) << name;
        Bytes bytes(static_cast<size_t>(std::max(0, member.GetLength())));
        if (!bytes.empty()) {
            EXPECT_EQ(member.Read(bytes.data(), static_cast<int32_t>(bytes.size())),
                      static_cast<int32_t>(bytes.size()));
        }
        member.Close();
        archive.names.push_back(name);
        archive.members[name] = std::move(bytes);
    }
    return archive;
}

// The archive the build generated (build/bin/quorvel.pak).
class GeneratedArchive : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_archive = new Archive(LoadArchive(BinPath("quorvel.pak")));
    }
    static void TearDownTestSuite() {
        delete s_archive;
        delete s_dir;
        s_archive = nullptr;
        s_dir = nullptr;
    }
    static const Bytes& Member(const std::string& name) {
        static const Bytes empty;
        const auto it = s_archive->members.find(name);
        return it == s_archive->members.end() ? empty : it->second;
    }

    static TempDir* s_dir;
    static Archive* s_archive;
};

TempDir* GeneratedArchive::s_dir = nullptr;
Archive* GeneratedArchive::s_archive = nullptr;

TEST(Generator, TwoRunsGiveTheSameBytesAsTheBuild) {
    TempDir dir;
    const std::string gen = BinPath("quorvel_gen");
    for (const char* run : {"a", "b"}) {
        const std::string pak = dir.file(std::string(run) + ".pak");
        const std::string png = dir.file(std::string(run) + ".png");
        ASSERT_EQ(testsupport::Run("'" + gen + "' '" + pak + "' '" + png + "'"), 0) << gen;
    }
    const Bytes a = ReadFile(dir.file("a.pak"));
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == ReadFile(dir.file("b.pak"))) << "the archive differs between two runs";
    EXPECT_TRUE(ReadFile(dir.file("a.png")) == ReadFile(dir.file("b.png")));
    if (HaveProgram("identify-im6.q16")) {
        std::string format;
        EXPECT_EQ(testsupport::Run("identify-im6.q16 -format '%m %w %h' '" + dir.file("a.png") + "'", &format), 0);
        EXPECT_EQ(format.rfind("PNG ", 0), 0u) << format;
    }
    EXPECT_TRUE(ReadFile(BinPath("quorvel.pak")) == a) << "the build's archive is stale or differs";
    // Usage errors exit with 2 and write nothing.
    EXPECT_EQ(testsupport::Run("'" + gen + "' 2>/dev/null"), 2);
}

TEST_F(GeneratedArchive, MembersFollowTheCatalogueAndFit) {
    // Every catalogue member, in resource id order, nothing else.
    std::vector<std::string> catalogue;
    for (const DemoArchiveMember& member : kDemoArchiveMembers) {
        catalogue.emplace_back(member.name);
    }
    EXPECT_EQ(s_archive->names, catalogue);
    for (const std::string& name : s_archive->names) {
        EXPECT_FALSE(Member(name).empty()) << name;
    }
    const size_t size = ReadFile(BinPath("quorvel.pak")).size();
    EXPECT_LT(size, 8u * 1024 * 1024);
}

// ---- JPEG members --------------------------------------------------------------

struct Picture {
    int width = 0, height = 0;
    Bytes rgb;
    int At(int x, int y, int c) const { return rgb[(size_t(y) * width + x) * 3 + c]; }
};

// Decodes with djpeg into a binary PPM and reads it back.
bool DecodeWithDjpeg(const TempDir& dir, const Bytes& jpeg, Picture& picture) {
    const std::string in = dir.file("in.jpg");
    const std::string out = dir.file("out.ppm");
    WriteFile(in, jpeg);
    if (Run("djpeg -pnm -outfile '" + out + "' '" + in + "'") != 0) {
        return false;
    }
    const Bytes ppm = ReadFile(out);
    size_t pos = 0;
    auto token = [&]() {
        while (pos < ppm.size() && std::isspace(ppm[pos])) {
            ++pos;
        }
        std::string t;
        while (pos < ppm.size() && !std::isspace(ppm[pos])) {
            t += static_cast<char>(ppm[pos++]);
        }
        return t;
    };
    if (token() != "P6") {
        return false;
    }
    picture.width = std::stoi(token());
    picture.height = std::stoi(token());
    if (token() != "255") {
        return false;
    }
    ++pos;
    const size_t n = size_t(picture.width) * picture.height * 3;
    if (ppm.size() - pos != n) {
        return false;
    }
    picture.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(pos), ppm.end());
    return true;
}

// Sum of the first (luminance) quantisation table, and whether the frame is baseline.
bool ReadJpegTables(const Bytes& jpeg, int& lumaSum, bool& baseline) {
    lumaSum = -1;
    baseline = false;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return false;
    }
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const int marker = jpeg[pos + 1];
        const size_t length = size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (marker == 0xDA || pos + 2 + length > jpeg.size()) {
            break;
        }
        if (marker == 0xC0) {
            baseline = true;
        }
        if (marker == 0xDB) {
            size_t p = pos + 4;
            while (p < pos + 2 + length) {
                const int precision = jpeg[p] >> 4;
                const int id = jpeg[p] & 15;
                int sum = 0;
                for (int i = 0; i < 64; ++i) {
                    sum += precision ? (jpeg[p + 1 + 2 * i] << 8 | jpeg[p + 2 + 2 * i]) : jpeg[p + 1 + i];
                }
                if (id == 0) {
                    lumaSum = sum;
                }
                p += 1 + 64 * (precision ? 2 : 1);
            }
        }
        pos += 2 + length;
    }
    return lumaSum > 0;
}

// The example luminance table of the JPEG standard (Annex K), scaled the usual way to
// quality 85; a stream of quality 85 or better quantises no coarser overall.
int LumaSumAtQuality85() {
    const int base[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                          14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                          18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                          49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    int sum = 0;
    for (int b : base) {
        sum += std::max(1, (b * 30 + 50) / 100);
    }
    return sum;
}

// Mean absolute difference between two columns (or rows) of a picture.
double LineDifference(const Picture& p, bool columns, int a, int b) {
    double sum = 0;
    const int n = columns ? p.height : p.width;
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            sum += columns ? std::abs(p.At(a, i, c) - p.At(b, i, c)) : std::abs(p.At(i, a, c) - p.At(i, b, c));
        }
    }
    return sum / (3.0 * n);
}

// The wrap-around step (last column or row to the first), and what a step inside the
// picture looks like: the larger of the 90th percentile of all neighbouring steps and
// the two steps beside the seam (a joint drawn across the edge makes those large too).
// A texture that repeats has a seam like any place inside it; one that does not
// stands out.
void SeamAndTypicalStep(const Picture& p, bool columns, double& seam, double& typical) {
    const int n = columns ? p.width : p.height;
    std::vector<double> steps;
    for (int i = 0; i + 1 < n; ++i) {
        steps.push_back(LineDifference(p, columns, i, i + 1));
    }
    std::sort(steps.begin(), steps.end());
    typical = std::max({steps[steps.size() * 9 / 10], LineDifference(p, columns, n - 2, n - 1),
                        LineDifference(p, columns, 0, 1)});
    seam = LineDifference(p, columns, n - 1, 0);
}

TEST_F(GeneratedArchive, JpegMembersDecodeToTheirSizes) {
    if (!HaveProgram("djpeg")) {
        ZARNOTH_SKIP_MISSING() << "djpeg (libjpeg-turbo-progs) is not installed";
    }
    struct Expect {
        const char* name;
        int width, height;
        bool tilesSideways, tilesUpwards;
    };
    const Expect expected[] = {
        {"tex\\cl.jpg", 1024, 512, true, false}, {"tex\\f.jpg", 512, 512, true, true},
        {"tex\\w1.jpg", 512, 512, true, true},   {"tex\\w2.jpg", 512, 512, false, false},
        {"tex\\w3.jpg", 512, 512, true, true},   {"tex\\w4.jpg", 512, 512, true, true},
        {"tex\\ce.jpg", 512, 512, false, false}, {"tex\\prt.jpg", 512, 256, false, false},
        {"tex\\end.jpg", 512, 256, false, false},
    };
    TempDir scratch;
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        const Bytes& jpeg = Member(e.name);
        ASSERT_FALSE(jpeg.empty());
        int lumaSum = 0;
        bool baseline = false;
        ASSERT_TRUE(ReadJpegTables(jpeg, lumaSum, baseline));
        EXPECT_TRUE(baseline);
        EXPECT_LE(lumaSum, LumaSumAtQuality85());
        Picture picture;
        ASSERT_TRUE(DecodeWithDjpeg(scratch, jpeg, picture));
        EXPECT_EQ(picture.width, e.width);
        EXPECT_EQ(picture.height, e.height);
        // Not a flat picture.
        double spread = 0;
        for (int y = 0; y < picture.height; y += 7) {
            spread = std::max(spread, LineDifference(picture, false, 0, y));
        }
        EXPECT_GT(spread, 5.0);
        for (const bool columns : {true, false}) {
            if (columns ? e.tilesSideways : e.tilesUpwards) {
                double seam = 0, typical = 0;
                SeamAndTypicalStep(picture, columns, seam, typical);
                EXPECT_LE(seam, typical + 1.0) << (columns ? "left/right" : "top/bottom") << " edges do not meet";
            }
        }
    }
}

// ---- The soundtrack ------------------------------------------------------------

struct Mp3Facts {
    int frames = 0;
    std::vector<int> bitrates;  // distinct, kbit/s
    bool stereo = true;
    bool layer3 = true;
    bool rate44100 = true;
    size_t trailing = 0;  // bytes after the last frame
};

// Walks the MPEG-1 Layer III frame headers from the first byte.
Mp3Facts CountFrames(const Bytes& mp3) {
    static const int kBitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1};
    Mp3Facts facts;
    size_t pos = 0;
    while (pos + 4 <= mp3.size()) {
        const uint32_t h = uint32_t(mp3[pos]) << 24 | uint32_t(mp3[pos + 1]) << 16 | uint32_t(mp3[pos + 2]) << 8 |
                           mp3[pos + 3];
        if ((h >> 21) != 0x7FF) {
            break;
        }
        const int version = (h >> 19) & 3;
        const int layer = (h >> 17) & 3;
        const int bitrate = kBitrates[(h >> 12) & 15];
        const int rate = (h >> 10) & 3;
        const int padding = (h >> 9) & 1;
        const int mode = (h >> 6) & 3;
        if (version != 3 || layer != 1 || bitrate <= 0 || rate == 3) {
            facts.layer3 = false;
            break;
        }
        facts.rate44100 = facts.rate44100 && rate == 0;
        facts.stereo = facts.stereo && mode != 3;
        if (std::find(facts.bitrates.begin(), facts.bitrates.end(), bitrate) == facts.bitrates.end()) {
            facts.bitrates.push_back(bitrate);
        }
        pos += static_cast<size_t>(144000 * bitrate / 44100 + padding);
        ++facts.frames;
    }
    facts.trailing = mp3.size() - std::min(pos, mp3.size());
    return facts;
}

std::string Field(const Bytes& tag, size_t offset, size_t length) {
    std::string s(tag.begin() + static_cast<std::ptrdiff_t>(offset),
                  tag.begin() + static_cast<std::ptrdiff_t>(offset + length));
    s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

TEST_F(GeneratedArchive, SoundtrackIsConstantBitrateStereoWithItsTag) {
    const Bytes& mp3 = Member("snd\\qv.mp3");
    ASSERT_GT(mp3.size(), 128u);
    ASSERT_NE(std::string(mp3.begin(), mp3.begin() + 3), "ID3") << "no ID3v2 tag expected in front";
    const Mp3Facts facts = CountFrames(mp3);
    EXPECT_TRUE(facts.layer3);
    EXPECT_TRUE(facts.rate44100);
    EXPECT_TRUE(facts.stereo);
    ASSERT_EQ(facts.bitrates.size(), 1u) << "constant bit rate";
    EXPECT_GE(facts.bitrates[0], 128);
    EXPECT_LE(facts.bitrates[0], 192);
    const double seconds = facts.frames * 1152.0 / 44100.0;
    EXPECT_GE(seconds, 84.0);
    EXPECT_LT(seconds, 95.0);
    ASSERT_EQ(facts.trailing, 128u) << "exactly an ID3v1 tag after the frames";
    const Bytes tag(mp3.end() - 128, mp3.end());
    EXPECT_EQ(Field(tag, 0, 3), "TAG");
    EXPECT_FALSE(Field(tag, 3, 30).empty()) << "title";
    EXPECT_FALSE(Field(tag, 33, 30).empty()) << "artist";
    EXPECT_EQ(Field(tag, 93, 4), "2026");
    // Electronic genres of the ID3v1 list: Dance, Techno, Ambient, Trance, House,
    // Electronic, Synthpop.
    const int genre = tag[127];
    const int electronic[] = {3, 18, 26, 31, 35, 52, 147};
    EXPECT_NE(std::find(std::begin(electronic), std::end(electronic), genre), std::end(electronic)) << genre;
}

// Decoded sound, by mpg123.
class DecodedSoundtrack : public GeneratedArchive {
protected:
    static std::vector<int16_t> Decode(const Bytes& mp3) {
        const std::string in = s_dir->file("qv.mp3");
        const std::string out = s_dir->file("qv.raw");
        WriteFile(in, mp3);
        if (testsupport::Run("mpg123 -q --no-gapless -s '" + in + "' > '" + out + "'") != 0) {
            return {};
        }
        const Bytes raw = ReadFile(out);
        std::vector<int16_t> pcm(raw.size() / 2);
        for (size_t i = 0; i < pcm.size(); ++i) {
            pcm[i] = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
        }
        return pcm;
    }

    // Root mean square over both channels of [from, to) seconds.
    static double Rms(const std::vector<int16_t>& pcm, double from, double to) {
        const size_t a = static_cast<size_t>(from * 44100) * 2;
        const size_t b = std::min(pcm.size(), static_cast<size_t>(to * 44100) * 2);
        double sum = 0;
        for (size_t i = a; i < b; ++i) {
            sum += double(pcm[i]) * pcm[i];
        }
        return b > a ? std::sqrt(sum / double(b - a)) : 0.0;
    }
};

TEST_F(DecodedSoundtrack, LevelsAndSectionChangesFollowTheTimeline) {
    if (!HaveProgram("mpg123")) {
        ZARNOTH_SKIP_MISSING() << "mpg123 is not installed";
    }
    const std::vector<int16_t> pcm = Decode(Member("snd\\qv.mp3"));
    ASSERT_FALSE(pcm.empty());
    const double seconds = pcm.size() / 2 / 44100.0;
    EXPECT_GE(seconds, 84.0);

    int peak = 0;
    size_t clipped = 0;
    for (int16_t s : pcm) {
        peak = std::max(peak, std::abs(int(s)));
        clipped += s == 32767 || s == -32768;
    }
    EXPECT_EQ(clipped, 0u);
    EXPECT_LT(peak, 32000);
    EXPECT_GT(peak, 16000) << "the mix is far too quiet";

    // Every scene has music under it, the oscilloscope's stretch louder than the intro.
    const double sections[] = {0.0, 3.92, 15.68, 40.18, 77.42, 82.32};
    for (int i = 0; i + 1 < 6; ++i) {
        const double rms = Rms(pcm, sections[i], sections[i + 1]);
        EXPECT_GT(rms, 1500.0) << "section from " << sections[i] << " s";
        EXPECT_LT(rms, 14000.0) << "section from " << sections[i] << " s";
    }
    EXPECT_GT(Rms(pcm, 3.92, 15.68), 1.5 * Rms(pcm, 0.0, 3.92));
    // The left channel swings widely while the oscilloscope draws it.
    int swing = 0;
    for (size_t i = size_t(3.92 * 44100); i < size_t(15.68 * 44100); ++i) {
        swing = std::max(swing, std::abs(int(pcm[2 * i])));
    }
    EXPECT_GT(swing, 16384);

    // Each change lands on its moment: quiet just before, loud just after, and the
    // sharpest rise of the 10 ms envelope within a few milliseconds of it.
    for (const double change : {3.92, 15.68, 40.18, 77.42}) {
        SCOPED_TRACE(change);
        const double before = Rms(pcm, change - 0.06, change - 0.01);
        const double after = Rms(pcm, change + 0.005, change + 0.055);
        EXPECT_GT(after, 3.0 * before);
        double bestRise = 0, bestAt = 0;
        for (double t = change - 0.1; t < change + 0.1; t += 0.001) {
            const double rise = Rms(pcm, t, t + 0.01) - Rms(pcm, t - 0.01, t);
            if (rise > bestRise) {
                bestRise = rise;
                bestAt = t;
            }
        }
        EXPECT_NEAR(bestAt, change, 0.005);
    }
}

}  // namespace
