// The video encoder behind ZRNShowVideoEncoderFFmpeg: FFmpeg's libavformat muxer with libx264 +
// AAC or FFV1 + PCM, as one plan of settings decided from ZRNShowVideoSettings that both
// the check and the encoder use. Not thread-safe: one thread drives an encoder. Built as a module of its own (zarnoth_video.so) that the program
// loads only to make a video, so FFmpeg's libraries stay out of the show's process.
// It uses no engine code but the step clock's inline arithmetic: pictures arrive as
// KVLImage rows.
#include "show/zrn_showtime.h"
#include "show/zrn_showvideo_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int32_t kChannels = 2;
// Sound goes to the encoder in blocks of this many frames (AAC's frame size; PCM
// takes any).
constexpr int kSoundBlock = 1024;
constexpr const char* kRangeTag = "zarnoth_range";

// A new file beside 'path', named OUT.XXXXXXXX.part with a random middle and created
// exclusively, so that no file of the user's (not even an OUT.part of their own) is
// ever opened for writing, truncated or removed. Its name in *made; the reason when
// none can be created, else empty. Made with the usual permissions (0666 less the
// umask), as the finished file keeps them.
std::string MakeWorkFile(const std::string& path, std::string* made) {
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char middle[16];
        std::snprintf(middle, sizeof middle, ".%08x", static_cast<unsigned>(device()));
        const std::string name = path + middle + ".part";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            *made = name;
            return {};
        }
        if (errno != EEXIST) {
            return "cannot write " + path + ": " + std::strerror(errno);
        }
    }
    return "cannot write " + path + ": no free name for its working file";
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Everything about how a file is encoded, decided once from the settings: the check
// before any work and Open both use it, so they cannot disagree.
struct Plan {
    const AVOutputFormat* container = nullptr;
    const AVCodec* videoEncoder = nullptr;
    const AVCodec* soundEncoder = nullptr;
    // The pictures as they arrive (0xAARRGGBB in memory: blue, green, red, alpha) and
    // as the video encoder takes them; a conversion runs between the two if they differ.
    AVPixelFormat source = AV_PIX_FMT_BGRA;
    AVPixelFormat pixelFormat = AV_PIX_FMT_YUV420P;
    int gopSize = 1;
    // BT.709 limited range, in the conversion and in the stream's tags.
    bool bt709 = false;
    // x264's preset and crf (empty preset: not x264).
    std::string preset;
    int32_t crf = 0;
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_S16;
    int64_t soundBitRate = 0;
    // Global headers (the container wants them) and the index in front (mp4, mov).
    bool globalHeader = false;
    bool faststart = false;
    // The "zarnoth_range" tag ("FROM-TO"), empty for the whole show.
    std::string range;
};

// Fills the plan; the reason when the settings cannot be encoded, else empty. Looks
// at no file.
std::string MakePlan(const ZRNShowVideoSettings& settings, Plan* plan) {
    const char* videoName = nullptr;
    const char* soundName = nullptr;
    AVCodecID video = AV_CODEC_ID_NONE;
    AVCodecID sound = AV_CODEC_ID_NONE;
    const bool h264 = settings.codec == "h264";
    if (h264) {
        videoName = "libx264";
        soundName = "aac";
        video = AV_CODEC_ID_H264;
        sound = AV_CODEC_ID_AAC;
    } else if (settings.codec == "ffv1") {
        videoName = "ffv1";
        soundName = "pcm_s16le";
        video = AV_CODEC_ID_FFV1;
        sound = AV_CODEC_ID_PCM_S16LE;
    } else {
        return "unknown codec '" + settings.codec + "' (h264 or ffv1)";
    }
    const AVOutputFormat* format = av_guess_format(nullptr, settings.path.c_str(), nullptr);
    if (format == nullptr) {
        return "cannot tell a video format from the name " + settings.path + " (use .mp4 or .mkv)";
    }
    if (avformat_query_codec(format, video, FF_COMPLIANCE_NORMAL) != 1 ||
        avformat_query_codec(format, sound, FF_COMPLIANCE_NORMAL) != 1) {
        return std::string("a .") + (format->extensions != nullptr ? format->extensions : format->name) +
               " file cannot hold " + settings.codec + " (use .mkv for ffv1)";
    }
    plan->container = format;
    plan->videoEncoder = avcodec_find_encoder_by_name(videoName);
    plan->soundEncoder = avcodec_find_encoder_by_name(soundName);
    if (plan->videoEncoder == nullptr || plan->soundEncoder == nullptr) {
        return std::string("this FFmpeg has no ") + videoName + " or " + soundName + " encoder";
    }
    if (h264) {
        if (settings.width % 2 != 0 || settings.height % 2 != 0) {
            return "h264 (yuv420p) needs an even width and height";
        }
        plan->preset = settings.preset.value_or(kZRNShowVideoDefaultPreset);
        if (std::find_if(std::begin(kZRNShowVideoPresets), std::end(kZRNShowVideoPresets), [&](const char* name) {
                return plan->preset == name;
            }) == std::end(kZRNShowVideoPresets)) {
            std::string names;
            for (const char* name : kZRNShowVideoPresets) {
                names += names.empty() ? name : std::string(", ") + name;
            }
            return "unknown preset '" + plan->preset + "' (" + names + ")";
        }
        plan->crf = settings.crf.value_or(kZRNShowVideoDefaultCrf);
        if (plan->crf < 0 || plan->crf > kZRNShowVideoMaxCrf) {
            return "--crf takes a whole number from 0 to " + std::to_string(kZRNShowVideoMaxCrf) + ", not " +
                   std::to_string(plan->crf);
        }
        plan->source = AV_PIX_FMT_BGRA;
        plan->pixelFormat = AV_PIX_FMT_YUV420P;
        // A key picture every two seconds, as video sites ask.
        plan->gopSize = 2 * settings.fps;
        plan->bt709 = true;
        plan->sampleFormat = AV_SAMPLE_FMT_FLTP;
        plan->soundBitRate = 192000;
    } else {
        if (settings.preset.has_value() || settings.crf.has_value()) {
            return "ffv1 is lossless: --preset and --crf are for h264";
        }
        // FFV1 keeps the pictures' bytes as they are.
        plan->source = AV_PIX_FMT_BGR0;
        plan->pixelFormat = AV_PIX_FMT_BGR0;
        plan->gopSize = 1;
        plan->sampleFormat = AV_SAMPLE_FMT_S16;
    }
    if (settings.fromPicture >= 0 || settings.toPicture >= 0) {
        if (settings.fromPicture < 0 || settings.toPicture <= settings.fromPicture) {
            return "the picture range " + std::to_string(settings.fromPicture) + "-" +
                   std::to_string(settings.toPicture) + " is empty";
        }
        plan->range = std::to_string(settings.fromPicture) + "-" + std::to_string(settings.toPicture);
    }
    plan->globalHeader = (format->flags & AVFMT_GLOBALHEADER) != 0;
    plan->faststart = std::strcmp(format->name, "mp4") == 0 || std::strcmp(format->name, "mov") == 0;
    return {};
}

struct FreeFormat {
    void operator()(AVFormatContext* c) const {
        if (c != nullptr && c->pb != nullptr) {
            avio_closep(&c->pb);
        }
        avformat_free_context(c);
    }
};
struct FreeCodec {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreeFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreePacket {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeScale {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

std::string CheckVideo(const ZRNShowVideoSettings& settings) {
    Plan plan;
    std::string problem = MakePlan(settings, &plan);
    if (!problem.empty()) {
        return problem;
    }
    // The one way to know that the file can be written is to create one beside it: a
    // new one of our own, removed at once.
    std::string probe;
    problem = MakeWorkFile(settings.path, &probe);
    if (problem.empty()) {
        std::remove(probe.c_str());
    }
    return problem;
}

class ZRNShowVideoEncoderFFmpeg final : public ZRNShowVideoEncoder {
public:
    // copiedVideo: the video stream takes encoded pictures as they are (AddCopied),
    // with these parameters, and no video encoder is opened; the sound is encoded as
    // usual. The parameters must outlive Open.
    explicit ZRNShowVideoEncoderFFmpeg(const ZRNShowVideoSettings& settings,
                                    const AVCodecParameters* copiedVideo = nullptr);
    ~ZRNShowVideoEncoderFFmpeg() override;

    // The next encoded picture of a copied video stream: its timestamps in timeBase,
    // counted from its part's first picture, which is picture 'first' of the whole.
    bool AddCopied(AVPacket* packet, AVRational timeBase, int64_t first);

    bool Open() override;
    bool AddPicture(const KVLImage& picture) override;
    bool AddSound(const int16_t* samples, int64_t frames) override;
    bool Finish(int64_t soundFrames) override;
    const std::string& Error() const override { return m_error; }

private:
    struct State;
    bool Fail(const std::string& what, int code);
    // Open's steps, in this order.
    bool OpenVideoCodec();
    bool OpenSoundCodec();
    bool OpenFile();
    bool EncodeSound(bool flush);

    ZRNShowVideoSettings m_settings;
    const AVCodecParameters* m_copiedVideo;
    Plan m_plan;
    std::unique_ptr<State> m_state;
    // The file being written (MakeWorkFile), renamed to the settings' path when
    // finished; removed when the encoder goes unfinished. Empty before Open made it.
    std::string m_workPath;
    std::string m_error;
};

}  // namespace

struct ZRNShowVideoEncoderFFmpeg::State {
    std::unique_ptr<AVFormatContext, FreeFormat> format;
    std::unique_ptr<AVCodecContext, FreeCodec> video;
    std::unique_ptr<AVCodecContext, FreeCodec> sound;
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    std::unique_ptr<AVFrame, FreeFrame> picture;
    std::unique_ptr<AVFrame, FreeFrame> block;
    std::unique_ptr<AVPacket, FreePacket> packet;
    std::unique_ptr<SwsContext, FreeScale> scale;
    int64_t pictures = 0;
    // Sound frames received, and sent to the encoder; the ones between wait in pending.
    int64_t soundIn = 0;
    int64_t soundOut = 0;
    std::vector<int16_t> pending;
    bool headerWritten = false;
    bool finished = false;
};

ZRNShowVideoEncoderFFmpeg::ZRNShowVideoEncoderFFmpeg(const ZRNShowVideoSettings& settings,
                                               const AVCodecParameters* copiedVideo)
    : m_settings(settings), m_copiedVideo(copiedVideo), m_state(std::make_unique<State>()) {}

ZRNShowVideoEncoderFFmpeg::~ZRNShowVideoEncoderFFmpeg() {
    if (!m_state->finished && !m_workPath.empty()) {
        m_state->format.reset();
        std::remove(m_workPath.c_str());
    }
}

bool ZRNShowVideoEncoderFFmpeg::Fail(const std::string& what, int code) {
    m_error = what;
    if (code < 0) {
        m_error += ": " + AvError(code);
    }
    return false;
}

namespace {

// Sends a frame (null: drain) and writes every packet that comes out.
int EncodeAndWrite(AVFormatContext* format, AVCodecContext* codec, AVStream* stream, AVFrame* frame,
                   AVPacket* packet) {
    int r = avcodec_send_frame(codec, frame);
    if (r < 0) {
        return r;
    }
    for (;;) {
        r = avcodec_receive_packet(codec, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
            break;
        }
        if (r < 0) {
            return r;
        }
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        r = av_interleaved_write_frame(format, packet);
        if (r < 0) {
            return r;
        }
    }
    // A failed write to the file shows in the I/O context's error, not always in the
    // muxer's answer.
    return format->pb != nullptr && format->pb->error < 0 ? format->pb->error : 0;
}

}  // namespace

bool ZRNShowVideoEncoderFFmpeg::Open() {
    // The encoders' statistics would bury the progress line; errors still show.
    av_log_set_level(AV_LOG_ERROR);
    const std::string problem = MakePlan(m_settings, &m_plan);
    if (!problem.empty()) {
        return Fail(problem, 0);
    }
    if (m_copiedVideo == nullptr && !OpenVideoCodec()) {
        return false;
    }
    return OpenSoundCodec() && OpenFile();
}

// The video encoder, the picture it is fed and the colour conversion into it.
bool ZRNShowVideoEncoderFFmpeg::OpenVideoCodec() {
    State& s = *m_state;
    s.video.reset(avcodec_alloc_context3(m_plan.videoEncoder));
    if (s.video == nullptr) {
        return Fail("out of memory", 0);
    }
    AVCodecContext* v = s.video.get();
    v->width = m_settings.width;
    v->height = m_settings.height;
    v->time_base = AVRational{1, m_settings.fps};
    v->framerate = AVRational{m_settings.fps, 1};
    v->sample_aspect_ratio = AVRational{1, 1};
    v->flags |= AV_CODEC_FLAG_BITEXACT;
    v->pix_fmt = m_plan.pixelFormat;
    v->gop_size = m_plan.gopSize;
    if (m_plan.bt709) {
        v->colorspace = AVCOL_SPC_BT709;
        v->color_primaries = AVCOL_PRI_BT709;
        v->color_trc = AVCOL_TRC_BT709;
        v->color_range = AVCOL_RANGE_MPEG;
    }
    if (!m_plan.preset.empty()) {
        av_opt_set(v->priv_data, "preset", m_plan.preset.c_str(), 0);
        av_opt_set_int(v->priv_data, "crf", m_plan.crf, 0);
    }
    if (m_plan.videoEncoder->id == AV_CODEC_ID_FFV1) {
        av_opt_set_int(v->priv_data, "level", 3, 0);
        av_opt_set_int(v->priv_data, "slicecrc", 1, 0);
    }
    if (m_plan.globalHeader) {
        v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const int r = avcodec_open2(v, m_plan.videoEncoder, nullptr);
    if (r < 0) {
        return Fail(std::string("cannot open the ") + m_plan.videoEncoder->name + " encoder", r);
    }

    s.picture.reset(av_frame_alloc());
    if (s.picture == nullptr) {
        return Fail("out of memory", 0);
    }
    s.picture->format = v->pix_fmt;
    s.picture->width = v->width;
    s.picture->height = v->height;
    if (av_frame_get_buffer(s.picture.get(), 0) < 0) {
        return Fail("out of memory", 0);
    }
    if (m_plan.source != m_plan.pixelFormat) {
        s.scale.reset(sws_getContext(v->width, v->height, m_plan.source, v->width, v->height, v->pix_fmt,
                                     SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr));
        if (s.scale == nullptr) {
            return Fail("no colour conversion to the encoder's format", 0);
        }
        if (m_plan.bt709) {
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(s.scale.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        }
    }
    return true;
}

// The sound encoder and the block it is fed.
bool ZRNShowVideoEncoderFFmpeg::OpenSoundCodec() {
    State& s = *m_state;
    s.sound.reset(avcodec_alloc_context3(m_plan.soundEncoder));
    s.block.reset(av_frame_alloc());
    s.packet.reset(av_packet_alloc());
    if (s.sound == nullptr || s.block == nullptr || s.packet == nullptr) {
        return Fail("out of memory", 0);
    }
    AVCodecContext* a = s.sound.get();
    a->sample_rate = m_settings.sampleRate;
    av_channel_layout_default(&a->ch_layout, kChannels);
    a->time_base = AVRational{1, m_settings.sampleRate};
    a->flags |= AV_CODEC_FLAG_BITEXACT;
    a->sample_fmt = m_plan.sampleFormat;
    if (m_plan.soundBitRate > 0) {
        a->bit_rate = m_plan.soundBitRate;
    }
    if (m_plan.globalHeader) {
        a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const int r = avcodec_open2(a, m_plan.soundEncoder, nullptr);
    if (r < 0) {
        return Fail(std::string("cannot open the ") + m_plan.soundEncoder->name + " encoder", r);
    }
    return true;
}

// The working file with its two streams, the range tag and the header.
bool ZRNShowVideoEncoderFFmpeg::OpenFile() {
    State& s = *m_state;
    const std::string problem = MakeWorkFile(m_settings.path, &m_workPath);
    if (!problem.empty()) {
        return Fail(problem, 0);
    }
    const std::string& part = m_workPath;
    AVFormatContext* format = nullptr;
    int r = avformat_alloc_output_context2(&format, m_plan.container, nullptr, part.c_str());
    if (r < 0 || format == nullptr) {
        return Fail("cannot make a video file " + m_settings.path, r);
    }
    s.format.reset(format);
    // Bit-exact: no random identifiers, dates or version strings in the file.
    format->flags |= AVFMT_FLAG_BITEXACT;
    s.videoStream = avformat_new_stream(format, nullptr);
    s.soundStream = avformat_new_stream(format, nullptr);
    if (s.videoStream == nullptr || s.soundStream == nullptr) {
        return Fail("out of memory", 0);
    }
    s.videoStream->time_base = AVRational{1, m_settings.fps};
    s.videoStream->avg_frame_rate = AVRational{m_settings.fps, 1};
    s.soundStream->time_base = s.sound->time_base;
    const int videoParameters = m_copiedVideo != nullptr
                                    ? avcodec_parameters_copy(s.videoStream->codecpar, m_copiedVideo)
                                    : avcodec_parameters_from_context(s.videoStream->codecpar, s.video.get());
    if (m_copiedVideo != nullptr) {
        // The part's container may have its own tag for the codec; the new one picks.
        s.videoStream->codecpar->codec_tag = 0;
    }
    if (videoParameters < 0 || avcodec_parameters_from_context(s.soundStream->codecpar, s.sound.get()) < 0) {
        return Fail("out of memory", 0);
    }
    if (!m_plan.range.empty() && av_dict_set(&format->metadata, kRangeTag, m_plan.range.c_str(), 0) < 0) {
        return Fail("out of memory", 0);
    }

    r = avio_open(&format->pb, part.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        return Fail("cannot write " + m_settings.path, r);
    }
    AVDictionary* options = nullptr;
    if (m_plan.faststart) {
        // The index goes in front, so that players can start before the whole file is
        // in; tags of our own are kept only when asked for.
        av_dict_set(&options, "movflags", m_plan.range.empty() ? "+faststart" : "+faststart+use_metadata_tags", 0);
    }
    r = avformat_write_header(format, &options);
    av_dict_free(&options);
    if (r < 0 || format->pb->error < 0) {
        return Fail("cannot write " + m_settings.path, r < 0 ? r : format->pb->error);
    }
    s.headerWritten = true;
    return true;
}

bool ZRNShowVideoEncoderFFmpeg::AddCopied(AVPacket* packet, AVRational timeBase, int64_t first) {
    State& s = *m_state;
    if (!s.headerWritten || s.finished || m_copiedVideo == nullptr) {
        return Fail("the video file is not open", 0);
    }
    // Through whole pictures, so that each part's own rounding goes (a container that
    // counts milliseconds holds 1/60 s rounded).
    const AVRational picture{1, m_settings.fps};
    const AVRational to = s.videoStream->time_base;
    const auto move = [&](int64_t t) {
        return t == AV_NOPTS_VALUE ? t : av_rescale_q(av_rescale_q(t, timeBase, picture) + first, picture, to);
    };
    packet->pts = move(packet->pts);
    packet->dts = move(packet->dts);
    packet->duration = av_rescale_q(1, picture, to);
    packet->stream_index = s.videoStream->index;
    packet->pos = -1;
    const int r = av_interleaved_write_frame(s.format.get(), packet);
    if (r < 0 || s.format->pb->error < 0) {
        return Fail("cannot write " + m_settings.path, r < 0 ? r : s.format->pb->error);
    }
    return true;
}

bool ZRNShowVideoEncoderFFmpeg::AddPicture(const KVLImage& picture) {
    State& s = *m_state;
    if (!s.headerWritten || s.finished || m_copiedVideo != nullptr) {
        return Fail("the video file is not open", 0);
    }
    if (picture.width != m_settings.width || picture.height != m_settings.height) {
        return Fail("a picture of the wrong size", 0);
    }
    int r = av_frame_make_writable(s.picture.get());
    if (r < 0) {
        return Fail("out of memory", r);
    }
    AVFrame* f = s.picture.get();
    const uint8_t* rows = reinterpret_cast<const uint8_t*>(picture.pixels);
    const int stride = picture.width * 4;
    if (s.scale != nullptr) {
        const uint8_t* planes[1] = {rows};
        const int strides[1] = {stride};
        sws_scale(s.scale.get(), planes, strides, 0, picture.height, f->data, f->linesize);
    } else {
        for (int32_t y = 0; y < picture.height; ++y) {
            std::memcpy(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0],
                        rows + static_cast<ptrdiff_t>(y) * stride, static_cast<size_t>(stride));
        }
    }
    f->pts = s.pictures++;
    r = EncodeAndWrite(s.format.get(), s.video.get(), s.videoStream, f, s.packet.get());
    if (r < 0) {
        return Fail("cannot write " + m_settings.path, r);
    }
    return true;
}

bool ZRNShowVideoEncoderFFmpeg::AddSound(const int16_t* samples, int64_t frames) {
    State& s = *m_state;
    if (!s.headerWritten || s.finished) {
        return Fail("the video file is not open", 0);
    }
    s.pending.insert(s.pending.end(), samples, samples + frames * kChannels);
    s.soundIn += frames;
    return EncodeSound(false);
}

// Encodes the pending sound in whole blocks (flush: the rest too, then drains).
bool ZRNShowVideoEncoderFFmpeg::EncodeSound(bool flush) {
    State& s = *m_state;
    AVCodecContext* a = s.sound.get();
    size_t used = 0;
    while (s.pending.size() - used >= static_cast<size_t>(kSoundBlock * kChannels) ||
           (flush && used < s.pending.size())) {
        const int frames =
            static_cast<int>(std::min<size_t>((s.pending.size() - used) / kChannels, static_cast<size_t>(kSoundBlock)));
        AVFrame* b = s.block.get();
        av_frame_unref(b);
        b->format = a->sample_fmt;
        b->nb_samples = frames;
        b->sample_rate = a->sample_rate;
        if (av_channel_layout_copy(&b->ch_layout, &a->ch_layout) < 0 || av_frame_get_buffer(b, 0) < 0) {
            return Fail("out of memory", 0);
        }
        const int16_t* in = s.pending.data() + used;
        if (a->sample_fmt == AV_SAMPLE_FMT_FLTP) {
            float* left = reinterpret_cast<float*>(b->data[0]);
            float* right = reinterpret_cast<float*>(b->data[1]);
            for (int i = 0; i < frames; ++i) {
                left[i] = static_cast<float>(in[2 * i]) / 32768.0f;
                right[i] = static_cast<float>(in[2 * i + 1]) / 32768.0f;
            }
        } else {
            std::memcpy(b->data[0], in, static_cast<size_t>(frames) * kChannels * sizeof(int16_t));
        }
        b->pts = s.soundOut;
        s.soundOut += frames;
        used += static_cast<size_t>(frames) * kChannels;
        const int r = EncodeAndWrite(s.format.get(), a, s.soundStream, b, s.packet.get());
        if (r < 0) {
            return Fail("cannot write " + m_settings.path, r);
        }
    }
    s.pending.erase(s.pending.begin(), s.pending.begin() + static_cast<ptrdiff_t>(used));
    if (flush) {
        const int r = EncodeAndWrite(s.format.get(), a, s.soundStream, nullptr, s.packet.get());
        if (r < 0) {
            return Fail("cannot write " + m_settings.path, r);
        }
    }
    return true;
}

bool ZRNShowVideoEncoderFFmpeg::Finish(int64_t soundFrames) {
    State& s = *m_state;
    if (!s.headerWritten || s.finished) {
        return Fail("the video file is not open", 0);
    }
    // Cut what came past the end (it has not reached the encoder: blocks are encoded
    // only when whole, and the end lies past the last picture's sound) or add silence.
    const int64_t queued = static_cast<int64_t>(s.pending.size()) / kChannels;
    const int64_t wanted = std::max<int64_t>(0, soundFrames - s.soundOut);
    if (wanted < queued) {
        s.pending.resize(static_cast<size_t>(wanted) * kChannels);
    } else {
        s.pending.resize(static_cast<size_t>(wanted) * kChannels, 0);
    }
    if (!EncodeSound(true)) {
        return false;
    }
    int r = s.video != nullptr ? EncodeAndWrite(s.format.get(), s.video.get(), s.videoStream, nullptr, s.packet.get())
                               : 0;
    if (r < 0) {
        return Fail("cannot write " + m_settings.path, r);
    }
    r = av_write_trailer(s.format.get());
    if (r < 0 || s.format->pb->error < 0) {
        return Fail("cannot write " + m_settings.path, r < 0 ? r : s.format->pb->error);
    }
    r = avio_closep(&s.format->pb);
    if (r < 0) {
        return Fail("cannot write " + m_settings.path, r);
    }
    std::error_code ec;
    std::filesystem::rename(m_workPath, m_settings.path, ec);
    if (ec) {
        return Fail("cannot rename " + m_workPath + " to " + m_settings.path + ": " + ec.message(), 0);
    }
    s.finished = true;
    return true;
}

namespace {

struct CloseInput {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using Input = std::unique_ptr<AVFormatContext, CloseInput>;

// Opens a file for reading; the reason when it cannot be read, else empty.
std::string OpenInput(const std::string& path, Input* out) {
    AVFormatContext* c = nullptr;
    int r = avformat_open_input(&c, path.c_str(), nullptr, nullptr);
    if (r < 0) {
        return "cannot read " + path + ": " + AvError(r);
    }
    out->reset(c);
    r = avformat_find_stream_info(c, nullptr);
    return r < 0 ? "cannot read " + path + ": " + AvError(r) : std::string();
}

std::string Describe(const AVCodecParameters* p, AVRational rate) {
    return std::string(avcodec_get_name(p->codec_id)) + " " + std::to_string(p->width) + "x" +
           std::to_string(p->height) + " at " + std::to_string(rate.num) +
           (rate.den == 1 ? "" : "/" + std::to_string(rate.den)) + " pictures/s";
}

struct JoinPart {
    std::string path;
    int64_t from = 0;
    int64_t to = 0;
};

// Reads a part whole: its range, its video stream against the first part's (null for
// the first), its pictures counted and the first one a key picture. Fills 'part'.
std::string CheckPart(const std::string& path, const Input& first, JoinPart* part, Input* out) {
    std::string problem = OpenInput(path, out);
    if (!problem.empty()) {
        return problem;
    }
    AVFormatContext* in = out->get();
    const int v = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0) {
        return path + " has no video stream";
    }
    const AVDictionaryEntry* tag = av_dict_get(in->metadata, kRangeTag, nullptr, 0);
    long long from = -1;
    long long to = -1;
    char rest = 0;
    if (tag == nullptr || std::sscanf(tag->value, "%lld-%lld%c", &from, &to, &rest) != 2 || from < 0 || to <= from) {
        return path + " is not a part of the show (it has no picture range)";
    }
    part->path = path;
    part->from = from;
    part->to = to;
    const AVStream* stream = in->streams[v];
    if (first != nullptr) {
        AVFormatContext* f = first.get();
        const AVStream* a = f->streams[av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)];
        const AVCodecParameters* x = a->codecpar;
        const AVCodecParameters* y = stream->codecpar;
        const bool same = x->codec_id == y->codec_id && x->width == y->width && x->height == y->height &&
                          x->format == y->format && av_cmp_q(a->avg_frame_rate, stream->avg_frame_rate) == 0 &&
                          x->extradata_size == y->extradata_size &&
                          (x->extradata_size == 0 || std::memcmp(x->extradata, y->extradata, x->extradata_size) == 0);
        if (!same) {
            return path + " (" + Describe(y, stream->avg_frame_rate) + ") does not match " + f->url + " (" +
                   Describe(x, a->avg_frame_rate) + ")" +
                   (x->codec_id == y->codec_id && x->width == y->width && x->height == y->height
                        ? ": encoded with other settings"
                        : "");
        }
    }
    std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    if (packet == nullptr) {
        return "out of memory";
    }
    int64_t pictures = 0;
    int r = 0;
    while ((r = av_read_frame(in, packet.get())) >= 0) {
        if (packet->stream_index == v) {
            if (pictures == 0 && (packet->flags & AV_PKT_FLAG_KEY) == 0) {
                av_packet_unref(packet.get());
                return path + " does not start with a key picture";
            }
            ++pictures;
        }
        av_packet_unref(packet.get());
    }
    if (r != AVERROR_EOF) {
        return "cannot read " + path + ": " + AvError(r);
    }
    if (pictures != to - from) {
        return path + " is truncated: it holds " + std::to_string(pictures) + " of its " + std::to_string(to - from) +
               " pictures";
    }
    return {};
}

// The sound frames (16-bit stereo) a WAV file holds, read to its end.
std::string CountSoundFrames(const Input& sound, const std::string& path, int64_t* frames) {
    std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    if (packet == nullptr) {
        return "out of memory";
    }
    int64_t bytes = 0;
    int r = 0;
    while ((r = av_read_frame(sound.get(), packet.get())) >= 0) {
        bytes += packet->size;
        av_packet_unref(packet.get());
    }
    if (r != AVERROR_EOF) {
        return "cannot read " + path + ": " + AvError(r);
    }
    *frames = bytes / (2 * kChannels);
    return {};
}

// Opens and checks every part (sorted into show order in 'parts'); the settings of the
// joined video come from the first. The reason, or empty.
std::string OpenParts(const ZRNShowVideoJoin& join, std::vector<JoinPart>* parts, Input* first,
                      ZRNShowVideoSettings* settings) {
    parts->resize(join.parts.size());
    for (size_t i = 0; i < join.parts.size(); ++i) {
        if (join.parts[i] == join.path) {
            return join.path + " is one of the parts";
        }
        Input in;
        const std::string problem = CheckPart(join.parts[i], *first, &(*parts)[i], &in);
        if (!problem.empty()) {
            return problem;
        }
        if (*first == nullptr) {
            *first = std::move(in);
        }
    }
    AVFormatContext* f = first->get();
    const AVStream* firstVideo = f->streams[av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)];
    const AVCodecParameters* video = firstVideo->codecpar;
    const AVRational rate = firstVideo->avg_frame_rate;
    settings->path = join.path;
    if (video->codec_id == AV_CODEC_ID_H264) {
        settings->codec = "h264";
    } else if (video->codec_id == AV_CODEC_ID_FFV1) {
        settings->codec = "ffv1";
    } else {
        return join.parts.front() + " holds " + avcodec_get_name(video->codec_id) + ", not h264 or ffv1";
    }
    if (rate.den != 1 || rate.num < 1) {
        return join.parts.front() + " has no whole picture rate";
    }
    settings->width = video->width;
    settings->height = video->height;
    settings->fps = rate.num;
    std::stable_sort(parts->begin(), parts->end(),
                     [](const JoinPart& a, const JoinPart& b) { return a.from < b.from; });
    return {};
}

// The parts, in show order, must hold every picture of the show once: from the first
// to the last ('total' pictures). The reason, or empty.
std::string CheckCoverage(const std::vector<JoinPart>& parts, int64_t total, int32_t fps) {
    const std::string show = "the show has " + std::to_string(total) + " pictures at " + std::to_string(fps) +
                             " pictures/s";
    if (total <= 0) {
        return "the show's length at " + std::to_string(fps) + " pictures/s is not known";
    }
    int64_t next = 0;
    const JoinPart* before = nullptr;
    for (const JoinPart& part : parts) {
        if (part.from < next) {
            return part.path + " (pictures " + std::to_string(part.from) + "-" + std::to_string(part.to) +
                   ") overlaps " + before->path + " (pictures " + std::to_string(before->from) + "-" +
                   std::to_string(before->to) + ")";
        }
        if (part.from > next) {
            return "pictures " + std::to_string(next) + "-" + std::to_string(part.from) + " are missing before " +
                   part.path;
        }
        if (part.to > total) {
            return part.path + " (pictures " + std::to_string(part.from) + "-" + std::to_string(part.to) +
                   ") goes past the show's end: " + show;
        }
        next = part.to;
        before = &part;
    }
    if (next < total) {
        return "pictures " + std::to_string(next) + "-" + std::to_string(total) + " are missing after " +
               before->path + ": " + show;
    }
    return {};
}

// Opens the whole show's sound, which must be 16-bit stereo and last to 'soundEnd' (its
// frames counted through to its end: a header may claim more than the file holds),
// ready to be read from the start. The sample rate goes into the settings. The
// reason, or empty.
std::string OpenJoinSound(const ZRNShowVideoJoin& join, int64_t pictures, ZRNShowVideoSettings* settings,
                          Input* sound, int64_t* soundEnd) {
    std::string problem = OpenInput(join.soundPath, sound);
    if (!problem.empty()) {
        return problem;
    }
    const AVCodecParameters* wav = (*sound)->nb_streams == 1 ? (*sound)->streams[0]->codecpar : nullptr;
    if (wav == nullptr || wav->codec_id != AV_CODEC_ID_PCM_S16LE || wav->ch_layout.nb_channels != kChannels) {
        return join.soundPath + " is not 16-bit stereo sound";
    }
    settings->sampleRate = wav->sample_rate;
    if (settings->sampleRate <= 0) {
        return join.soundPath + " has no sample rate";
    }
    *soundEnd = pictures * settings->sampleRate / settings->fps;
    int64_t soundFrames = 0;
    problem = CountSoundFrames(*sound, join.soundPath, &soundFrames);
    if (!problem.empty()) {
        return problem;
    }
    if (soundFrames < *soundEnd) {
        const auto seconds = [&](int64_t frames) {
            char text[32];
            std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(frames) / settings->sampleRate);
            return std::string(text);
        };
        return "the sound from " + seconds(soundFrames) + " to " + seconds(*soundEnd) + " (frames " +
               std::to_string(soundFrames) + "-" + std::to_string(*soundEnd) + ") is missing: " + join.soundPath +
               " is shorter than the pictures";
    }
    sound->reset();
    return OpenInput(join.soundPath, sound);
}

// The sound of the whole, fed into the joined video up to the end of each picture as it
// goes in (so that the muxer interleaves as a single run does) and no further than the
// end of the pictures.
class JoinSoundFeeder {
public:
    JoinSoundFeeder(AVFormatContext* sound, const std::string& path, ZRNShowVideoEncoderFFmpeg* out, int64_t end,
                    AVPacket* packet)
        : m_sound(sound), m_path(path), m_out(out), m_end(end), m_packet(packet) {}

    // Feeds up to sound frame 'until'; the reason, or empty.
    std::string FeedTo(int64_t until) {
        until = std::min(until, m_end);
        while (m_fed < until && m_soundLeft) {
            const int64_t want = until - m_fed;
            if (m_samples.size() / kChannels < static_cast<size_t>(want)) {
                const std::string problem = ReadPacket();
                if (!problem.empty()) {
                    return problem;
                }
                continue;
            }
            if (!m_out->AddSound(m_samples.data(), want)) {
                return m_out->Error();
            }
            m_samples.erase(m_samples.begin(), m_samples.begin() + static_cast<ptrdiff_t>(want * kChannels));
            m_fed += want;
        }
        // The file ended early: what is left goes in, the check below names the gap.
        const int64_t rest = std::min<int64_t>(until - m_fed, static_cast<int64_t>(m_samples.size() / kChannels));
        if (!m_soundLeft && rest > 0) {
            if (!m_out->AddSound(m_samples.data(), rest)) {
                return m_out->Error();
            }
            m_samples.erase(m_samples.begin(), m_samples.begin() + static_cast<ptrdiff_t>(rest * kChannels));
            m_fed += rest;
        }
        return {};
    }
    int64_t Fed() const { return m_fed; }

private:
    // One more packet of samples (or the end of the file); the reason, or empty.
    std::string ReadPacket() {
        const int r = av_read_frame(m_sound, m_packet);
        if (r == AVERROR_EOF) {
            m_soundLeft = false;
            return {};
        }
        if (r < 0) {
            return "cannot read " + m_path + ": " + AvError(r);
        }
        const size_t count = static_cast<size_t>(m_packet->size) / 2;
        const size_t at = m_samples.size();
        m_samples.resize(at + count);
        for (size_t i = 0; i < count; ++i) {
            m_samples[at + i] = static_cast<int16_t>(m_packet->data[2 * i] | (m_packet->data[2 * i + 1] << 8));
        }
        av_packet_unref(m_packet);
        return {};
    }

    AVFormatContext* m_sound;
    const std::string& m_path;
    ZRNShowVideoEncoderFFmpeg* m_out;
    int64_t m_end;
    AVPacket* m_packet;
    std::vector<int16_t> m_samples;
    int64_t m_fed = 0;
    bool m_soundLeft = true;
};

// Copies one part's pictures into the joined video, the sound fed along; the reason,
// or empty.
std::string CopyPart(const JoinPart& part, const ZRNShowVideoSettings& settings, ZRNShowVideoEncoderFFmpeg* out,
                     JoinSoundFeeder* sound, AVPacket* packet) {
    Input in;
    std::string problem = OpenInput(part.path, &in);
    if (!problem.empty()) {
        return problem;
    }
    const int v = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVRational timeBase = in->streams[v]->time_base;
    int64_t k = part.from;
    int r = 0;
    while ((r = av_read_frame(in.get(), packet)) >= 0) {
        if (packet->stream_index != v) {
            av_packet_unref(packet);
            continue;
        }
        const bool ok = out->AddCopied(packet, timeBase, part.from);
        av_packet_unref(packet);
        if (!ok) {
            return out->Error();
        }
        ++k;
        problem = sound->FeedTo((k * settings.sampleRate) / settings.fps);
        if (!problem.empty()) {
            return problem;
        }
    }
    if (r != AVERROR_EOF) {
        return "cannot read " + part.path + ": " + AvError(r);
    }
    return {};
}

// The pieces of the join that can fail, in order; the reason, or empty.
std::string JoinVideo(const ZRNShowVideoJoin& join) {
    // A damaged part is reported here, naming the file; the demuxers' own words about
    // it would only come first without saying which.
    av_log_set_level(AV_LOG_FATAL);
    if (join.parts.empty()) {
        return "no parts to join";
    }
    std::vector<JoinPart> parts;
    Input first;
    ZRNShowVideoSettings settings;
    std::string problem = OpenParts(join, &parts, &first, &settings);
    if (problem.empty()) {
        problem = CheckCoverage(parts, ZRNShowTime(join.showTickMs).FirstPictureAt(join.showEndTick, settings.fps), settings.fps);
    }
    Input sound;
    int64_t soundEnd = 0;
    if (problem.empty()) {
        problem = OpenJoinSound(join, parts.back().to, &settings, &sound, &soundEnd);
    }
    if (problem.empty()) {
        problem = CheckVideo(settings);
    }
    if (!problem.empty()) {
        return problem;
    }
    AVFormatContext* f = first.get();
    const int firstVideo = av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    ZRNShowVideoEncoderFFmpeg out(settings, f->streams[firstVideo]->codecpar);
    if (!out.Open()) {
        return out.Error();
    }
    std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    if (packet == nullptr) {
        return "out of memory";
    }
    JoinSoundFeeder feeder(sound.get(), join.soundPath, &out, soundEnd, packet.get());
    for (const JoinPart& part : parts) {
        problem = CopyPart(part, settings, &out, &feeder, packet.get());
        if (!problem.empty()) {
            return problem;
        }
    }
    if (feeder.Fed() < soundEnd) {
        return join.soundPath + " ended at frame " + std::to_string(feeder.Fed()) +
               " while it was read, before frame " + std::to_string(soundEnd);
    }
    return out.Finish(soundEnd) ? std::string() : out.Error();
}

}  // namespace

extern "C" ZARNOTH_VIDEO_ENTRY ZRNShowVideoInterface zarnoth_video_interface() { return kZRNShowVideoInterface; }

extern "C" ZARNOTH_VIDEO_ENTRY void zarnoth_video_check(const ZRNShowVideoSettings* settings, std::string* reason) {
    *reason = CheckVideo(*settings);
}

extern "C" ZARNOTH_VIDEO_ENTRY ZRNShowVideoEncoder* zarnoth_video_create(const ZRNShowVideoSettings* settings) {
    return new ZRNShowVideoEncoderFFmpeg(*settings);
}

extern "C" ZARNOTH_VIDEO_ENTRY void zarnoth_video_join(const ZRNShowVideoJoin* join, std::string* reason) {
    *reason = JoinVideo(*join);
}
