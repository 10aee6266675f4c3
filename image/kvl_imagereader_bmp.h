// KVLImageReaderBMP: Windows bitmaps with the 40-byte information header (or a later,
// longer one) or the 12-byte core header. Palette pictures of 1, 4 and 8 bits, 8-bit
// run-length pictures, and uncompressed 16-bit (RGB 555), 24- and 32-bit pictures.
// Bit-field masks (compression 3) and 4-bit run-length data are not read.
#pragma once

#include "image/kvl_image.h"

class KVLImageReaderBMP : public KVLImageReader {
    KVL_DECLARE_CLASS(KVLImageReaderBMP)
public:
    bool CanRead(const KVLString& extension) const override;
    std::unique_ptr<KVLImage> ReadStream(KVLStream& stream, KVLPixelFormat* format, KVLImageProgress* progress,
                                         KVLString* errorText) override;
};
