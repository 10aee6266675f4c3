// Text for the cards and the credits, drawn from a TrueType face through FreeType
// into coverage masks (0 … 1 per pixel).
#pragma once

#include <string>

#include "assets/procedural.h"

typedef struct FT_LibraryRec_* FT_Library;
typedef struct FT_FaceRec_* FT_Face;

namespace assetgen {

// Path of a font file of the generator's font folder (fonts-dejavu-core).
std::string FontPath(const std::string& file);

class TextFace {
public:
    // Throws std::runtime_error when the font cannot be loaded.
    explicit TextFace(const std::string& path);
    ~TextFace();
    TextFace(const TextFace&) = delete;
    TextFace& operator=(const TextFace&) = delete;

    void SetPixelSize(int pixels);
    // Advance width in pixels of the text at the current size (no kerning).
    int Measure(const std::string& text) const;
    // Adds the text's coverage into mask with its baseline at y, starting at x;
    // letterSpacing adds pixels between characters.
    void Draw(HeightField& mask, int x, int y, const std::string& text, int letterSpacing = 0) const;
    // Draws centred on the horizontal position cx.
    void DrawCentred(HeightField& mask, int cx, int y, const std::string& text, int letterSpacing = 0) const;
    int MeasureSpaced(const std::string& text, int letterSpacing) const;

private:
    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
};

}  // namespace assetgen
