// KVLSoundSourceMP3 and the ID3v1 tag: description and error texts, the one-source
// rule, the end of the stream, and tags read from files built here.
#include <gtest/gtest.h>

#include <cstring>

#include "core/kvl_filestream.h"
#include "core/kvl_memorystream.h"
#include "sound/kvl_soundsource_mp3.h"
#include "sound/mpeg/mpeg_test_util.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Vector(const char* name) {
    return testsupport::ReadFile(testsupport::SourcePath(std::string("tests/sound/mpeg/vectors/") + name));
}

std::vector<uint8_t> Tag(const char* year, uint8_t genre, const char* first = "TAG") {
    std::vector<uint8_t> t(128, 0);
    std::memcpy(t.data(), first, 3);
    std::memcpy(&t[3], "A title", 7);
    std::memcpy(&t[33], "An artist with exactly thirty!", 30);
    std::memcpy(&t[63], "Album", 5);
    std::memcpy(&t[93], year, 4);
    std::memcpy(&t[97], "Comment", 7);
    t[127] = genre;
    return t;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ID3Tag, FieldsFromTheLast128Bytes) {
    struct Case {
        const char* year;
        uint8_t genre;
        int32_t wantYear;
        const char* wantGenre;
    };
    const Case cases[] = {
        {"2001", 17, 2001, "Rock"},   {"    ", 255, 0, "Unknown"}, {"1999", 0, 1999, "Blues"},
        {"0042", 147, 42, "Synthpop"}, {"1980", 148, 1980, "Unknown"}, {"2000", 79, 2000, "Hard Rock"},
    };
    for (const Case& c : cases) {
        KVLMemoryStream stream(Concat(Vector("l3-hecommon.bit"), Tag(c.year, c.genre)).data(),
                               Vector("l3-hecommon.bit").size() + 128);
        ASSERT_TRUE(stream.OpenRead());
        auto tag = KVLReadID3Tag(stream);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->year, c.wantYear);
        EXPECT_STREQ(tag->genre.c_str(), c.wantGenre);
        EXPECT_STREQ(tag->artist.c_str(), "An artist with exactly thirty!");
        EXPECT_STREQ(tag->album.c_str(), "Album");
        EXPECT_STREQ(tag->comment.c_str(), "Comment");
        EXPECT_EQ(stream.Tell(), 0);
    }
}

TEST(ID3Tag, NoTag) {
    const std::vector<std::vector<uint8_t>> files = {
        Concat(Vector("l3-hecommon.bit"), Tag("2001", 17, "TXG")),
        Concat(Vector("l3-hecommon.bit"), Tag("2001", 17, "TAX")),
        std::vector<uint8_t>{'T', 'A', 'G', 1, 2, 3},
        Vector("l3-hecommon.bit"),
    };
    for (const auto& bytes : files) {
        KVLMemoryStream stream(bytes.data(), bytes.size());
        ASSERT_TRUE(stream.OpenRead());
        EXPECT_EQ(KVLReadID3Tag(stream), nullptr);
        EXPECT_EQ(stream.Tell(), 0);
    }
}

TEST(ID3Tag, GenreNames) {
    const std::pair<int, const char*> names[] = {
        {0, "Blues"},       {12, "Other"},      {14, "R&B"},          {40, "Alternative Rock"}, {62, "Pop/Funk"},
        {67, "Psychadelic"}, {78, "Rock & Roll"}, {79, "Hard Rock"},   {80, "Folk"},             {85, "Bebob"},
        {90, "Avantgarde"},  {100, "Humour"},    {123, "Acapella"},    {125, "Dance Hall"},      {126, "Goa"},
        {127, "Drum & Bass"}, {132, "BritPop"},  {146, "Jpop"},        {147, "Synthpop"},        {148, "Unknown"},
    };
    for (const auto& [index, name] : names) {
        EXPECT_STREQ(KVLID3GenreName(static_cast<uint8_t>(index)), name) << index;
    }
}

TEST(MP3Source, DescriptionTexts) {
    struct Case {
        const char* file;
        const char* text;
    };
    const Case cases[] = {
        {"l3-sin1k0db.bit", "MP3 sound - 128.0 kbps 44.1 kHz stereo"},
        {"M2L3_compl24.bit", "MP3 sound - 128.0 kbps 24.0 kHz mono"},
        {"l2-fl13.bit", "MP3 sound - 32.0 kbps 32.0 kHz mono"},
        {"l1-fl2.bit", "MP3 sound - 384.0 kbps 44.1 kHz stereo"},
    };
    for (const Case& c : cases) {
        const auto bytes = Vector(c.file);
        KVLMemoryStream stream(bytes.data(), bytes.size());
        KVLSoundSourceMP3 source(stream);
        KVLString text;
        ASSERT_TRUE(source.Open(&text)) << c.file;
        EXPECT_STREQ(text.c_str(), c.text);
        EXPECT_EQ(source.GetBitsPerSample(), 16);
    }
}

TEST(MP3Source, FailureTexts) {
    {
        KVLFileStream missing(KVLString("/nonexistent/dir/file.mp3"));
        KVLSoundSourceMP3 source(missing);
        KVLString text;
        EXPECT_FALSE(source.Open(&text));
        EXPECT_STREQ(text.c_str(),
                     "Unable to open file: cannot open '/nonexistent/dir/file.mp3': No such file or directory");
    }
    {
        const auto junk = testsupport::PatternBytes(5000, 7);
        std::vector<uint8_t> bytes(junk);
        for (auto& b : bytes) {
            b &= 0x7F;  // no 0xFF byte anywhere: no sync
        }
        KVLMemoryStream stream(bytes.data(), bytes.size());
        KVLSoundSourceMP3 source(stream);
        KVLString text;
        EXPECT_FALSE(source.Open(&text));
        EXPECT_STREQ(text.c_str(), "Not a MP3 file");
        // A source that did not open produces nothing and reports nothing.
        EXPECT_EQ(source.GetSampleRate(), 0);
        EXPECT_EQ(source.GetBitsPerSample(), 0);
        EXPECT_FALSE(source.IsStereo());
        EXPECT_EQ(source.GetLength(), 0);
        EXPECT_EQ(source.NextBlock(), nullptr);
        EXPECT_TRUE(source.IsAtEnd());
    }
}

TEST(MP3Source, OnlyOneOpenAtATime) {
    const auto bytes = Vector("l3-hecommon.bit");
    KVLMemoryStream stream(bytes.data(), bytes.size());
    auto first = std::make_unique<KVLSoundSourceMP3>(stream);
    ASSERT_TRUE(first->Open(nullptr));
    KVLSoundSourceMP3 second(stream);
    KVLString text;
    EXPECT_FALSE(second.Open(&text));
    EXPECT_STREQ(text.c_str(), "Too many MP3 streamers opened");
    EXPECT_EQ(second.NextBlock(), nullptr);
    // The first source still decodes.
    EXPECT_NE(first->NextBlock(), nullptr);
    first.reset();
    KVLSoundSourceMP3 third(stream);
    EXPECT_TRUE(third.Open(&text));
    EXPECT_NE(third.NextBlock(), nullptr);
}

TEST(MP3Source, EndOfStreamAndFullBandOutput) {
    const auto bytes = Concat(Vector("l3-he_48khz.bit"), Tag("2001", 17));
    const auto ref = mpegtest::ToSamples(Vector("l3-he_48khz.pcm"));
    KVLMemoryStream stream(bytes.data(), bytes.size());
    KVLSoundSourceMP3 source(stream);
    source.SetFullBand(true);
    ASSERT_TRUE(source.Open(nullptr));
    ASSERT_NE(source.GetTag(), nullptr);
    EXPECT_STREQ(source.GetTag()->genre.c_str(), "Rock");
    EXPECT_GT(source.GetLength(), 0);  // the estimate
    std::vector<int16_t> pcm;
    const int channels = source.IsStereo() ? 2 : 1;
    int blocks = 0;
    while (const void* block = source.NextBlock()) {
        const auto* s = static_cast<const int16_t*>(block);
        pcm.insert(pcm.end(), s, s + source.GetBlockFrames() * channels);
        ++blocks;
        ASSERT_LT(blocks, 100000);
    }
    EXPECT_EQ(source.GetBlockFrames(), 0);  // the last, empty block
    EXPECT_TRUE(source.IsAtEnd());
    EXPECT_EQ(source.GetLength(), source.GetPosition());
    EXPECT_EQ(static_cast<size_t>(source.GetPosition()) * channels, pcm.size());
    EXPECT_EQ(source.NextBlock(), nullptr);
    ASSERT_GE(pcm.size(), ref.size());
    const auto diff = mpegtest::Compare(pcm.data(), ref.data(), ref.size());
    EXPECT_LT(diff.rms, 0.289);
    EXPECT_LE(diff.max, 2);
}

// The exact length counts the frames without moving the decoding: it equals the
// frames a whole decoding gives, and that decoding is the one without the count.
TEST(MP3Source, ExactLengthIsTheDecodedLength) {
    const char* files[] = {"M2L3_bitrate_16_all.bit", "l3-he_48khz.bit", "l2-fl10.bit"};
    for (const char* file : files) {
        const auto bytes = Vector(file);
        auto decode = [&](bool countFirst, int32_t* exact, int32_t* estimate) {
            KVLMemoryStream stream(bytes.data(), bytes.size());
            KVLSoundSourceMP3 source(stream);
            EXPECT_TRUE(source.Open(nullptr)) << file;
            std::vector<int16_t> pcm;
            const int channels = source.IsStereo() ? 2 : 1;
            while (const void* block = source.NextBlock()) {
                if (countFirst && pcm.empty()) {
                    *estimate = source.GetEstimatedLength();
                    *exact = source.GetExactLength();
                }
                const auto* p = static_cast<const int16_t*>(block);
                pcm.insert(pcm.end(), p, p + source.GetBlockFrames() * channels);
            }
            return std::make_pair(pcm, source.GetPosition());
        };
        int32_t exact = -2;
        int32_t estimate = -2;
        const auto counted = decode(true, &exact, &estimate);
        const auto plain = decode(false, nullptr, nullptr);
        EXPECT_EQ(exact, plain.second) << file;
        EXPECT_TRUE(counted.first == plain.first) << file << ": counting the frames moved the decoding";
        std::printf("%s: estimate %d, exact %d frames\n", file, estimate, exact);
    }
}

}  // namespace
