// kvl anim: MLZ animations to PNG frames and back, and their header fields.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "anim/kvl_anim_mlz.h"
#include "anim/kvl_mlz_encoder.h"
#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "image/kvl_pngwriter.h"
#include "tools/kvl/kvl_command.h"

namespace {

namespace fs = std::filesystem;

extern const KvlCommand kAnimCommand;

int Decode(const std::string& input, const std::string& dir) {
    KVLAnimMLZ anim;
    KVLString text;
    if (!anim.OpenFile(KVLString(input.c_str()), nullptr, &text)) {
        return KvlFail(input + ": " + text.c_str());
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        return KvlFail("cannot create folder " + dir);
    }
    std::printf("%s\n", text.c_str());
    std::unique_ptr<KVLImage> image = KVLImage::Create(anim.GetWidth(), anim.GetHeight());
    for (int32_t i = 0; i < anim.GetFrameCount(); ++i) {
        if (i > 0 && !anim.NextFrame()) {
            return KvlFail(input + ": frame " + std::to_string(i) + " is damaged");
        }
        if (!anim.GetFrame(*image)) {
            return KvlFail(input + ": frame " + std::to_string(i) + " cannot be converted");
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", static_cast<int>(i));
        KVLString error;
        if (!KVLWritePNG(*image, (fs::path(dir) / name).string().c_str(), &error)) {
            return KvlFail(error.c_str());
        }
    }
    return kKvlOk;
}

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return KvlUsageError(kAnimCommand, "anim info takes one file");
    }
    const std::string& input = args[0];
    KVLAnimMLZ anim;
    KVLString text;
    if (!anim.OpenFile(KVLString(input.c_str()), nullptr, &text)) {
        return KvlFail(input + ": " + text.c_str());
    }
    // The header fields as stored, and how each frame record is kept.
    KVLFileStream file{KVLString(input.c_str())};
    uint8_t bytes[kKVLMLZHeaderSize];
    KVLMLZHeader header;
    if (!file.OpenRead() || !KVLReadExact(file, bytes, kKVLMLZHeaderSize) || !header.Decode(bytes)) {
        return KvlFail(input + ": cannot read the header");
    }
    int32_t raw = 0;
    int64_t stored = 0;
    for (int32_t i = 0; i < header.frameCount; ++i) {
        int32_t size = 0;
        if (!KVLReadS32(file, size)) {
            return KvlFail(input + ": frame record " + std::to_string(i) + " is missing");
        }
        const int64_t body = size == -1 ? header.FrameSize() : size;
        raw += size == -1 ? 1 : 0;
        stored += body;
        const int64_t skip = body + (header.bitsPerPixel == 8 ? kKVLMLZPaletteSize : 0);
        if (skip > INT32_MAX || !file.SeekRelative(static_cast<int32_t>(skip))) {
            return KvlFail(input + ": frame record " + std::to_string(i) + " is damaged");
        }
    }
    std::printf("%s\n", text.c_str());
    std::printf("width\t%d\nheight\t%d\nbits per pixel\t%d\ncompression\t%d%s\nframes\t%d\ntiming\t%d\n",
                header.width, header.height, header.bitsPerPixel, header.compression,
                header.compression == 2 ? " (delta)" : "", header.frameCount, header.timing);
    std::printf("raw frames\t%d\nframe bytes stored\t%lld of %lld\n", raw, static_cast<long long>(stored),
                static_cast<long long>(header.FrameSize() * header.frameCount));
    return kKvlOk;
}

int Encode(const std::vector<std::string>& args) {
    int bpp = 0;
    bool delta = false;
    long timing = 0;
    std::string output;
    std::vector<std::string> frames;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--bpp" || a == "--timing" || a == "-o") {
            if (i + 1 >= args.size()) {
                return KvlUsageError(kAnimCommand, a + " needs a value");
            }
            const std::string& value = args[++i];
            if (a == "-o") {
                output = value;
                continue;
            }
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0') {
                return KvlUsageError(kAnimCommand, a + " needs a number");
            }
            if (a == "--bpp") {
                bpp = static_cast<int>(n);
            } else {
                if (n < INT32_MIN || n > INT32_MAX) {
                    return KvlUsageError(kAnimCommand, "--timing must fit in 32 bits");
                }
                timing = n;
            }
        } else if (a == "--delta") {
            delta = true;
        } else if (!a.empty() && a[0] == '-') {
            return KvlUsageError(kAnimCommand, "unknown option '" + a + "'");
        } else {
            frames.push_back(a);
        }
    }
    if (bpp != 8 && bpp != 16) {
        return KvlUsageError(kAnimCommand, "anim encode needs --bpp 8 or --bpp 16");
    }
    if (delta && bpp != 8) {
        return KvlUsageError(kAnimCommand, "--delta needs --bpp 8");
    }
    if (output.empty() || frames.empty()) {
        return KvlUsageError(kAnimCommand, "anim encode needs -o OUT.mlz and at least one frame");
    }
    if (frames.size() > static_cast<size_t>(kKVLMLZMaxFrames)) {
        return KvlFail("too many frames (at most 1048576)");
    }

    KVLMLZHeader header;
    header.bitsPerPixel = static_cast<uint8_t>(bpp);
    header.compression = delta ? 2 : 1;
    header.frameCount = static_cast<int32_t>(frames.size());
    header.timing = static_cast<int32_t>(timing);
    const std::string temporary = output + ".part";
    KVLFileStream out{KVLString(temporary.c_str())};
    KVLMLZWriter writer(out);
    KVLString error;
    std::vector<uint16_t> words;
    uint16_t previousPalette[256] = {};
    for (size_t i = 0; i < frames.size(); ++i) {
        std::unique_ptr<KVLImage> image = KVLReadPNG(frames[i].c_str(), &error);
        if (!image) {
            return KvlFail(error.c_str());
        }
        if (i == 0) {
            header.width = image->width;
            header.height = image->height;
            if (!writer.Begin(header, &error)) {
                return KvlFail(output + ": " + error.c_str());
            }
        } else if (image->width != header.width || image->height != header.height) {
            std::error_code ec;
            writer.Finish(nullptr);
            fs::remove(temporary, ec);
            return KvlFail(frames[i] + " is " + std::to_string(image->width) + "x" + std::to_string(image->height) +
                           ", the first frame " + std::to_string(header.width) + "x" +
                           std::to_string(header.height));
        }
        const size_t count = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
        bool ok = false;
        if (bpp == 16) {
            words.resize(count);
            for (size_t k = 0; k < count; ++k) {
                words[k] = KVLPixelTo565(image->pixels[k]);
            }
            ok = writer.AddFrame16(words.data());
        } else {
            // Delta frames keep each colour's index from frame to frame where they can.
            const KVLQuantized q = KVLQuantize565(image->pixels, count, delta && i > 0 ? previousPalette : nullptr);
            std::memcpy(previousPalette, q.palette, sizeof previousPalette);
            ok = writer.AddFrame8(q.indices.data(), q.palette);
        }
        if (!ok) {
            std::error_code ec;
            writer.Finish(nullptr);
            fs::remove(temporary, ec);
            return KvlFail(output + ": write failed");
        }
    }
    if (!writer.Finish(&error)) {
        std::error_code ec;
        fs::remove(temporary, ec);
        return KvlFail(output + ": " + error.c_str());
    }
    std::error_code ec;
    fs::rename(temporary, output, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return KvlFail("cannot write " + output);
    }
    // Read the result back as the engine will.
    KVLAnimMLZ check;
    KVLString text;
    if (!check.OpenFile(KVLString(output.c_str()), nullptr, &text)) {
        return KvlFail(output + ": written file does not open: " + text.c_str());
    }
    std::printf("%s\n", text.c_str());
    return kKvlOk;
}

int RunAnim(const std::vector<std::string>& args) {
    if (args.empty()) {
        return KvlUsageError(kAnimCommand, "anim needs a file or a subcommand");
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "encode") return Encode(rest);
    if (args[0] == "info") return Info(rest);
    if (args.size() == 3 && args[1] == "-o") {
        return Decode(args[0], args[2]);
    }
    return KvlUsageError(kAnimCommand, "anim FILE needs -o DIR");
}

const KvlCommand kAnimCommand = {
    "anim",
    "decode, encode and describe MLZ animations",
    "usage:\n"
    "  kvl anim FILE -o DIR          decode every frame once to DIR/frame-0000.png, ...\n"
    "                                (RGBA PNG); prints the description line\n"
    "  kvl anim encode --bpp 8|16 [--delta] [--timing T] -o OUT.mlz FRAME.png...\n"
    "                                16 bits: frames truncated to RGB 565; 8 bits: each\n"
    "                                frame reduced to 256 colours (median cut), --delta\n"
    "                                stores frames as differences to the previous one\n"
    "  kvl anim info FILE            the description line and the header fields\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n",
    &RunAnim,
};

const KvlCommandRegistration kRegistration(kAnimCommand);

}  // namespace
