// KVLImageReaderJPG: the glue between a KVLStream and the IJG decompressor.
//
// The library reports fatal errors through an error-exit callback that must not
// return; it longjmps back into Decode. Decode therefore holds no object with a
// destructor: everything it fills lives in its caller's frame. Warnings (such as the
// premature end of a truncated file, after which the library pads the picture) are
// not printed: the engine has no log.
#include "image/kvl_imagereader_jpg.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace {

constexpr size_t kInputBufferSize = 4096;

struct StreamSource {
    jpeg_source_mgr pub;
    KVLStream* stream;
    JOCTET* buffer;
    boolean startOfFile;
};

struct ErrorHandler {
    jpeg_error_mgr pub;
    std::jmp_buf recovery;
};

void InitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<StreamSource*>(cinfo->src)->startOfFile = TRUE;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    StreamSource* src = reinterpret_cast<StreamSource*>(cinfo->src);
    int32_t got = src->stream->Read(src->buffer, static_cast<int32_t>(kInputBufferSize));
    if (got <= 0) {
        if (src->startOfFile) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = static_cast<size_t>(got);
    src->startOfFile = FALSE;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr* src = cinfo->src;
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        src->fill_input_buffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void AttachStream(j_decompress_ptr cinfo, KVLStream* stream) {
    if (cinfo->src == nullptr) {
        StreamSource* src = static_cast<StreamSource*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(StreamSource)));
        src->buffer = static_cast<JOCTET*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kInputBufferSize));
        cinfo->src = &src->pub;
    }
    StreamSource* src = reinterpret_cast<StreamSource*>(cinfo->src);
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->stream = stream;
}

void ErrorExit(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::longjmp(reinterpret_cast<ErrorHandler*>(cinfo->err)->recovery, 1);
}

void SilentOutput(j_common_ptr) {}

// Decodes into an intermediate picture that allocate provides once the size is known; false on a fatal library
// error or a refused size. The decompressor is destroyed on every path.
bool Decode(KVLStream& stream, KVLImageProgress* progress, KVLPicture* (*allocate)(void*, int32_t, int32_t),
            void* context) {
    jpeg_decompress_struct cinfo;
    ErrorHandler err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.output_message = SilentOutput;
    if (setjmp(err.recovery) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    AttachStream(&cinfo, &stream);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);

    const int32_t width = static_cast<int32_t>(cinfo.output_width);
    const int32_t height = static_cast<int32_t>(cinfo.output_height);
    KVLPicture* picture = KVLImageSizeOK(width, height) ? allocate(context, width, height) : nullptr;
    if (picture == nullptr) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (progress != nullptr) {
        progress->Begin(height);
    }
    const int components = cinfo.output_components;
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                 cinfo.output_width * static_cast<JDIMENSION>(components), 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        jpeg_read_scanlines(&cinfo, line, 1);
        const int32_t y = static_cast<int32_t>(cinfo.output_scanline) - 1;
        uint8_t* dst = picture->Row(y);
        const JSAMPLE* s = line[0];
        if (components == 3) {
            for (int32_t x = 0; x < width; ++x, s += 3, dst += 3) {
                dst[0] = s[2];
                dst[1] = s[1];
                dst[2] = s[0];
            }
        } else if (components == 1) {
            for (int32_t x = 0; x < width; ++x, ++s, dst += 3) {
                dst[0] = dst[1] = dst[2] = s[0];
            }
        }
        if (progress != nullptr) {
            progress->Step(1);
        }
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

KVL_IMPLEMENT_CLASS(KVLImageReaderJPG, KVLImageReader);

bool KVLImageReaderJPG::CanRead(const KVLString& extension) const {
    return extension.EqualsNoCase("JPG") || extension.EqualsNoCase("JPEG") || extension.EqualsNoCase("JPE");
}

std::unique_ptr<KVLImage> KVLImageReaderJPG::ReadStream(KVLStream& stream, KVLPixelFormat* format,
                                                        KVLImageProgress* progress, KVLString* errorText) {
    std::unique_ptr<KVLPicture> picture;
    bool ok = false;
    {
        KVLStreamReading reading(stream);
        if (reading.IsOpen()) {
            auto allocate = [](void* context, int32_t w, int32_t h) -> KVLPicture* {
                auto& slot = *static_cast<std::unique_ptr<KVLPicture>*>(context);
                slot = std::make_unique<KVLPicture>(w, h, 3);
                return slot.get();
            };
            ok = Decode(stream, progress, allocate, &picture);
        }
    }
    if (!ok || !picture) {
        if (format != nullptr) {
            *format = kKVLPixelFormatNone;
        }
        if (errorText != nullptr) {
            *errorText = "Unable to load file";
        }
        return nullptr;
    }
    if (format != nullptr) {
        *format = kKVLPixelFormatXRGB8888;
    }
    if (errorText != nullptr) {
        errorText->Format("JPEG picture - %dx%dx24", picture->width, picture->height);
    }
    return KVLConvertBGR(*picture);
}
