// Poses of the generated characters rendered offscreen by the engine's renderer, for
// the contact sheet.
#pragma once

#include <string>
#include <vector>

#include "assets/asset_member.h"
#include "assets/contact_sheet.h"

namespace assetgen {

// For every "…\m.md2" member, the model under its first skin (the member after it) in
// a few poses. Returns false with a reason when offscreen OpenGL is unavailable; the
// contact sheet is then made without them.
bool RenderModelPoses(const std::vector<AssetMember>& members, std::vector<SheetPicture>& pictures,
                      std::string& reason);

}  // namespace assetgen
