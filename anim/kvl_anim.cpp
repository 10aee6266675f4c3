// KVLAnim: registration and the file-opening wrapper.
#include "anim/kvl_anim.h"

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"

KVL_IMPLEMENT_ABSTRACT_CLASS(KVLAnim, KVLObject);

bool KVLAnim::OpenFile(const KVLString& path, KVLPixelFormat* format, KVLString* errorText) {
    KVLFileStream file(path);
    KVLBufferedStream buffered(file, 65536);
    return Open(buffered, format, errorText);
}
