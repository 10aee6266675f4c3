// PCX writer. A run is a byte 0xC0 | count (count 1..63) followed by the value;
// a single value below 0xC0 is stored as itself, and a single value of 0xC0 or
// more needs a run of one, since it would otherwise read as a run byte.

#include "assets/characters/pcx_writer.h"

#include <algorithm>

namespace {

constexpr int kMaxRun = 63;

void PutU16(std::vector<uint8_t>& out, int v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void EncodeRow(std::vector<uint8_t>& out, const uint8_t* row, int count)
{
    int i = 0;
    while (i < count) {
        const uint8_t value = row[i];
        int run = 1;
        while (i + run < count && run < kMaxRun && row[i + run] == value)
            ++run;
        if (run > 1 || value >= 0xC0)
            out.push_back(static_cast<uint8_t>(0xC0 | run));
        out.push_back(value);
        i += run;
    }
}

}  // namespace

std::vector<uint8_t> WritePcx(const IndexedImage& image, std::string* error)
{
    if (image.width < 1 || image.height < 1 || image.width > 65535 || image.height > 65535) {
        if (error)
            *error = "picture size out of range";
        return {};
    }
    if (image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        if (error)
            *error = "pixel count does not match the size";
        return {};
    }
    const int bytesPerLine = (image.width + 1) & ~1;

    std::vector<uint8_t> out;
    out.reserve(128 + image.pixels.size() + 769);
    out.push_back(10);  // manufacturer
    out.push_back(5);   // version: 256-colour palette at the end
    out.push_back(1);   // run-length coding
    out.push_back(8);   // bits per pixel per plane
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, image.width - 1);
    PutU16(out, image.height - 1);
    PutU16(out, 72);
    PutU16(out, 72);
    for (int i = 0; i < 48; ++i)  // 16-colour palette, unused at 8 bits
        out.push_back(0);
    out.push_back(0);             // reserved
    out.push_back(1);             // planes
    PutU16(out, bytesPerLine);
    PutU16(out, 1);               // palette type: colour
    PutU16(out, 0);
    PutU16(out, 0);
    out.resize(128, 0);

    std::vector<uint8_t> row(static_cast<size_t>(bytesPerLine), 0);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = image.pixels.data() + static_cast<size_t>(y) * image.width;
        std::copy(src, src + image.width, row.begin());
        EncodeRow(out, row.data(), bytesPerLine);
    }
    out.push_back(12);
    out.insert(out.end(), image.palette.begin(), image.palette.end());
    if (error)
        error->clear();
    return out;
}
