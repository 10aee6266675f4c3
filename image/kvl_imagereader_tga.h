// KVLImageReaderTGA: Truevision Targa pictures: colour-mapped, greyscale, 16-, 24- and
// 32-bit true colour, plain and run-length, either row order.
#pragma once

#include "image/kvl_image.h"

class KVLImageReaderTGA : public KVLImageReader {
    KVL_DECLARE_CLASS(KVLImageReaderTGA)
public:
    bool CanRead(const KVLString& extension) const override;
    std::unique_ptr<KVLImage> ReadStream(KVLStream& stream, KVLPixelFormat* format, KVLImageProgress* progress,
                                         KVLString* errorText) override;
};
