// KVLAnim: the abstract frame animation. An animation is opened on a stream, holds
// one current frame, steps through its frames in a loop and converts the current
// frame into a caller-provided 32-bit KVLImage.
#pragma once

#include <cstdint>

#include "core/kvl_object.h"
#include "core/kvl_stream.h"
#include "core/kvl_string.h"
#include "anim/kvl_anim_classranks.h"
#include "image/kvl_image.h"

class KVLAnim : public KVLObject {
    KVL_DECLARE_CLASS(KVLAnim)
public:
    // Extension without the dot; ASCII case is ignored.
    virtual bool CanRead(const KVLString& extension) const = 0;
    // Opens an unopened stream (the animation keeps its own clone of it). format and
    // errorText are optional.
    virtual bool Open(const KVLStream& stream, KVLPixelFormat* format, KVLString* errorText) = 0;
    // Open on the file behind a 64 KiB read buffer.
    virtual bool OpenFile(const KVLString& path, KVLPixelFormat* format, KVLString* errorText);
    virtual int32_t GetWidth() const = 0;
    virtual int32_t GetHeight() const = 0;
    virtual int32_t GetFrameCount() const = 0;
    // Index of the frame in the buffer; -1 before the first.
    virtual int32_t GetCurrentFrame() const = 0;
    virtual float GetTiming() const = 0;
    // Reads the next frame (after the last one, the first again).
    virtual bool NextFrame() = 0;
    // Writes the current frame into image, which must be width x height pixels.
    virtual bool GetFrame(KVLImage& image) = 0;
};
