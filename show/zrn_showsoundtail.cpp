// ZRNShowSoundTail: following a growing WAV file.
#include "show/zrn_showsoundtail.h"

namespace {

constexpr int32_t kChannels = 2;

}  // namespace

ZRNShowSoundTail::~ZRNShowSoundTail() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool ZRNShowSoundTail::Take(std::vector<int16_t>* out) {
    if (m_file == nullptr) {
        m_file = std::fopen(m_path.c_str(), "rb");
        if (m_file == nullptr) {
            return false;
        }
    }
    // What the writer has flushed so far; a partial frame waits for the next call.
    if (std::fseek(m_file, 0, SEEK_END) != 0) {
        return false;
    }
    const long end = std::ftell(m_file);
    if (end < 0) {
        return false;
    }
    const int64_t frameBytes = kChannels * static_cast<int64_t>(sizeof(int16_t));
    const int64_t frames = (static_cast<int64_t>(end) - m_offset) / frameBytes;
    if (frames <= 0) {
        return true;
    }
    if (std::fseek(m_file, static_cast<long>(m_offset), SEEK_SET) != 0) {
        return false;
    }
    const size_t first = out->size();
    out->resize(first + static_cast<size_t>(frames) * kChannels);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out->data() + first);
    const size_t count = static_cast<size_t>(frames * frameBytes);
    if (std::fread(bytes, 1, count, m_file) != count) {
        out->resize(first);
        return false;
    }
    // The file is little-endian; so is every machine this builds for, but say it.
    for (size_t i = 0; i < static_cast<size_t>(frames) * kChannels; ++i) {
        (*out)[first + i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    m_offset += frames * frameBytes;
    return true;
}
