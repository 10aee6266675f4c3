// KVLImageReaderJPG: the glue between a KVLStream and the IJG decompressor.
//
// The library reports fatal errors through an error-exit callback that must not
// return; it longjmps back into Decode. Decode therefore holds no object with a
// destructor: everything it fills lives in its caller's frame. Warnings (such as the
// premature end of a truncated file, after which the library pads the picture) are
// not printed: the engine has no log.
//
// The frame header's size is checked against the data before the library allocates
// the picture and its buffers (a progressive file keeps every coefficient of the
// picture): Huffman coding spends at least one bit per 8 x 8 block, on the DC
// coefficient of the first scan that codes the block, so the bytes from the first
// scan on must hold a bit for each block of the picture. Arithmetic coding can code a
// block in less than a bit, so those pictures are held to kKVLMaxImagePixels. A file
// cut off within that bound decodes, the missing part padded by the library.
#include "image/kvl_imagereader_jpg.h"

#include <bit>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

static_assert(std::endian::native == std::endian::little, "KVLImage pixels are stored as blue, green, red, alpha bytes");

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

// True when the picture the frame header declares is one the data can describe. Called
// after jpeg_read_header, when the source stands at the start of the first scan.
bool DataCoversPicture(j_decompress_ptr cinfo, KVLStream& stream) {
    const int64_t width = cinfo->image_width;
    const int64_t height = cinfo->image_height;
    if (!KVLImageSizeOK(width, height)) {
        return false;
    }
    if (cinfo->arith_code) {
        return width * height <= kKVLMaxImagePixels;
    }
    const int64_t blocks = ((width + 7) / 8) * ((height + 7) / 8);
    const int64_t bytes =
        static_cast<int64_t>(cinfo->src->bytes_in_buffer) + (int64_t{stream.GetLength()} - stream.Tell());
    return blocks <= 8 * bytes;
}

// Decodes into a picture that allocate provides once the size is known; false on a
// fatal library error or a refused size. The decompressor is destroyed on every path.
// Rows go straight into the 32-bit picture: converting through a blue-green-red
// intermediate would give the same pixels at the cost of two more passes.
// jpeg_read_scanlines may return no row only with a suspending source; this source
// never suspends (it supplies an end marker instead), so the loops always advance.
bool Decode(KVLStream& stream, KVLImageProgress* progress, KVLImage* (*allocate)(void*, int32_t, int32_t),
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
    if (!DataCoversPicture(&cinfo, stream)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
#ifdef JCS_EXTENSIONS
    // Colour and greyscale files are decoded by the library straight into the 32-bit
    // layout (blue, green, red, alpha 255 bytes): the same samples as its default RGB
    // or grey output, without a conversion pass here.
    const bool direct = cinfo.out_color_space == JCS_RGB || cinfo.out_color_space == JCS_GRAYSCALE;
    if (direct) {
        cinfo.out_color_space = JCS_EXT_BGRA;
    }
#else
    const bool direct = false;
#endif
    jpeg_start_decompress(&cinfo);

    const int32_t width = static_cast<int32_t>(cinfo.output_width);
    const int32_t height = static_cast<int32_t>(cinfo.output_height);
    KVLImage* image = KVLImageSizeOK(width, height) ? allocate(context, width, height) : nullptr;
    if (image == nullptr) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (progress != nullptr) {
        progress->Begin(height);
    }
    if (direct) {
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = reinterpret_cast<JSAMPROW>(image->pixels + static_cast<size_t>(cinfo.output_scanline) *
                                                                          static_cast<size_t>(width));
            jpeg_read_scanlines(&cinfo, &row, 1);
            if (progress != nullptr) {
                progress->Step(1);
            }
        }
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    const int components = cinfo.output_components;
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                 cinfo.output_width * static_cast<JDIMENSION>(components), 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        jpeg_read_scanlines(&cinfo, line, 1);
        const int32_t y = static_cast<int32_t>(cinfo.output_scanline) - 1;
        uint32_t* dst = image->pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        const JSAMPLE* s = line[0];
        if (components == 3) {
            for (int32_t x = 0; x < width; ++x, s += 3) {
                dst[x] = KVLPixelFromRGB(s[0], s[1], s[2]);
            }
        } else if (components == 1) {
            for (int32_t x = 0; x < width; ++x) {
                dst[x] = KVLPixelFromRGB(s[x], s[x], s[x]);
            }
        } else {
            // Other colour spaces (CMYK) are not converted: the row stays opaque black.
            for (int32_t x = 0; x < width; ++x) {
                dst[x] = 0xFF000000u;
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
    std::unique_ptr<KVLImage> image;
    bool ok = false;
    {
        KVLStreamReading reading(stream);
        if (reading.IsOpen()) {
            auto allocate = [](void* context, int32_t w, int32_t h) -> KVLImage* {
                auto& slot = *static_cast<std::unique_ptr<KVLImage>*>(context);
                // Every row is written before the picture is handed out; a failed
                // decode discards it.
                slot = KVLImage::CreateForOverwrite(w, h);
                return slot.get();
            };
            ok = Decode(stream, progress, allocate, &image);
        }
    }
    if (!ok || !image) {
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
        errorText->Format("JPEG picture - %dx%dx24", image->width, image->height);
    }
    return image;
}
