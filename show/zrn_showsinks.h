// Where the pictures of an offline run go: one PNG (a shot), a numbered PNG per picture
// (a capture), a video file with the soundtrack, or nowhere (a run that only draws
// and reads back, to time the rendering alone). Each sink receives picture k of the
// run in order; a sink that fails says why in Error and the run stops.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/kvl_image.h"
#include "show/zrn_showsoundtail.h"
#include "show/zrn_showvideo.h"

class ZRNShowPictureSink {
public:
    virtual ~ZRNShowPictureSink() = default;
    // Before the first picture, with the soundtrack's sample rate.
    virtual bool Open(int32_t sampleRate) {
        (void)sampleRate;
        return true;
    }
    virtual bool Take(int64_t k, std::unique_ptr<KVLImage> picture) = 0;
    // After the show has stopped and its soundtrack file is complete: the run's
    // sound in frames (the sinks that keep sound end it there).
    virtual bool Finish(int64_t soundFrames) {
        (void)soundFrames;
        return true;
    }
    const std::string& Error() const { return m_error; }

protected:
    bool Fail(std::string error) {
        m_error = std::move(error);
        return false;
    }

private:
    std::string m_error;
};

// The one picture of a shot, to path.
std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowShotSink(std::string path);
// Every picture as folder/frame_NNNNN.png.
std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowCaptureSink(std::string folder);
// The pictures dropped (they have been drawn and read back).
std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowDiscardSink();
// A video with the soundtrack that grows in the WAV file at wavPath (read back as it
// grows); an empty path: a video without sound (a part of one, whose join adds it). Without a video encoder in the build, Open fails with ZRNCheckShowVideo's text.
std::unique_ptr<ZRNShowPictureSink> ZRNMakeShowVideoSink(const ZRNShowVideoSettings& settings, std::string wavPath);
