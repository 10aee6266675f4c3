// The catalogue of the four characters: which file makes each figure, paints
// its parts and gives its colour schemes. The characters themselves are in
// figure_ddz.cpp, figure_ld.cpp, figure_neko.cpp and figure_tw.cpp; what they
// share is in figure_kit.h.

#include "assets/characters/figures.h"

#include "assets/characters/figure_kit.h"

#include <iterator>

namespace {

struct Character {
    const char* key;
    Figure (*make)();
    Texel (*paint)(const SurfacePoint&);
    std::vector<Rgb> (*scheme)(int variant);
};

// Catalogue order. A key that is not listed is painted like the last entry.
constexpr Character kCharacters[] = {
    {"ddz", figure_kit::MakeDdz, figure_kit::PaintDdz, figure_kit::DdzScheme},
    {"ld", figure_kit::MakeLd, figure_kit::PaintLd, figure_kit::LdScheme},
    {"neko", figure_kit::MakeNeko, figure_kit::PaintNeko, figure_kit::NekoScheme},
    {"tw", figure_kit::MakeTw, figure_kit::PaintTw, figure_kit::TwScheme},
};

const Character& CharacterOf(const std::string& key)
{
    for (const Character& c : kCharacters)
        if (key == c.key)
            return c;
    return *std::prev(std::end(kCharacters));
}

}  // namespace

std::vector<Figure> MakeFigures()
{
    std::vector<Figure> figures;
    for (const Character& c : kCharacters)
        figures.push_back(c.make());
    return figures;
}

IndexedImage PaintFigureSkin(const Figure& figure, const Rig& rig, int variant)
{
    const Character& c = CharacterOf(figure.key);
    return PaintSkin(rig, kSkinSize, kSkinSize, c.scheme(variant), c.paint, Texel{figure_kit::rDark, 2.0f});
}
