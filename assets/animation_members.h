// The two MLZ members of the archive, encoded with the engine's own MLZ writer from
// the generated frames.
#pragma once

#include <vector>

#include "assets/asset_member.h"

namespace assetgen {

// "anm\qv.mlz" (credits, 8-bit, delta-coded) and "anm\porn.mlz" (effect, 8-bit,
// delta-coded). Throws when the encoder refuses the frames (a fault of the generator).
std::vector<AssetMember> BuildAnimations();

}  // namespace assetgen
