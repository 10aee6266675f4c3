// One member of the generated data archive: its name in the archive (backslash
// separators, at most 16 characters) and its bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AssetMember {
    std::string name;
    std::vector<uint8_t> bytes;
};
