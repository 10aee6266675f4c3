// KVLSoundOutputWeb: an AudioContext with an AudioWorklet node fed chunks from the ring
// through its message port, or a ScriptProcessor node pulling from the ring; either
// way 16-bit (or 8-bit) frames handed to Web Audio as floats.
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

// clang-format off
// Returns 1 when a node is (being) set up, 0 when the page has no Web Audio, -1 when
// another output already plays on the page. The page's side keeps everything of one
// output in Module.zarnothSound, tagged with the output it belongs to.
//
// The worklet's processor plays the chunks it is sent, in order, and every 512 frames
// reports how many it has played since the last flush; silence it plays between two
// chunks (none queued, more to come) is starvation, a gap in the music. A flush (the
// ring was reset) drops its queue; a generation number tells the page which reports
// are about the music after the flush. The page keeps the worklet `lead` frames ahead,
// on each report and on a timer (reports stop while the context is suspended), and
// tells the ring what is still queued. Music and bridged silence are counted as the
// worklet reports them played. A worklet that cannot be set up falls back to the
// ScriptProcessor.
EM_JS(int, kvl_sound_web_open, (void* output, int rate, int bits, int channels), {
    if (Module.zarnothSound) {
        return Module.zarnothSound.output === output ? 1 : -1;
    }
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
    const scriptFrames = 2048;
    const chunkFrames = 1024;
    const lead = context.sampleRate;
    const bytesPerFrame = channels * (bits / 8);
    for (const name of ["zarnothSoundFrames", "zarnothMusicFrames", "zarnothBridgedFrames", "zarnothStarvedFrames"]) {
        if (Module[name] === undefined) {
            Module[name] = 0;
        }
    }
    const sound = {
        output: output, context: context, node: null, path: "none", closed: false, timer: null,
        scratch: _malloc(Math.max(scriptFrames, chunkFrames) * bytesPerFrame + 4),
        generation: 0, sent: 0, played: 0, inFlight: [], starvedBefore: Module.zarnothStarvedFrames
    };
    const music = sound.scratch + Math.max(scriptFrames, chunkFrames) * bytesPerFrame;
    const count = function(frames, musicFrames) {
        Module.zarnothSoundFrames += frames;
        Module.zarnothMusicFrames += musicFrames;
        Module.zarnothBridgedFrames += frames - musicFrames;
    };
    // Frames from the scratch area into two float arrays.
    const convert = function(left, right) {
        const n = left.length;
        if (bits === 16) {
            const samples = HEAP16.subarray(sound.scratch >> 1, (sound.scratch >> 1) + n * channels);
            for (let i = 0; i < n; ++i) {
                left[i] = samples[i * channels] / 32768;
                right[i] = samples[i * channels + channels - 1] / 32768;
            }
        } else {
            for (let i = 0; i < n; ++i) {
                left[i] = (HEAPU8[sound.scratch + i * channels] - 128) / 128;
                right[i] = (HEAPU8[sound.scratch + i * channels + channels - 1] - 128) / 128;
            }
        }
    };
    // Counts the chunks played by now; with partly, also the played part of the next.
    sound.settle = function(partly) {
        while (sound.inFlight.length > 0) {
            const chunk = sound.inFlight[0];
            if (chunk.end > sound.played) {
                if (partly) {
                    const done = Math.max(0, sound.played - (chunk.end - chunk.frames));
                    count(done, Math.min(done, chunk.music));
                }
                break;
            }
            count(chunk.frames, chunk.music);
            sound.inFlight.shift();
        }
    };
    sound.topUp = function() {
        if (sound.closed || sound.path !== "worklet") {
            return;
        }
        while (sound.sent - sound.played < lead) {
            const want = Math.min(chunkFrames, lead - (sound.sent - sound.played));
            const got = _kvl_sound_web_pull_chunk(output, sound.scratch, want * bytesPerFrame, music) / bytesPerFrame;
            if (got <= 0) {
                break;
            }
            const left = new Float32Array(got);
            const right = new Float32Array(got);
            convert(left, right);
            sound.node.port.postMessage({left: left, right: right}, [left.buffer, right.buffer]);
            sound.sent += got;
            sound.inFlight.push({end: sound.sent, frames: got, music: HEAP32[music >> 2]});
        }
        _kvl_sound_web_queued(output, (sound.sent - sound.played) * bytesPerFrame);
    };
    const startScript = function() {
        const node = context.createScriptProcessor(scriptFrames, 0, 2);
        node.onaudioprocess = function(event) {
            const left = event.outputBuffer.getChannelData(0);
            const n = left.length;
            const musicFrames = _kvl_sound_web_pull(output, sound.scratch, n * bytesPerFrame);
            convert(left, event.outputBuffer.getChannelData(1));
            if (musicFrames >= 0) {
                count(n, musicFrames);
                // Heard while the next callback's frames are made.
                _kvl_sound_web_queued(output, n * bytesPerFrame);
            }
        };
        node.connect(context.destination);
        sound.node = node;
        sound.path = "script";
        Module.zarnothSoundPath = "script";
    };
    const processor = [
        "class ZarnothRingPlayer extends AudioWorkletProcessor {",
        "  constructor() {",
        "    super();",
        "    this.queue = []; this.at = 0; this.generation = 0; this.played = 0; this.told = 0;",
        "    this.fed = false; this.gap = 0; this.starved = 0;",
        "    this.port.onmessage = (event) => {",
        "      const message = event.data;",
        "      if (message.flush !== undefined) {",
        "        this.queue = []; this.at = 0; this.generation = message.flush; this.played = 0; this.told = 0;",
        "        this.fed = false; this.gap = 0;",
        "        return;",
        "      }",
        "      this.queue.push(message);",
        "      this.starved += this.gap;",
        "      this.gap = 0;",
        "      this.fed = true;",
        "    };",
        "  }",
        "  process(inputs, outputs) {",
        "    const left = outputs[0][0];",
        "    const right = outputs[0][1] || left;",
        "    const n = left.length;",
        "    let i = 0;",
        "    while (i < n && this.queue.length > 0) {",
        "      const chunk = this.queue[0];",
        "      const take = Math.min(n - i, chunk.left.length - this.at);",
        "      left.set(chunk.left.subarray(this.at, this.at + take), i);",
        "      right.set(chunk.right.subarray(this.at, this.at + take), i);",
        "      i += take;",
        "      this.at += take;",
        "      if (this.at === chunk.left.length) {",
        "        this.queue.shift();",
        "        this.at = 0;",
        "      }",
        "    }",
        "    if (i < n) {",
        "      left.fill(0, i);",
        "      right.fill(0, i);",
        "      if (this.fed) {",
        "        this.gap += n - i;",
        "      }",
        "    }",
        "    this.played += i;",
        "    if (this.played - this.told >= 512 || (i < n && this.played !== this.told)) {",
        "      this.told = this.played;",
        "      this.port.postMessage({generation: this.generation, played: this.played, starved: this.starved});",
        "    }",
        "    return true;",
        "  }",
        "}",
        "registerProcessor(\"zarnoth-ring-player\", ZarnothRingPlayer);"
    ].join("\n");
    const wantWorklet = Module.zarnothSoundPath !== "script" && typeof AudioWorkletNode === "function" &&
                        context.audioWorklet && typeof context.audioWorklet.addModule === "function";
    if (wantWorklet) {
        sound.path = "worklet-loading";
        const url = URL.createObjectURL(new Blob([processor], {type: "application/javascript"}));
        context.audioWorklet.addModule(url).then(function() {
            URL.revokeObjectURL(url);
            if (sound.closed) {
                return;
            }
            const node = new AudioWorkletNode(context, "zarnoth-ring-player",
                                              {numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2]});
            node.port.onmessage = function(event) {
                const report = event.data;
                Module.zarnothStarvedFrames = sound.starvedBefore + report.starved;
                if (report.generation !== sound.generation) {
                    return;
                }
                sound.played = report.played;
                sound.settle(false);
                sound.topUp();
            };
            node.connect(context.destination);
            sound.node = node;
            sound.path = "worklet";
            Module.zarnothSoundPath = "worklet";
            sound.timer = setInterval(sound.topUp, 20);
            sound.topUp();
        }).catch(function(e) {
            URL.revokeObjectURL(url);
            console.error("zarnoth: no AudioWorklet (" + e + "), using a ScriptProcessor");
            if (!sound.closed) {
                startScript();
            }
        });
    } else {
        startScript();
    }
    context.resume();
    Module.zarnothSound = sound;
    Module.zarnothSoundRate = context.sampleRate;
    return 1;
});

// The ring was reset: what the worklet still queues is old music. The played part of
// the chunk it was playing counts; the rest never will.
EM_JS(void, kvl_sound_web_reset, (void* output), {
    const sound = Module.zarnothSound;
    if (!sound || sound.output !== output || sound.path !== "worklet") {
        return;
    }
    sound.settle(true);
    sound.generation += 1;
    sound.sent = 0;
    sound.played = 0;
    sound.inFlight = [];
    sound.node.port.postMessage({flush: sound.generation});
});

EM_JS(void, kvl_sound_web_close, (void* output), {
    const sound = Module.zarnothSound;
    if (!sound || sound.output !== output) {
        return;
    }
    sound.settle(true);
    sound.closed = true;
    if (sound.timer !== null) {
        clearInterval(sound.timer);
    }
    if (sound.node) {
        if (sound.node.port) {
            sound.node.port.onmessage = null;
        } else {
            sound.node.onaudioprocess = null;
        }
        sound.node.disconnect();
    }
    sound.context.close();
    _free(sound.scratch);
    Module.zarnothSound = null;
});

// Suspends (1) or resumes (0) the output's AudioContext.
EM_JS(void, kvl_sound_web_suspend, (void* output, int suspend), {
    const sound = Module.zarnothSound;
    if (!sound || sound.output !== output) {
        return;
    }
    if (suspend) {
        sound.context.suspend();
    } else {
        sound.context.resume();
    }
});
// clang-format on

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
    return PullQueued(out, maxBytes, music);
}
