// The hall's materials: backdrop, floor, four wall textures and the box tops, drawn
// procedurally and stored as JPEG archive members.
#pragma once

#include <vector>

#include "assets/asset_member.h"
#include "assets/procedural.h"

namespace assetgen {

// Backdrop: 1024 × 512, repeats sideways (and upwards) without a seam.
RgbImage MakeBackdrop();
// Floor: 512 × 512 slabs, repeats both ways.
RgbImage MakeFloor();
// Wall textures 1 to 4 and the box top, 512 × 512 each.
RgbImage MakeRivetedSteel();
RgbImage MakeTechPanel();
RgbImage MakeBrickWall();
RgbImage MakeDecoTiles();
RgbImage MakeTreadPlate();

// "tex\cl.jpg", "tex\f.jpg", "tex\w1.jpg" … "tex\w4.jpg", "tex\ce.jpg".
std::vector<AssetMember> BuildTextures();

}  // namespace assetgen
