// KVLSoundOutputWeb: an AudioContext and a ScriptProcessor node pulling 16-bit frames
// from the ring and handing them to Web Audio as floats.
#include "sound/web/kvl_soundoutput_web.h"

#include <emscripten/emscripten.h>

#include "sound/kvl_sounddevice.h"

extern "C" {
// Called by the node's callback. Kept in the program for the page's script.
EMSCRIPTEN_KEEPALIVE int kvl_sound_web_pull(KVLSoundOutputWeb* output, uint8_t* out, int32_t bytes) {
    return output->PullForPage(out, bytes) ? 1 : 0;
}
}

// clang-format off
// Returns 0 when the page has no Web Audio; 1 when the node runs. The node reads
// 16-bit (or 8-bit) frames into a scratch area of the program's memory and converts.
EM_JS(int, kvl_sound_web_open, (void* output, int rate, int bits, int channels), {
    const AudioContextClass = window.AudioContext || window.webkitAudioContext;
    if (!AudioContextClass) {
        return 0;
    }
    let context;
    try {
        context = new AudioContextClass({sampleRate: rate});
    } catch (e) {
        console.error("zarnoth: Web Audio: " + e);
        return 0;
    }
    const frames = 2048;
    const bytesPerFrame = channels * (bits / 8);
    const scratch = _malloc(frames * bytesPerFrame);
    const node = context.createScriptProcessor(frames, 0, 2);
    if (Module.zarnothSoundFrames === undefined) {
        Module.zarnothSoundFrames = 0;
    }
    node.onaudioprocess = function(event) {
        const left = event.outputBuffer.getChannelData(0);
        const right = event.outputBuffer.getChannelData(1);
        const n = left.length;
        const playing = _kvl_sound_web_pull(output, scratch, n * bytesPerFrame);
        if (bits === 16) {
            const samples = HEAP16.subarray(scratch >> 1, (scratch >> 1) + n * channels);
            for (let i = 0; i < n; ++i) {
                left[i] = samples[i * channels] / 32768;
                right[i] = samples[i * channels + channels - 1] / 32768;
            }
        } else {
            for (let i = 0; i < n; ++i) {
                left[i] = (HEAPU8[scratch + i * channels] - 128) / 128;
                right[i] = (HEAPU8[scratch + i * channels + channels - 1] - 128) / 128;
            }
        }
        if (playing) {
            Module.zarnothSoundFrames += n;
        }
    };
    node.connect(context.destination);
    context.resume();
    Module.zarnothSound = {context: context, node: node, scratch: scratch};
    Module.zarnothSoundRate = context.sampleRate;
    return 1;
});

EM_JS(void, kvl_sound_web_close, (), {
    const sound = Module.zarnothSound;
    if (!sound) {
        return;
    }
    sound.node.onaudioprocess = null;
    sound.node.disconnect();
    sound.context.close();
    _free(sound.scratch);
    Module.zarnothSound = null;
});
// Suspends (1) or resumes (0) the AudioContext of the open output, if any.
EM_JS(void, kvl_sound_web_suspend, (int suspend), {
    const sound = Module.zarnothSound;
    if (!sound) {
        return;
    }
    if (suspend) {
        sound.context.suspend();
    } else {
        sound.context.resume();
    }
});
// clang-format on

std::unique_ptr<KVLSoundOutput> KVLCreateSoundOutput(int32_t deviceIndex) {
    (void)deviceIndex;
    return std::make_unique<KVLSoundOutputWeb>();
}

KVLSoundOutputWeb::~KVLSoundOutputWeb() { CloseDevice(); }

bool KVLSoundOutputWeb::OpenDevice(int32_t rate, int32_t bits, bool stereo, KVLString* description,
                                   KVLString* error) {
    if (m_open) {
        if (error != nullptr) {
            *error = "Too many Direct Sound device opened";
        }
        return false;
    }
    if (kvl_sound_web_open(this, rate, bits, stereo ? 2 : 1) == 0) {
        if (error != nullptr) {
            *error = "No Direct Sound device available on this system";
        }
        return false;
    }
    m_open = true;
    *description = "Web Audio";
    return true;
}

void KVLSoundOutputWeb::CloseDevice() {
    if (m_open) {
        kvl_sound_web_close();
        m_open = false;
    }
}

void KVLSoundOutputWeb::DevicePaused(bool paused) {
    if (m_open) {
        kvl_sound_web_suspend(paused ? 1 : 0);
    }
}

bool KVLSoundOutputWeb::PullForPage(uint8_t* out, int32_t bytes) {
    // A held ring hands out silence, which is not counted as music handed on.
    const bool playing = IsHandingOut();
    Pull(out, bytes);
    return playing;
}
