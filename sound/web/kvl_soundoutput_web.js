// The page's side of KVLSoundOutputWeb (sound/web/kvl_soundoutput_web.cpp), linked into
// the program with Emscripten's --js-library: an AudioContext and the node that plays
// the ring, an AudioWorklet node fed chunks (its processor is kvl_ring_player.js, a file
// shipped next to zarnoth.wasm) or a ScriptProcessor that pulls from the ring.
//
// The interface, both ways (the C++ side declares the first four in extern "C"):
//   kvl_sound_web_open(output, rate, bits, channels) -> 1 a node is (being) set up,
//       0 the page has no Web Audio, -1 another output already plays on the page
//   kvl_sound_web_reset(output)            the ring was reset: drop what the worklet queues
//   kvl_sound_web_close(output)            stop and free everything of the output
//   kvl_sound_web_suspend(output, suspend) suspend (1) or resume (0) the AudioContext
// and the program's functions this file calls (EMSCRIPTEN_KEEPALIVE there):
//   _kvl_sound_web_pull(output, bytesPtr, bytes) -> music frames, -1 for a held ring
//   _kvl_sound_web_pull_chunk(output, bytesPtr, maxBytes, musicPtr) -> bytes, -1 for a held ring
//   _kvl_sound_web_queued(output, bytes)  what the node has been given and not played
// Everything of one output lives in Module.zarnothSound, tagged with its output; the
// page and the tests read the counts Module.zarnoth{Sound,Music,Bridged,Starved}Frames,
// Module.zarnothSoundPath ("worklet" or "script"), Module.zarnothSoundRate and
// Module.zarnothAudioStallMs (the longest stand of the audio thread the worklet had to
// make up at once).
//
// The worklet plays the chunks it is sent, in order, and every 512 frames reports how
// many it has played since the last flush; silence it plays between two chunks (none
// queued, more to come) is starvation, a gap in the music. A flush (the ring was reset)
// drops its queue; a generation number tells the page which reports are about the music
// after the flush. The page keeps the worklet `lead` frames ahead, on each report and on
// a timer (reports stop while the context is suspended), and tells the ring what is
// still queued. Music and bridged silence are counted as the worklet reports them
// played. A worklet that cannot be set up falls back to the ScriptProcessor.
//
// The lead and the hold are sized for WebKitGTK, whose audio thread stands now and then
// (most often just after the context starts or resumes, up to a second or so; on a busy
// machine, with the whole page, up to about 1.5 s) and then renders the missed time at
// once, from what the worklet held when it stood: the worklet is kept 3 s ahead, and
// as the context starts or resumes it holds its music until it has 1.5 s of it (see
// kvl_ring_player.js). A hold ends early when the ring has had nothing for a second
// (the music ended before filling it).
//
// Emscripten copies each function below into the program by its text: a function sees
// only the program's globals, not this file's scope.

mergeInto(LibraryManager.library, {
  kvl_sound_web_open__deps: ["malloc"],
  kvl_sound_web_open: function (output, rate, bits, channels) {
    if (Module.zarnothSound) {
      return Module.zarnothSound.output === output ? 1 : -1;
    }
    // Safari before 14.1 names it webkitAudioContext.
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
    const lead = 3 * context.sampleRate;
    const holdFrames = Math.round(1.5 * context.sampleRate);
    const bytesPerFrame = channels * (bits / 8);
    for (const name of ["zarnothSoundFrames", "zarnothMusicFrames", "zarnothBridgedFrames", "zarnothStarvedFrames"]) {
      if (Module[name] === undefined) {
        Module[name] = 0;
      }
    }
    const sound = {
      output: output, context: context, node: null, path: "none", closed: false, timer: null,
      scratch: _malloc(Math.max(scriptFrames, chunkFrames) * bytesPerFrame + 4),
      generation: 0, sent: 0, played: 0, inFlight: [], starvedBefore: Module.zarnothStarvedFrames,
      holding: false, dryFrom: 0,
    };
    Module.zarnothAudioStallMs = 0;
    const music = sound.scratch + Math.max(scriptFrames, chunkFrames) * bytesPerFrame;
    const count = function (frames, musicFrames) {
      Module.zarnothSoundFrames += frames;
      Module.zarnothMusicFrames += musicFrames;
      Module.zarnothBridgedFrames += frames - musicFrames;
    };
    // Frames from the scratch area into two float arrays.
    const convert = function (left, right) {
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
    sound.settle = function (partly) {
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
    sound.topUp = function () {
      if (sound.closed || sound.path !== "worklet") {
        return;
      }
      while (sound.sent - sound.played < lead) {
        const want = Math.min(chunkFrames, lead - (sound.sent - sound.played));
        const pulled = _kvl_sound_web_pull_chunk(output, sound.scratch, want * bytesPerFrame, music);
        if (pulled === 0 && sound.holding) {
          // The ring hands out but has nothing: a second of that, and no more is coming.
          const now = performance.now();
          if (sound.dryFrom === 0) {
            sound.dryFrom = now;
          } else if (now - sound.dryFrom > 1000) {
            sound.node.port.postMessage({hold: 0});
            sound.holding = false;
          }
        }
        if (pulled <= 0) {
          break;
        }
        sound.dryFrom = 0;
        const got = pulled / bytesPerFrame;
        const left = new Float32Array(got);
        const right = new Float32Array(got);
        convert(left, right);
        sound.node.port.postMessage({left: left, right: right}, [left.buffer, right.buffer]);
        sound.sent += got;
        sound.inFlight.push({end: sound.sent, frames: got, music: HEAP32[music >> 2]});
        // (The worklet ends the hold itself once it has this much.)
        sound.holding = sound.holding && sound.sent - sound.played < holdFrames;
      }
      _kvl_sound_web_queued(output, (sound.sent - sound.played) * bytesPerFrame);
    };
    // Before the context starts or resumes, while its audio thread may stand.
    sound.hold = function () {
      sound.node.port.postMessage({hold: holdFrames});
      sound.holding = true;
      sound.dryFrom = 0;
    };
    const startScript = function () {
      const node = context.createScriptProcessor(scriptFrames, 0, 2);
      node.onaudioprocess = function (event) {
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
    const wantWorklet = Module.zarnothSoundPath !== "script" && typeof AudioWorkletNode === "function" &&
                        context.audioWorklet && typeof context.audioWorklet.addModule === "function";
    if (wantWorklet) {
      sound.path = "worklet-loading";
      // Found where zarnoth.wasm is (Module.locateFile may move both).
      context.audioWorklet.addModule(locateFile("kvl_ring_player.js")).then(function () {
        if (sound.closed) {
          return;
        }
        const node = new AudioWorkletNode(context, "kvl-ring-player",
                                          {numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2]});
        node.port.onmessage = function (event) {
          const report = event.data;
          Module.zarnothStarvedFrames = sound.starvedBefore + report.starved;
          Module.zarnothAudioStallMs = Math.max(Module.zarnothAudioStallMs, report.stall);
          if (report.generation !== sound.generation) {
            return;
          }
          sound.played = report.played;
          sound.settle(false);
          sound.topUp();
        };
        sound.node = node;
        sound.hold();
        node.connect(context.destination);
        sound.path = "worklet";
        Module.zarnothSoundPath = "worklet";
        sound.timer = setInterval(sound.topUp, 20);
        sound.topUp();
      }).catch(function (e) {
        console.error("zarnoth: no AudioWorklet (" + e + "), using a ScriptProcessor");
        if (!sound.closed) {
          startScript();
        }
      });
    } else {
      startScript();
    }
    // Made in a click, tap or key (the page's start), the context may still start
    // suspended (WebKit); resuming it inside the same gesture lets it play.
    context.resume();
    Module.zarnothSound = sound;
    Module.zarnothSoundRate = context.sampleRate;
    return 1;
  },

  // The ring was reset: what the worklet still queues is old music. The played part of
  // the chunk it was playing counts; the rest never will.
  kvl_sound_web_reset: function (output) {
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
  },

  kvl_sound_web_close__deps: ["free"],
  kvl_sound_web_close: function (output) {
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
  },

  kvl_sound_web_suspend: function (output, suspend) {
    const sound = Module.zarnothSound;
    if (!sound || sound.output !== output) {
      return;
    }
    if (suspend) {
      sound.context.suspend();
    } else {
      if (sound.path === "worklet") {
        sound.hold();
      }
      sound.context.resume();
    }
  },
});
