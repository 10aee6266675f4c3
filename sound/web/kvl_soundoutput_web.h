// KVLSoundOutputWeb: the chunk ring of KVLSoundOutputRing played through Web Audio. Open
// makes the page's AudioContext at the music's rate with a ScriptProcessor node whose
// callback (on the page's thread, between frames) pulls from the ring at the play
// cursor, as a sound card's looping buffer would; the fill rule and its underrun
// handling are the ring's. The frames handed to Web Audio while the ring plays are
// counted on the page (Module.zarnothSoundFrames) for the tests.
//
// Limits: browsers let a page make sound only after a click or key, so the output
// must be opened from one (the page's start screen) or it stays silent until then;
// one output plays at a time.
#pragma once

#include <cstdint>

#include "sound/kvl_soundoutput.h"

class KVLSoundOutputWeb : public KVLSoundOutputRing {
public:
    KVLSoundOutputWeb() = default;
    ~KVLSoundOutputWeb() override;

    // The node's callback: fills out with bytes bytes from the ring; true when the ring
    // was playing (music or the bridging silence), false for the silence of a stopped
    // ring.
    bool PullForPage(uint8_t* out, int32_t bytes);

protected:
    bool OpenDevice(int32_t rate, int32_t bits, bool stereo, KVLString* description,
                    KVLString* error) override;
    void CloseDevice() override;
    // A hold suspends the page's AudioContext; letting go resumes it.
    void DevicePaused(bool paused) override;

private:
    bool m_open = false;
};
