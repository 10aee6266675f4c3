// The generated MD2 characters and their PCX skins, as archive members.
#pragma once

#include "assets/asset_member.h"

#include <vector>

// The twelve members "md2\ddz\m.md2" ... "md2\tw\s3.pcx" in catalogue id order
// (2 to 13): each model followed by its skins. Empty if building failed (which
// would be a fault in the generator's own data).
std::vector<AssetMember> BuildCharacters();
