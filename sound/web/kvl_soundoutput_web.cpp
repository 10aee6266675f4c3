// KVLSoundOutputWeb: an AudioContext with an AudioWorklet node fed chunks from the ring
// through its message port, or a ScriptProcessor node pulling from the ring; either
// way 16-bit (or 8-bit) frames handed to Web Audio as floats. The JavaScript is in
// kvl_soundoutput_web.js (the page's thread) and kvl_ring_player.js (the worklet).
#include "sound/web/kvl_soundoutput_web.h"

#include <emscripten/emscripten.h>

#include "sound/kvl_sounddevice.h"

extern "C" {
// Called by the page's side of the nodes. Kept in the program for the page's script.
EMSCRIPTEN_KEEPALIVE int kvl_sound_web_pull(KVLSoundOutputWeb* output, uint8_t* out, int32_t bytes) {
    return output->PullForPage(out, bytes);
}
EMSCRIPTEN_KEEPALIVE int kvl_sound_web_pull_chunk(KVLSoundOutputWeb* output, uint8_t* out, int32_t bytes,
                                                  int32_t* music) {
    return output->PullChunkForPage(out, bytes, music);
}
EMSCRIPTEN_KEEPALIVE void kvl_sound_web_queued(KVLSoundOutputWeb* output, int32_t bytes) {
    output->SetQueuedOnPage(bytes);
}
}

// The page's side, in kvl_soundoutput_web.js (linked with --js-library; its header
// describes the nodes and the counts). Everything of one output is kept there, tagged
// with the output it belongs to.
extern "C" {
// Makes the AudioContext and its node. 1 when a node is (being) set up, 0 when the page
// has no Web Audio, -1 when another output already plays on the page.
int kvl_sound_web_open(void* output, int rate, int bits, int channels);
// The ring was reset: the node drops what it still queues.
void kvl_sound_web_reset(void* output);
// Stops the node and closes the context.
void kvl_sound_web_close(void* output);
// Suspends (1) or resumes (0) the output's AudioContext.
void kvl_sound_web_suspend(void* output, int suspend);
}

namespace {
const char* const kDevice = "Web Audio";
}

std::unique_ptr<KVLSoundOutput> KVLCreateSoundOutput(int32_t deviceIndex) {
    (void)deviceIndex;
    return std::make_unique<KVLSoundOutputWeb>();
}

KVLSoundOutputWeb::~KVLSoundOutputWeb() { CloseDevice(); }

bool KVLSoundOutputWeb::OpenDevice(int32_t rate, int32_t bits, bool stereo, KVLString* description,
                                   KVLString* error) {
    const int opened = m_open ? -1 : kvl_sound_web_open(this, rate, bits, stereo ? 2 : 1);
    if (opened != 1) {
        if (error != nullptr) {
            *error = KVLSoundFailureText(opened < 0 ? KVLSoundFailure::kTooMany : KVLSoundFailure::kNoDevice, kDevice);
        }
        return false;
    }
    m_open = true;
    *description = kDevice;
    return true;
}

void KVLSoundOutputWeb::CloseDevice() {
    if (m_open) {
        kvl_sound_web_close(this);
        m_open = false;
    }
}

void KVLSoundOutputWeb::DevicePaused(bool paused) {
    if (m_open) {
        kvl_sound_web_suspend(this, paused ? 1 : 0);
    }
}

void KVLSoundOutputWeb::DeviceReset() {
    if (m_open) {
        kvl_sound_web_reset(this);
    }
}

int32_t KVLSoundOutputWeb::PullForPage(uint8_t* out, int32_t bytes) {
    // A held or stopped ring hands out silence that is neither music nor a gap.
    if (!IsHandingOut()) {
        Pull(out, bytes);
        return -1;
    }
    return Pull(out, bytes);
}

int32_t KVLSoundOutputWeb::PullChunkForPage(uint8_t* out, int32_t maxBytes, int32_t* music) {
    // Held or stopped: nothing now, which is not the end of the music.
    if (!IsHandingOut()) {
        *music = 0;
        return -1;
    }
    return PullQueued(out, maxBytes, music);
}
