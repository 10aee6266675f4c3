#include "sound/mpeg/mpeg_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sound/mpeg/mpg_decoder.h"

namespace mpegtest {
namespace {

struct Source {
    const std::vector<uint8_t>* bytes;
    size_t pos;
    int32_t chunk;
};

int32_t ReadBytes(void* context, uint8_t* dst, int32_t max) {
    auto* s = static_cast<Source*>(context);
    const size_t left = s->bytes->size() - s->pos;
    const size_t n = std::min<size_t>({left, static_cast<size_t>(max), static_cast<size_t>(s->chunk)});
    if (n) {
        std::memcpy(dst, s->bytes->data() + s->pos, n);
    }
    s->pos += n;
    return static_cast<int32_t>(n);
}

}  // namespace

Decoded DecodeBytes(const std::vector<uint8_t>& bytes, bool fullBand, int32_t chunk) {
    Decoded d;
    Source src{&bytes, 0, chunk};
    MpgDecoder dec;
    mpgSetFullBand(dec, fullBand);
    d.opened = mpgOpen(dec, ReadBytes, &src, static_cast<int32_t>(bytes.size()));
    if (!d.opened) {
        return d;
    }
    d.channels = mpgChannels(dec);
    d.rate = mpgSampleRate(dec);
    int16_t out[kMpgMaxFrameSamples];
    for (;;) {
        const int32_t n = mpgDecodeFrame(dec, out);
        if (n < 0) {
            break;
        }
        d.pcm.insert(d.pcm.end(), out, out + n * d.channels);
        ++d.frames;
    }
    mpgClose(dec);
    return d;
}

Difference Compare(const int16_t* a, const int16_t* b, size_t n) {
    Difference r;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const int d = std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
        r.max = std::max(r.max, d);
        sum += static_cast<double>(d) * d;
    }
    r.compared = n;
    r.rms = n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
    return r;
}

std::vector<int16_t> ToSamples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return s;
}

}  // namespace mpegtest
