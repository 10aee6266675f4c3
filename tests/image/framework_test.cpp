// The image type, pixel formats, conversions and KVLLoadImage dispatch.
#include <gtest/gtest.h>

#include "core/kvl_memorystream.h"
#include "image/kvl_imagereader_bmp.h"
#include "image/kvl_imagereader_jpg.h"
#include "image/kvl_imagereader_pcx.h"
#include "image/kvl_imagereader_tga.h"
#include "image_test_util.h"

using namespace imagetest;

namespace {

TEST(PixelConversion, Rules) {
    EXPECT_EQ(KVLPixelFrom555(0x7FFF), 0xFFF8F8F8u);
    EXPECT_EQ(KVLPixelFrom555(0xFFFF), 0xFFF8F8F8u);
    EXPECT_EQ(KVLPixelFrom555(0x7C00), 0xFFF80000u);
    EXPECT_EQ(KVLPixelFrom555(0x0001), 0xFF000008u);
    EXPECT_EQ(KVLPixelFrom565(0xFFFF), 0xFFF8FCF8u);
    EXPECT_EQ(KVLPixelFrom565(0x07E0), 0xFF00FC00u);
    EXPECT_EQ(KVLPixelFrom565(0x0020), 0xFF000400u);
    const uint8_t bgr[3] = {0x10, 0x20, 0x30};
    EXPECT_EQ(KVLPixelFromBGR(bgr), 0xFF302010u);
}

TEST(PixelFormat, Table) {
    struct Row {
        const KVLPixelFormat* f;
        KVLPixelFormat expected;
    };
    const Row rows[] = {
        {&kKVLPixelFormatNone, {-1, 0, 0, 0, 0, false}},
        {&kKVLPixelFormatIndexed8, {8, 0, 0, 0, 0, false}},
        {&kKVLPixelFormatRGB555, {16, 0, 0x7C00, 0x03E0, 0x001F, false}},
        {&kKVLPixelFormatRGB565, {16, 0, 0xF800, 0x07E0, 0x001F, false}},
        {&kKVLPixelFormatARGB4444, {16, 0xF000, 0x0F00, 0x00F0, 0x000F, true}},
        {&kKVLPixelFormatXRGB8888, {32, 0, 0xFF0000, 0xFF00, 0xFF, false}},
        {&kKVLPixelFormatARGB8888, {32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF, true}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(*r.f, r.expected);
    }
}

TEST(Flip, RowsExchangeAndMiddleStays) {
    KVLPicture p(2, 3, 1);
    for (int i = 0; i < 6; ++i) p.bytes[i] = static_cast<uint8_t>(i);
    KVLFlipVertical(p);
    EXPECT_EQ(p.bytes, (std::vector<uint8_t>{4, 5, 2, 3, 0, 1}));
    KVLPicture one(3, 1, 2);
    one.bytes = {1, 2, 3, 4, 5, 6};
    KVLFlipVertical(one);
    EXPECT_EQ(one.bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(ImageReaders, CanReadTable) {
    KVLImageReaderBMP bmp;
    KVLImageReaderJPG jpg;
    KVLImageReaderPCX pcx;
    KVLImageReaderTGA tga;
    struct Row {
        const char* ext;
        bool bmp, jpg, pcx, tga;
    };
    const Row rows[] = {
        {"BMP", true, false, false, false}, {"bmp", true, false, false, false},
        {"JPG", false, true, false, false}, {"jpeg", false, true, false, false},
        {"jpe", false, true, false, false}, {"JP", false, false, false, false},
        {"JPEGS", false, false, false, false}, {"Pcx", false, false, true, false},
        {"tga", false, false, false, true}, {"", false, false, false, false},
        {"PNG", false, false, false, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(bmp.CanRead(r.ext), r.bmp) << r.ext;
        EXPECT_EQ(jpg.CanRead(r.ext), r.jpg) << r.ext;
        EXPECT_EQ(pcx.CanRead(r.ext), r.pcx) << r.ext;
        EXPECT_EQ(tga.CanRead(r.ext), r.tga) << r.ext;
    }
}

TEST(ImageReaders, ClassListOrder) {
    std::vector<std::string> names;
    for (const KVLClassInfo* c = KVLClassInfo::GetFirst(); c != nullptr; c = c->GetNext()) {
        if (c->IsDerivedFrom(KVLImageReader::StaticClass())) {
            names.emplace_back(c->GetName().c_str());
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"KVLImageReaderTGA", "KVLImageReaderPCX", "KVLImageReaderJPG",
                                               "KVLImageReaderBMP", "KVLImageReader"}));
    EXPECT_TRUE(KVLClassInfo::FindClass("KVLImageReader")->IsAbstract());
}

// A 3 x 2 24-bit top-down Targa: rows (1,2,3) and (4,5,6) as grey levels.
std::vector<uint8_t> SmallTGA() {
    std::vector<uint8_t> f(18, 0);
    f[2] = 2;
    f[12] = 3;
    f[14] = 2;
    f[16] = 24;
    f[17] = 0x20;
    for (uint8_t v = 1; v <= 6; ++v) {
        f.insert(f.end(), {v, v, v});
    }
    return f;
}

TEST(KVLLoadImage, Dispatch) {
    const std::vector<uint8_t> tga = SmallTGA();
    Loaded ok = LoadBytes(tga, "tga");
    ASSERT_TRUE(ok.image);
    EXPECT_EQ(ok.text, "Targa picture - 3x2x24");
    EXPECT_EQ(ok.format, kKVLPixelFormatXRGB8888);
    // Rows follow each other directly: pixel (x, y) is element y * 3 + x.
    EXPECT_EQ(Pixels(*ok.image), (std::vector<uint32_t>{0xFF010101, 0xFF020202, 0xFF030303, 0xFF040404,
                                                        0xFF050505, 0xFF060606}));
    EXPECT_EQ(ok.image->reserved, 0);
    EXPECT_EQ(ok.image->pixels, ok.image->block.get());

    Loaded unknown = LoadBytes(tga, "PNG");
    EXPECT_FALSE(unknown.image);
    EXPECT_EQ(unknown.text, "Unknown file type");
    EXPECT_EQ(unknown.format, kKVLPixelFormatNone);

    // The PCX reader takes "pcx" and fails on Targa bytes; no other reader is tried.
    std::vector<uint8_t> notPcx(200, 0);
    notPcx[65] = 2;  // two planes: no PCX variant
    notPcx[8] = 3;
    notPcx[10] = 3;
    notPcx[66] = 4;
    Loaded failed = LoadBytes(notPcx, "pcx");
    EXPECT_FALSE(failed.image);
    EXPECT_EQ(failed.text, "Unable to load file");

    KVLMemoryStream stream(tga.data(), tga.size());
    std::unique_ptr<KVLImage> quiet = KVLLoadImage(stream, "TGA", nullptr, nullptr, nullptr);
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->width, 3);
    // The stream is not consumed: it loads again.
    EXPECT_TRUE(KVLLoadImage(stream, "TGA", nullptr, nullptr, nullptr));
}

class CountingProgress : public KVLImageProgress {
public:
    void Begin(int32_t rows) override {
        ++begins;
        total = rows;
    }
    void Step(int32_t rows) override { done += rows; }
    int begins = 0;
    int32_t total = 0;
    int32_t done = 0;
};

TEST(KVLLoadImage, ProgressCountsRows) {
    CountingProgress progress;
    const std::vector<uint8_t> tga = SmallTGA();
    KVLMemoryStream stream(tga.data(), tga.size());
    ASSERT_TRUE(KVLLoadImage(stream, "tga", nullptr, &progress, nullptr));
    EXPECT_EQ(progress.begins, 1);
    EXPECT_EQ(progress.total, 2);
    EXPECT_EQ(progress.done, 2);
}

}  // namespace
