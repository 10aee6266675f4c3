// Voices and effects of the soundtrack synthesiser.
#include "assets/synth.h"

#include <algorithm>
#include <cmath>

#include "assets/procedural.h"

namespace assetgen {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Correction that removes most aliasing from a waveform's jump at phase 0.
float PolyBlep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

struct Saw {
    float phase = 0;
    float Next(float dt) {
        const float v = 2.0f * phase - 1.0f - PolyBlep(phase, dt);
        phase += dt;
        if (phase >= 1.0f) {
            phase -= 1.0f;
        }
        return v;
    }
};

struct Square {
    float phase = 0;
    float Next(float dt) {
        float v = phase < 0.5f ? 1.0f : -1.0f;
        v += PolyBlep(phase, dt);
        float shifted = phase + 0.5f;
        if (shifted >= 1.0f) {
            shifted -= 1.0f;
        }
        v -= PolyBlep(shifted, dt);
        phase += dt;
        if (phase >= 1.0f) {
            phase -= 1.0f;
        }
        return v;
    }
};

// Trapezoidal state-variable filter; cutoff changes are cheap enough per block.
struct Svf {
    float ic1 = 0, ic2 = 0;
    float a1 = 0, a2 = 0, a3 = 0, k = 1;
    float low = 0, band = 0, high = 0;
    void Set(float cutoffHz, float resonance) {
        const float fc = std::min(cutoffHz, 0.45f * kSampleRate);
        const float g = std::tan(3.14159265f * std::max(fc, 10.0f) / kSampleRate);
        k = 2.0f - 2.0f * std::min(resonance, 0.98f);
        a1 = 1.0f / (1.0f + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    void Process(float x) {
        const float v3 = x - ic2;
        const float v1 = a1 * ic1 + a2 * v3;
        const float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        low = v2;
        band = v1;
        high = x - k * v1 - v2;
    }
};

// Attack, decay to sustain, release after the key is let go; linear attack,
// exponential decay and release.
float Adsr(double t, double held, float attack, float decay, float sustain, float release) {
    auto level = [&](double time) {
        if (time < attack) {
            return static_cast<float>(time / attack);
        }
        return sustain + (1.0f - sustain) * static_cast<float>(std::exp(-(time - attack) / decay));
    };
    if (t < held) {
        return level(t);
    }
    return level(held) * static_cast<float>(std::exp(-(t - held) / release));
}

float NoiseSample(Random& random) { return random.Uniform() * 2.0f - 1.0f; }

// Whole frames in a duration, rounded down.
size_t Frames(double seconds) { return static_cast<size_t>(seconds * kSampleRate); }

// Time of frame i, seconds.
double TimeOf(size_t i) { return i / static_cast<double>(kSampleRate); }

// The note's frequency, Hz.
float FrequencyOf(const NoteEvent& e) { return static_cast<float>(NoteFrequency(e.note)); }

// Oscillator phase advance per frame at the note's frequency.
float PhaseStep(const NoteEvent& e) { return FrequencyOf(e) / static_cast<float>(kSampleRate); }

// ---- Drums -----------------------------------------------------------------
// Each voice returns its samples at full velocity.

// A sine that drops quickly from a click to its low pitch, through a soft clipper.
std::vector<float> Kick(Random& random) {
    std::vector<float> out(Frames(0.45));
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        const double f = 46.0 + 120.0 * std::exp(-t / 0.028);
        phase += f / kSampleRate;
        const float body = static_cast<float>(std::sin(kTwoPi * phase) * std::exp(-t / 0.32));
        const float click = t < 0.004 ? NoiseSample(random) * static_cast<float>(1.0 - t / 0.004) * 0.35f : 0.0f;
        out[i] = std::tanh(1.6f * body) + click;
    }
    return out;
}

// A short pitched tone under filtered noise.
std::vector<float> Snare(Random& random) {
    std::vector<float> out(Frames(0.3));
    Svf filter;
    filter.Set(2200.0f, 0.3f);
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        filter.Process(NoiseSample(random));
        phase += (185.0 + 60.0 * std::exp(-t / 0.01)) / kSampleRate;
        const float tone = static_cast<float>(std::sin(kTwoPi * phase) * std::exp(-t / 0.05));
        const float noise = (filter.band * 1.6f + filter.high * 0.4f) * static_cast<float>(std::exp(-t / 0.09));
        out[i] = 0.6f * tone + noise;
    }
    return out;
}

// Band-passed noise: three quick slaps, then the room.
std::vector<float> Clap(Random& random) {
    std::vector<float> out(Frames(0.35));
    Svf filter;
    filter.Set(1300.0f, 0.45f);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        filter.Process(NoiseSample(random));
        float env = static_cast<float>(std::exp(-std::max(0.0, t - 0.022) / 0.11));
        for (int burst = 0; burst < 3; ++burst) {
            const double bt = t - burst * 0.0105;
            if (bt >= 0 && bt < 0.0105) {
                env = std::max(env, static_cast<float>(std::exp(-bt / 0.004)) * 1.2f);
            }
        }
        out[i] = filter.band * 2.2f * env;
    }
    return out;
}

// Hats and the crash: noise and a ring of inharmonic square partials (the metallic
// part) through a high-pass, decaying with the given time constant. The crash is
// lower, darker and a little quieter.
std::vector<float> Metal(Random& random, double decay, bool crash) {
    const float sr = static_cast<float>(kSampleRate);
    std::vector<float> out(Frames(decay * 6.0));
    Svf filter;
    filter.Set(crash ? 4500.0f : 7500.0f, 0.2f);
    const float partials[] = {205.3f, 304.4f, 369.6f, 522.7f, 540.0f, 800.0f};
    Square metal[6];
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        float ring = 0.0f;
        for (int p = 0; p < 6; ++p) {
            ring += metal[p].Next(partials[p] * (crash ? 1.7f : 2.9f) / sr);
        }
        filter.Process(NoiseSample(random) * 0.7f + ring * 0.12f);
        out[i] = filter.high * static_cast<float>(std::exp(-t / decay)) * (crash ? 0.9f : 1.0f);
    }
    return out;
}

// ---- Tonal voices ----------------------------------------------------------

// The bass (saw and a square an octave down, plucked low-pass) or the acid line
// (a lone saw through a resonant low-pass with a stronger, faster envelope).
std::vector<float> BassLine(const NoteEvent& e, bool acid) {
    const float dt = PhaseStep(e);
    std::vector<float> out(Frames(e.length + 0.25));
    Saw saw;
    Square sub;
    Svf filter;
    const float base = acid ? 180.0f + 2200.0f * e.cutoff : 220.0f + 1400.0f * e.cutoff;
    const float sweep = acid ? 3200.0f * e.cutoff * e.velocity : 1800.0f * e.cutoff;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        if ((i & 15) == 0) {
            const float env = static_cast<float>(std::exp(-t / (acid ? 0.09 : 0.12)));
            filter.Set(base + sweep * env, acid ? 0.82f : 0.35f);
        }
        const float osc = acid ? saw.Next(dt) : 0.6f * saw.Next(dt) + 0.5f * sub.Next(dt * 0.5f);
        filter.Process(osc);
        const float amp = Adsr(t, e.length, 0.003f, 0.25f, 0.7f, 0.03f);
        out[i] = filter.low * amp * (acid ? 1.3f : 1.0f);
    }
    return out;
}

// Two detuned saws and a square an octave down, with vibrato.
std::vector<float> Lead(const NoteEvent& e) {
    const float dt = PhaseStep(e);
    std::vector<float> out(Frames(e.length + 0.4));
    Saw a, b;
    Square c;
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        // Vibrato fades in after the note has sounded for a moment.
        const float vib = 1.0f + 0.006f * static_cast<float>(std::sin(kTwoPi * 5.5 * t)) *
                                     SmoothStep(0.15f, 0.4f, static_cast<float>(t));
        if ((i & 15) == 0) {
            const float env = static_cast<float>(std::exp(-t / 0.25));
            filter.Set(900.0f + 3500.0f * e.cutoff + 2500.0f * env, 0.3f);
        }
        const float osc = 0.5f * a.Next(dt * vib * 1.004f) + 0.5f * b.Next(dt * vib * 0.996f) +
                          0.25f * c.Next(dt * vib * 0.5f);
        filter.Process(osc);
        out[i] = filter.low * Adsr(t, e.length, 0.01f, 0.3f, 0.75f, 0.12f);
    }
    return out;
}

// Four detuned saws from random phases under a slowly wandering low-pass.
std::vector<float> Pad(const NoteEvent& e, Random& random) {
    const float dt = PhaseStep(e);
    std::vector<float> out(Frames(e.length + 1.5));
    Saw osc[4];
    const float detune[4] = {0.993f, 0.998f, 1.003f, 1.008f};
    for (int v = 0; v < 4; ++v) {
        osc[v].phase = random.Uniform();
    }
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        if ((i & 31) == 0) {
            filter.Set(500.0f + 2200.0f * e.cutoff + 300.0f * static_cast<float>(std::sin(kTwoPi * 0.25 * t)),
                       0.2f);
        }
        float sum = 0.0f;
        for (int v = 0; v < 4; ++v) {
            sum += osc[v].Next(dt * detune[v]);
        }
        filter.Process(sum * 0.3f);
        out[i] = filter.low * Adsr(t, e.length, 0.6f, 1.0f, 0.85f, 0.7f);
    }
    return out;
}

// A square and a saw an octave up, with a fast filter snap and no sustain.
std::vector<float> Pluck(const NoteEvent& e) {
    const float dt = PhaseStep(e);
    std::vector<float> out(Frames(e.length + 0.3));
    Square sq;
    Saw saw;
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        if ((i & 15) == 0) {
            filter.Set(600.0f + 5000.0f * e.cutoff * static_cast<float>(std::exp(-t / 0.06)), 0.25f);
        }
        filter.Process(0.6f * sq.Next(dt) + 0.4f * saw.Next(dt * 2.0f));
        out[i] = filter.low * Adsr(t, e.length, 0.002f, 0.12f, 0.0f, 0.05f);
    }
    return out;
}

// Two-operator FM: a modulator at 3.5 times the carrier, its index decaying.
std::vector<float> Bell(const NoteEvent& e) {
    const float freq = FrequencyOf(e);
    std::vector<float> out(Frames(e.length + 2.5));
    double carrier = 0, modulator = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = TimeOf(i);
        modulator += 3.5 * freq / kSampleRate;
        const double index = 2.2 * std::exp(-t / 0.5);
        carrier += freq / kSampleRate;
        const double v = std::sin(kTwoPi * carrier + index * std::sin(kTwoPi * modulator));
        out[i] = static_cast<float>(v * std::exp(-t / 0.9)) * std::min(1.0f, static_cast<float>(t / 0.002));
    }
    return out;
}

// Noise through a band-pass sweeping up over the note, growing louder.
std::vector<float> Riser(const NoteEvent& e, Random& random) {
    std::vector<float> out(Frames(e.length));
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        const float x = static_cast<float>(i) / static_cast<float>(out.size());
        if ((i & 15) == 0) {
            filter.Set(300.0f * std::pow(30.0f, x), 0.6f);
        }
        filter.Process(NoiseSample(random));
        out[i] = filter.band * x * x * 1.5f;
    }
    return out;
}

// The voice of one event at full velocity.
std::vector<float> Voice(const NoteEvent& e, Random& random) {
    switch (e.instrument) {
    case Instrument::Kick: return Kick(random);
    case Instrument::Snare: return Snare(random);
    case Instrument::Clap: return Clap(random);
    case Instrument::ClosedHat: return Metal(random, 0.035, false);
    case Instrument::OpenHat: return Metal(random, 0.16, false);
    case Instrument::Crash: return Metal(random, 1.1, true);
    case Instrument::Bass: return BassLine(e, false);
    case Instrument::Acid: return BassLine(e, true);
    case Instrument::Lead: return Lead(e);
    case Instrument::Pad: return Pad(e, random);
    case Instrument::Pluck: return Pluck(e);
    case Instrument::Bell: return Bell(e);
    case Instrument::Riser: return Riser(e, random);
    }
    return {};
}

}  // namespace

double NoteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

SynthMixer::SynthMixer(double seconds, double delaySeconds)
    : m_left(static_cast<size_t>(seconds * kSampleRate), 0.0f),
      m_right(m_left.size(), 0.0f),
      m_delayLeft(m_left.size(), 0.0f),
      m_delayRight(m_left.size(), 0.0f),
      m_reverb(m_left.size(), 0.0f),
      m_delayFrames(static_cast<int>(std::lround(delaySeconds * kSampleRate))) {}

std::vector<float> SynthMixer::Render(const NoteEvent& e, uint32_t seed) const {
    Random random(seed);
    std::vector<float> out = Voice(e, random);
    for (float& s : out) {
        s *= e.velocity;
    }
    return out;
}

void SynthMixer::Add(const NoteEvent& event) {
    const std::vector<float> voice = Render(event, Hash(m_events++, 0x51u, 0xA5u));
    const auto first = static_cast<size_t>(std::llround(event.start * kSampleRate));
    // Constant-power pan.
    const float angle = (event.pan + 1.0f) * 0.25f * 3.14159265f;
    const float gl = std::cos(angle) * 1.41421356f;
    const float gr = std::sin(angle) * 1.41421356f;
    for (size_t i = 0; i < voice.size() && first + i < m_left.size(); ++i) {
        const float s = voice[i];
        m_left[first + i] += s * gl;
        m_right[first + i] += s * gr;
        m_delayLeft[first + i] += s * gl * event.delaySend;
        m_delayRight[first + i] += s * gr * event.delaySend;
        m_reverb[first + i] += s * event.reverbSend;
    }
}

namespace {

// Ping-pong delay: each repeat crosses to the other side, a little darker. The
// repeats are added to the main buses at half level.
void PingPongDelay(const std::vector<float>& sendLeft, const std::vector<float>& sendRight, size_t delayFrames,
                   std::vector<float>& left, std::vector<float>& right) {
    const size_t n = left.size();
    std::vector<float> outL(n, 0.0f), outR(n, 0.0f);
    const size_t d = delayFrames;
    const float feedback = 0.42f;
    float dampL = 0, dampR = 0;
    for (size_t i = d; i < n; ++i) {
        const float in = 0.5f * (sendLeft[i - d] + sendRight[i - d]);
        dampL += 0.5f * (outR[i - d] - dampL);
        dampR += 0.5f * (outL[i - d] - dampR);
        outL[i] = in + feedback * dampL;
        outR[i] = feedback * dampR;
    }
    for (size_t i = 0; i < n; ++i) {
        left[i] += 0.5f * outL[i];
        right[i] += 0.5f * outR[i];
    }
}

// Reverb: parallel damped combs into series all-passes, slightly different per
// side (spread), added to target.
void Reverb(const std::vector<float>& send, int spread, std::vector<float>& target) {
    const int combs[6] = {1433, 1601, 1759, 1867, 2003, 2131};
    const int passes[2] = {347, 113};
    const size_t n = target.size();
    std::vector<float> wet(n, 0.0f);
    for (int c = 0; c < 6; ++c) {
        std::vector<float> line(static_cast<size_t>(combs[c] + spread), 0.0f);
        size_t pos = 0;
        float damp = 0.0f;
        for (size_t i = 0; i < n; ++i) {
            const float out = line[pos];
            damp += 0.3f * (out - damp);
            line[pos] = send[i] + damp * 0.86f;
            wet[i] += out;
            if (++pos == line.size()) {
                pos = 0;
            }
        }
    }
    for (int a = 0; a < 2; ++a) {
        std::vector<float> line(static_cast<size_t>(passes[a] + spread / 3), 0.0f);
        size_t pos = 0;
        for (size_t i = 0; i < n; ++i) {
            const float buffered = line[pos];
            const float input = wet[i];
            line[pos] = input + buffered * 0.5f;
            wet[i] = buffered - input * 0.5f;
            if (++pos == line.size()) {
                pos = 0;
            }
        }
    }
    for (size_t i = 0; i < n; ++i) {
        target[i] += 0.05f * wet[i];
    }
}

// Removes DC from a channel in place; returns the peak of what is left, at
// least peak.
float BlockDc(std::vector<float>& ch, float peak) {
    float x1 = 0, y1 = 0;
    for (size_t i = 0; i < ch.size(); ++i) {
        const float y = ch[i] - x1 + 0.9995f * y1;
        x1 = ch[i];
        y1 = y;
        ch[i] = y;
        peak = std::max(peak, std::fabs(y));
    }
    return peak;
}

// Peak normalisation, gentle saturation, then 16-bit with triangular dither;
// interleaved stereo.
std::vector<int16_t> ToPcm(const std::vector<float>& left, const std::vector<float>& right, float peak,
                           float peakLevel) {
    const size_t n = left.size();
    const float drive = 1.4f;
    const float norm = 1.0f / std::tanh(drive);
    std::vector<int16_t> pcm(n * 2);
    Random dither(0xD17Eu);
    for (size_t i = 0; i < n; ++i) {
        for (int side = 0; side < 2; ++side) {
            const float x = (side == 0 ? left[i] : right[i]) / peak;
            const float y = std::tanh(drive * x) * norm * peakLevel;
            const float d = (dither.Uniform() - dither.Uniform());
            const long v = std::lround(y * 32767.0f + d);
            pcm[i * 2 + side] = static_cast<int16_t>(std::clamp<long>(v, -32767, 32767));
        }
    }
    return pcm;
}

}  // namespace

std::vector<int16_t> SynthMixer::Mixdown(float peakLevel) {
    PingPongDelay(m_delayLeft, m_delayRight, static_cast<size_t>(m_delayFrames), m_left, m_right);
    Reverb(m_reverb, 0, m_left);
    Reverb(m_reverb, 37, m_right);
    float peak = 1e-9f;
    peak = BlockDc(m_left, peak);
    peak = BlockDc(m_right, peak);
    return ToPcm(m_left, m_right, peak, peakLevel);
}

}  // namespace assetgen
