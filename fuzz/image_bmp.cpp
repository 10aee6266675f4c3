// Fuzz target: the BMP reader. Uncompressed pictures are bounded by their data; a
// run-length picture is held only to the pixel budget, which a file of a few bytes
// can reach by design, so those above kFuzzMaxPixels are skipped.
#include "fuzz_image.h"
#include "image/kvl_imagereader_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Only an info header (40 bytes or more) has a compression field.
    if (size >= 34 && KVLGetU32(data + 14) >= 40 && KVLGetU32(data + 30) != 0) {
        const int64_t w = KVLGetS32(data + 18);
        int64_t h = KVLGetS32(data + 22);
        h = h < 0 ? -h : h;
        if (w * h > kFuzzMaxPixels) {
            return 0;
        }
    }
    return FuzzImageReader<KVLImageReaderBMP>(data, size, size % 2 == 0);
}
