// Fuzz target: the TGA reader. No size filter: the reader itself refuses pictures
// larger than the pixel data could fill.
#include "fuzz_image.h"
#include "image/kvl_imagereader_tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzImageReader<KVLImageReaderTGA>(data, size, size % 2 == 0);
}
