// Writes 8-bit PCX pictures: version 5, one plane, run-length coded, with the
// 256-colour palette after the marker byte 12 at the end of the file. Rows are
// coded one at a time (runs never cross a row); an odd width gets one padding
// byte per row, as the format wants an even number of bytes per line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;        // palette indices, top row first
    std::array<uint8_t, 768> palette{}; // red, green, blue per entry
};

// The PCX file, or an empty vector (with a reason in error when given) for a
// size outside 1..65535 or a pixel count that does not match.
std::vector<uint8_t> WritePcx(const IndexedImage& image, std::string* error = nullptr);
