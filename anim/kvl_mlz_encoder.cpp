// MLZ writing: LZ77 coder, file writer, colour quantiser.
#include "anim/kvl_mlz_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kHashBits = 15;
constexpr int kMaxChain = 256;
constexpr size_t kWindowMask = kKVLMLZMaxDistance - 1;

// Emits items grouped under flag bytes: bit i of a flag byte (from the least
// significant) is 1 for a literal, 0 for a match.
class ItemWriter {
public:
    explicit ItemWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void Literal(uint8_t b) {
        Open();
        m_out[m_flag] = static_cast<uint8_t>(m_out[m_flag] | (1u << m_bit));
        ++m_bit;
        m_out.push_back(b);
    }
    void Match(size_t distance, int length) {
        Open();
        ++m_bit;
        const uint32_t v = static_cast<uint32_t>(distance - 1) | (static_cast<uint32_t>(length - kKVLMLZMinMatch) << 12);
        m_out.push_back(static_cast<uint8_t>(v));
        m_out.push_back(static_cast<uint8_t>(v >> 8));
    }

private:
    void Open() {
        if (m_bit == 8) {
            m_flag = m_out.size();
            m_out.push_back(0);
            m_bit = 0;
        }
    }
    std::vector<uint8_t>& m_out;
    size_t m_flag = 0;
    int m_bit = 8;
};

class MatchFinder {
public:
    MatchFinder(const uint8_t* data, size_t size)
        : m_data(data), m_size(size), m_head(size_t{1} << kHashBits, -1), m_prev(kKVLMLZMaxDistance, -1) {}

    void Insert(size_t p) {
        if (p + 2 < m_size) {
            const uint32_t h = Hash(p);
            m_prev[p & kWindowMask] = m_head[h];
            m_head[h] = static_cast<int64_t>(p);
        }
    }

    // Longest match for position p among the inserted positions of the window.
    int Find(size_t p, size_t& distance) const {
        if (p + kKVLMLZMinMatch > m_size) {
            return 0;
        }
        const int maxLength = static_cast<int>(std::min<size_t>(kKVLMLZMaxMatch, m_size - p));
        int best = 0;
        int64_t candidate = m_head[Hash(p)];
        for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
            const size_t c = static_cast<size_t>(candidate);
            if (p - c > static_cast<size_t>(kKVLMLZMaxDistance)) {
                break;
            }
            if (m_data[c + best] == m_data[p + best]) {
                int length = 0;
                while (length < maxLength && m_data[c + length] == m_data[p + length]) {
                    ++length;
                }
                if (length > best) {
                    best = length;
                    distance = p - c;
                    if (length == maxLength) {
                        break;
                    }
                }
            }
            candidate = m_prev[c & kWindowMask];
        }
        return best >= kKVLMLZMinMatch ? best : 0;
    }

private:
    uint32_t Hash(size_t p) const {
        const uint32_t v = m_data[p] | (static_cast<uint32_t>(m_data[p + 1]) << 8) |
                           (static_cast<uint32_t>(m_data[p + 2]) << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const uint8_t* m_data;
    size_t m_size;
    std::vector<int64_t> m_head;
    // Previous position with the same hash, by position modulo the window: an entry is
    // overwritten only once its position has left the window.
    std::vector<int64_t> m_prev;
};

}  // namespace

std::vector<uint8_t> KVLMLZCompress(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size / 2 + 16);
    ItemWriter items(out);
    MatchFinder finder(data, size);
    size_t p = 0;
    size_t distance = 0;
    int length = size > 0 ? finder.Find(0, distance) : 0;
    while (p < size) {
        if (length == 0) {
            items.Literal(data[p]);
            finder.Insert(p);
            ++p;
            if (p < size) {
                length = finder.Find(p, distance);
            }
            continue;
        }
        finder.Insert(p);
        // Lazy matching: when the next position starts a longer match, this byte goes
        // out as a literal and that match is taken instead.
        size_t nextDistance = 0;
        const int next = (length < kKVLMLZMaxMatch && p + 1 < size) ? finder.Find(p + 1, nextDistance) : 0;
        if (next > length) {
            items.Literal(data[p]);
            ++p;
            length = next;
            distance = nextDistance;
            continue;
        }
        items.Match(distance, length);
        for (int k = 1; k < length; ++k) {
            finder.Insert(p + static_cast<size_t>(k));
        }
        p += static_cast<size_t>(length);
        length = p < size ? finder.Find(p, distance) : 0;
    }
    return out;
}

// Colour quantisation.

namespace {

struct ColourEntry {
    uint16_t word;
    uint32_t count;
    int c[3];  // red, green, blue as the decoder expands them (low bits zero)
};

void Expand(uint16_t w, int c[3]) {
    c[0] = ((w >> 11) & 31) << 3;
    c[1] = ((w >> 5) & 63) << 2;
    c[2] = (w & 31) << 3;
}

struct Box {
    size_t begin;
    size_t end;
    double score;  // weighted sum of squared deviations over the three channels
    int axis;      // channel of the largest spread
};

Box MakeBox(const std::vector<ColourEntry>& e, size_t begin, size_t end) {
    double n = 0;
    double sum[3] = {};
    double sq[3] = {};
    for (size_t i = begin; i < end; ++i) {
        const double w = e[i].count;
        n += w;
        for (int k = 0; k < 3; ++k) {
            sum[k] += w * e[i].c[k];
            sq[k] += w * e[i].c[k] * e[i].c[k];
        }
    }
    Box b{begin, end, 0, 0};
    double bestSpread = -1;
    for (int k = 0; k < 3; ++k) {
        const double spread = sq[k] - sum[k] * sum[k] / n;
        b.score += spread;
        if (spread > bestSpread) {
            bestSpread = spread;
            b.axis = k;
        }
    }
    if (end - begin < 2) {
        b.score = 0;
    }
    return b;
}

// A reused palette may show a frame this much worse (in squared error) than a fresh one.
constexpr double kPaletteReuseTolerance = 1.15;

double SquaredDistance(const int c[3], const std::array<double, 3>& p) {
    const double d0 = c[0] - p[0];
    const double d1 = c[1] - p[1];
    const double d2 = c[2] - p[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

int Nearest(const int c[3], const std::vector<std::array<double, 3>>& centres) {
    int best = 0;
    double bestDistance = 1e30;
    for (size_t j = 0; j < centres.size(); ++j) {
        const double d = SquaredDistance(c, centres[j]);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(j);
        }
    }
    return best;
}

uint16_t ToWord(const std::array<double, 3>& c) {
    auto level = [](double v, int shift, int top) {
        const int l = static_cast<int>(v / (1 << shift) + 0.5);
        return std::clamp(l, 0, top);
    };
    return static_cast<uint16_t>((level(c[0], 3, 31) << 11) | (level(c[1], 2, 63) << 5) | level(c[2], 3, 31));
}

// Reorders the palette (and the index table) so that entries take the slots of the
// nearest entries of the previous palette, closest pairs first.
void AlignPalette(KVLQuantized& q, std::vector<uint8_t>& table, const uint16_t* previous) {
    struct Pair {
        int distance;
        uint8_t entry;
        uint8_t slot;
    };
    std::vector<Pair> pairs;
    pairs.reserve(static_cast<size_t>(q.colours) * 256);
    for (int i = 0; i < q.colours; ++i) {
        int a[3];
        Expand(q.palette[i], a);
        for (int j = 0; j < 256; ++j) {
            int b[3];
            Expand(previous[j], b);
            const int d = (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
            pairs.push_back({d, static_cast<uint8_t>(i), static_cast<uint8_t>(j)});
        }
    }
    std::stable_sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) { return x.distance < y.distance; });
    int slotOf[256];
    bool slotUsed[256] = {};
    std::fill(std::begin(slotOf), std::end(slotOf), -1);
    for (const Pair& p : pairs) {
        if (slotOf[p.entry] < 0 && !slotUsed[p.slot]) {
            slotOf[p.entry] = p.slot;
            slotUsed[p.slot] = true;
        }
    }
    uint16_t palette[256] = {};
    for (int j = 0; j < 256; ++j) {
        palette[j] = previous[j];  // unused slots keep the old colour
    }
    for (int i = 0; i < q.colours; ++i) {
        palette[slotOf[i]] = q.palette[i];
    }
    for (uint8_t& t : table) {
        t = static_cast<uint8_t>(slotOf[t]);
    }
    std::memcpy(q.palette, palette, sizeof palette);
    q.colours = 256;
}

// Every distinct 565 colour of the picture with its pixel count, in word order.
std::vector<ColourEntry> CountColours(const uint32_t* pixels, size_t count) {
    std::vector<uint32_t> histogram(65536, 0);
    for (size_t i = 0; i < count; ++i) {
        ++histogram[KVLPixelTo565(pixels[i])];
    }
    std::vector<ColourEntry> entries;
    for (uint32_t w = 0; w < 65536; ++w) {
        if (histogram[w] != 0) {
            ColourEntry e{static_cast<uint16_t>(w), histogram[w], {}};
            Expand(e.word, e.c);
            entries.push_back(e);
        }
    }
    return entries;
}

// Few enough colours: each keeps its word, in word order.
void KeepColours(const std::vector<ColourEntry>& entries, KVLQuantized& q, std::vector<uint8_t>& table) {
    for (size_t i = 0; i < entries.size(); ++i) {
        q.palette[i] = entries[i].word;
        table[entries[i].word] = static_cast<uint8_t>(i);
    }
    q.colours = static_cast<int>(entries.size());
}

// Median cut: splits the box with the largest squared error along its widest
// channel at the weighted median, until there are 256 boxes or none can be split.
// Reorders the entries so that each box is a range of them.
std::vector<Box> MedianCut(std::vector<ColourEntry>& entries) {
    std::vector<Box> boxes = {MakeBox(entries, 0, entries.size())};
    while (boxes.size() < 256) {
        auto it = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.score < b.score; });
        if (it->score <= 0) {
            break;
        }
        const Box box = *it;
        const int axis = box.axis;
        std::sort(entries.begin() + static_cast<long>(box.begin), entries.begin() + static_cast<long>(box.end),
                  [axis](const ColourEntry& a, const ColourEntry& b) { return a.c[axis] < b.c[axis]; });
        uint64_t total = 0;
        for (size_t i = box.begin; i < box.end; ++i) total += entries[i].count;
        uint64_t running = 0;
        size_t split = box.begin + 1;
        for (size_t i = box.begin; i < box.end - 1; ++i) {
            running += entries[i].count;
            split = i + 1;
            if (2 * running >= total) {
                break;
            }
        }
        *it = MakeBox(entries, box.begin, split);
        boxes.push_back(MakeBox(entries, split, box.end));
    }
    return boxes;
}

// The weighted mean colour of each box.
std::vector<std::array<double, 3>> BoxMeans(const std::vector<ColourEntry>& entries, const std::vector<Box>& boxes) {
    std::vector<std::array<double, 3>> centres;
    for (const Box& b : boxes) {
        double n = 0;
        std::array<double, 3> s = {0, 0, 0};
        for (size_t i = b.begin; i < b.end; ++i) {
            n += entries[i].count;
            for (int k = 0; k < 3; ++k) s[k] += static_cast<double>(entries[i].count) * entries[i].c[k];
        }
        centres.push_back({s[0] / n, s[1] / n, s[2] / n});
    }
    return centres;
}

// A few rounds of k-means move each centre to the mean of the colours nearest to
// it, which lowers the error the box boundaries leave. A centre no colour is
// nearest to stays where it is.
void RefineCentres(const std::vector<ColourEntry>& entries, std::vector<std::array<double, 3>>& centres) {
    for (int round = 0; round < 3; ++round) {
        std::vector<std::array<double, 4>> acc(centres.size(), {0, 0, 0, 0});
        for (const ColourEntry& e : entries) {
            auto& a = acc[static_cast<size_t>(Nearest(e.c, centres))];
            const double w = e.count;
            a[0] += w * e.c[0];
            a[1] += w * e.c[1];
            a[2] += w * e.c[2];
            a[3] += w;
        }
        for (size_t j = 0; j < centres.size(); ++j) {
            if (acc[j][3] > 0) {
                centres[j] = {acc[j][0] / acc[j][3], acc[j][1] / acc[j][3], acc[j][2] / acc[j][3]};
            }
        }
    }
}

// Palette words as the decoder shows them.
std::vector<std::array<double, 3>> ShownColours(const uint16_t* words, size_t n) {
    std::vector<std::array<double, 3>> shown;
    for (size_t j = 0; j < n; ++j) {
        int c[3];
        Expand(words[j], c);
        shown.push_back({static_cast<double>(c[0]), static_cast<double>(c[1]), static_cast<double>(c[2])});
    }
    return shown;
}

// Maps every colour to its nearest palette entry in table; returns the squared
// error of the picture shown that way.
double MapToNearest(const std::vector<ColourEntry>& entries, const std::vector<std::array<double, 3>>& palette,
                    std::vector<uint8_t>& table) {
    double error = 0;
    for (const ColourEntry& e : entries) {
        const int j = Nearest(e.c, palette);
        table[e.word] = static_cast<uint8_t>(j);
        error += e.count * SquaredDistance(e.c, palette[static_cast<size_t>(j)]);
    }
    return error;
}

void IndexPixels(const uint32_t* pixels, size_t count, const std::vector<uint8_t>& table,
                 std::vector<uint8_t>& indices) {
    for (size_t i = 0; i < count; ++i) {
        indices[i] = table[KVLPixelTo565(pixels[i])];
    }
}

}  // namespace

KVLQuantized KVLQuantize565(const uint32_t* pixels, size_t count, const uint16_t* previousPalette) {
    KVLQuantized q;
    q.indices.resize(count);
    std::vector<ColourEntry> entries = CountColours(pixels, count);
    std::vector<uint8_t> table(65536, 0);
    if (entries.size() <= 256) {
        KeepColours(entries, q, table);
    } else {
        std::vector<std::array<double, 3>> centres = BoxMeans(entries, MedianCut(entries));
        RefineCentres(entries, centres);
        // The palette holds the centres as 565 words; colours map to the nearest word
        // as the decoder will show it.
        for (size_t j = 0; j < centres.size(); ++j) {
            q.palette[j] = ToWord(centres[j]);
        }
        q.colours = static_cast<int>(centres.size());
        const double freshError = MapToNearest(entries, ShownColours(q.palette, centres.size()), table);
        if (previousPalette != nullptr) {
            // Keep the previous frame's palette when it shows this frame nearly as well
            // as a fresh one: indices then stay put wherever the picture did not change.
            std::vector<uint8_t> oldTable(65536, 0);
            const double oldError = MapToNearest(entries, ShownColours(previousPalette, 256), oldTable);
            if (oldError <= freshError * kPaletteReuseTolerance) {
                std::memcpy(q.palette, previousPalette, sizeof q.palette);
                q.colours = 256;
                IndexPixels(pixels, count, oldTable, q.indices);
                return q;
            }
        }
    }
    if (previousPalette != nullptr && q.colours > 0) {
        AlignPalette(q, table, previousPalette);
    }
    IndexPixels(pixels, count, table, q.indices);
    return q;
}

// The file writer.

KVLMLZWriter::~KVLMLZWriter() {
    if (m_begun && m_out.IsOpen()) {
        m_out.Close();
    }
}

bool KVLMLZWriter::Write(const void* data, size_t n) {
    if (m_failed) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const int32_t chunk = static_cast<int32_t>(std::min<size_t>(n, 1 << 30));
        if (m_out.Write(bytes, chunk) != chunk) {
            m_failed = true;
            return false;
        }
        bytes += chunk;
        n -= static_cast<size_t>(chunk);
        m_bytes += chunk;
    }
    return true;
}

bool KVLMLZWriter::Begin(const KVLMLZHeader& header, KVLString* errorText) {
    const char* problem = nullptr;
    if (header.bitsPerPixel != 8 && header.bitsPerPixel != 16) {
        problem = "bits per pixel must be 8 or 16";
    } else if (header.compression > 2 || (header.compression == 2 && header.bitsPerPixel != 8)) {
        problem = "delta frames need 8 bits per pixel";
    } else if (!KVLImageSizeOK(header.width, header.height)) {
        problem = "frames must be 1 to 16384 pixels in each direction";
    } else if (header.frameCount < 1 || header.frameCount > kKVLMLZMaxFrames) {
        problem = "an animation has 1 to 1048576 frames";
    }
    if (problem != nullptr) {
        if (errorText != nullptr) {
            *errorText = problem;
        }
        return false;
    }
    if (!m_out.OpenWrite()) {
        if (errorText != nullptr) {
            *errorText = "cannot open the output for writing";
        }
        return false;
    }
    m_begun = true;
    m_header = header;
    uint8_t bytes[kKVLMLZHeaderSize];
    header.Encode(bytes);
    if (!Write(bytes, sizeof bytes)) {
        if (errorText != nullptr) {
            *errorText = "write failed";
        }
        return false;
    }
    return true;
}

bool KVLMLZWriter::WriteFrame(const uint8_t* bytes) {
    const size_t frameSize = static_cast<size_t>(m_header.FrameSize());
    const std::vector<uint8_t> packed = KVLMLZCompress(bytes, frameSize);
    uint8_t size[4];
    if (packed.size() >= frameSize) {
        ++m_rawFrames;
        KVLPutU32(size, 0xFFFFFFFFu);
        return Write(size, 4) && Write(bytes, frameSize);
    }
    KVLPutU32(size, static_cast<uint32_t>(packed.size()));
    return Write(size, 4) && Write(packed.data(), packed.size());
}

bool KVLMLZWriter::AddFrame8(const uint8_t* indices, const uint16_t palette[256]) {
    if (!m_begun || m_header.bitsPerPixel != 8 || m_frames >= m_header.frameCount) {
        m_failed = true;
        return false;
    }
    const size_t frameSize = static_cast<size_t>(m_header.FrameSize());
    const uint8_t* stored = indices;
    if (m_header.compression == 2) {
        // Frame 0 is stored whole; each later frame as byte differences to the one
        // before it, which the reader adds back modulo 256.
        if (m_frames > 0) {
            m_difference.resize(frameSize);
            for (size_t i = 0; i < frameSize; ++i) {
                m_difference[i] = static_cast<uint8_t>(indices[i] - m_previous[i]);
            }
            stored = m_difference.data();
        }
        m_previous.assign(indices, indices + frameSize);
    }
    uint8_t words[kKVLMLZPaletteSize];
    for (int i = 0; i < 256; ++i) {
        KVLPutU16(words + 2 * i, palette[i]);
    }
    ++m_frames;
    return WriteFrame(stored) && Write(words, sizeof words);
}

bool KVLMLZWriter::AddFrame16(const uint16_t* pixels) {
    if (!m_begun || m_header.bitsPerPixel != 16 || m_frames >= m_header.frameCount) {
        m_failed = true;
        return false;
    }
    const size_t count = static_cast<size_t>(m_header.width) * static_cast<size_t>(m_header.height);
    m_difference.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
        KVLPutU16(m_difference.data() + 2 * i, pixels[i]);
    }
    ++m_frames;
    return WriteFrame(m_difference.data());
}

bool KVLMLZWriter::Finish(KVLString* errorText) {
    if (!m_begun) {
        if (errorText != nullptr) {
            *errorText = "nothing was written";
        }
        return false;
    }
    const bool closed = m_out.Close();
    m_begun = false;
    if (m_failed || !closed) {
        if (errorText != nullptr) {
            *errorText = "write failed";
        }
        return false;
    }
    if (m_frames != m_header.frameCount) {
        if (errorText != nullptr) {
            errorText->Format("%d frames written, the header announces %d", m_frames, m_header.frameCount);
        }
        return false;
    }
    return true;
}
