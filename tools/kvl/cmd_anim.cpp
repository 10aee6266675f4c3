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

// What `anim encode` was asked for.
struct EncodeOptions {
    int bpp = 0;
    bool delta = false;
    long timing = 0;
    std::string output;
    std::vector<std::string> frames;
};

// Reads and checks the encode arguments; kKvlOk, or the exit status after the
// complaint has been printed.
int ParseEncodeOptions(const std::vector<std::string>& args, EncodeOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--bpp" || a == "--timing" || a == "-o") {
            if (i + 1 >= args.size()) {
                return KvlUsageError(kAnimCommand, a + " needs a value");
            }
            const std::string& value = args[++i];
            if (a == "-o") {
                o.output = value;
                continue;
            }
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0') {
                return KvlUsageError(kAnimCommand, a + " needs a number");
            }
            if (a == "--bpp") {
                o.bpp = static_cast<int>(n);
            } else {
                if (n < INT32_MIN || n > INT32_MAX) {
                    return KvlUsageError(kAnimCommand, "--timing must fit in 32 bits");
                }
                o.timing = n;
            }
        } else if (a == "--delta") {
            o.delta = true;
        } else if (!a.empty() && a[0] == '-') {
            return KvlUsageError(kAnimCommand, "unknown option '" + a + "'");
        } else {
            o.frames.push_back(a);
        }
    }
    if (o.bpp != 8 && o.bpp != 16) {
        return KvlUsageError(kAnimCommand, "anim encode needs --bpp 8 or --bpp 16");
    }
    if (o.delta && o.bpp != 8) {
        return KvlUsageError(kAnimCommand, "--delta needs --bpp 8");
    }
    if (o.output.empty() || o.frames.empty()) {
        return KvlUsageError(kAnimCommand, "anim encode needs -o OUT.mlz and at least one frame");
    }
    if (o.frames.size() > static_cast<size_t>(kKVLMLZMaxFrames)) {
        return KvlFail("too many frames (at most 1048576)");
    }
    return kKvlOk;
}

// Turns pictures into frames: RGB 565 words for 16 bits, 256 quantised colours
// for 8. Delta frames keep each colour's index from frame to frame where they can.
class FrameEncoder {
public:
    explicit FrameEncoder(const EncodeOptions& o) : m_bpp(o.bpp), m_delta(o.delta) {}

    bool Add(KVLMLZWriter& writer, const KVLImage& image, bool first) {
        const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
        if (m_bpp == 16) {
            m_words.resize(count);
            for (size_t k = 0; k < count; ++k) {
                m_words[k] = KVLPixelTo565(image.pixels[k]);
            }
            return writer.AddFrame16(m_words.data());
        }
        const KVLQuantized q = KVLQuantize565(image.pixels, count, m_delta && !first ? m_previousPalette : nullptr);
        std::memcpy(m_previousPalette, q.palette, sizeof m_previousPalette);
        return writer.AddFrame8(q.indices.data(), q.palette);
    }

private:
    int m_bpp;
    bool m_delta;
    std::vector<uint16_t> m_words;
    uint16_t m_previousPalette[256] = {};
};

// Encodes every frame into the file temporary; the first frame sets the size.
// kKvlOk, or the exit status after the complaint has been printed.
int WriteAnimation(const EncodeOptions& o, const std::string& temporary) {
    KVLMLZHeader header;
    header.bitsPerPixel = static_cast<uint8_t>(o.bpp);
    header.compression = o.delta ? 2 : 1;
    header.frameCount = static_cast<int32_t>(o.frames.size());
    header.timing = static_cast<int32_t>(o.timing);
    KVLFileStream out{KVLString(temporary.c_str())};
    KVLMLZWriter writer(out);
    FrameEncoder encoder(o);
    KVLString error;
    // Closes and removes the unfinished file.
    auto abandon = [&](const std::string& message) {
        std::error_code ec;
        writer.Finish(nullptr);
        fs::remove(temporary, ec);
        return KvlFail(message);
    };
    for (size_t i = 0; i < o.frames.size(); ++i) {
        std::unique_ptr<KVLImage> image = KVLReadPNG(o.frames[i].c_str(), &error);
        if (!image) {
            return KvlFail(error.c_str());
        }
        if (i == 0) {
            header.width = image->width;
            header.height = image->height;
            if (!writer.Begin(header, &error)) {
                return KvlFail(o.output + ": " + error.c_str());
            }
        } else if (image->width != header.width || image->height != header.height) {
            return abandon(o.frames[i] + " is " + std::to_string(image->width) + "x" + std::to_string(image->height) +
                           ", the first frame " + std::to_string(header.width) + "x" +
                           std::to_string(header.height));
        }
        if (!encoder.Add(writer, *image, i == 0)) {
            return abandon(o.output + ": write failed");
        }
    }
    if (!writer.Finish(&error)) {
        std::error_code ec;
        fs::remove(temporary, ec);
        return KvlFail(o.output + ": " + error.c_str());
    }
    return kKvlOk;
}

// Moves the finished file into place and reads it back as the engine will.
int Publish(const std::string& temporary, const std::string& output) {
    std::error_code ec;
    fs::rename(temporary, output, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return KvlFail("cannot write " + output);
    }
    KVLAnimMLZ check;
    KVLString text;
    if (!check.OpenFile(KVLString(output.c_str()), nullptr, &text)) {
        return KvlFail(output + ": written file does not open: " + text.c_str());
    }
    std::printf("%s\n", text.c_str());
    return kKvlOk;
}

int Encode(const std::vector<std::string>& args) {
    EncodeOptions options;
    if (const int status = ParseEncodeOptions(args, options); status != kKvlOk) {
        return status;
    }
    const std::string temporary = options.output + ".part";
    if (const int status = WriteAnimation(options, temporary); status != kKvlOk) {
        return status;
    }
    return Publish(temporary, options.output);
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
