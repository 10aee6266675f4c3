// Streamers: block conversion from 8-bit and mono sources, Read across blocks and at
// the end, Skip, capture names, and the MP3 streamer against its own source.
#include <gtest/gtest.h>

#include <vector>

#include "core/kvl_filestream.h"
#include "sound/kvl_soundsource_mp3.h"
#include "sound/kvl_soundstreamer.h"
#include "sound/player/sound_test_util.h"
#include "support/test_support.h"

namespace {

// A file-like source that hands out fixed raw blocks; live when length is -1.
class FakeSource : public KVLSoundSource {
public:
    FakeSource(int32_t bits, bool stereo, std::vector<std::vector<uint8_t>> blocks, bool live = false)
        : m_bits(bits), m_stereo(stereo), m_blocks(std::move(blocks)), m_live(live) {}
    bool Open(KVLString*) override { return true; }
    bool Start() override { ++starts; return startResult; }
    bool Stop() override { return true; }
    int32_t GetSampleRate() override { return 44100; }
    int32_t GetBitsPerSample() override { return m_bits; }
    bool IsStereo() override { return m_stereo; }
    int32_t GetPosition() override { return m_position; }
    int32_t GetLength() override { return m_live ? -1 : 1000000; }
    bool IsAtEnd() override { return !m_live && m_next >= m_blocks.size(); }
    const void* NextBlock() override {
        if (m_next >= m_blocks.size()) {
            return nullptr;
        }
        m_frames = static_cast<int32_t>(m_blocks[m_next].size()) / ((m_bits / 8) * (m_stereo ? 2 : 1));
        m_position += m_frames;
        return m_blocks[m_next++].data();
    }
    int32_t GetBlockFrames() override { return m_frames; }

    int starts = 0;
    bool startResult = true;

private:
    int32_t m_bits;
    bool m_stereo;
    std::vector<std::vector<uint8_t>> m_blocks;
    bool m_live;
    size_t m_next = 0;
    int32_t m_frames = 0;
    int32_t m_position = 0;
};

uint32_t Frame(int16_t left, int16_t right) {
    return static_cast<uint16_t>(left) | static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16;
}

TEST(SoundStreamerCapture, ConvertsEveryFormatToSixteenBitStereo) {
    struct Case {
        const char* name;
        int32_t bits;
        bool stereo;
        std::vector<uint8_t> raw;
        std::vector<uint32_t> want;
    };
    const Case cases[] = {
        {"8 mono", 8, false, {0, 128, 255}, {Frame(-32768, -32768), Frame(0, 0), Frame(32512, 32512)}},
        {"8 stereo", 8, true, {0, 255, 129, 127}, {Frame(-32768, 32512), Frame(256, -256)}},
        {"16 mono", 16, false, {0xFE, 0xFF, 0x34, 0x12}, {Frame(-2, -2), Frame(0x1234, 0x1234)}},
        {"16 stereo", 16, true, {0x01, 0x80, 0xFF, 0x7F}, {Frame(-32767, 32767)}},
    };
    for (const Case& c : cases) {
        FakeSource source(c.bits, c.stereo, {c.raw});
        KVLSoundStreamerCapture streamer(&source);
        KVLSampleBlock* request = KVLCreateSampleBlock(static_cast<int32_t>(c.want.size()));
        EXPECT_EQ(streamer.Read(request), static_cast<int32_t>(c.want.size())) << c.name;
        EXPECT_EQ(std::vector<uint32_t>(request->data, request->data + request->frames), c.want) << c.name;
        EXPECT_EQ(streamer.GetBitsPerSample(), c.bits) << "the source's own width is reported";
        KVLReleaseSampleBlock(request);
    }
}

TEST(SoundStreamerCapture, ReadAcrossBlocksAndAtTheEnd) {
    // 16-bit mono blocks of 5000 and 6192 frames: 11192 in all.
    std::vector<uint8_t> a(10000), b(12384);
    for (size_t i = 0; i < a.size(); i += 2) a[i] = static_cast<uint8_t>(i / 2 % 251 + 1);
    for (size_t i = 0; i < b.size(); i += 2) b[i] = static_cast<uint8_t>(i / 2 % 241 + 1);
    FakeSource source(16, false, {a, b});
    KVLSoundStreamerCapture streamer(&source);
    KVLSampleBlock* request = KVLCreateSampleBlock(8192);
    ASSERT_EQ(streamer.Read(request), 8192);
    EXPECT_EQ(request->data[4999], Frame(4999 % 251 + 1, 4999 % 251 + 1));
    EXPECT_EQ(request->data[5000], Frame(1, 1));
    std::fill(request->data, request->data + 8192, 0xFFFFFFFFu);
    EXPECT_EQ(streamer.Read(request), 3000);
    EXPECT_EQ(request->data[2999], Frame(6191 % 241 + 1, 6191 % 241 + 1));
    for (int32_t i = 3000; i < 8192; ++i) {
        ASSERT_EQ(request->data[i], 0u) << i;
    }
    EXPECT_EQ(streamer.Read(request), 0);
    EXPECT_EQ(source.starts, 1);
    KVLReleaseSampleBlock(request);
}

TEST(SoundStreamerCapture, FailuresAndSkip) {
    FakeSource refusing(16, true, {{1, 2, 3, 4}});
    refusing.startResult = false;
    KVLSoundStreamerCapture a(&refusing);
    KVLSampleBlock* request = KVLCreateSampleBlock(4);
    EXPECT_EQ(a.Read(request), -1);
    EXPECT_FALSE(a.Skip(1));

    FakeSource live(16, true, {{1, 2, 3, 4}}, true);
    KVLSoundStreamerCapture b(&live);
    EXPECT_TRUE(b.Skip(100));
    EXPECT_EQ(live.starts, 0) << "a live source is not skipped";
    EXPECT_EQ(b.Read(request), -1) << "a live source that runs dry fails the read";

    FakeSource file(8, false, {std::vector<uint8_t>(10, 200), std::vector<uint8_t>(10, 10)});
    KVLSoundStreamerCapture c(&file);
    EXPECT_TRUE(c.Skip(15));
    EXPECT_EQ(c.Read(request), 4);
    EXPECT_EQ(request->data[0], Frame((10 - 128) * 256, (10 - 128) * 256));
    KVLReleaseSampleBlock(request);
}

TEST(SoundStreamerCapture, NamesAndTexts) {
    struct Case {
        const char* name;
        bool accepted;
    };
    const Case cases[] = {{"0.dsoundcap", true}, {"1.MCICAP", true}, {"2.DSoundCap", true},
                          {"song.wav", false}, {"noextension", false}};
    for (const Case& c : cases) {
        KVLSoundStreamerCapture streamer(nullptr);
        KVLString base, extension;
        KVLSplitExtension(c.name, &base, &extension);
        EXPECT_EQ(streamer.AcceptsExtension(extension), c.accepted) << c.name;
        if (!c.accepted) {
            KVLString text;
            EXPECT_FALSE(streamer.OpenFile(c.name, &text));
            EXPECT_STREQ(text.c_str(), "Invalid file");
        }
    }
    KVLSoundStreamerCapture noSource(nullptr);
    KVLString text;
    EXPECT_FALSE(noSource.OpenFile("x", &text));
    EXPECT_STREQ(text.c_str(), "Invalid file");
    const KVLClassInfo* info = KVLClassInfo::FindClass("KVLSoundStreamerCapture");
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->IsAbstract());
    EXPECT_TRUE(info->IsDerivedFrom(KVLSoundStreamer::StaticClass()));
    auto mp3 = KVLCreateAs<KVLSoundStreamer>(KVLClassInfo::FindClass("KVLSoundStreamerMP3"));
    ASSERT_NE(mp3, nullptr);
    EXPECT_TRUE(mp3->AcceptsExtension("mp3"));
    EXPECT_FALSE(mp3->AcceptsExtension("dsoundcap"));
}

TEST(SoundStreamerMP3, HandsOutTheSourcesFramesAndEnds) {
    testsupport::TempDir dir;
    soundtest::WriteToneWav(dir.file("t.wav"), 30000, 44100);
    if (!soundtest::EncodeMp3(dir.file("t.wav"), dir.file("t.mp3"))) {
        ZARNOTH_SKIP_MISSING() << "lame is not available";
    }
    // The source alone, block by block.
    std::vector<uint32_t> direct;
    {
        KVLFileStream file(dir.file("t.mp3").c_str());
        KVLSoundSourceMP3 source(file);
        ASSERT_TRUE(source.Open(nullptr));
        while (const void* p = source.NextBlock()) {
            const auto* w = static_cast<const uint32_t*>(p);
            direct.insert(direct.end(), w, w + source.GetBlockFrames());
        }
    }
    const std::vector<uint32_t> streamed = soundtest::DecodeWithStreamer(dir.file("t.mp3"));
    ASSERT_GT(direct.size(), 30000u);
    EXPECT_TRUE(streamed == direct);

    KVLSoundStreamerMP3 first;
    KVLString text;
    ASSERT_TRUE(first.OpenFile(dir.file("t.mp3").c_str(), &text));
    EXPECT_STREQ(text.c_str(), "MP3 sound - 128.0 kbps 44.1 kHz stereo");
    KVLSoundStreamerMP3 second;
    EXPECT_FALSE(second.OpenFile(dir.file("t.mp3").c_str(), &text));
    EXPECT_STREQ(text.c_str(), "Too many MP3 streamers opened");
    EXPECT_EQ(second.GetSampleRate(), 0) << "an MP3 streamer that did not open reports rate 0";
}

}  // namespace
