// KVLSoundPlayer: the worker's read / write / drain states and the sample read-back.
#include "sound/kvl_soundplayer.h"

#include <chrono>
#include <cstring>
#include <thread>

KVLSoundPlayer::KVLSoundPlayer(KVLSoundOutput* output, int32_t bufferCount)
    : m_output(output), m_bufferCount(bufferCount < 1 ? 1 : bufferCount), m_worker(KVLCreateWorkerThread()) {
    // Zeroed storage: a block that a short Read leaves partly unwritten plays silence.
    for (int32_t i = 0; i < m_bufferCount; ++i) {
        m_buffers.push_back(KVLMakeSampleBlock(kBlockFrames));
    }
}

KVLSoundPlayer::~KVLSoundPlayer() {
    m_worker->Stop();
}

bool KVLSoundPlayer::Play(KVLSoundStreamer* streamer, KVLString* error) {
    if (streamer == nullptr || m_output == nullptr) {
        if (error != nullptr) {
            *error = "Impossible to play music";
        }
        return false;
    }
    if (!m_outputOpen) {
        if (!m_output->Open(streamer->GetSampleRate(), 16, true, kBlockFrames, error)) {
            return false;
        }
        m_outputOpen = true;
        m_output->SetPaused(m_paused.load());
    }
    m_worker->Stop();
    // A new start: the output's position counts from the streamer's frame again, and
    // nothing of an earlier run (finished or stopped) stays queued.
    m_output->Reset();
    m_startFrame = streamer->GetPosition();
    if (!m_worker->Create(0, &Begin, &Loop, &End, this)) {
        if (error != nullptr) {
            *error = "Impossible to play music";
        }
        return false;
    }
    m_streamer = streamer;
    m_decodedEnd.store(streamer->GetPosition());
    m_queuedEnd = m_output->GetPlayPosition();
    m_started.store(false);
    m_worker->Start();
    while (!m_started.load()) {
        if (m_worker->IsFinished()) {
            if (error != nullptr) {
                *error = "Impossible to play music";
            }
            return false;
        }
        m_worker->Wait(1);
    }
    return true;
}

void KVLSoundPlayer::Stop() { m_worker->Stop(); }

void KVLSoundPlayer::SetPaused(bool paused) {
    m_paused.store(paused);
    if (m_outputOpen) {
        m_output->SetPaused(paused);
    }
}

int32_t KVLSoundPlayer::GetPlayFrame() {
    if (!m_outputOpen || m_decodedEnd.load() == -1) {
        return 0;
    }
    return m_startFrame + m_output->GetPlayPosition();
}

bool KVLSoundPlayer::Begin(int32_t, void* context) {
    static_cast<KVLSoundPlayer*>(context)->m_state.store(kRead);
    return true;
}

bool KVLSoundPlayer::Loop(int32_t, void* context) {
    auto* self = static_cast<KVLSoundPlayer*>(context);
    switch (self->m_state.load()) {
    case kRead: {
        // Up to the end frame, when there is one: the block that reaches it is written
        // short, and what lies past it never reaches the output.
        const int32_t end = self->m_endFrame.load();
        const int32_t left = end < 0 ? kBlockFrames : end - self->m_streamer->GetPosition();
        if (left <= 0) {
            self->m_started.store(true);
            self->m_state.store(kDrain);
            break;
        }
        self->m_writeFrames = left < kBlockFrames ? left : kBlockFrames;
        int32_t current = self->m_current.load() + 1;
        if (current >= self->m_bufferCount) {
            current = 0;
        }
        KVLSampleBlock* block = self->m_buffers[static_cast<size_t>(current)].get();
        const int32_t r = self->m_streamer->Read(block);
        self->m_current.store(current);
        self->m_decodedEnd.fetch_add(kBlockFrames);
        // A failed Read holds no music: it ends the stream instead of being queued.
        self->m_state.store(r > 0 ? kWrite : kDrain);
        break;
    }
    case kWrite: {
        KVLSampleBlock* block = self->m_buffers[static_cast<size_t>(self->m_current.load())].get();
        const bool ok = self->m_output->Write(block->data, self->m_writeFrames);
        self->m_started.store(true);
        if (ok) {
            self->m_queuedEnd += self->m_writeFrames;
            self->m_state.store(kRead);
        }
        break;
    }
    case kDrain: {
        const int32_t heard = self->m_output->GetPlayPosition();
        if (heard >= self->m_streamer->GetPosition() || heard >= self->m_queuedEnd) {
            self->m_state.store(kDone);
        }
        break;
    }
    case kDone:
        return false;
    default:
        break;
    }
    self->m_worker->Pause(self->m_pauseMs.load());
    return true;
}

bool KVLSoundPlayer::End(int32_t, void* context) {
    auto* self = static_cast<KVLSoundPlayer*>(context);
    if (self->m_state.load() != kDone) {
        self->m_output->Reset();
    }
    return true;
}

void KVLSoundPlayer::GetCurrentSamples(KVLSampleBlock* request) {
    if (request == nullptr || request->data == nullptr || request->frames <= 0 ||
        m_decodedEnd.load() == -1 || !m_outputOpen) {
        return;
    }
    const int32_t position = m_output->GetPlayPosition();
    if (!m_output->ReadPlaying(position, request->data, request->frames)) {
        std::memset(request->data, 0, static_cast<size_t>(request->frames) * 4);
    }
}
