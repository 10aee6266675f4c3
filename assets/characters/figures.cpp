// The catalogue of the four characters: which file makes each figure, paints
// its parts and gives its colour schemes. The characters themselves are in
// figure_ddz.cpp, figure_ld.cpp, figure_neko.cpp and figure_tw.cpp; what they
// share is in figure_kit.h.

#include "assets/characters/figures.h"

#include "assets/characters/figure_kit.h"

#include <array>

namespace {

using figure_kit::CharacterDesign;

// The characters in catalogue order.
std::array<CharacterDesign, 4> Catalogue()
{
    return {figure_kit::DdzDesign(), figure_kit::LdDesign(), figure_kit::NekoDesign(), figure_kit::TwDesign()};
}

// A key that is not in the catalogue is painted like the last entry.
CharacterDesign DesignOf(const std::string& key)
{
    const std::array<CharacterDesign, 4> designs = Catalogue();
    for (const CharacterDesign& c : designs)
        if (key == c.key)
            return c;
    return designs.back();
}

}  // namespace

std::vector<Figure> MakeFigures()
{
    std::vector<Figure> figures;
    for (const CharacterDesign& c : Catalogue())
        figures.push_back({c.key, c.body(), c.motion, c.frontClockwise, c.skinNames});
    return figures;
}

IndexedImage PaintFigureSkin(const Figure& figure, const Rig& rig, int variant)
{
    const CharacterDesign c = DesignOf(figure.key);
    return PaintSkin(rig, kSkinSize, kSkinSize, c.scheme(variant), c.paint, Texel{figure_kit::rDark, 2.0f});
}
