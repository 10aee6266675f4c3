// Writes a list of members into a fresh PAK archive through the engine's archive
// streams.
#pragma once

#include <string>
#include <vector>

#include "assets/asset_member.h"

namespace assetgen {

// Builds the archive under a temporary name beside path and moves it into place, so
// that an interrupted run never leaves a partial archive behind. False (with a message
// in error) on failure.
bool WritePak(const std::string& path, const std::vector<AssetMember>& members, std::string& error);

}  // namespace assetgen
