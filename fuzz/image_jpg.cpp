// Fuzz target: the JPEG reader (the stream source and error exit around the library).
#include "fuzz_image.h"
#include "image/kvl_imagereader_jpg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Skip inputs whose first frame header declares a large picture.
    for (size_t i = 0; i + 9 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
            data[i + 1] != 0xC8 && data[i + 1] != 0xCC) {
            const int64_t h = (data[i + 5] << 8) | data[i + 6];
            const int64_t w = (data[i + 7] << 8) | data[i + 8];
            if (w * h > kFuzzMaxPixels) {
                return 0;
            }
            break;
        }
    }
    return FuzzImageReader<KVLImageReaderJPG>(data, size, size % 2 == 0);
}
