// KVLSoundOutputSDL: the chunk ring of KVLSoundOutputRing played by an SDL audio
// device. The device runs from Open to destruction; its callback takes whatever the
// ring holds at the play cursor (silence while the ring is stopped), as a looping
// hardware buffer would. SetPaused pauses the SDL device as well. One SDL output can be open in the process at a time.
#pragma once

#include <cstdint>

#include "sound/kvl_soundoutput.h"

class KVLSoundOutputSDL : public KVLSoundOutputRing {
public:
    // deviceIndex: -1 for the default output device, else an index into SDL's list.
    explicit KVLSoundOutputSDL(int32_t deviceIndex);
    ~KVLSoundOutputSDL() override;

protected:
    bool OpenDevice(int32_t rate, int32_t bits, bool stereo, KVLString* description,
                    KVLString* error) override;
    void CloseDevice() override;
    // A hold pauses the SDL device itself (SDL_PauseAudioDevice): its callback stops.
    void DevicePaused(bool paused) override;

private:
    static void Callback(void* context, uint8_t* stream, int length);

    int32_t m_deviceIndex;
    uint32_t m_device = 0;
    bool m_subsystem = false;
};
