// ZRNShowVideoWriter, ZRNCheckShowVideo and ZRNJoinShowVideo: the video module is loaded once
// per writer, check or join (ZRNShowVideoModule); a build without one refuses with the
// module's reason. The writer's encoding thread is the only thread that calls the
// encoder after Open.
#include "show/zrn_showvideo.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "show/zrn_showoffline.h"
#include "show/zrn_showvideo_encoder.h"
#include "show/zrn_showvideo_module.h"

namespace {

constexpr int32_t kChannels = 2;

}  // namespace

namespace {

// What call says of the loaded video module, or why it could not be loaded.
template <typename Call>
std::string WithVideoModule(Call call) {
    ZRNShowVideoModule module;
    std::string error;
    if (!module.Load(&error)) {
        return error;
    }
    return call(module);
}

}  // namespace

std::string ZRNCheckShowVideo(const ZRNShowVideoSettings& settings) {
    return WithVideoModule([&](ZRNShowVideoModule& module) { return module.Check(settings); });
}

std::string ZRNJoinShowVideo(const ZRNShowVideoJoin& join) {
    if (join.showEndTick <= 0) {
        return "the show to join has no end tick";
    }
    if (join.showTickMs <= 0) {
        return "the show to join has no tick length";
    }
    return WithVideoModule([&](ZRNShowVideoModule& module) { return module.Join(join); });
}

ZRNShowVideoWriter::ZRNShowVideoWriter(const ZRNShowVideoSettings& settings) : m_settings(settings) {}

ZRNShowVideoWriter::~ZRNShowVideoWriter() {
    // The thread goes before the encoder it uses; an unfinished encoder then deletes
    // OUT.part.
    Stop();
}

bool ZRNShowVideoWriter::Fail(const std::string& what) {
    m_error = what;
    return false;
}

const std::string& ZRNShowVideoWriter::Error() const { return m_error; }

bool ZRNShowVideoWriter::Open() {
    if (m_encoder != nullptr) {
        return Fail("the video file is open already");
    }
    auto module = std::make_unique<ZRNShowVideoModule>();
    std::string error;
    if (!module->Load(&error)) {
        return Fail(error);
    }
    m_module = std::move(module);
    m_encoder = m_module->Create(m_settings);
    if (!m_encoder->Open()) {
        return Fail(m_encoder->Error());
    }
    m_thread = std::thread(&ZRNShowVideoWriter::Work, this);
    return true;
}

bool ZRNShowVideoWriter::AddPicture(std::unique_ptr<KVLImage> picture) {
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

bool ZRNShowVideoWriter::AddSound(const int16_t* samples, int64_t frames) {
    Job job;
    job.sound.assign(samples, samples + std::max<int64_t>(0, frames) * kChannels);
    return Push(std::move(job));
}

bool ZRNShowVideoWriter::Finish(int64_t soundFrames) {
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

bool ZRNShowVideoWriter::Push(Job job) {
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
void ZRNShowVideoWriter::Work() {
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

void ZRNShowVideoWriter::Stop() {
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
