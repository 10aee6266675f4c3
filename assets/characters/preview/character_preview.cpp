// Contact sheet of the generated characters, for people to look at: for each
// model a row of posed frames rendered with a small software rasteriser (read
// back from the MD2 bytes and PCX skins that the generator produces), then the
// skins themselves. Writes a binary PPM.
//
//   character_preview OUTPUT.ppm [yaw-degrees [frame ...]]
//
// Convert the result for viewing with e.g. ImageMagick: convert out.ppm out.png

#include "assets/characters.h"
#include "assets/characters/character_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct V3 {
    float x, y, z;
};
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 CrossP(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float DotP(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Norm(V3 a)
{
    const float l = std::sqrt(DotP(a, a));
    return l > 0 ? V3{a.x / l, a.y / l, a.z / l} : a;
}

int32_t S32(const std::vector<uint8_t>& b, size_t o)
{
    return static_cast<int32_t>(b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (static_cast<uint32_t>(b[o + 3]) << 24));
}
uint16_t U16(const std::vector<uint8_t>& b, size_t o) { return static_cast<uint16_t>(b[o] | (b[o + 1] << 8)); }
float F32(const std::vector<uint8_t>& b, size_t o)
{
    uint32_t u = static_cast<uint32_t>(S32(b, o));
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

struct Model {
    int w = 0, h = 0, verts = 0, tris = 0, frames = 0;
    std::vector<std::array<int, 2>> st;
    std::vector<std::array<int, 6>> tri;
    std::vector<std::vector<V3>> frame;
};

Model ParseMd2(const std::vector<uint8_t>& b)
{
    Model m;
    m.w = S32(b, 8);
    m.h = S32(b, 12);
    const int frameSize = S32(b, 16);
    m.verts = S32(b, 24);
    const int nst = S32(b, 28);
    m.tris = S32(b, 32);
    m.frames = S32(b, 40);
    const size_t ost = static_cast<size_t>(S32(b, 48)), otri = static_cast<size_t>(S32(b, 52));
    const size_t ofr = static_cast<size_t>(S32(b, 56));
    for (int i = 0; i < nst; ++i)
        m.st.push_back({static_cast<int16_t>(U16(b, ost + 4 * i)), static_cast<int16_t>(U16(b, ost + 4 * i + 2))});
    for (int i = 0; i < m.tris; ++i) {
        std::array<int, 6> t;
        for (int k = 0; k < 6; ++k)
            t[static_cast<size_t>(k)] = U16(b, otri + 12 * i + 2 * k);
        m.tri.push_back(t);
    }
    for (int f = 0; f < m.frames; ++f) {
        const size_t o = ofr + static_cast<size_t>(f) * frameSize;
        const V3 sc{F32(b, o), F32(b, o + 4), F32(b, o + 8)}, tr{F32(b, o + 12), F32(b, o + 16), F32(b, o + 20)};
        std::vector<V3> vs;
        for (int v = 0; v < m.verts; ++v) {
            const size_t p = o + 40 + 4 * static_cast<size_t>(v);
            vs.push_back({b[p] * sc.x + tr.x, b[p + 1] * sc.y + tr.y, b[p + 2] * sc.z + tr.z});
        }
        m.frame.push_back(vs);
    }
    return m;
}

struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
};

Picture DecodePcx(const std::vector<uint8_t>& b)
{
    Picture p;
    p.w = U16(b, 8) - U16(b, 4) + 1;
    p.h = U16(b, 10) - U16(b, 6) + 1;
    const int bpl = U16(b, 66);
    std::vector<uint8_t> idx;
    size_t i = 128;
    while (idx.size() < static_cast<size_t>(bpl) * p.h && i < b.size()) {
        uint8_t c = b[i++];
        int run = 1;
        if ((c & 0xC0) == 0xC0) {
            run = c & 0x3F;
            c = b[i++];
        }
        idx.insert(idx.end(), static_cast<size_t>(run), c);
    }
    const size_t pal = b.size() - 768;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const uint8_t c = idx[static_cast<size_t>(y) * bpl + x];
            for (int k = 0; k < 3; ++k)
                p.rgb.push_back(b[pal + 3 * c + k]);
        }
    return p;
}

struct Sheet {
    int w, h;
    std::vector<uint8_t> rgb;
    std::vector<float> depth;
    void Put(int x, int y, const uint8_t* c)
    {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        std::memcpy(&rgb[(static_cast<size_t>(y) * w + x) * 3], c, 3);
    }
};

void Render(Sheet& s, const Model& m, const Picture& skin, int frame, int ox, int oy, int cw, int ch, float yaw)
{
    const float e = 0.25f;
    const V3 c{std::cos(e) * std::cos(yaw), std::cos(e) * std::sin(yaw), std::sin(e)};
    const V3 f{-c.x, -c.y, -c.z};
    const V3 r = Norm(CrossP(f, {0, 0, 1}));
    const V3 u = CrossP(r, f);
    const float scale = static_cast<float>(ch) / 70.0f;
    const V3 light = Norm({c.x + 0.3f, c.y + 0.5f, c.z + 0.6f});
    for (int y = oy; y < oy + ch; ++y)
        for (int x = ox; x < ox + cw; ++x)
            s.depth[static_cast<size_t>(y) * s.w + x] = 1e9f;
    const std::vector<V3>& vs = m.frame[static_cast<size_t>(frame)];
    for (const auto& t : m.tri) {
        V3 p[3];
        float sx[3], sy[3], sz[3];
        for (int k = 0; k < 3; ++k) {
            p[k] = vs[static_cast<size_t>(t[static_cast<size_t>(k)])];
            sx[k] = ox + cw * 0.5f + DotP(p[k], r) * scale;
            sy[k] = oy + ch * 0.55f - (DotP(p[k], u) - 4.0f) * scale;
            sz[k] = DotP(p[k], f);
        }
        const V3 n = Norm(CrossP(Sub(p[1], p[0]), Sub(p[2], p[0])));
        const float lit = 0.35f + 0.65f * std::fabs(DotP(n, light));
        const int x0 = std::max(ox, static_cast<int>(std::floor(std::min({sx[0], sx[1], sx[2]}))));
        const int x1 = std::min(ox + cw - 1, static_cast<int>(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
        const int y0 = std::max(oy, static_cast<int>(std::floor(std::min({sy[0], sy[1], sy[2]}))));
        const int y1 = std::min(oy + ch - 1, static_cast<int>(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
        const float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
        if (std::fabs(area) < 1e-6f)
            continue;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const float px = x + 0.5f, py = y + 0.5f;
                const float w0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) / area;
                const float w1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) / area;
                const float w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0)
                    continue;
                const float z = w0 * sz[0] + w1 * sz[1] + w2 * sz[2];
                float& d = s.depth[static_cast<size_t>(y) * s.w + x];
                if (z >= d)
                    continue;
                d = z;
                const auto& a = m.st[static_cast<size_t>(t[3])];
                const auto& b = m.st[static_cast<size_t>(t[4])];
                const auto& cc = m.st[static_cast<size_t>(t[5])];
                const int tx = std::clamp(static_cast<int>(w0 * a[0] + w1 * b[0] + w2 * cc[0]), 0, skin.w - 1);
                const int ty = std::clamp(static_cast<int>(w0 * a[1] + w1 * b[1] + w2 * cc[1]), 0, skin.h - 1);
                const uint8_t* src = &skin.rgb[(static_cast<size_t>(ty) * skin.w + tx) * 3];
                uint8_t out[3];
                for (int k = 0; k < 3; ++k)
                    out[k] = static_cast<uint8_t>(std::min(255.0f, src[k] * lit * 1.1f));
                s.Put(x, y, out);
            }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: character_preview OUTPUT.ppm [yaw-degrees]\n");
        return 2;
    }
    const float yaw = (argc > 2 ? std::stof(argv[2]) : 35.0f) * 3.14159265f / 180.0f;
    const std::vector<AssetMember> members = BuildCharacters();
    if (members.size() != 12) {
        for (const Figure& f : MakeFigures()) {
            BuiltCharacter built;
            std::string error;
            if (!BuildCharacter(f, built, &error))
                std::fprintf(stderr, "character_preview: %s: %s\n", f.key.c_str(), error.c_str());
            else if (WriteMd2(built.model, &error).empty())
                std::fprintf(stderr, "character_preview: %s: %s\n", f.key.c_str(), error.c_str());
        }
        std::fprintf(stderr, "character_preview: building the characters failed\n");
        return 1;
    }
    std::vector<int> frames = {0, 20, 41, 44, 50, 88, 116, 128, 140, 175, 186, 189, 193, 197};
    if (argc > 3) {
        frames.clear();
        for (int i = 3; i < argc; ++i)
            frames.push_back(std::clamp(std::atoi(argv[i]), 0, 197));
    }
    const int nf = static_cast<int>(frames.size());
    const int cw = 130, ch = 200;
    Sheet s{nf * cw + 256 * 3, 4 * 256, {}, {}};
    s.rgb.assign(static_cast<size_t>(s.w) * s.h * 3, 60);
    s.depth.assign(static_cast<size_t>(s.w) * s.h, 1e9f);
    int row = 0;
    for (size_t i = 0; i < members.size(); ++row) {
        const Model m = ParseMd2(members[i].bytes);
        std::vector<Picture> skins;
        size_t j = i + 1;
        while (j < members.size() && members[j].name.find(".pcx") != std::string::npos)
            skins.push_back(DecodePcx(members[j++].bytes));
        for (int k = 0; k < nf; ++k)
            Render(s, m, skins[static_cast<size_t>(k) % skins.size()], frames[static_cast<size_t>(k)], k * cw, row * 256 + 20, cw, ch, yaw);
        for (size_t k = 0; k < skins.size(); ++k)
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x)
                    s.Put(nf * cw + static_cast<int>(k) * 256 + x, row * 256 + y, &skins[k].rgb[(static_cast<size_t>(y) * 256 + x) * 3]);
        std::printf("%s: %d vertices, %d triangles, %d frames, %zu skins\n", members[i].name.c_str(), m.verts, m.tris,
                    m.frames, skins.size());
        i = j;
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "character_preview: cannot write %s\n", argv[1]);
        return 1;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", s.w, s.h);
    std::fwrite(s.rgb.data(), 1, s.rgb.size(), out);
    std::fclose(out);
    return 0;
}
