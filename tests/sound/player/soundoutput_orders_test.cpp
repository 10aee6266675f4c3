// Every order of the writer's and the device's operations on the sound ring, up to a
// bounded depth, explored breadth-first without threads or timing: each order runs on
// a copy of its parent's state, is checked after its step against a model of what must
// be heard, and then played out; states already seen (the ring's whole state and the
// model's) are not explored again. Two devices: one that plays what it pulls (SDL, WAV)
// and one that queues ahead and reports what it still holds late (the page's worklet).
// Limits: one chunk size (2 frames), pulls of half a chunk, whole chunks written; the
// DirectSound output's own cursor handling is not covered (only its fill rule).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "sound/kvl_soundoutput.h"

namespace {

constexpr int32_t kFrames = 2;  // frames per chunk
constexpr int32_t kBytes = 4 * kFrames;

// The ring with a device and the writer, driven one operation at a time. Frame values
// number the music from 1 on since the last reset (chunk s holds 2s+1 and 2s+2), with
// the top bit telling odd resets from even ones, so what is heard must be 0 (silence)
// or the next number due. Numbered from each reset, a state after a reset is the same
// as one reached without it, and is not explored twice.
class OrderRing : public KVLSoundOutputRing {
public:
    OrderRing(bool queueing, std::FILE* notice) : m_queueing(queueing) {
        SetNotice(notice);
        Open(44100, 16, true, kFrames, nullptr);
    }
    ~OrderRing() override { CloseDevice(); }

    // W write the next chunk, P pull half a chunk and play it, H hold or release,
    // X reset; a queueing device pulls a chunk ahead (F), plays half a chunk of its
    // queue (L) and reports its queue (Q). Returns what went wrong, or "".
    std::string Step(char op) {
        std::string fault;
        switch (op) {
        case 'W':
            Write1();
            break;
        case 'P':
            fault = PullChecked(kBytes / 2);
            break;
        case 'F':
            fault = Feed(kBytes);
            break;
        case 'L':
            fault = PlayQueued(kFrames / 2);
            break;
        case 'Q':
            SetDeviceQueued(static_cast<int32_t>(m_queue.size()) * 4);
            m_reported = true;
            break;
        case 'H':
            m_held = !m_held;
            SetPaused(m_held);
            break;
        case 'X':
            Reset();
            m_odd = !m_odd;
            m_next = 0;
            m_expect = Value(1);
            m_heard = 0;
            m_position = 0;
            m_reported = true;
            break;
        }
        return fault.empty() ? CheckPosition() : fault;
    }

    // Lets the ring play out: released, a few more chunks written (enough to start a
    // stopped ring), then everything pulled and played. All music taken must be heard.
    std::string Drain() {
        SetPaused(m_held = false);
        for (int i = 0; i < 5; ++i) {
            Write1();
        }
        std::string fault = m_queueing ? Feed(34 * kBytes) : PullChecked(34 * kBytes);
        if (fault.empty()) {
            fault = PlayQueued(static_cast<int32_t>(m_queue.size()));
        }
        if (fault.empty()) {
            fault = Step('Q');
        }
        if (fault.empty() && m_expect != Value(2 * m_next + 1)) {
            fault = "music taken and never heard: " + Frame(m_expect) + " on";
        }
        return fault;
    }

    // Becomes a copy of other: the ring's state and the model's.
    void CopyFrom(OrderRing& other) {
        CopyStateFrom(other);
        m_next = other.m_next;
        m_odd = other.m_odd;
        m_expect = other.m_expect;
        m_heard = other.m_heard;
        m_position = other.m_position;
        m_held = other.m_held;
        m_reported = other.m_reported;
        m_queue = other.m_queue;
    }

    size_t Key() {
        std::string key = StateKey();
        const int32_t model[] = {static_cast<int32_t>(m_next), static_cast<int32_t>(m_expect), m_heard,
                                 m_position, m_held, m_reported, m_odd};
        key.append(reinterpret_cast<const char*>(model), sizeof model);
        key.append(reinterpret_cast<const char*>(m_queue.data()), m_queue.size() * 4);
        return std::hash<std::string>()(key);
    }

protected:
    bool OpenDevice(int32_t, int32_t, bool, KVLString* description, KVLString*) override {
        *description = "ordered device";
        return true;
    }
    void CloseDevice() override {}
    void DeviceReset() override { m_queue.clear(); }

private:
    uint32_t Value(uint32_t number) const { return number | (m_odd ? 0x80000000u : 0u); }
    static std::string Frame(uint32_t v) {
        v &= 0x7fffffffu;
        return "chunk " + std::to_string((v - 1) / 2) + " frame " + std::to_string((v - 1) % 2);
    }
    void Write1() {
        const uint32_t chunk[kFrames] = {Value(2 * m_next + 1), Value(2 * m_next + 2)};
        m_next += Write(chunk, kFrames) ? 1 : 0;
    }
    std::string PullChecked(int32_t bytes) {
        std::vector<uint32_t> got(static_cast<size_t>(bytes / 4));
        const int32_t music = Pull(reinterpret_cast<uint8_t*>(got.data()), bytes);
        std::string fault = CountMusic(got.data(), bytes / 4, music);
        for (size_t i = 0; i < got.size() && fault.empty(); ++i) {
            fault = Hear(got[i]);
        }
        return fault;
    }
    std::string Feed(int32_t bytes) {
        std::vector<uint32_t> got(static_cast<size_t>(bytes / 4));
        int32_t music = 0;
        const int32_t n = PullQueued(reinterpret_cast<uint8_t*>(got.data()), bytes, &music) / 4;
        m_queue.insert(m_queue.end(), got.begin(), got.begin() + n);
        return CountMusic(got.data(), n, music);
    }
    // A held device is suspended and plays nothing; its queue stays.
    std::string PlayQueued(int32_t frames) {
        const size_t n = m_held ? 0 : std::min(m_queue.size(), static_cast<size_t>(frames));
        std::string fault;
        for (size_t i = 0; i < n && fault.empty(); ++i) {
            fault = Hear(m_queue[i]);
        }
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(n));
        m_reported = m_reported && n == 0;
        return fault;
    }
    std::string CountMusic(const uint32_t* frames, int32_t n, int32_t music) {
        int32_t nonzero = 0;
        for (int32_t i = 0; i < n; ++i) {
            nonzero += frames[i] != 0 ? 1 : 0;
        }
        return nonzero == music ? "" : "the device was told " + std::to_string(music) + " music frames of " +
                                           std::to_string(nonzero);
    }
    std::string Hear(uint32_t v) {
        if (v == 0) {
            return "";
        }
        if (v != m_expect) {
            return "heard " + Frame(v) + " where " + Frame(m_expect) + " was due";
        }
        ++m_expect;
        ++m_heard;
        return "";
    }
    // The position counts the music heard: exactly once the device's queue is known,
    // never more before, never backwards.
    std::string CheckPosition() {
        const int32_t p = GetPlayPosition();
        const bool exact = !m_queueing || m_reported;
        if (p < m_position || p > m_heard || (exact && p != m_heard)) {
            return "play position " + std::to_string(p) + " after " + std::to_string(m_heard) +
                   " music frames heard (" + std::to_string(m_position) + " before)";
        }
        m_position = p;
        return "";
    }

    bool m_queueing;
    uint32_t m_next = 0;    // the chunk the writer offers next, since the last reset
    uint32_t m_expect = 1;  // the music frame due next
    bool m_odd = false;     // an odd number of resets
    int32_t m_heard = 0;    // music frames heard since the last reset
    int32_t m_position = 0;
    bool m_held = false;
    bool m_reported = true;  // the ring knows the device's queue
    std::vector<uint32_t> m_queue;
};

std::string Describe(const std::string& path) {
    std::string text;
    for (size_t i = 0; i < path.size();) {
        size_t j = i;
        while (j < path.size() && path[j] == path[i]) {
            ++j;
        }
        text += (text.empty() ? "" : " ") + std::string(1, path[i]) + (j - i > 1 ? "x" + std::to_string(j - i) : "");
        i = j;
    }
    return text;
}

struct Exploration {
    size_t states = 0;
    size_t orders = 0;  // operation sequences run (a parent state plus one step)
    std::string fault;
};

// Breadth-first, each state branching from a copy of its parent (rings are reused, not
// opened anew). States are told apart by a hash of the whole state (a collision would
// merely leave one state unexplored).
Exploration Explore(bool queueing, const std::string& ops, size_t depth, std::FILE* notice) {
    Exploration result;
    struct Node {
        std::unique_ptr<OrderRing> ring;
        std::string path;
    };
    std::vector<std::unique_ptr<OrderRing>> spare;
    const auto take = [&] {
        if (spare.empty()) {
            return std::make_unique<OrderRing>(queueing, notice);
        }
        auto ring = std::move(spare.back());
        spare.pop_back();
        return ring;
    };
    OrderRing drained(queueing, notice);
    std::vector<Node> level;
    level.push_back({take(), ""});
    std::unordered_set<size_t> seen = {level[0].ring->Key()};
    for (size_t d = 0; d < depth && !level.empty(); ++d) {
        std::vector<Node> next;
        std::unique_ptr<OrderRing> child;
        for (Node& node : level) {
            for (const char op : ops) {
                if (!child) {
                    child = take();
                }
                child->CopyFrom(*node.ring);
                ++result.orders;
                std::string fault = child->Step(op);
                if (fault.empty() && seen.insert(child->Key()).second) {
                    drained.CopyFrom(*child);
                    fault = drained.Drain();
                    if (!fault.empty()) {
                        fault += " (when drained)";
                    }
                    next.push_back({std::move(child), node.path + op});
                }
                if (!fault.empty()) {
                    result.fault = Describe(node.path + op) + ": " + fault;
                    return result;
                }
            }
        }
        for (Node& node : level) {
            spare.push_back(std::move(node.ring));
        }
        if (child) {
            spare.push_back(std::move(child));
        }
        result.states += next.size();
        level.swap(next);
    }
    return result;
}

// Depth 37 covers a start held from idle, filled to the full mark, released and written
// to twice before the device pulls (37 operations with the refused write; each state is
// also drained). Also found: a device that ran the ring dry let the cursor pass the
// write offset, and a ring refilled after an underrun took writes past the full mark.
TEST(SoundOutputOrders, EveryOrderPlaysEachChunkOnceAndCountsWhatIsHeard) {
    std::FILE* notice = std::tmpfile();
    ASSERT_NE(notice, nullptr);
    const struct {
        bool queueing;
        const char* ops;
        size_t depth;
    } devices[] = {{false, "WPHX", 37}, {true, "WFLQHX", 37}};
    for (const auto& device : devices) {
        const Exploration e = Explore(device.queueing, device.ops, device.depth, notice);
        EXPECT_EQ(e.fault, "") << (device.queueing ? "queueing device" : "device");
        std::printf("%s, operations %s, depth %zu: %zu orders run, %zu states\n",
                    device.queueing ? "queueing device" : "device", device.ops, device.depth, e.orders,
                    e.states);
    }
    std::fclose(notice);
}

}  // namespace
