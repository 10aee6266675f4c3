// KVLSoundOutputWeb: the chunk ring of KVLSoundOutputRing played through Web Audio. Open
// makes the page's AudioContext at the music's rate and a node that plays the ring: an
// AudioWorklet where the browser has one, a ScriptProcessor otherwise (or when the page
// asks for it: Module.zarnothSoundPath = "script" before the output opens).
//
// The worklet plays on the browser's audio thread, which cannot read the program's
// memory, so the page's thread sends it chunks ahead of time: up to a second of sound,
// enough to outlast the page's slowest frames (a scene loading, a software renderer).
// It reports what it has played, and the ring is told how much of what it handed out
// is still queued there (SetDeviceQueued): the play position, the oscilloscope's
// frames and the fill rule all follow what is heard, not what was sent. The
// ScriptProcessor's callback pulls on the page's thread, between frames, as a sound
// card's looping buffer would.
//
// For the tests the page counts, from what the node has actually played: music frames
// (Module.zarnothMusicFrames), silence frames the fill rule bridged an underrun with
// (Module.zarnothBridgedFrames), frames the worklet had to play as silence in the
// middle of the music for want of a chunk (Module.zarnothStarvedFrames), all frames
// handed out while the ring played (Module.zarnothSoundFrames), and the node's kind
// (Module.zarnothSoundPath: "worklet" or "script").
//
// Limits: browsers let a page make sound only after a click or key, so the output must
// be opened from one (the page's start screen) or it stays silent until then; one
// output plays at a time on a page, as one device natively (a second is refused).
#pragma once

#include <cstdint>

#include "sound/kvl_soundoutput.h"

class KVLSoundOutputWeb : public KVLSoundOutputRing {
public:
    KVLSoundOutputWeb() = default;
    ~KVLSoundOutputWeb() override;

    // The ScriptProcessor's callback: fills out with bytes bytes from the ring. Returns
    // the music frames among them, or -1 for the silence of a stopped or held ring
    // (neither music nor a gap).
    int32_t PullForPage(uint8_t* out, int32_t bytes);
    // The worklet's feeder: at most maxBytes of what the ring holds (0 when it holds
    // nothing, -1 when it is not handing out); *music gets the music frames among them.
    int32_t PullChunkForPage(uint8_t* out, int32_t maxBytes, int32_t* music);
    // What the worklet has been sent and not yet played, in bytes.
    void SetQueuedOnPage(int32_t bytes) { SetDeviceQueued(bytes); }

protected:
    bool OpenDevice(int32_t rate, int32_t bits, bool stereo, KVLString* description,
                    KVLString* error) override;
    void CloseDevice() override;
    // A hold suspends the page's AudioContext; letting go resumes it.
    void DevicePaused(bool paused) override;
    // A reset drops what the worklet still queues.
    void DeviceReset() override;

private:
    bool m_open = false;
};
