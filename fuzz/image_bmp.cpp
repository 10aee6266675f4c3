// Fuzz target: the BMP reader.
#include "fuzz_image.h"
#include "image/kvl_imagereader_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 26) {
        const int64_t w = KVLGetS32(data + 18);
        int64_t h = KVLGetS32(data + 22);
        h = h < 0 ? -h : h;
        if (w * h > kFuzzMaxPixels) {
            return 0;
        }
    }
    return FuzzImageReader<KVLImageReaderBMP>(data, size, size % 2 == 0);
}
