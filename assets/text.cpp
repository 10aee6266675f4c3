// FreeType glue: hinted 8-bit anti-aliased glyphs, rendered one at a time.
#include "assets/text.h"

#include <algorithm>
#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace assetgen {

std::string FontPath(const std::string& file) { return std::string(ZARNOTH_FONT_DIR) + "/" + file; }

TextFace::TextFace(const std::string& path) {
    if (FT_Init_FreeType(&m_library) != 0) {
        throw std::runtime_error("FreeType could not start");
    }
    if (FT_New_Face(m_library, path.c_str(), 0, &m_face) != 0) {
        FT_Done_FreeType(m_library);
        throw std::runtime_error("cannot load the font " + path);
    }
}

TextFace::~TextFace() {
    FT_Done_Face(m_face);
    FT_Done_FreeType(m_library);
}

void TextFace::SetPixelSize(int pixels) { FT_Set_Pixel_Sizes(m_face, 0, static_cast<FT_UInt>(pixels)); }

int TextFace::Measure(const std::string& text) const { return MeasureSpaced(text, 0); }

int TextFace::MeasureSpaced(const std::string& text, int letterSpacing) const {
    int width = 0;
    for (unsigned char ch : text) {
        if (FT_Load_Char(m_face, ch, FT_LOAD_DEFAULT) == 0) {
            width += static_cast<int>(m_face->glyph->advance.x >> 6) + letterSpacing;
        }
    }
    return text.empty() ? 0 : width - letterSpacing;
}

void TextFace::Draw(HeightField& mask, int x, int y, const std::string& text, int letterSpacing) const {
    int pen = x;
    for (unsigned char ch : text) {
        if (FT_Load_Char(m_face, ch, FT_LOAD_RENDER) != 0) {
            continue;
        }
        const FT_GlyphSlot glyph = m_face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        const int left = pen + glyph->bitmap_left;
        const int top = y - glyph->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const int px = left + static_cast<int>(col);
                const int py = top + static_cast<int>(row);
                if (px < 0 || py < 0 || px >= mask.Width() || py >= mask.Height()) {
                    continue;
                }
                const float coverage = bitmap.buffer[row * static_cast<unsigned>(bitmap.pitch) + col] / 255.0f;
                mask.At(px, py) = std::min(1.0f, mask.At(px, py) + coverage);
            }
        }
        pen += static_cast<int>(glyph->advance.x >> 6) + letterSpacing;
    }
}

void TextFace::DrawCentred(HeightField& mask, int cx, int y, const std::string& text, int letterSpacing) const {
    Draw(mask, cx - MeasureSpaced(text, letterSpacing) / 2, y, text, letterSpacing);
}

}  // namespace assetgen
