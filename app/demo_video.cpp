// DemoVideoWriter and CheckDemoVideo: the video module is loaded here (dlopen), once per
// writer or check; it stays mapped after its last user (RTLD_NODELETE), because
// FFmpeg's libraries are not made to be unloaded. The writer's encoding thread is the
// only thread that calls the encoder after Open. DemoSoundTail needs no FFmpeg.
#include "app/demo_video.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/demo_video_encoder.h"
#include "platform/kvl_programpath.h"

namespace {

constexpr int32_t kChannels = 2;

}  // namespace

// An open handle of the video module and its entry points.
class DemoVideoModule {
public:
    DemoVideoModule() = default;
    ~DemoVideoModule() {
        if (m_handle != nullptr) {
            dlclose(m_handle);
        }
    }
    DemoVideoModule(const DemoVideoModule&) = delete;
    DemoVideoModule& operator=(const DemoVideoModule&) = delete;

    // Next to the program first (a build folder), then the installed module folder.
    // False with the loader's reason.
    bool Load(std::string* error) {
        std::vector<std::string> places;
        const KVLString folder = KVLGetProgramFolder();
        if (!folder.IsEmpty()) {
            places.push_back(std::string(folder.c_str()) + kDemoVideoModule);
        }
#if defined(ZARNOTH_MODULE_DIR)
        places.push_back(std::string(ZARNOTH_MODULE_DIR "/") + kDemoVideoModule);
#endif
        std::string reason = "not found next to the program";
        for (const std::string& place : places) {
            m_handle = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
            if (m_handle == nullptr) {
                const char* why = dlerror();
                reason = why != nullptr ? why : place;
                continue;
            }
            m_check = reinterpret_cast<DemoVideoCheckEntry>(dlsym(m_handle, kDemoVideoCheckName));
            m_create = reinterpret_cast<DemoVideoCreateEntry>(dlsym(m_handle, kDemoVideoCreateName));
            m_join = reinterpret_cast<DemoVideoJoinEntry>(dlsym(m_handle, kDemoVideoJoinName));
            if (m_check != nullptr && m_create != nullptr && m_join != nullptr) {
                return true;
            }
            reason = place + " is not the video module";
            dlclose(m_handle);
            m_handle = nullptr;
        }
        *error = "videos need " + std::string(kDemoVideoModule) + ", which cannot be loaded: " + reason;
        return false;
    }

    std::string Check(const DemoVideoSettings& settings) const {
        std::string reason;
        m_check(&settings, &reason);
        return reason;
    }
    std::unique_ptr<DemoVideoEncoder> Create(const DemoVideoSettings& settings) const {
        return std::unique_ptr<DemoVideoEncoder>(m_create(&settings));
    }
    std::string Join(const DemoVideoJoin& join) const {
        std::string reason;
        m_join(&join, &reason);
        return reason;
    }

private:
    void* m_handle = nullptr;
    DemoVideoCheckEntry m_check = nullptr;
    DemoVideoCreateEntry m_create = nullptr;
    DemoVideoJoinEntry m_join = nullptr;
};

std::string CheckDemoVideo(const DemoVideoSettings& settings) {
    DemoVideoModule module;
    std::string error;
    if (!module.Load(&error)) {
        return error;
    }
    return module.Check(settings);
}

std::string JoinDemoVideo(const DemoVideoJoin& join) {
    DemoVideoModule module;
    std::string error;
    if (!module.Load(&error)) {
        return error;
    }
    return module.Join(join);
}

DemoVideoWriter::DemoVideoWriter(const DemoVideoSettings& settings) : m_settings(settings) {}

DemoVideoWriter::~DemoVideoWriter() {
    // The thread goes before the encoder it uses; an unfinished encoder then deletes
    // OUT.part.
    Stop();
}

bool DemoVideoWriter::Fail(const std::string& what) {
    m_error = what;
    return false;
}

const std::string& DemoVideoWriter::Error() const { return m_error; }

bool DemoVideoWriter::Open() {
    if (m_encoder != nullptr) {
        return Fail("the video file is open already");
    }
    auto module = std::make_unique<DemoVideoModule>();
    std::string error;
    if (!module->Load(&error)) {
        return Fail(error);
    }
    m_module = std::move(module);
    m_encoder = m_module->Create(m_settings);
    if (!m_encoder->Open()) {
        return Fail(m_encoder->Error());
    }
    m_thread = std::thread(&DemoVideoWriter::Work, this);
    return true;
}

bool DemoVideoWriter::AddPicture(std::unique_ptr<KVLImage> picture) {
    if (picture == nullptr) {
        return Fail("no picture");
    }
    // Checked here, before the picture is queued, so that the caller hears of it at once.
    if (picture->width != m_settings.width || picture->height != m_settings.height) {
        return Fail("a picture of the wrong size");
    }
    Job job;
    job.picture = std::move(picture);
    return Push(std::move(job));
}

bool DemoVideoWriter::AddSound(const int16_t* samples, int64_t frames) {
    Job job;
    job.sound.assign(samples, samples + std::max<int64_t>(0, frames) * kChannels);
    return Push(std::move(job));
}

bool DemoVideoWriter::Finish(int64_t soundFrames) {
    Job job;
    job.finish = true;
    job.soundFrames = soundFrames;
    if (!Push(std::move(job))) {
        return false;
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_done; });
    }
    m_thread.join();
    // The thread has ended: its failure text is read without the lock.
    return m_failed ? Fail(m_failure) : true;
}

bool DemoVideoWriter::Push(Job job) {
    if (!m_thread.joinable()) {
        return Fail("the video file is not open");
    }
    const bool picture = job.picture != nullptr;
    std::unique_lock<std::mutex> lock(m_mutex);
    // Sound comes in small pieces between the pictures; the second bound only keeps a
    // caller that sends sound alone from queueing without end.
    m_changed.wait(lock, [&] {
        return m_failed || m_done ||
               ((!picture || m_queuedPictures < kQueuedPictures) && m_queue.size() < 4 * kQueuedPictures);
    });
    if (m_failed) {
        const std::string failure = m_failure;
        lock.unlock();
        return Fail(failure);
    }
    if (m_done) {
        lock.unlock();
        return Fail("the video file is not open");
    }
    m_queuedPictures += picture ? 1 : 0;
    m_queue.push_back(std::move(job));
    m_changed.notify_all();
    return true;
}

// The encoding thread: takes the jobs in order until the finish, a failure or Stop.
void DemoVideoWriter::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                return;
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
            m_queuedPictures -= job.picture != nullptr ? 1 : 0;
            m_changed.notify_all();
        }
        bool ok = true;
        if (job.picture != nullptr) {
            ok = m_encoder->AddPicture(*job.picture);
            // The picture's memory goes back before the next one is taken.
            job.picture.reset();
        } else if (job.finish) {
            ok = m_encoder->Finish(job.soundFrames);
        } else if (!job.sound.empty()) {
            ok = m_encoder->AddSound(job.sound.data(), static_cast<int64_t>(job.sound.size() / kChannels));
        }
        if (!ok || job.finish) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_failed = !ok;
            m_failure = ok ? std::string() : m_encoder->Error();
            m_done = true;
            // What is still queued will not be encoded.
            m_queue.clear();
            m_queuedPictures = 0;
            m_changed.notify_all();
            return;
        }
    }
}

void DemoVideoWriter::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
    }
    m_thread.join();
}

DemoSoundTail::~DemoSoundTail() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool DemoSoundTail::Take(std::vector<int16_t>* out) {
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
