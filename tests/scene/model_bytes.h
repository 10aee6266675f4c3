// Builders of small MD2 and MD3 files for the reader tests, written field by field
// from the file layouts, plus little-endian patching helpers for damaging them.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace modelbytes {

inline void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutS32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(u >> (8 * i));
    }
}
inline void PutF32(std::vector<uint8_t>& b, size_t at, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    PutS32(b, at, static_cast<int32_t>(u));
}
inline int32_t GetS32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
        u |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    }
    return static_cast<int32_t>(u);
}
inline void AppendS32(std::vector<uint8_t>& b, int32_t v) {
    b.resize(b.size() + 4);
    PutS32(b, b.size() - 4, v);
}
inline void AppendF32(std::vector<uint8_t>& b, float v) {
    b.resize(b.size() + 4);
    PutF32(b, b.size() - 4, v);
}
inline void AppendU16(std::vector<uint8_t>& b, uint16_t v) {
    b.resize(b.size() + 2);
    PutU16(b, b.size() - 2, v);
}
inline void AppendText(std::vector<uint8_t>& b, const std::string& text, size_t width) {
    const size_t at = b.size();
    b.resize(at + width, 0);
    std::memcpy(b.data() + at, text.data(), text.size() < width ? text.size() : width);
}

// MD2 header field offsets.
namespace md2 {
constexpr size_t kSkinWidth = 8, kFrameSize = 16, kVertexCount = 24, kTexCount = 28, kTriCount = 32,
                 kFrameCount = 40, kTexOffset = 48, kTriOffset = 52, kFramesOffset = 56, kEnd = 64;
}

struct Md2Frame {
    std::array<float, 3> scale{1, 1, 1};
    std::array<float, 3> translate{0, 0, 0};
    std::vector<std::array<uint8_t, 3>> vertices;  // packed x, y, z
};

struct Md2Model {
    int32_t skinWidth = 64;
    int32_t skinHeight = 32;
    std::vector<Md2Frame> frames;
    std::vector<std::array<int16_t, 2>> texCoords;
    std::vector<std::array<uint16_t, 6>> triangles;  // a, b, c, ta, tb, tc

    // Header, one 64-byte skin name, texture coordinates, triangles, frames.
    std::vector<uint8_t> Bytes() const {
        const int32_t vertexCount = frames.empty() ? 0 : static_cast<int32_t>(frames[0].vertices.size());
        const int32_t frameSize = 40 + 4 * vertexCount;
        std::vector<uint8_t> b;
        AppendText(b, "IDP2", 4);
        AppendS32(b, 8);
        AppendS32(b, skinWidth);
        AppendS32(b, skinHeight);
        AppendS32(b, frameSize);
        AppendS32(b, 1);
        AppendS32(b, vertexCount);
        AppendS32(b, static_cast<int32_t>(texCoords.size()));
        AppendS32(b, static_cast<int32_t>(triangles.size()));
        AppendS32(b, 0);
        AppendS32(b, static_cast<int32_t>(frames.size()));
        for (int i = 0; i < 6; ++i) {
            AppendS32(b, 0);  // offsets, patched below
        }
        const auto here = [&b] { return static_cast<int32_t>(b.size()); };
        PutS32(b, 44, here());
        AppendText(b, "skin.pcx", 64);
        PutS32(b, md2::kTexOffset, here());
        for (const auto& st : texCoords) {
            AppendU16(b, static_cast<uint16_t>(st[0]));
            AppendU16(b, static_cast<uint16_t>(st[1]));
        }
        PutS32(b, md2::kTriOffset, here());
        for (const auto& t : triangles) {
            for (uint16_t v : t) {
                AppendU16(b, v);
            }
        }
        PutS32(b, md2::kFramesOffset, here());
        for (const Md2Frame& f : frames) {
            for (float v : f.scale) {
                AppendF32(b, v);
            }
            for (float v : f.translate) {
                AppendF32(b, v);
            }
            AppendText(b, "frame", 16);
            for (const auto& v : f.vertices) {
                b.insert(b.end(), {v[0], v[1], v[2], 0});
            }
        }
        PutS32(b, 60, here());
        PutS32(b, md2::kEnd, here());
        return b;
    }
};

// MD3 header and surface header field offsets.
namespace md3 {
constexpr size_t kFrameCount = 76, kTagCount = 80, kSurfaceCount = 84, kEnd = 104;
constexpr size_t kSurfFrames = 72, kSurfVertices = 80, kSurfTriangles = 84, kSurfTriOffset = 88,
                 kSurfTexOffset = 96, kSurfVertOffset = 100, kSurfEnd = 104;
}

struct Md3Tag {
    std::string name;
    std::array<float, 3> origin{0, 0, 0};
    std::array<float, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};
};

struct Md3Surface {
    std::string name = "surf";
    // vertices[frame][i] = x, y, z in 1/64 units
    std::vector<std::vector<std::array<int16_t, 3>>> vertices;
    std::vector<std::array<float, 2>> texCoords;  // one per vertex
    std::vector<std::array<int32_t, 3>> triangles;
};

struct Md3Model {
    int32_t frameCount = 1;
    std::vector<std::vector<Md3Tag>> tags;  // tags[frame][i]
    std::vector<Md3Surface> surfaces;

    // Header, frames, tags, then each surface: header, one shader, triangles, texture
    // coordinates, vertices (the order tools usually write).
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> b;
        const int32_t tagCount = tags.empty() ? 0 : static_cast<int32_t>(tags[0].size());
        AppendText(b, "IDP3", 4);
        AppendS32(b, 15);
        AppendText(b, "model", 64);
        AppendS32(b, 0);
        AppendS32(b, frameCount);
        AppendS32(b, tagCount);
        AppendS32(b, static_cast<int32_t>(surfaces.size()));
        AppendS32(b, 0);
        AppendS32(b, 108);
        AppendS32(b, 0);
        AppendS32(b, 0);
        AppendS32(b, 0);
        for (int32_t f = 0; f < frameCount; ++f) {
            for (int i = 0; i < 10; ++i) {
                AppendF32(b, 0.0f);
            }
            AppendText(b, "frame", 16);
        }
        PutS32(b, 96, static_cast<int32_t>(b.size()));
        for (const auto& frameTags : tags) {
            for (const Md3Tag& t : frameTags) {
                AppendText(b, t.name, 64);
                for (float v : t.origin) {
                    AppendF32(b, v);
                }
                for (float v : t.axes) {
                    AppendF32(b, v);
                }
            }
        }
        PutS32(b, 100, static_cast<int32_t>(b.size()));
        for (const Md3Surface& s : surfaces) {
            const size_t start = b.size();
            const int32_t vcount = s.vertices.empty() ? 0 : static_cast<int32_t>(s.vertices[0].size());
            AppendText(b, "IDP3", 4);
            AppendText(b, s.name, 64);
            AppendS32(b, 0);
            AppendS32(b, static_cast<int32_t>(s.vertices.size()));
            AppendS32(b, 1);
            AppendS32(b, vcount);
            AppendS32(b, static_cast<int32_t>(s.triangles.size()));
            for (int i = 0; i < 5; ++i) {
                AppendS32(b, 0);  // offsets, patched below
            }
            const auto rel = [&b, start] { return static_cast<int32_t>(b.size() - start); };
            PutS32(b, start + 92, rel());
            AppendText(b, "shader", 64);
            AppendS32(b, 0);
            PutS32(b, start + md3::kSurfTriOffset, rel());
            for (const auto& t : s.triangles) {
                for (int32_t v : t) {
                    AppendS32(b, v);
                }
            }
            PutS32(b, start + md3::kSurfTexOffset, rel());
            for (const auto& st : s.texCoords) {
                AppendF32(b, st[0]);
                AppendF32(b, st[1]);
            }
            PutS32(b, start + md3::kSurfVertOffset, rel());
            for (const auto& frame : s.vertices) {
                for (const auto& v : frame) {
                    for (int16_t c : v) {
                        AppendU16(b, static_cast<uint16_t>(c));
                    }
                    AppendU16(b, 0);
                }
            }
            PutS32(b, start + md3::kSurfEnd, rel());
        }
        PutS32(b, md3::kEnd, static_cast<int32_t>(b.size()));
        return b;
    }
};

}  // namespace modelbytes
