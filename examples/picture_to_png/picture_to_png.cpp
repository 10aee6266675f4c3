// picture_to_png: decodes a BMP, PCX, TGA or JPEG picture with the engine's readers
// and writes it as an 8-bit RGBA PNG.
//   picture_to_png IN.(bmp|pcx|tga|jpg) OUT.png
// The reader is chosen by the file's extension; every reader is a registered class,
// which is why the package links the engine's libraries whole.
#include <cstdio>
#include <memory>

#include "zarnoth/core/kvl_bufferedstream.h"
#include "zarnoth/core/kvl_filestream.h"
#include "zarnoth/image/kvl_image.h"
#include "zarnoth/image/kvl_pngwriter.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.(bmp|pcx|tga|jpg) OUT.png\n", argv[0]);
        return 2;
    }
    KVLString extension;
    KVLSplitExtension(KVLString(argv[1]), nullptr, &extension);

    // Reads go through a buffer: the readers ask for a few bytes at a time.
    KVLFileStream file{KVLString(argv[1])};
    KVLBufferedStream stream(file, 65536);

    KVLString text;  // the reader's description of the picture, or why it failed
    std::unique_ptr<KVLImage> image = KVLLoadImage(stream, extension, nullptr, nullptr, &text);
    if (!image) {
        std::fprintf(stderr, "%s: %s\n", argv[1], text.c_str());
        return 1;
    }
    std::printf("%s\n", text.c_str());

    KVLString error;
    if (!KVLWritePNG(*image, argv[2], &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[2], error.c_str());
        return 1;
    }
    return 0;
}
