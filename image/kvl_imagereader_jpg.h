// KVLImageReaderJPG: baseline and progressive JPEG through the IJG decompression API (here
// libjpeg-turbo), with a data source reading from a KVLStream.
#pragma once

#include "image/kvl_image.h"

class KVLImageReaderJPG : public KVLImageReader {
    KVL_DECLARE_CLASS(KVLImageReaderJPG)
public:
    bool CanRead(const KVLString& extension) const override;
    std::unique_ptr<KVLImage> ReadStream(KVLStream& stream, KVLPixelFormat* format, KVLImageProgress* progress,
                                         KVLString* errorText) override;
};
