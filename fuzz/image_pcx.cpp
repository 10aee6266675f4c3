// Fuzz target: the PCX reader.
#include <algorithm>

#include "fuzz_image.h"
#include "image/kvl_imagereader_pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 68) {
        // The widest the size rules can make the picture.
        const int64_t w = std::max<int64_t>(int64_t{KVLGetU16(data + 8)} - KVLGetU16(data + 4) + 1,
                                            8 * int64_t{KVLGetU16(data + 66)});
        const int64_t h = int64_t{KVLGetU16(data + 10)} - KVLGetU16(data + 6) + 1;
        if (w * h > kFuzzMaxPixels) {
            return 0;
        }
    }
    return FuzzImageReader<KVLImageReaderPCX>(data, size, size % 2 == 0);
}
