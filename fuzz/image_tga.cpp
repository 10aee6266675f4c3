// Fuzz target: the TGA reader.
#include "fuzz_image.h"
#include "image/kvl_imagereader_tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 18 && int64_t{KVLGetU16(data + 12)} * KVLGetU16(data + 14) > kFuzzMaxPixels) {
        return 0;
    }
    return FuzzImageReader<KVLImageReaderTGA>(data, size, size % 2 == 0);
}
