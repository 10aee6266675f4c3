// Fuzz target: the PCX reader. No size filter: the reader itself refuses pictures
// larger than the run-length data could fill.
#include "fuzz_image.h"
#include "image/kvl_imagereader_pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzImageReader<KVLImageReaderPCX>(data, size, size % 2 == 0);
}
