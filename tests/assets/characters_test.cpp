// Generated characters: the MD2 models parsed here independently of the writer
// (header, offsets, counts, frame names, size and placement, winding), the PCX
// skins decoded by ImageMagick and compared with the pixels the painter meant,
// the writers' edge cases, and byte-identical output on a second run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/demo_archive_members.h"
#include "assets/characters.h"
#include "assets/characters/character_builder.h"
#include "assets/characters/md2_normals.h"
#include "assets/characters/md2_writer.h"
#include "assets/characters/pcx_writer.h"
#include "support/test_support.h"

using testsupport::HaveProgram;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using Bytes = std::vector<uint8_t>;

int32_t S32(const Bytes& b, size_t o)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | b.at(o + static_cast<size_t>(i));
    return static_cast<int32_t>(v);
}
uint16_t U16(const Bytes& b, size_t o) { return static_cast<uint16_t>(b.at(o) | (b.at(o + 1) << 8)); }
float F32(const Bytes& b, size_t o)
{
    const uint32_t u = static_cast<uint32_t>(S32(b, o));
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

struct Vertex {
    float x, y, z;
    int normal;
};

struct ParsedMd2 {
    int skinW = 0, skinH = 0, frameSize = 0, skins = 0, verts = 0, texCoords = 0, tris = 0, glWords = 0,
        frames = 0;
    std::vector<std::string> skinNames;
    std::vector<std::array<int, 2>> st;
    std::vector<std::array<int, 6>> triangles;
    std::vector<std::string> frameNames;
    std::vector<std::vector<Vertex>> vertices;
};

// Parses and checks the layout; failures are reported through gtest.
ParsedMd2 ParseMd2(const Bytes& b)
{
    ParsedMd2 m;
    EXPECT_GE(b.size(), 68u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "IDP2");
    EXPECT_EQ(S32(b, 4), 8);
    m.skinW = S32(b, 8);
    m.skinH = S32(b, 12);
    m.frameSize = S32(b, 16);
    m.skins = S32(b, 20);
    m.verts = S32(b, 24);
    m.texCoords = S32(b, 28);
    m.tris = S32(b, 32);
    m.glWords = S32(b, 36);
    m.frames = S32(b, 40);
    const int ofsSkins = S32(b, 44), ofsSt = S32(b, 48), ofsTris = S32(b, 52), ofsFrames = S32(b, 56);
    const int ofsGl = S32(b, 60), ofsEnd = S32(b, 64);
    EXPECT_EQ(ofsEnd, static_cast<int>(b.size()));
    EXPECT_EQ(m.frameSize, 40 + 4 * m.verts);
    EXPECT_EQ(ofsSkins, 68);
    EXPECT_EQ(ofsSt, ofsSkins + 64 * m.skins);
    EXPECT_EQ(ofsTris, ofsSt + 4 * m.texCoords);
    EXPECT_EQ(ofsFrames, ofsTris + 12 * m.tris);
    EXPECT_EQ(ofsGl, ofsFrames + m.frameSize * m.frames);
    EXPECT_EQ(ofsEnd, ofsGl + 4 * m.glWords);
    if (ofsEnd != static_cast<int>(b.size()) || ofsGl + 4 * m.glWords != ofsEnd)
        return m;

    for (int i = 0; i < m.skins; ++i) {
        const char* p = reinterpret_cast<const char*>(&b[static_cast<size_t>(ofsSkins + 64 * i)]);
        m.skinNames.emplace_back(p, strnlen(p, 64));
    }
    for (int i = 0; i < m.texCoords; ++i)
        m.st.push_back({static_cast<int16_t>(U16(b, static_cast<size_t>(ofsSt + 4 * i))),
                        static_cast<int16_t>(U16(b, static_cast<size_t>(ofsSt + 4 * i + 2)))});
    for (int i = 0; i < m.tris; ++i) {
        std::array<int, 6> t{};
        for (int k = 0; k < 6; ++k)
            t[static_cast<size_t>(k)] = U16(b, static_cast<size_t>(ofsTris + 12 * i + 2 * k));
        m.triangles.push_back(t);
    }
    for (int f = 0; f < m.frames; ++f) {
        const size_t o = static_cast<size_t>(ofsFrames) + static_cast<size_t>(f) * static_cast<size_t>(m.frameSize);
        const float sc[3] = {F32(b, o), F32(b, o + 4), F32(b, o + 8)};
        const float tr[3] = {F32(b, o + 12), F32(b, o + 16), F32(b, o + 20)};
        const char* name = reinterpret_cast<const char*>(&b[o + 24]);
        m.frameNames.emplace_back(name, strnlen(name, 16));
        std::vector<Vertex> vs;
        for (int v = 0; v < m.verts; ++v) {
            const size_t p = o + 40 + 4 * static_cast<size_t>(v);
            vs.push_back({b[p] * sc[0] + tr[0], b[p + 1] * sc[1] + tr[1], b[p + 2] * sc[2] + tr[2], b[p + 3]});
        }
        m.vertices.push_back(vs);
    }
    // GL commands: strips or fans of vertex indices, ending with 0 exactly at
    // the end of the file.
    size_t g = static_cast<size_t>(ofsGl);
    int drawn = 0;
    while (g + 4 <= b.size()) {
        const int n = S32(b, g);
        g += 4;
        if (n == 0)
            break;
        const int count = n < 0 ? -n : n;
        for (int k = 0; k < count; ++k)
            EXPECT_LT(S32(b, g + 12 * static_cast<size_t>(k) + 8), m.verts);
        g += 12 * static_cast<size_t>(count);
        drawn += count - 2;
    }
    EXPECT_EQ(g, b.size());
    EXPECT_EQ(drawn, m.tris);
    return m;
}

// Frame names of the classic player layout, written out independently.
std::vector<std::string> ClassicFrameNames()
{
    const struct {
        const char* name;
        int count;
        int digits;
    } clips[] = {{"stand", 40, 2},  {"run", 6, 1},     {"attack", 8, 1},  {"pain1", 4, 2},  {"pain2", 4, 2},
                 {"pain3", 4, 2},   {"jump", 6, 1},    {"flip", 12, 2},   {"salute", 11, 2}, {"taunt", 17, 2},
                 {"wave", 11, 2},   {"point", 12, 2},  {"crstnd", 19, 2}, {"crwalk", 6, 1}, {"crattak", 9, 1},
                 {"crpain", 4, 1},  {"crdeath", 5, 1}, {"death1", 6, 2},  {"death2", 6, 2}, {"death3", 8, 2}};
    std::vector<std::string> names;
    for (const auto& c : clips)
        for (int i = 1; i <= c.count; ++i) {
            std::string n = std::to_string(i);
            if (c.digits == 2 && i < 10)
                n = "0" + n;
            names.push_back(c.name + n);
        }
    return names;
}

const std::vector<AssetMember>& Members()
{
    static const std::vector<AssetMember> members = BuildCharacters();
    return members;
}

struct Extent {
    float lo[3] = {1e9f, 1e9f, 1e9f};
    float hi[3] = {-1e9f, -1e9f, -1e9f};
};

Extent ExtentOf(const std::vector<Vertex>& vs)
{
    Extent e;
    for (const Vertex& v : vs) {
        const float c[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k) {
            e.lo[k] = std::min(e.lo[k], c[k]);
            e.hi[k] = std::max(e.hi[k], c[k]);
        }
    }
    return e;
}

// Six times the signed volume enclosed by the triangles as stored.
double SignedVolume(const ParsedMd2& m, int frame)
{
    const auto& vs = m.vertices[static_cast<size_t>(frame)];
    double sum = 0;
    for (const auto& t : m.triangles) {
        const Vertex& a = vs[static_cast<size_t>(t[0])];
        const Vertex& b = vs[static_cast<size_t>(t[1])];
        const Vertex& c = vs[static_cast<size_t>(t[2])];
        sum += a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
    }
    return sum;
}

}  // namespace

TEST(Characters, MembersInCatalogueOrder)
{
    // The catalogue's character members (models and skins), in its order.
    std::vector<std::string> expected;
    for (const DemoArchiveMember& member : kDemoArchiveMembers) {
        if (std::string_view(member.name).starts_with("md2\\")) {
            expected.emplace_back(member.name);
        }
    }
    ASSERT_EQ(Members().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Members()[i].name, expected[i]);
        EXPECT_LE(Members()[i].name.size(), 16u);
        EXPECT_FALSE(Members()[i].bytes.empty());
    }
}

TEST(Characters, ModelsParseWithTheClassicLayout)
{
    // model member index, skin count, expected winding of the stored triangles
    // (true: clockwise seen from outside, the classic MD2 order).
    const struct {
        size_t member;
        int skins;
        bool clockwise;
    } cases[] = {{0, 1, true}, {2, 3, false}, {6, 1, false}, {8, 3, true}};
    ASSERT_EQ(Members().size(), 12u);
    const std::vector<std::string> names = ClassicFrameNames();
    ASSERT_EQ(names.size(), 198u);
    std::vector<float> heights;
    for (const auto& c : cases) {
        SCOPED_TRACE(Members()[c.member].name);
        const ParsedMd2 m = ParseMd2(Members()[c.member].bytes);
        ASSERT_EQ(m.frames, 198);
        EXPECT_EQ(m.skinW, 256);
        EXPECT_EQ(m.skinH, 256);
        EXPECT_EQ(m.skins, c.skins);
        EXPECT_GE(m.tris, 300);
        EXPECT_LE(m.tris, 1000);
        EXPECT_EQ(m.frameNames, names);
        for (int k = 0; k < c.skins; ++k) {
            std::string member = Members()[c.member + 1 + static_cast<size_t>(k)].name;
            for (char& ch : member)
                if (ch == '\\')
                    ch = '/';
            EXPECT_EQ(m.skinNames[static_cast<size_t>(k)], member);
        }
        for (const auto& st : m.st) {
            EXPECT_GE(st[0], 0);
            EXPECT_LE(st[0], 256);
            EXPECT_GE(st[1], 0);
            EXPECT_LE(st[1], 256);
        }
        for (const auto& t : m.triangles) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_LT(t[static_cast<size_t>(k)], m.verts);
                EXPECT_LT(t[static_cast<size_t>(k) + 3], m.texCoords);
            }
        }
        for (const auto& frame : m.vertices)
            for (const Vertex& v : frame)
                EXPECT_LT(v.normal, 162);

        // Standing: about 56 units tall, soles at -24, toes towards +x.
        const Extent e = ExtentOf(m.vertices[0]);
        heights.push_back(e.hi[2] - e.lo[2]);
        EXPECT_NEAR(e.lo[2], -24.0f, 0.3f);
        EXPECT_GT(e.hi[2] - e.lo[2], 50.0f);
        EXPECT_LT(e.hi[2] - e.lo[2], 60.0f);
        float toe = -1e9f, heel = 1e9f;
        for (const Vertex& v : m.vertices[0])
            if (v.z < -22.0f) {
                toe = std::max(toe, v.x);
                heel = std::min(heel, v.x);
            }
        EXPECT_GT(toe, 3.0f);
        EXPECT_GT(toe, -heel + 2.0f);
        // Every standing and running frame keeps its feet at the ground.
        for (int f = 0; f < 46; ++f)
            EXPECT_NEAR(ExtentOf(m.vertices[static_cast<size_t>(f)]).lo[2], -24.0f, 1.8f) << "frame " << f;
        // The last death frame lies on the floor.
        const Extent dead = ExtentOf(m.vertices[197]);
        EXPECT_NEAR(dead.lo[2], -24.0f, 0.3f);
        EXPECT_LT(dead.hi[2] - dead.lo[2], 20.0f);
        // The run and the idle actually move.
        double moved = 0;
        for (size_t v = 0; v < m.vertices[0].size(); ++v)
            moved += std::fabs(m.vertices[0][v].x - m.vertices[42][v].x);
        EXPECT_GT(moved / static_cast<double>(m.verts), 1.0);
        // Winding: the volume the stored triangles enclose is negative for
        // clockwise front faces.
        const double volume = SignedVolume(m, 0);
        EXPECT_EQ(volume < 0, c.clockwise) << volume;
    }
    // Four different figures: no two of the same height.
    for (size_t i = 0; i < heights.size(); ++i)
        for (size_t j = i + 1; j < heights.size(); ++j)
            EXPECT_GT(std::fabs(heights[i] - heights[j]), 0.3f);
}

TEST(Characters, NormalIndicesPointOutward)
{
    // The stored normal of a vertex should mostly agree with the direction
    // from the figure's axis; a normal computed with the wrong winding would
    // point inward for nearly all of them. Holds whatever the stored winding.
    for (size_t member : {0u, 2u, 6u, 8u}) {
        SCOPED_TRACE(Members()[member].name);
        const ParsedMd2 m = ParseMd2(Members()[member].bytes);
        ASSERT_EQ(m.frames, 198);
        const auto& vs = m.vertices[0];
        float cx = 0, cy = 0;
        for (const Vertex& v : vs) {
            cx += v.x;
            cy += v.y;
        }
        cx /= static_cast<float>(vs.size());
        cy /= static_cast<float>(vs.size());
        double agree = 0;
        for (const Vertex& v : vs) {
            const float* n = kMd2Normals[v.normal];
            agree += (v.x - cx) * n[0] + (v.y - cy) * n[1] > 0 ? 1 : 0;
        }
        EXPECT_GT(agree / static_cast<double>(vs.size()), 0.7);
    }
}

TEST(Characters, SkinsDecodeWithImageMagickToTheIntendedPixels)
{
    if (!HaveProgram("convert-im6.q16"))
        ZARNOTH_SKIP_MISSING() << "ImageMagick (convert-im6.q16) is not installed";
    TempDir dir;
    std::map<std::string, const AssetMember*> byName;
    for (const AssetMember& m : Members())
        byName[m.name] = &m;
    for (const Figure& figure : MakeFigures()) {
        BuiltCharacter built;
        std::string error;
        ASSERT_TRUE(BuildCharacter(figure, built, &error)) << error;
        ASSERT_EQ(built.skins.size(), figure.skinNames.size());
        for (size_t s = 0; s < built.skins.size(); ++s) {
            SCOPED_TRACE(figure.skinNames[s]);
            const AssetMember* member = byName[figure.skinNames[s]];
            ASSERT_NE(member, nullptr);
            const Bytes& pcx = member->bytes;
            ASSERT_GT(pcx.size(), 128u + 769u);
            EXPECT_EQ(pcx[0], 10);
            EXPECT_EQ(pcx[1], 5);
            EXPECT_EQ(pcx[2], 1);
            EXPECT_EQ(pcx[3], 8);
            EXPECT_EQ(pcx[65], 1);
            EXPECT_EQ(U16(pcx, 66), 256);
            EXPECT_EQ(pcx[pcx.size() - 769], 12);

            const std::string path = dir.file("skin" + std::to_string(s) + ".pcx");
            WriteFile(path, pcx);
            std::string info;
            ASSERT_EQ(testsupport::Run("identify-im6.q16 -format '%w %h %z %r' " + path, &info), 0);
            EXPECT_EQ(info.substr(0, 11), "256 256 8 P") << info;
            std::string rgb;
            ASSERT_EQ(testsupport::Run("convert-im6.q16 " + path + " -depth 8 rgb:-", &rgb), 0);
            ASSERT_EQ(rgb.size(), 256u * 256u * 3u);
            const IndexedImage& img = built.skins[s];
            size_t mismatches = 0;
            for (size_t i = 0; i < img.pixels.size(); ++i)
                for (size_t k = 0; k < 3; ++k)
                    if (static_cast<uint8_t>(rgb[3 * i + k]) != img.palette[3 * img.pixels[i] + k])
                        ++mismatches;
            EXPECT_EQ(mismatches, 0u);
            // A painted skin, not a flat fill: many palette entries in use.
            std::vector<bool> used(256, false);
            for (uint8_t p : img.pixels)
                used[p] = true;
            EXPECT_GT(std::count(used.begin(), used.end(), true), 30);
        }
    }
}

TEST(Characters, SkinSchemesDiffer)
{
    // The three skins of ld and of tw share a layout but not their colours.
    for (size_t first : {3u, 9u}) {
        const Bytes& a = Members()[first].bytes;
        const Bytes& b = Members()[first + 1].bytes;
        const Bytes& c = Members()[first + 2].bytes;
        const Bytes pa(a.end() - 768, a.end()), pb(b.end() - 768, b.end()), pc(c.end() - 768, c.end());
        EXPECT_NE(pa, pb);
        EXPECT_NE(pb, pc);
        EXPECT_NE(pa, pc);
    }
}

TEST(Characters, SecondRunGivesTheSameBytes)
{
    const std::vector<AssetMember> again = BuildCharacters();
    ASSERT_EQ(again.size(), Members().size());
    for (size_t i = 0; i < again.size(); ++i) {
        EXPECT_EQ(again[i].name, Members()[i].name);
        EXPECT_TRUE(again[i].bytes == Members()[i].bytes) << again[i].name;
    }
}

TEST(Md2Normals, TableIsTheUnitIcosphere)
{
    for (size_t i = 0; i < kMd2NormalCount; ++i) {
        const float* n = kMd2Normals[i];
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f) << i;
        EXPECT_EQ(NearestMd2Normal(n[0] * 3, n[1] * 3, n[2] * 3), static_cast<int>(i));
    }
    EXPECT_EQ(NearestMd2Normal(0, 0, 1), 5);
    EXPECT_EQ(NearestMd2Normal(1, 0, 0), 52);
    EXPECT_EQ(NearestMd2Normal(0, -1, 0), 104);
    EXPECT_EQ(NearestMd2Normal(0, 0, -1), 84);
    EXPECT_EQ(NearestMd2Normal(0, 0, 0), 0);
}

TEST(Md2Writer, QuantisesWithinHalfAStep)
{
    Md2Model m;
    m.skins = {"a.pcx"};
    m.texCoords = {{0, 0}, {255, 0}, {0, 255}};
    m.triangles = {{{0, 1, 2}, {0, 1, 2}}};
    Md2Frame f{"one", {{-10, 3, -24}, {17.3f, -8, 5}, {0.1f, 0.2f, 31.7f}}};
    m.frames = {f};
    const Bytes b = WriteMd2(m);
    const ParsedMd2 p = ParseMd2(b);
    ASSERT_EQ(p.frames, 1);
    const float step[3] = {27.3f / 255, 11.0f / 255, 55.7f / 255};
    for (size_t v = 0; v < 3; ++v) {
        EXPECT_NEAR(p.vertices[0][v].x, f.vertices[v].x, step[0] / 2 + 1e-4f);
        EXPECT_NEAR(p.vertices[0][v].y, f.vertices[v].y, step[1] / 2 + 1e-4f);
        EXPECT_NEAR(p.vertices[0][v].z, f.vertices[v].z, step[2] / 2 + 1e-4f);
    }
    EXPECT_EQ(p.frameNames[0], "one");
    EXPECT_EQ(p.skinNames[0], "a.pcx");
}

TEST(Md2Writer, RejectsWhatTheFormatCannotHold)
{
    auto base = [] {
        Md2Model m;
        m.texCoords = {{0, 0}};
        m.triangles = {{{0, 1, 2}, {0, 0, 0}}};
        m.frames = {{"f", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}};
        return m;
    };
    std::vector<std::pair<const char*, Md2Model>> bad;
    {
        Md2Model m = base();
        m.frames.push_back({"g", {{0, 0, 0}}});
        bad.push_back({"frames differ in vertex count", m});
    }
    {
        Md2Model m = base();
        m.triangles[0].vertex[2] = 3;
        bad.push_back({"triangle index out of range", m});
    }
    {
        Md2Model m = base();
        m.triangles[0].texCoord[1] = 1;
        bad.push_back({"triangle index out of range", m});
    }
    {
        Md2Model m = base();
        m.frames[0].name = "sixteen-chars-xx";
        bad.push_back({"frame name too long", m});
    }
    {
        Md2Model m = base();
        m.frames[0].vertices[1].x = std::nanf("");
        bad.push_back({"vertex is not finite", m});
    }
    {
        Md2Model m = base();
        m.frames.clear();
        bad.push_back({"frame count out of range", m});
    }
    for (const auto& [why, model] : bad) {
        std::string error;
        EXPECT_TRUE(WriteMd2(model, &error).empty()) << why;
        EXPECT_EQ(error, why);
    }
    std::string error = "x";
    EXPECT_FALSE(WriteMd2(base(), &error).empty());
    EXPECT_EQ(error, "");
}

TEST(PcxWriter, ImageMagickReadsEdgeCases)
{
    if (!HaveProgram("convert-im6.q16"))
        ZARNOTH_SKIP_MISSING() << "ImageMagick (convert-im6.q16) is not installed";
    struct Case {
        const char* name;
        int w, h;
        std::vector<uint8_t> pixels;
    };
    std::vector<Case> cases;
    cases.push_back({"single pixel", 1, 1, {200}});
    cases.push_back({"odd width with high values", 5, 3, {192, 193, 255, 0, 1, 191, 192, 192, 7, 7, 255, 255, 255, 255, 255}});
    {
        std::vector<uint8_t> p(130 * 2, 9);  // runs longer than 63
        for (size_t i = 130; i < p.size(); ++i)
            p[i] = static_cast<uint8_t>(i * 37);
        cases.push_back({"long runs then noise", 130, 2, p});
    }
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IndexedImage img;
        img.width = c.w;
        img.height = c.h;
        img.pixels = c.pixels;
        for (int i = 0; i < 256; ++i) {
            img.palette[static_cast<size_t>(3 * i)] = static_cast<uint8_t>(i);
            img.palette[static_cast<size_t>(3 * i + 1)] = static_cast<uint8_t>(255 - i);
            img.palette[static_cast<size_t>(3 * i + 2)] = static_cast<uint8_t>(i * 7);
        }
        const Bytes pcx = WritePcx(img);
        ASSERT_FALSE(pcx.empty());
        EXPECT_EQ(U16(pcx, 66), (c.w + 1) & ~1);
        const std::string path = dir.file("t.pcx");
        WriteFile(path, pcx);
        std::string rgb;
        ASSERT_EQ(testsupport::Run("convert-im6.q16 " + path + " -depth 8 rgb:-", &rgb), 0);
        ASSERT_EQ(rgb.size(), c.pixels.size() * 3);
        for (size_t i = 0; i < c.pixels.size(); ++i)
            for (size_t k = 0; k < 3; ++k)
                EXPECT_EQ(static_cast<uint8_t>(rgb[3 * i + k]), img.palette[3 * c.pixels[i] + k]) << "pixel " << i;
    }
}

TEST(PcxWriter, RejectsBadSizes)
{
    IndexedImage img;
    std::string error;
    EXPECT_TRUE(WritePcx(img, &error).empty());
    EXPECT_EQ(error, "picture size out of range");
    img.width = 4;
    img.height = 4;
    img.pixels.assign(15, 0);
    EXPECT_TRUE(WritePcx(img, &error).empty());
    EXPECT_EQ(error, "pixel count does not match the size");
}

TEST(Characters, AsTheEngineReadsThemTheRoomFiguresStandOnTheFloorLitFromOutside)
{
    // The engine's MD2 reading: (x, z, -y) / 32 and every triangle reversed.
    // The room scene scales characters by 0.2, places them at y = -0.34 over a
    // floor at y = -0.5, and turns ld, neko and tw inside out (FlipFaces). The
    // face normals it then computes, (P1 - P0) × (P2 - P1), should point out
    // of the figure for ddz as read and for ld and neko once flipped.
    const struct {
        size_t member;
        bool flippedInRoom;
    } cases[] = {{0, false}, {2, true}, {6, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Members()[c.member].name);
        const ParsedMd2 m = ParseMd2(Members()[c.member].bytes);
        ASSERT_EQ(m.frames, 198);
        std::vector<std::array<double, 3>> p;
        double lowest = 1e9;
        for (const Vertex& v : m.vertices[0]) {
            p.push_back({v.x / 32.0, v.z / 32.0, -v.y / 32.0});
            lowest = std::min(lowest, static_cast<double>(v.z) / 32.0);
        }
        EXPECT_NEAR(-0.34 + 0.2 * lowest, -0.5, 0.02);
        double volume = 0;
        for (const auto& t : m.triangles) {
            const auto& a = p[static_cast<size_t>(t[2])];
            const auto& b = p[static_cast<size_t>(t[1])];
            const auto& d = p[static_cast<size_t>(t[0])];
            volume += a[0] * (b[1] * d[2] - b[2] * d[1]) - a[1] * (b[0] * d[2] - b[2] * d[0]) +
                      a[2] * (b[0] * d[1] - b[1] * d[0]);
        }
        if (c.flippedInRoom)
            volume = -volume;
        EXPECT_GT(volume, 0.0);
    }
}

TEST(Characters, AssimpImportsEveryModel)
{
    if (!HaveProgram("assimp"))
        ZARNOTH_SKIP_MISSING() << "assimp (package assimp-utils) is not installed";
    TempDir dir;
    for (size_t member : {0u, 2u, 6u, 8u}) {
        SCOPED_TRACE(Members()[member].name);
        const ParsedMd2 m = ParseMd2(Members()[member].bytes);
        const std::string path = dir.file("m" + std::to_string(member) + ".md2");
        WriteFile(path, Members()[member].bytes);
        std::string info;
        ASSERT_EQ(testsupport::Run("assimp info " + path + " 2>&1", &info), 0) << info;
        // assimp shows frame 0 with the model's z axis as its y axis.
        auto field = [&info](const std::string& label) {
            const size_t at = info.find(label);
            return at == std::string::npos ? std::string() : info.substr(at + label.size(), 60);
        };
        EXPECT_EQ(std::atoi(field("Faces:").c_str()), m.tris);
        float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
        ASSERT_EQ(std::sscanf(field("Minimum point").c_str(), " (%f %f %f)", &lo[0], &lo[1], &lo[2]), 3);
        ASSERT_EQ(std::sscanf(field("Maximum point").c_str(), " (%f %f %f)", &hi[0], &hi[1], &hi[2]), 3);
        EXPECT_NEAR(lo[1], -24.0f, 0.3f);
        EXPECT_GT(hi[1] - lo[1], 50.0f);
        EXPECT_LT(hi[1] - lo[1], 60.0f);
        EXPECT_NE(info.find("'" + m.skinNames[0] + "'"), std::string::npos);
    }
}
