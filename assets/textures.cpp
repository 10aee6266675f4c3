// Procedural materials for the hall. Each picture is a height field and an albedo,
// lit from the upper left; every feature has a period that divides the picture, so
// the textures repeat without seams.
#include "assets/textures.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "assets/jpeg_codec.h"

namespace assetgen {

namespace {

constexpr float kPi = 3.14159265f;

// Distance in pixels from (x, y) to the border of its cell in a grid of cellW × cellH
// cells whose rows shift by rowShift pixels each.
struct CellPosition {
    float edge;  // distance to the nearest cell border
    float lx, ly;
    int cx, cy;
};

float Wrapped(float v, int period) {
    v = std::fmod(v, static_cast<float>(period));
    return v < 0 ? v + static_cast<float>(period) : v;
}

// Both coordinates wrap around the picture (width × height), so cells cut by an edge
// continue, with the same identity, on the opposite edge.
CellPosition Cell(float x, float y, float cellW, float cellH, float rowShift, int width, int height) {
    CellPosition p{};
    y = Wrapped(y, height);
    p.cy = static_cast<int>(std::floor(y / cellH));
    const float sx = Wrapped(x + rowShift * static_cast<float>(p.cy), width);
    p.cx = static_cast<int>(std::floor(sx / cellW));
    p.lx = sx - static_cast<float>(p.cx) * cellW;
    p.ly = y - static_cast<float>(p.cy) * cellH;
    p.edge = std::min(std::min(p.lx, cellW - p.lx), std::min(p.ly, cellH - p.ly));
    return p;
}

// Distance to the boundary of an axis-aligned box; negative inside.
float BoxDistance(float x, float y, float x0, float y0, float x1, float y1) {
    const float dx = std::max(x0 - x, x - x1);
    const float dy = std::max(y0 - y, y - y1);
    if (dx <= 0 && dy <= 0) {
        return std::max(dx, dy);
    }
    return std::hypot(std::max(dx, 0.0f), std::max(dy, 0.0f));
}

HeightField Blank(int w, int h) { return HeightField(w, h, 0.0f); }

void AddEmission(ColorImage& image, const ColorImage& emission) {
    for (size_t i = 0; i < image.Cells().size(); ++i) {
        image.Cells()[i] = image.Cells()[i] + emission.Cells()[i];
    }
}

}  // namespace

RgbImage MakeFloor() {
    const int n = 512;
    const float slab = 256.0f;
    ColorImage albedo(n, n);
    HeightField height = Blank(n, n);
    HeightField gloss(n, n, 1.0f);
    const Color darkMarble = Hex(0x1f2a2c), darkVein = Hex(0x7d9a94);
    const Color lightMarble = Hex(0xb9b4aa), lightVein = Hex(0x5d5750);
    const Color grout = Hex(0x2a2622);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float u = (x + 0.5f) / n, v = (y + 0.5f) / n;
            // The grid is moved by half a slab so that the grout runs through the edges.
            const CellPosition c = Cell(x + 0.5f + slab / 2, y + 0.5f + slab / 2, slab, slab, 0, n, n);
            const bool dark = ((c.cx + c.cy) & 1) != 0;
            const float warp = Fbm(u, v, 4, 4, 6, 0.6f, 11 + (dark ? 1 : 0));
            const float phase = 2.0f * kPi * (u * 2.0f + v * 1.0f) + 6.0f * warp;
            const float broad = std::pow(1.0f - std::fabs(std::sin(phase)), 4.0f);
            const float sharp = std::pow(1.0f - std::fabs(std::sin(phase * 1.5f + 2.0f * warp)), 24.0f);
            const float cloud = Fbm(u, v, 3, 3, 4, 0.5f, 17 + (dark ? 1 : 0));
            const float fine = Fbm(u, v, 16, 16, 4, 0.5f, 23);
            const Color base = dark ? darkMarble : lightMarble;
            const Color veinColor = dark ? darkVein : lightVein;
            Color color = Mix(base, veinColor, Clamp01(broad * 0.35f + sharp * 0.7f));
            color = color * (0.9f + 0.12f * fine + 0.12f * cloud);
            const float bevel = SmoothStep(3.0f, 12.0f, c.edge);
            float h = bevel * 1.0f + 0.02f * fine;
            if (c.edge < 3.0f) {
                color = grout * (0.8f + 0.3f * Fbm(u, v, 64, 64, 2, 0.5f, 31));
                gloss.At(x, y) = 0.1f;
            }
            albedo.At(x, y) = color;
            height.At(x, y) = h;
        }
    }
    Lighting light;
    light.bump = 1.6f;
    light.specular = 0.45f;
    light.shininess = 40.0f;
    return ToRgb(Shade(albedo, height, light, &gloss));
}

RgbImage MakeBackdrop() {
    const int w = 1024, h = 512;
    ColorImage albedo(w, h);
    ColorImage glow(w, h);
    HeightField height = Blank(w, h);
    const Color stoneA = Hex(0x5d6670), stoneB = Hex(0x737b82), frieze = Hex(0x2b3138), plinth = Hex(0x3a3f45);
    const Color teal = Hex(0x3fe0d0);
    const float bay = 256.0f;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float u = fx / w, v = fy / h;
            const float grain = Fbm(u, v, 16, 8, 5, 0.5f, 101);
            const float stain = Fbm(u, v, 4, 2, 4, 0.6f, 103);
            Color color;
            float hgt = 0;
            Color emit{};
            if (fy < 56.0f) {
                // Frieze: metal band with notches and a glowing line.
                const float notch = std::fabs(Fract(fx / 32.0f) - 0.5f) * 2.0f;
                hgt = 0.6f + 0.25f * SmoothStep(0.3f, 0.6f, notch) * (fy > 8 && fy < 30 ? 1.0f : 0.0f);
                hgt -= 0.3f * (1.0f - SmoothStep(2.0f, 5.0f, std::fabs(fy - 42.0f)));
                color = frieze * (0.9f + 0.15f * grain);
                const float line = std::exp(-std::pow((fy - 42.0f) / 2.2f, 2.0f));
                emit = teal * (0.9f * line);
                hgt -= 0.2f * SmoothStep(52.0f, 56.0f, fy);
            } else if (fy >= 448.0f) {
                // Plinth: one long slab per bay with a rounded top edge.
                const float top = fy - 448.0f;
                const float lx = std::fmod(fx, bay);
                const float joint = std::min(lx, bay - lx);
                hgt = 0.7f * SmoothStep(0.0f, 8.0f, top) * SmoothStep(0.0f, 4.0f, joint) + 0.03f * grain;
                color = plinth * (0.9f + 0.2f * grain);
            } else {
                // Ashlar courses between fluted pilasters, a ring emblem in each bay.
                const float by = fy - 56.0f;
                const float px = std::fmod(fx, bay);
                const float pilasterDist = std::fabs(px - bay / 2.0f);
                if (pilasterDist < 28.0f) {
                    // Rounded shaft with three flutes, a block at its head and at its foot.
                    const float across = (px - bay / 2.0f) / 28.0f;
                    const float flute = std::max(0.0f, std::cos(across * 3.0f * kPi));
                    hgt = 0.6f + 0.5f * std::sqrt(std::max(0.0f, 1.0f - across * across)) - 0.18f * flute;
                    const bool block = by < 22.0f || by > 370.0f;
                    if (block) {
                        hgt = 1.0f - 0.3f * (1.0f - SmoothStep(20.0f, 27.0f, 28.0f - pilasterDist));
                        hgt -= 0.3f * (1.0f - SmoothStep(0.0f, 3.0f, std::fabs(by - 22.0f))) +
                               0.3f * (1.0f - SmoothStep(0.0f, 3.0f, std::fabs(by - 370.0f)));
                    }
                    color = Hex(0x8d949a) * (0.95f + 0.12f * grain) * (block ? 0.92f : 1.0f);
                } else {
                    const CellPosition c = Cell(fx, by, 128.0f, 56.0f, 64.0f, w, h);
                    const float tone = HashUnit(c.cx, c.cy, 107);
                    color = Mix(stoneA, stoneB, tone * 0.7f) * (0.9f + 0.15f * grain);
                    hgt = 0.5f * SmoothStep(1.5f, 6.0f, c.edge + 1.5f * grain) + 0.04f * grain;
                    if (c.edge < 2.0f) {
                        color = color * 0.55f;
                    }
                    // Engraved ring and its glow, centred between two pilasters.
                    const float ex = std::fmod(fx + bay / 2.0f, bay) - bay / 2.0f;
                    const float ey = by - 180.0f;
                    const float r = std::hypot(ex, ey);
                    const float ring = std::fabs(r - 62.0f);
                    const float spoke = std::fabs(std::sin(std::atan2(ey, ex) * 4.0f)) * r;
                    const bool inDisc = r < 80.0f;
                    if (inDisc) {
                        const float disc = SmoothStep(80.0f, 76.0f, r);
                        hgt = hgt * (1.0f - disc) + 0.55f * disc + 0.03f * grain;
                        color = Mix(color, stoneB * 1.05f, disc);
                    }
                    const float groove = 1.0f - SmoothStep(2.0f, 4.5f, ring);
                    const float spokeGroove = (r > 14.0f && r < 56.0f) ? 1.0f - SmoothStep(1.2f, 3.0f, spoke) : 0.0f;
                    const float cut = std::max(groove, spokeGroove);
                    hgt -= 0.3f * cut;
                    emit = emit + teal * (0.75f * cut);
                    const float core = 1.0f - SmoothStep(6.0f, 11.0f, r);
                    emit = emit + teal * (0.9f * core);
                }
                color = color * (0.85f + 0.2f * stain);
            }
            albedo.At(x, y) = color;
            height.At(x, y) = hgt;
            glow.At(x, y) = emit;
        }
    }
    Lighting light;
    light.bump = 2.5f;
    light.specular = 0.15f;
    ColorImage lit = Shade(albedo, height, light);
    AddEmission(lit, glow);
    return ToRgb(lit);
}

RgbImage MakeRivetedSteel() {
    const int n = 512;
    ColorImage albedo(n, n);
    HeightField height = Blank(n, n);
    HeightField gloss(n, n, 1.0f);
    const Color steel = Hex(0x7f8c98), grime = Hex(0x3a3530);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float u = fx / n, v = fy / n;
            const CellPosition c = Cell(fx + 128.0f, fy + 128.0f, 256.0f, 256.0f, 0.0f, n, n);
            const float brushed = Fbm(u, v, 2, 128, 3, 0.5f, 201);
            const float dirt = Fbm(u, v, 4, 4, 5, 0.55f, 203);
            const float seam = SmoothStep(1.0f, 4.0f, c.edge);
            float hgt = 0.6f * seam + 0.02f * brushed;
            // Rivets every 32 pixels, 12 pixels in from each plate edge.
            const float inset = 14.0f;
            float rivet = 0.0f;
            const float rx = std::fmod(c.lx, 32.0f) - 16.0f;
            const float ry = std::fmod(c.ly, 32.0f) - 16.0f;
            const bool nearVertical = std::fabs(c.lx - inset) < 8 || std::fabs(256.0f - c.lx - inset) < 8;
            const bool nearHorizontal = std::fabs(c.ly - inset) < 8 || std::fabs(256.0f - c.ly - inset) < 8;
            if (nearVertical) {
                const float dx = std::min(std::fabs(c.lx - inset), std::fabs(256.0f - c.lx - inset));
                const float d = std::hypot(dx, ry);
                rivet = std::max(rivet, std::sqrt(std::max(0.0f, 1.0f - (d / 6.0f) * (d / 6.0f))));
            }
            if (nearHorizontal) {
                const float dy = std::min(std::fabs(c.ly - inset), std::fabs(256.0f - c.ly - inset));
                const float d = std::hypot(rx, dy);
                rivet = std::max(rivet, std::sqrt(std::max(0.0f, 1.0f - (d / 6.0f) * (d / 6.0f))));
            }
            hgt += 0.9f * rivet;
            const float edgeDirt = 1.0f - SmoothStep(0.0f, 30.0f, c.edge);
            const float grimeAmount = Clamp01(0.25f + 0.6f * dirt + 0.5f * edgeDirt - 0.15f);
            const float plateTone = 0.9f + 0.15f * HashUnit(c.cx, c.cy, 205);
            Color color = steel * (plateTone * (0.9f + 0.12f * brushed));
            color = Mix(color, grime, grimeAmount * 0.55f);
            if (c.edge < 1.5f) {
                color = color * 0.4f;
            }
            albedo.At(x, y) = color;
            height.At(x, y) = hgt;
            gloss.At(x, y) = 1.0f - grimeAmount * 0.7f;
        }
    }
    Lighting light;
    light.bump = 2.0f;
    light.specular = 0.5f;
    light.shininess = 30.0f;
    return ToRgb(Shade(albedo, height, light, &gloss));
}

RgbImage MakeTechPanel() {
    const int n = 512;
    ColorImage albedo(n, n);
    ColorImage glow(n, n);
    HeightField height = Blank(n, n);
    const Color gunmetal = Hex(0x3b424b), inner = Hex(0x505963), amber = Hex(0xffa030);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float u = fx / n, v = fy / n;
            const float grain = Fbm(u, v, 8, 8, 5, 0.5f, 301);
            float hgt = 0.8f;
            Color color = gunmetal * (0.92f + 0.12f * grain);
            Color emit{};
            // Border groove where the panel meets its neighbour.
            const float border = std::min(std::min(fx, n - fx), std::min(fy, n - fy));
            hgt -= 0.4f * (1.0f - SmoothStep(3.0f, 7.0f, border));
            // Upper inset with three lamps, lower inset with vent slats.
            const float upper = BoxDistance(fx, fy, 40, 40, 472, 230);
            const float lower = BoxDistance(fx, fy, 40, 282, 472, 472);
            if (upper < 0) {
                hgt = 0.8f - 0.35f * SmoothStep(0.0f, -8.0f, upper);
                color = inner * (0.95f + 0.1f * grain);
                for (int lamp = 0; lamp < 3; ++lamp) {
                    const float cx = 128.0f + 128.0f * lamp;
                    const float d = BoxDistance(fx, fy, cx - 40, 120, cx + 40, 150);
                    if (d < 0) {
                        hgt = 0.45f + 0.15f * SmoothStep(0.0f, -5.0f, d);
                        const float intensity = (lamp == 1 ? 1.0f : 0.75f) * SmoothStep(0.0f, -6.0f, d);
                        color = Hex(0x3a2a10);
                        emit = amber * intensity;
                    } else {
                        emit = emit + amber * (0.35f * std::exp(-d / 5.0f));
                    }
                }
                // Screw heads in the inset's corners.
                for (float sx : {56.0f, 456.0f}) {
                    for (float sy : {56.0f, 214.0f}) {
                        const float d = std::hypot(fx - sx, fy - sy);
                        if (d < 6.0f) {
                            hgt = 0.45f + 0.3f * std::sqrt(1.0f - (d / 6.0f) * (d / 6.0f));
                            if (std::fabs(fx - sx - (fy - sy)) < 1.2f) {
                                hgt -= 0.2f;
                            }
                        }
                    }
                }
            } else if (lower < 0) {
                hgt = 0.8f - 0.35f * SmoothStep(0.0f, -8.0f, lower);
                color = inner * (0.9f + 0.1f * grain);
                const float slatY = std::fmod(fy - 282.0f, 19.0f);
                if (lower < -16.0f) {
                    const float slat = std::sin(slatY / 19.0f * kPi);
                    hgt = 0.25f + 0.3f * slat;
                    color = color * (0.55f + 0.45f * slat);
                }
            } else {
                hgt -= 0.3f * (1.0f - SmoothStep(1.0f, 3.0f, std::fabs(fx - 256.0f))) * (fy > 236 && fy < 276 ? 0 : 1);
            }
            // Warning chevrons along the top edge of the panel.
            if (fy < 30 && fy > 10) {
                const float stripe = Fract((fx + fy) / 32.0f);
                color = stripe < 0.5f ? Hex(0xd8a020) * (0.9f + 0.1f * grain) : Hex(0x1c1c1c);
                hgt = 0.85f;
            }
            albedo.At(x, y) = color;
            height.At(x, y) = hgt;
            glow.At(x, y) = emit;
        }
    }
    Lighting light;
    light.bump = 3.0f;
    light.specular = 0.4f;
    light.shininess = 20.0f;
    ColorImage lit = Shade(albedo, height, light);
    AddEmission(lit, glow);
    return ToRgb(lit);
}

RgbImage MakeBrickWall() {
    const int n = 512;
    ColorImage albedo(n, n);
    HeightField height = Blank(n, n);
    const Color mortar = Hex(0xa29c90);
    const Color bricks[] = {Hex(0x8e4a32), Hex(0xa65a3a), Hex(0x7a3f2c), Hex(0x9c5236), Hex(0xb06a46)};
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float u = fx / n, v = fy / n;
            const float rough = Fbm(u, v, 16, 16, 5, 0.55f, 401);
            const float chip = Fbm(u, v, 32, 32, 3, 0.5f, 403);
            const CellPosition c = Cell(fx + 2.0f, fy + 2.0f, 128.0f, 32.0f, 64.0f, n, n);
            const float edge = c.edge + 2.2f * chip;
            const float brick = SmoothStep(2.5f, 5.5f, edge);
            const Color bc = bricks[Hash(static_cast<uint32_t>(c.cx), static_cast<uint32_t>(c.cy), 405) % 5];
            Color color = Mix(mortar * (0.85f + 0.15f * rough), bc * (0.85f + 0.2f * rough), brick);
            const float soot = Clamp01(Fbm(u, v, 3, 3, 4, 0.6f, 407) * 1.5f);
            color = color * (1.0f - 0.35f * soot);
            albedo.At(x, y) = color;
            height.At(x, y) = 0.7f * brick + 0.08f * rough;
        }
    }
    Lighting light;
    light.bump = 3.0f;
    light.specular = 0.08f;
    return ToRgb(Shade(albedo, height, light));
}

RgbImage MakeDecoTiles() {
    const int n = 512;
    ColorImage albedo(n, n);
    HeightField height = Blank(n, n);
    HeightField gloss(n, n, 1.0f);
    const Color bronze = Hex(0xb07a3c), verdigris = Hex(0x4f9c88), dark = Hex(0x3c2a1a);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float u = fx / n, v = fy / n;
            const float patina = Fbm(u, v, 6, 6, 5, 0.55f, 501);
            const CellPosition c = Cell(fx, fy, 128.0f, 128.0f, 0.0f, n, n);
            const float lx = c.lx - 64.0f, ly = c.ly - 64.0f;
            const float frame = SmoothStep(2.0f, 6.0f, c.edge);
            // Diamond, circle and fan rays of an embossed tile.
            const float diamond = std::fabs(lx) + std::fabs(ly);
            const float r = std::hypot(lx, ly);
            float hgt = 0.5f * frame;
            hgt += 0.25f * (1.0f - SmoothStep(2.0f, 4.0f, std::fabs(diamond - 56.0f)));
            hgt += 0.3f * (1.0f - SmoothStep(1.5f, 3.5f, std::fabs(r - 30.0f)));
            hgt += 0.35f * (1.0f - SmoothStep(10.0f, 14.0f, r));
            const float angle = std::atan2(ly, lx);
            if (r > 34.0f && diamond < 52.0f) {
                const float ray = std::fabs(std::sin(angle * 8.0f));
                hgt -= 0.12f * SmoothStep(0.6f, 0.9f, ray);
            }
            // Corner quarter circles join into rings across tile corners.
            const float corner = std::hypot(64.0f - std::fabs(lx), 64.0f - std::fabs(ly));
            hgt += 0.25f * (1.0f - SmoothStep(1.5f, 3.5f, std::fabs(corner - 20.0f)));
            const float recess = Clamp01(0.55f - hgt);
            Color color = bronze * (0.85f + 0.2f * patina);
            color = Mix(color, verdigris * (0.9f + 0.2f * patina), Clamp01(recess * 1.6f + 0.4f * patina - 0.1f));
            if (c.edge < 2.0f) {
                color = dark;
            }
            albedo.At(x, y) = color;
            height.At(x, y) = hgt;
            gloss.At(x, y) = Clamp01(1.0f - recess * 1.8f);
        }
    }
    Lighting light;
    light.bump = 3.0f;
    light.specular = 0.55f;
    light.shininess = 18.0f;
    return ToRgb(Shade(albedo, height, light, &gloss));
}

RgbImage MakeTreadPlate() {
    const int n = 512;
    ColorImage albedo(n, n);
    HeightField height = Blank(n, n);
    HeightField gloss(n, n, 1.0f);
    const Color steel = Hex(0x8a9096), rust = Hex(0x7a4a2a);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float u = fx / n, v = fy / n;
            const float wear = Fbm(u, v, 4, 4, 5, 0.55f, 601);
            const float border = std::min(std::min(fx, n - fx), std::min(fy, n - fy));
            float hgt = 0.3f;
            Color color = steel * (0.88f + 0.15f * wear);
            if (border < 36.0f) {
                // Hazard frame: diagonal yellow and black bands with a raised lip.
                const float stripe = Fract((fx + fy) / 48.0f);
                color = stripe < 0.5f ? Hex(0xe0b020) : Hex(0x202020);
                color = color * (0.85f + 0.2f * wear);
                hgt = 0.5f;
                hgt -= 0.3f * (1.0f - SmoothStep(0.0f, 3.0f, border));
                hgt += 0.1f * SmoothStep(30.0f, 34.0f, border) * (1.0f - SmoothStep(34.0f, 36.0f, border));
            } else {
                // Raised lozenges, alternating between the two diagonals.
                const float cell = 32.0f;
                const int cx = static_cast<int>(std::floor(fx / cell));
                const int cy = static_cast<int>(std::floor(fy / cell));
                const float lx = fx - (cx + 0.5f) * cell;
                const float ly = fy - (cy + 0.5f) * cell;
                const float s = ((cx + cy) & 1) ? 1.0f : -1.0f;
                const float a = (lx + s * ly) * 0.7071f;
                const float b = (lx - s * ly) * 0.7071f;
                const float e = (a / 11.0f) * (a / 11.0f) + (b / 3.2f) * (b / 3.2f);
                const float lozenge = std::sqrt(std::max(0.0f, 1.0f - e));
                hgt = 0.3f + 0.45f * lozenge;
                hgt -= 0.15f * (1.0f - SmoothStep(0.0f, 4.0f, border - 36.0f));
            }
            const float rustAmount = Clamp01((wear - 0.25f) * 2.5f) * (1.0f - SmoothStep(0.3f, 0.6f, hgt));
            color = Mix(color, rust, rustAmount * 0.7f);
            albedo.At(x, y) = color;
            height.At(x, y) = hgt;
            gloss.At(x, y) = 1.0f - rustAmount;
        }
    }
    Lighting light;
    light.bump = 2.5f;
    light.specular = 0.6f;
    light.shininess = 28.0f;
    return ToRgb(Shade(albedo, height, light, &gloss));
}

std::vector<AssetMember> BuildTextures() {
    struct Entry {
        const char* name;
        RgbImage (*make)();
    };
    const Entry entries[] = {
        {"tex\\cl.jpg", MakeBackdrop},     {"tex\\f.jpg", MakeFloor},       {"tex\\w1.jpg", MakeRivetedSteel},
        {"tex\\w2.jpg", MakeTechPanel},    {"tex\\w3.jpg", MakeBrickWall},  {"tex\\w4.jpg", MakeDecoTiles},
        {"tex\\ce.jpg", MakeTreadPlate},
    };
    std::vector<AssetMember> members;
    for (const Entry& entry : entries) {
        std::vector<uint8_t> bytes = EncodeJpeg(entry.make());
        if (bytes.empty()) {
            throw std::runtime_error(std::string("JPEG encoding failed for ") + entry.name);
        }
        members.push_back({entry.name, std::move(bytes)});
    }
    return members;
}

}  // namespace assetgen
