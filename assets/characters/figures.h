// The four generated characters: their bodies (skeleton and parts), their
// movement and their skins. Kept apart from the MD2 and PCX assembly so the
// preview tool and the tests can reach the pieces.
#pragma once

#include "assets/characters/animation.h"
#include "assets/characters/pcx_writer.h"
#include "assets/characters/rig.h"

#include <string>
#include <vector>

struct Figure {
    std::string key;                    // "ddz", "ld", "neko", "tw"
    Body body;
    Motion motion;
    bool frontClockwise = true;         // winding stored in the MD2 file
    std::vector<std::string> skinNames; // archive member names of the skins
};

constexpr int kSkinSize = 256;

// The four figures in catalogue order: ddz, ld, neko, tw.
std::vector<Figure> MakeFigures();

// Skin number `variant` (0-based, below the figure's skin count) of a figure
// whose rig has been built.
IndexedImage PaintFigureSkin(const Figure& figure, const Rig& rig, int variant);
