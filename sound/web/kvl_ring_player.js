// The AudioWorklet processor of KVLSoundOutputWeb ("kvl-ring-player"): plays, on the
// browser's audio thread, the chunks of stereo floats the page's thread sends it
// (kvl_soundoutput_web.js), in order, with silence where it has none.
//
// Its messages: in, {left, right} (two Float32Arrays of one chunk, appended to the
// queue), {flush: generation} (the queue is dropped, counts start again for that
// generation) or {hold: frames} (play nothing until that many frames are queued; 0 ends
// a hold at once); out, every 512 frames played and whenever it runs dry, {generation,
// played, starved, stall}: the frames of chunks played since the last flush, the frames
// it has ever had to play as silence between two chunks (starvation: a gap in the
// music, counted only once a later chunk proves more music was to come), and the
// longest stand of the audio thread made up at once since the last report (ms).
//
// Why a hold: WebKitGTK's audio thread stands for up to a second or so just after the
// context starts or resumes (and, on a busy machine, now and then while it runs), then
// renders the time it missed at once, before it delivers the chunks sent meanwhile: all
// it plays then is what was queued before it stood. The silence of a hold is a late
// start, not a gap: the show's clock follows the music heard.
//
// Shipped as a file of its own next to zarnoth.wasm and loaded by URL (addModule).
class KVLRingPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];
    this.at = 0;
    this.generation = 0;
    this.played = 0;
    this.told = 0;
    this.fed = false;
    this.gap = 0;
    this.starved = 0;
    this.queued = 0;  // frames in the queue, the played part of its first chunk included
    this.hold = 0;
    this.peakLag = -Infinity;
    this.stall = 0;
    this.port.onmessage = (event) => {
      const message = event.data;
      if (message.hold !== undefined) {
        this.hold = message.hold;
        return;
      }
      if (message.flush !== undefined) {
        this.queue = [];
        this.queued = 0;
        this.at = 0;
        this.generation = message.flush;
        this.played = 0;
        this.told = 0;
        this.fed = false;
        this.gap = 0;
        return;
      }
      this.queue.push(message);
      this.queued += message.left.length;
      this.starved += this.gap;
      this.gap = 0;
      this.fed = true;
    };
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    const n = left.length;
    // How far the audio clock is behind the wall clock: it grows while the thread
    // stands and shrinks as much again when the stand is made up at once (a suspended
    // context, whose time is not made up, is no stand).
    const lag = Date.now() - currentFrame * 1000 / sampleRate;
    this.peakLag = Math.max(this.peakLag, lag);
    this.stall = Math.max(this.stall, this.peakLag - lag);
    if (this.hold > 0 && this.queued - this.at < this.hold) {
      left.fill(0);
      right.fill(0);
      return true;
    }
    this.hold = 0;
    let i = 0;
    while (i < n && this.queue.length > 0) {
      const chunk = this.queue[0];
      const take = Math.min(n - i, chunk.left.length - this.at);
      left.set(chunk.left.subarray(this.at, this.at + take), i);
      right.set(chunk.right.subarray(this.at, this.at + take), i);
      i += take;
      this.at += take;
      if (this.at === chunk.left.length) {
        this.queued -= chunk.left.length;
        this.queue.shift();
        this.at = 0;
      }
    }
    if (i < n) {
      left.fill(0, i);
      right.fill(0, i);
      if (this.fed) {
        this.gap += n - i;
      }
    }
    this.played += i;
    if (this.played - this.told >= 512 || (i < n && this.played !== this.told)) {
      this.told = this.played;
      this.port.postMessage({generation: this.generation, played: this.played, starved: this.starved,
                             stall: this.stall});
      this.stall = 0;
    }
    return true;
  }
}

registerProcessor("kvl-ring-player", KVLRingPlayer);
