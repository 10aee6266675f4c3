// The opening and closing cards, 512 × 256 pictures with text, stored as JPEG.
#pragma once

#include <vector>

#include "assets/asset_member.h"
#include "assets/procedural.h"

namespace assetgen {

RgbImage MakeTitleCard();
RgbImage MakeEndCard();

// "tex\prt.jpg" and "tex\end.jpg".
std::vector<AssetMember> BuildCards();

}  // namespace assetgen
