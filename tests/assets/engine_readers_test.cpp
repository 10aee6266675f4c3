// The generated archive read the way the demo reads it: a 64 KiB buffered stream over
// the file, one member stream per resource, each member decoded by the engine's own
// reader (JPEG, PCX, MD2, MLZ, MP3).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "anim/kvl_anim_mlz.h"
#include "app/demo_archive_members.h"
#include "assets/animations.h"
#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"
#include "image/kvl_image.h"
#include "scene/readers/zrn_meshreadermd2.h"
#include "sound/kvl_soundsource_mp3.h"
#include "scene/zrn_mesh.h"
#include "support/test_support.h"

namespace {

class ArchiveMembers : public ::testing::Test {
protected:
    ArchiveMembers()
        : m_file(KVLString(testsupport::BinPath("quorvel.pak").c_str())), m_archive(m_file, 65536) {}
    KVLPAKStream Member(const char* name) { return KVLPAKStream(m_archive, KVLString(name)); }

    KVLFileStream m_file;
    KVLBufferedStream m_archive;
};

}  // namespace

TEST_F(ArchiveMembers, PicturesDecodeThroughTheEngine) {
    const struct {
        const char* name;
        const char* extension;
        int width, height;
    } cases[] = {
        {"tex\\cl.jpg", "JPG", 1024, 512},  {"tex\\f.jpg", "JPG", 512, 512},   {"tex\\w1.jpg", "JPG", 512, 512},
        {"tex\\w2.jpg", "JPG", 512, 512},   {"tex\\w3.jpg", "JPG", 512, 512},  {"tex\\w4.jpg", "JPG", 512, 512},
        {"tex\\ce.jpg", "JPG", 512, 512},   {"tex\\prt.jpg", "JPG", 512, 256}, {"tex\\end.jpg", "JPG", 512, 256},
        {"md2\\ddz\\ddz.pcx", "PCX", 256, 256}, {"md2\\ld\\l1.pcx", "PCX", 256, 256},
        {"md2\\ld\\l2.pcx", "PCX", 256, 256},   {"md2\\ld\\l3.pcx", "PCX", 256, 256},
        {"md2\\neko\\g.pcx", "PCX", 256, 256},  {"md2\\tw\\s1.pcx", "PCX", 256, 256},
        {"md2\\tw\\s2.pcx", "PCX", 256, 256},   {"md2\\tw\\s3.pcx", "PCX", 256, 256},
    };
    for (const auto& c : cases) {
        KVLPAKStream member = Member(c.name);
        KVLString text;
        KVLPixelFormat format = kKVLPixelFormatNone;
        std::unique_ptr<KVLImage> image = KVLLoadImage(member, KVLString(c.extension), &format, nullptr, &text);
        ASSERT_NE(image, nullptr) << c.name << ": " << text.c_str();
        EXPECT_EQ(image->width, c.width) << c.name;
        EXPECT_EQ(image->height, c.height) << c.name;
        if (std::string(c.extension) == "PCX") {
            EXPECT_EQ(format, kKVLPixelFormatIndexed8) << c.name;
            EXPECT_STREQ(text.c_str(), "PCX picture - 256x256x8") << c.name;
        }
    }
}

TEST_F(ArchiveMembers, ModelsReadWithAllFrames) {
    int models = 0;
    for (const DemoArchiveMember& catalogued : kDemoArchiveMembers) {
        const char* name = catalogued.name;
        if (!std::string_view(name).ends_with(".md2")) {
            continue;
        }
        ++models;
        KVLPAKStream member = Member(name);
        ZRNMeshReaderMD2 reader;
        std::unique_ptr<ZRNMesh> mesh = reader.ReadStream(member, 0, 0);
        ASSERT_NE(mesh, nullptr) << name;
        EXPECT_EQ(mesh->GetFrameCount(), 198) << name;
        EXPECT_GE(mesh->GetFaceCount(), 300) << name;
        EXPECT_LE(mesh->GetFaceCount(), 1000) << name;
        // The room's drop plays the last frames: they must blend.
        EXPECT_NE(mesh->FrameAt(ZRNFrameTime(189, 197, 0.5f)), nullptr) << name;
    }
    EXPECT_EQ(models, 4) << "one model per character";
}

TEST_F(ArchiveMembers, AnimationsDecodeToTheGeneratedFrames) {
    const std::vector<assetgen::AssetFrames> generated = assetgen::BuildAnimationFrames();
    ASSERT_EQ(generated.size(), 2u);
    for (const assetgen::AssetFrames& expected : generated) {
        KVLPAKStream member = Member(expected.name.c_str());
        KVLAnimMLZ animation;
        KVLString text;
        ASSERT_TRUE(animation.Open(member, nullptr, &text)) << expected.name << ": " << text.c_str();
        ASSERT_EQ(animation.GetWidth(), expected.width);
        ASSERT_EQ(animation.GetHeight(), expected.height);
        ASSERT_EQ(animation.GetFrameCount(), static_cast<int32_t>(expected.frames.size()));
        EXPECT_EQ(animation.GetBitsPerPixel(), 8);
        std::unique_ptr<KVLImage> frame = KVLImage::Create(expected.width, expected.height);
        size_t mismatches = 0;
        // Open reads frame 0; each NextFrame the one after.
        for (size_t f = 0; f < expected.frames.size(); ++f) {
            if (f > 0) {
                ASSERT_TRUE(animation.NextFrame()) << expected.name << " frame " << f;
            }
            ASSERT_EQ(animation.GetCurrentFrame(), static_cast<int32_t>(f));
            ASSERT_TRUE(animation.GetFrame(*frame));
            // Compare in the 565 domain the file stores.
            for (size_t i = 0; i < expected.frames[f].size() / 4; ++i) {
                const uint8_t* p = &expected.frames[f][i * 4];
                const uint32_t got = frame->pixels[i];
                const bool same = ((got >> 19) & 31) == (p[0] >> 3u) && ((got >> 10) & 63) == (p[1] >> 2u) &&
                                  ((got >> 3) & 31) == (p[2] >> 3u);
                mismatches += same ? 0 : 1;
            }
        }
        EXPECT_EQ(mismatches, 0u) << expected.name;
    }
}

TEST_F(ArchiveMembers, SoundtrackDecodesThroughTheEngine) {
    KVLPAKStream member = Member("snd\\qv.mp3");
    KVLSoundSourceMP3 source(member);
    KVLString text;
    ASSERT_TRUE(source.Open(&text)) << text.c_str();
    EXPECT_EQ(std::string(text.c_str()).rfind("MP3 sound - 160.0 kbps 44.1 kHz", 0), 0u) << text.c_str();
    EXPECT_EQ(source.GetSampleRate(), 44100);
    EXPECT_EQ(source.GetBitsPerSample(), 16);
    EXPECT_TRUE(source.IsStereo());
    ASSERT_NE(source.GetTag(), nullptr);
    EXPECT_EQ(source.GetTag()->year, 2026);
    EXPECT_STREQ(source.GetTag()->genre.c_str(), "Electronic");
    int64_t frames = 0;
    int64_t loud = 0;
    while (const void* block = source.NextBlock()) {
        const int32_t count = source.GetBlockFrames();
        const int16_t* pcm = static_cast<const int16_t*>(block);
        for (int32_t i = 0; i < count * 2; ++i) {
            loud += (pcm[i] > 8000 || pcm[i] < -8000) ? 1 : 0;
        }
        frames += count;
    }
    // At least 84 seconds: the show ends at 82.32 s.
    EXPECT_GE(frames, 84 * 44100);
    EXPECT_LE(frames, 90 * 44100);
    EXPECT_GT(loud, 44100);  // music, not silence
}
