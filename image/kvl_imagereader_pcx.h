// KVLImageReaderPCX: run-length PCX pictures: 256 colours with the palette at the end of the file,
// monochrome, 16 colours in four bit planes, and 24-bit in three planes (version 5).
#pragma once

#include "image/kvl_image.h"

class KVLImageReaderPCX : public KVLImageReader {
    KVL_DECLARE_CLASS(KVLImageReaderPCX)
public:
    bool CanRead(const KVLString& extension) const override;
    std::unique_ptr<KVLImage> ReadStream(KVLStream& stream, KVLPixelFormat* format, KVLImageProgress* progress,
                                         KVLString* errorText) override;
};
