// ZRNShowController: start-up, the frame step's switch protocol and the tick.
#include "show/zrn_showcontroller.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/kvl_messagebox.h"
#include "show/zrn_showstepper.h"
#include "sound/kvl_sounddevice.h"
#include "sound/kvl_soundstreamer_wav.h"

ZRNShowController::ZRNShowController(const ZRNShowDescription& show, KVLWindow* window,
                                     ZRNRendererInterface* renderer, KVLTimer* timer)
    : m_show(show),
      m_timeline(show.GetTimeline()),
      m_window(window),
      m_renderer(renderer),
      m_timer(timer),
      m_gap(show.gapSteps) {}

// The window and the timer are gone by now (the application deletes them first).
// The player goes before the streamer it reads and the output it writes to.
ZRNShowController::~ZRNShowController() {
    if (m_player) {
        m_player->Stop();
    }
    m_current.store(nullptr, std::memory_order_release);
    m_tickVisitor.reset();
    m_renderVisitor.reset();
    m_scenes.clear();
    m_player.reset();
    m_streamer.reset();
    m_output.reset();
}

std::unique_ptr<KVLSoundOutput> ZRNShowController::CreateSoundOutput() {
    if (!m_wavPath.IsEmpty()) {
        auto wav = std::make_unique<KVLSoundOutputWAV>(m_wavPath);
        m_wav = wav.get();
        return wav;
    }
    return KVLCreateSoundOutput(-1);
}

void ZRNShowController::CreateScenes() {
    const ZRNShowSceneContext context{m_renderer, m_renderVisitor.get(), m_tickVisitor.get(), m_player.get()};
    for (const ZRNShowChapter& chapter : m_show.chapters) {
        AddScene(chapter.create(context));
    }
}

void ZRNShowController::AddScene(std::unique_ptr<ZRNShowScene> scene) { m_scenes.push_back(std::move(scene)); }

ZRNShowScene* ZRNShowController::GetScene(int32_t i) const {
    if (i < 0 || i >= static_cast<int32_t>(m_scenes.size())) {
        return nullptr;
    }
    return m_scenes[static_cast<size_t>(i)].get();
}

int32_t ZRNShowController::GetCurrentIndex() const {
    ZRNShowScene* current = GetCurrentScene();
    for (size_t i = 0; current != nullptr && i < m_scenes.size(); ++i) {
        if (m_scenes[i].get() == current) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

bool ZRNShowController::Init() {
    m_tickVisitor = std::make_unique<ZRNTickVisitor>(m_show.GetAnimationTicksPerSecond());
    m_renderVisitor = std::make_unique<ZRNRenderVisitor>(m_renderer);
    m_output = CreateSoundOutput();
    // The soundtrack's first bytes pick its streamer: a RIFF/WAVE header is PCM, the
    // rest is taken for MP3. A soundtrack that does not open shows up as "Unable to
    // play music" below, with the stream's name and the streamer's reason.
    const KVLStream* music = m_show.music ? m_show.music() : nullptr;
    if (music != nullptr && KVLIsWAVStream(*music)) {
        m_streamer = std::make_unique<KVLSoundStreamerWAV>();
    } else {
        m_streamer = std::make_unique<KVLSoundStreamerMP3>();
    }
    KVLString why;
    const bool opened = music != nullptr && m_streamer->OpenStream(*music, &why);
    if (music == nullptr) {
        why = "the show gives no soundtrack";
    } else if (!opened) {
        // Named once: the streamers' reasons often name the file already.
        const KVLString name = music->GetName();
        if (!name.IsEmpty() && std::strstr(why.c_str(), name.c_str()) == nullptr) {
            const KVLString reason = why;
            why.Format("%s: %s", name.c_str(), reason.c_str());
        }
    }
    m_player = std::make_unique<KVLSoundPlayer>(m_output.get(), 2);
    if (m_wav != nullptr) {
        // The caller plays the file at its own pace: the worker need not keep a sound
        // card's pace, a short rest keeps it from spinning while the file is full.
        m_player->SetWorkerPause(1);
    } else if (opened) {
        // Heard live, the music ends with the show's end tick to the sample: the pass
        // that sees the end may come late (a slow page draws a few pictures a second),
        // and what the device was given by then would play on. Offline runs cut the
        // sound themselves, at the video's last picture.
        const int64_t end = m_timeline.GetTime().SoundFrameOfTick(m_timeline.GetEndTick(), m_streamer->GetSampleRate());
        m_player->SetEndFrame(static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX)));
    }

    if (!LoadScenes()) {
        return false;
    }

    if (m_window != nullptr) {
        m_window->AddListener(this);
        if (!m_window->Open()) {
            return false;
        }
        m_window->SetCursorMode(-1);
    }
    if (!m_renderer->Initialise()) {
        return false;
    }
    if (m_timer != nullptr) {
        m_timer->Setup(m_timeline.GetTime().GetTickMs(), 0, &ZRNShowController::OnTick, this);
    }
    KVLString played;
    if (!opened || !m_player->Play(m_streamer.get(), &played)) {
        KVLString text;
        text.Format("Unable to play music: %s", opened ? played.c_str() : why.c_str());
        KVLMessageBox(text.c_str(), "Error");
        return false;
    }
    m_running.store(true, std::memory_order_release);
    if (m_timer != nullptr) {
        m_timer->Start();
    }
    return true;
}

bool ZRNShowController::LoadScenes() {
    CreateScenes();
    for (const auto& scene : m_scenes) {
        KVLString error;
        if (!scene->Load(&error)) {
            KVLMessageBox(error.c_str(), "Error");
            return false;
        }
    }
    m_current.store(m_scenes.empty() ? nullptr : m_scenes[0].get(), std::memory_order_release);
    return true;
}

bool ZRNShowController::Rewind() {
    std::vector<std::unique_ptr<ZRNShowScene>> old;
    {
        std::lock_guard<std::mutex> lock(m_sceneLock);
        m_current.store(nullptr, std::memory_order_release);
        old.swap(m_scenes);
        m_tickCount.store(0, std::memory_order_release);
        m_pendingTick.store(0, std::memory_order_release);
        m_switchPending.store(false, std::memory_order_release);
        m_nextScene = 0;
        m_gap = m_show.gapSteps;
    }
    old.clear();
    // The new scenes' textures are uploaded again as they are first drawn.
    m_renderer->ResetTextures();
    if (!LoadScenes()) {
        m_running.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

int32_t ZRNShowController::GetMusicRate() const { return m_streamer->GetSampleRate(); }

bool ZRNShowController::PlayMusicAtTick(int32_t tick) {
    return PlayMusicAtFrame(m_timeline.GetTime().SoundFrameOfTick(tick, m_streamer->GetSampleRate()));
}

bool ZRNShowController::PlayMusicAtFrame(int64_t frame) {
    m_player->Stop();
    if (!m_streamer->Seek(static_cast<int32_t>(frame))) {
        return false;
    }
    return m_player->Play(m_streamer.get(), nullptr);
}

void ZRNShowController::PauseMusic() { m_player->SetPaused(true); }

bool ZRNShowController::Redraw() {
    ZRNShowScene* scene = m_current.load(std::memory_order_acquire);
    if (scene == nullptr || m_switchPending.load(std::memory_order_acquire)) {
        return false;
    }
    // Paused, no tick comes: the tick walk moves nothing new and the picture is the
    // current one. Frame-counted rules count it (one frame of the oscilloscope's hold).
    scene->SetDrawing(true);
    scene->Render();
    return true;
}

void ZRNShowController::ResumeMusic() { m_player->SetPaused(false); }

int64_t ZRNShowController::GetHeardMusicFrame() {
    if (!m_player || !m_output || m_player->IsPaused() || m_player->IsFinished() || m_output->GetPlayPosition() <= 0) {
        return -1;
    }
    return m_player->GetPlayFrame();
}

void ZRNShowController::DeleteScene(int32_t index) {
    std::unique_ptr<ZRNShowScene> doomed;
    {
        std::lock_guard<std::mutex> lock(m_sceneLock);
        if (index >= 0 && index < static_cast<int32_t>(m_scenes.size())) {
            doomed = std::move(m_scenes[static_cast<size_t>(index)]);
        }
        if (doomed && m_current.load(std::memory_order_relaxed) == doomed.get()) {
            m_current.store(nullptr, std::memory_order_release);
        }
    }
    // Deleted outside the lock: no tick can reach it any more.
}

void ZRNShowController::FrameStep(bool draw) {
    if (!m_switchPending.load(std::memory_order_acquire)) {
        if (ZRNShowScene* scene = m_current.load(std::memory_order_acquire)) {
            scene->SetDrawing(draw);
            scene->Render();
        }
        return;
    }
    const int32_t gapSteps = m_show.gapSteps;
    if (m_gap != gapSteps) {
        ++m_gap;
        if (m_gap == gapSteps - 1) {
            {
                std::lock_guard<std::mutex> lock(m_sceneLock);
                m_current.store(GetScene(m_nextScene), std::memory_order_release);
                m_gap = m_show.gapSteps;
                m_switchPending.store(false, std::memory_order_release);
            }
        }
        return;
    }
    const int32_t tick = m_pendingTick.load(std::memory_order_acquire);
    const std::vector<int32_t>& switchTicks = m_timeline.GetSwitchTicks();
    const int32_t sceneCount = m_timeline.GetSceneCount();
    for (int32_t i = 0; i < sceneCount - 1; ++i) {
        if (tick == switchTicks[static_cast<size_t>(i)]) {
            DeleteScene(i);
            m_nextScene = i + 1;
            m_gap = 0;
            m_renderer->ResetTextures();
            return;
        }
    }
    if (tick == m_timeline.GetEndTick()) {
        DeleteScene(sceneCount - 1);
        m_nextScene = -1;
        m_current.store(nullptr, std::memory_order_release);
        if (m_player) {
            m_player->Stop();
        }
        m_running.store(false, std::memory_order_release);
    }
}

void ZRNShowController::OnTick(int32_t argument, void* context) {
    (void)argument;
    static_cast<ZRNShowController*>(context)->Tick();
}

void ZRNShowController::Tick() {
    const int32_t count = m_tickCount.fetch_add(1, std::memory_order_acq_rel) + 1;
    for (int32_t switchTick : m_timeline.GetSwitchTicks()) {
        if (count == switchTick) {
            m_pendingTick.store(count, std::memory_order_release);
            m_switchPending.store(true, std::memory_order_release);
            break;
        }
    }
    std::lock_guard<std::mutex> lock(m_sceneLock);
    ZRNShowScene* scene = m_current.load(std::memory_order_acquire);
    if (scene != nullptr && !m_switchPending.load(std::memory_order_acquire) &&
        m_running.load(std::memory_order_acquire)) {
        scene->Tick();
    }
}

bool ZRNShowController::OnDestroying() {
    m_running.store(false, std::memory_order_release);
    if (m_player) {
        m_player->Stop();
    }
    return true;
}
