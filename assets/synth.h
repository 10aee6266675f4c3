// A small software synthesiser for the soundtrack: band-limited oscillators, a
// state-variable filter, envelopes, drum voices and the send effects (ping-pong delay,
// a comb/all-pass reverb), mixing note events into stereo buses.
//
// Mono float samples at kSampleRate; times in seconds. Rendering is deterministic:
// noise comes from a seeded generator per event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace assetgen {

constexpr int kSampleRate = 44100;

enum class Instrument {
    Kick,
    Snare,
    Clap,
    ClosedHat,
    OpenHat,
    Crash,
    Bass,      // square and saw, plucked low-pass
    Acid,      // saw through a resonant low-pass with a strong envelope
    Lead,      // two detuned saws with vibrato
    Pad,       // four detuned saws, slow envelope
    Pluck,     // short square arpeggio voice
    Bell,      // two-operator FM
    Riser,     // noise swept through a band-pass
};

struct NoteEvent {
    Instrument instrument = Instrument::Lead;
    double start = 0;      // seconds
    double length = 0.1;   // seconds the key is held
    int note = 69;         // MIDI note number (A4 = 69 = 440 Hz)
    float velocity = 1.0f;
    float pan = 0.0f;      // -1 left … 1 right
    float delaySend = 0.0f;
    float reverbSend = 0.0f;
    float cutoff = 1.0f;   // 0 … 1 brightness, for the filtered voices
};

// Stereo buses the events are mixed into, and the final mixdown.
class SynthMixer {
public:
    SynthMixer(double seconds, double delaySeconds);

    void Add(const NoteEvent& event);
    // Runs the effects, sums the buses, removes DC and scales the peak to peakLevel
    // (linear, below 1). Returns interleaved stereo 16-bit samples.
    std::vector<int16_t> Mixdown(float peakLevel);

    std::size_t FrameCount() const { return m_left.size(); }

private:
    std::vector<float> Render(const NoteEvent& event, uint32_t seed) const;

    std::vector<float> m_left, m_right, m_delayLeft, m_delayRight, m_reverb;
    int m_delayFrames;
    uint32_t m_events = 0;
};

double NoteFrequency(int note);

}  // namespace assetgen
