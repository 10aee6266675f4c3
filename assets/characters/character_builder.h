// Turns a figure into its MD2 model and skins: builds the rig, poses it for the
// 198 frames, and paints the skins.
#pragma once

#include "assets/characters/figures.h"
#include "assets/characters/md2_writer.h"

#include <string>
#include <vector>

struct BuiltCharacter {
    Figure figure;
    Rig rig;
    Md2Model model;
    std::vector<IndexedImage> skins;
};

bool BuildCharacter(const Figure& figure, BuiltCharacter& out, std::string* error);
