// kvl image: decodes a picture through the engine's readers and writes it as PNG.
#include <cstdio>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "image/kvl_image.h"
#include "image/kvl_pngwriter.h"
#include "tools/kvl/kvl_command.h"

namespace {

extern const KvlCommand kImageCommand;

int RunImage(const std::vector<std::string>& args) {
    std::string input;
    std::string output;
    std::string extension;
    bool haveExtension = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--ext") {
            if (i + 1 >= args.size()) {
                return KvlUsageError(kImageCommand, a + " needs a value");
            }
            if (a == "-o") {
                output = args[++i];
            } else {
                extension = args[++i];
                haveExtension = true;
            }
        } else if (!a.empty() && a[0] == '-') {
            return KvlUsageError(kImageCommand, "unknown option '" + a + "'");
        } else if (input.empty()) {
            input = a;
        } else {
            return KvlUsageError(kImageCommand, "image takes one input file");
        }
    }
    if (input.empty() || output.empty()) {
        return KvlUsageError(kImageCommand, "image needs FILE and -o OUT.png");
    }
    if (!haveExtension) {
        KVLString ext;
        KVLSplitExtension(KVLString(input.c_str()), nullptr, &ext);
        extension = ext.c_str();
    }
    KVLFileStream file(KVLString(input.c_str()));
    KVLBufferedStream stream(file, 65536);
    KVLString text;
    std::unique_ptr<KVLImage> image = KVLLoadImage(stream, KVLString(extension.c_str()), nullptr, nullptr, &text);
    if (!image) {
        return KvlFail(input + ": " + text.c_str());
    }
    std::printf("%s\n", text.c_str());
    KVLString error;
    if (!KVLWritePNG(*image, output.c_str(), &error)) {
        return KvlFail(error.c_str());
    }
    return kKvlOk;
}

const KvlCommand kImageCommand = {
    "image",
    "decode a BMP, PCX, TGA or JPEG picture to PNG",
    "usage:\n"
    "  kvl image FILE [--ext EXT] -o OUT.png\n"
    "\n"
    "Loads FILE with the engine's reader for its extension (or EXT), prints the\n"
    "reader's description line and writes the picture as 8-bit RGBA PNG, alpha as\n"
    "decoded. Exit status: 0 success, 1 failure, 2 usage error.\n",
    &RunImage,
};

const KvlCommandRegistration kRegistration(kImageCommand);

}  // namespace
