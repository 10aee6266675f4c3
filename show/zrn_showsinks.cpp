// Picture sinks of the offline runs.
#include "show/zrn_showsinks.h"

#include <cstdio>
#include <vector>

#include "image/kvl_pngwriter.h"

namespace {

bool WritePNG(const KVLImage& picture, const std::string& path, std::string* error) {
    KVLString why;
    if (KVLWritePNG(picture, path.c_str(), &why)) {
        return true;
    }
    *error = "cannot write " + path + ": " + why.c_str();
    return false;
}

class ShotSink : public ZRNShowPictureSink {
public:
    explicit ShotSink(std::string path) : m_path(std::move(path)) {}
    bool Take(int64_t, std::unique_ptr<KVLImage> picture) override {
        std::string error;
        return WritePNG(*picture, m_path, &error) || Fail(error);
    }

private:
    std::string m_path;
};

class CaptureSink : public ZRNShowPictureSink {
public:
    explicit CaptureSink(std::string folder) : m_folder(std::move(folder)) {}
    bool Take(int64_t k, std::unique_ptr<KVLImage> picture) override {
        char file[64];
        std::snprintf(file, sizeof file, "/frame_%05lld.png", static_cast<long long>(k));
        std::string error;
        return WritePNG(*picture, m_folder + file, &error) || Fail(error);
    }

private:
    std::string m_folder;
};

class DiscardSink : public ZRNShowPictureSink {
public:
    bool Take(int64_t, std::unique_ptr<KVLImage>) override { return true; }
};

class VideoSink : public ZRNShowPictureSink {
public:
    VideoSink(const ZRNShowVideoSettings& settings, std::string wavPath)
        : m_settings(settings), m_withSound(!wavPath.empty()), m_tail(std::move(wavPath)) {}

    bool Open(int32_t sampleRate) override {
        m_settings.sampleRate = sampleRate;
        m_writer = std::make_unique<ZRNShowVideoWriter>(m_settings);
        return m_writer->Open() || Fail(m_writer->Error());
    }
    // The sound that reached the file so far goes in after each picture.
    bool Take(int64_t, std::unique_ptr<KVLImage> picture) override {
        return (m_writer->AddPicture(std::move(picture)) || Fail(m_writer->Error())) && FeedSound();
    }
    bool Finish(int64_t soundFrames) override {
        return FeedSound() && (m_writer->Finish(m_withSound ? soundFrames : 0) || Fail(m_writer->Error()));
    }

private:
    bool FeedSound() {
        if (!m_withSound) {
            return true;
        }
        m_buffer.clear();
        if (!m_tail.Take(&m_buffer)) {
            return Fail("cannot read the soundtrack back");
        }
        return m_buffer.empty() || m_writer->AddSound(m_buffer.data(), static_cast<int64_t>(m_buffer.size() / 2)) ||
               Fail(m_writer->Error());
    }

    ZRNShowVideoSettings m_settings;
    bool m_withSound;
    ZRNShowSoundTail m_tail;
    std::unique_ptr<ZRNShowVideoWriter> m_writer;
    std::vector<int16_t> m_buffer;
};

}  // namespace

std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowShotSink(std::string path) {
    return std::make_unique<ShotSink>(std::move(path));
}

std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowCaptureSink(std::string folder) {
    return std::make_unique<CaptureSink>(std::move(folder));
}

std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowDiscardSink() { return std::make_unique<DiscardSink>(); }

std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowVideoSink(const ZRNShowVideoSettings& settings, std::string wavPath) {
    return std::make_unique<VideoSink>(settings, std::move(wavPath));
}
