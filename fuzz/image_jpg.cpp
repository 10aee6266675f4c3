// Fuzz target: the JPEG reader (the stream source and error exit around the library).
// Huffman-coded pictures are bounded by their data in the reader; an arithmetic-coded
// one is held only to the pixel budget, which a few bytes can reach by design, so
// those above kFuzzMaxPixels are skipped.
#include "fuzz_image.h"
#include "image/kvl_imagereader_jpg.h"

namespace {

// Frame header markers of the arithmetic-coded processes.
bool IsArithmeticFrame(uint8_t marker) { return marker >= 0xC9 && marker <= 0xCF && marker != 0xCC; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 9 < size; ++i) {
        if (data[i] == 0xFF && IsArithmeticFrame(data[i + 1])) {
            const int64_t h = (data[i + 5] << 8) | data[i + 6];
            const int64_t w = (data[i + 7] << 8) | data[i + 8];
            if (w * h > kFuzzMaxPixels) {
                return 0;
            }
        }
    }
    return FuzzImageReader<KVLImageReaderJPG>(data, size, size % 2 == 0);
}
