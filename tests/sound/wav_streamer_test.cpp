// KVLSoundStreamerWAV against ffmpeg: files ffmpeg writes (mono and stereo, 22050 to
// 96000 Hz, with LIST and bext chunks, the extensible header, a file cut short) give
// the samples ffmpeg decodes from them, read in uneven pieces and after seeks; files
// in formats that are not 16-bit PCM, and a cut header, are refused with one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sound/kvl_soundstreamer_wav.h"
#include "support/test_support.h"

namespace {

// A second of two different, non-repeating channels (a tone with noise, a chirp).
const char* const kSource =
    "aevalsrc=exprs='0.6*sin(2*PI*440*t)+0.3*(random(0)-0.5)|0.5*sin(2*PI*(200+900*t)*t)'";

bool MakeWav(const std::string& path, int rate, int channels, const std::string& options) {
    return testsupport::Run("ffmpeg -nostdin -v error -y -f lavfi -i \"" + std::string(kSource) + ":s=" +
                            std::to_string(rate) + ":d=0.37\" -ac " + std::to_string(channels) + " " +
                            options + " '" + path + "'") == 0;
}

// ffmpeg's own decoding of the file, as 32-bit stereo words (mono doubled).
std::vector<uint32_t> Reference(const std::string& wav, int channels, const std::string& raw) {
    if (testsupport::Run("ffmpeg -nostdin -v fatal -y -i '" + wav + "' -f s16le -c:a pcm_s16le '" + raw + "'") != 0) {
        return {};
    }
    const std::vector<uint8_t> bytes = testsupport::ReadFile(raw);
    std::vector<uint32_t> frames;
    const size_t frameBytes = 2 * static_cast<size_t>(channels);
    for (size_t i = 0; i + frameBytes <= bytes.size(); i += frameBytes) {
        const uint32_t left = bytes[i] | bytes[i + 1] << 8;
        const uint32_t right = channels == 2 ? (bytes[i + 2] | bytes[i + 3] << 8) : left;
        frames.push_back(left | right << 16);
    }
    return frames;
}

// Reads frames frames in pieces of changing size; a short read ends it.
std::vector<uint32_t> ReadFrames(KVLSoundStreamer& streamer, int32_t frames) {
    std::vector<uint32_t> out;
    int32_t piece = 613;
    while (static_cast<int32_t>(out.size()) < frames) {
        const int32_t n = std::min(piece, frames - static_cast<int32_t>(out.size()));
        KVLSampleBlockPtr block = KVLMakeSampleBlock(n);
        const int32_t r = streamer.Read(block.get());
        EXPECT_GE(r, 0);
        out.insert(out.end(), block->data, block->data + std::max(r, 0));
        if (r < n) {
            // What a short read leaves is silence.
            EXPECT_TRUE(std::all_of(block->data + std::max(r, 0), block->data + n, [](uint32_t w) { return w == 0; }));
            break;
        }
        piece = piece * 7 % 5000 + 1;
    }
    return out;
}

TEST(SoundStreamerWAV, SamplesAndSeeksMatchFfmpeg) {
    if (!testsupport::HaveProgram("ffmpeg")) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg is not installed";
    }
    struct Case {
        const char* name;
        int rate;
        int channels;
        const char* options;
        int cutBytes;  // taken off the file's end after writing
    };
    const Case cases[] = {
        {"mono22050", 22050, 1, "-c:a pcm_s16le", 0},
        {"stereo44100", 44100, 2, "-c:a pcm_s16le -metadata title=list", 0},
        {"mono44100_bext", 44100, 1, "-c:a pcm_s16le -write_bext 1", 0},
        {"stereo22050_cut", 22050, 2, "-c:a pcm_s16le", 1001},
        {"stereo96000_extensible", 96000, 2, "-c:a pcm_s16le", 0},
        {"stereo22050_extensible", 22050, 2, "-c:a pcm_s16le -af aformat=channel_layouts=FC+LFE", 0},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        const std::string wav = dir.file(std::string(c.name) + ".wav");
        ASSERT_TRUE(MakeWav(wav, c.rate, c.channels, c.options)) << c.name;
        if (c.cutBytes > 0) {
            std::vector<uint8_t> bytes = testsupport::ReadFile(wav);
            bytes.resize(bytes.size() - static_cast<size_t>(c.cutBytes));
            testsupport::WriteFile(wav, bytes);
        }
        const std::vector<uint32_t> reference = Reference(wav, c.channels, dir.file(std::string(c.name) + ".raw"));
        ASSERT_GT(reference.size(), 1000u) << c.name;
        const auto total = static_cast<int32_t>(reference.size());

        KVLSoundStreamerWAV streamer;
        KVLString message;
        ASSERT_TRUE(streamer.OpenFile(wav.c_str(), &message)) << c.name << ": " << message.c_str();
        EXPECT_EQ(streamer.GetSampleRate(), c.rate) << c.name;
        EXPECT_EQ(streamer.IsStereo(), c.channels == 2) << c.name;
        EXPECT_EQ(streamer.GetLength(), total) << c.name;
        EXPECT_TRUE(ReadFrames(streamer, total + 500) == reference) << c.name;
        EXPECT_TRUE(streamer.IsAtEnd()) << c.name;

        // Seeking forward and back: what follows is what reading up to there leaves.
        const int32_t span = 3000;
        for (int32_t n : {total / 2, 1, 0, total - 1, total / 3 + 7, total, total + 100, 4999}) {
            ASSERT_TRUE(streamer.Seek(n)) << c.name << " at " << n;
            EXPECT_EQ(streamer.GetPosition(), std::min(n, total)) << c.name << " at " << n;
            EXPECT_EQ(streamer.IsAtEnd(), n >= total) << c.name << " at " << n;
            const std::vector<uint32_t> expected(reference.begin() + std::min(n, total),
                                                 reference.begin() + std::min(n + span, total));
            EXPECT_TRUE(ReadFrames(streamer, span) == expected) << c.name << " at " << n;
        }
        EXPECT_FALSE(streamer.Seek(-1)) << c.name;
    }
}

TEST(SoundStreamerWAV, RefusesWhatIsNot16BitPCMInOneLine) {
    if (!testsupport::HaveProgram("ffmpeg")) {
        ZARNOTH_SKIP_MISSING() << "ffmpeg is not installed";
    }
    struct Case {
        const char* name;
        const char* options;
        int keepBytes;  // the file cut to this many bytes (0: whole)
        const char* why;  // the error after the file's name
    };
    const Case cases[] = {
        {"s24", "-c:a pcm_s24le", 0, " is 24-bit PCM; 16-bit PCM is played"},
        {"u8", "-c:a pcm_u8", 0, " is 8-bit PCM; 16-bit PCM is played"},
        {"f32", "-c:a pcm_f32le", 0, " is 32-bit floating point; 16-bit PCM is played"},
        {"adpcm", "-c:a adpcm_ms", 0, " is Microsoft ADPCM (format 0x0002); 16-bit PCM is played"},
        {"cut", "-c:a pcm_s16le", 30, " is cut short inside its fmt chunk"},
        {"short", "-c:a pcm_s16le", 9, " is cut short: 9 bytes, too few for a RIFF/WAVE header"},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        const std::string wav = dir.file(std::string(c.name) + ".wav");
        ASSERT_TRUE(MakeWav(wav, 22050, 2, c.options)) << c.name;
        if (c.keepBytes > 0) {
            std::vector<uint8_t> bytes = testsupport::ReadFile(wav);
            bytes.resize(static_cast<size_t>(c.keepBytes));
            testsupport::WriteFile(wav, bytes);
        }
        KVLSoundStreamerWAV streamer;
        KVLString error;
        EXPECT_FALSE(streamer.OpenFile(wav.c_str(), &error)) << c.name;
        EXPECT_EQ(std::string(error.c_str()), wav + c.why) << c.name;
        KVLSampleBlockPtr block = KVLMakeSampleBlock(16);
        EXPECT_EQ(streamer.Read(block.get()), -1) << c.name;
        EXPECT_EQ(streamer.GetLength(), 0) << c.name;
    }
}

}  // namespace
