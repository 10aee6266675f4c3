// Composition of the soundtrack (A minor) and its MP3 encoding.
#include "assets/soundtrack.h"

#include <lame.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "assets/synth.h"

namespace assetgen {

namespace {

constexpr double kBeat = 0.49;
constexpr double kStep = kBeat / 4.0;
constexpr int kTotalBeats = 176;
// A standard Layer III decoder's filter banks add this many samples of delay.
constexpr int kDecoderDelay = 529;

struct Chord {
    int root;      // bass note, octave 2
    int tones[3];  // voicing around middle C
};

constexpr Chord kAm{45, {57, 60, 64}};
constexpr Chord kF{41, {57, 60, 65}};
constexpr Chord kC{48, {55, 60, 64}};
constexpr Chord kG{43, {55, 59, 62}};
constexpr Chord kE{40, {56, 59, 64}};

struct Phrase {
    int step;    // sixteenth within the bar
    int length;  // sixteenths
    int note;
};

// Lines are written per bar; a bar with no entry rests.
using Melody = std::vector<std::vector<Phrase>>;

// Mixing desk: a level per instrument on top of the velocities of the score.
float Level(Instrument instrument) {
    switch (instrument) {
    case Instrument::Kick: return 0.8f;
    case Instrument::ClosedHat:
    case Instrument::OpenHat: return 1.6f;
    case Instrument::Snare:
    case Instrument::Clap: return 1.25f;
    case Instrument::Lead: return 1.3f;
    case Instrument::Pluck: return 1.2f;
    default: return 1.0f;
    }
}

class Composer {
public:
    Composer() : m_mixer(kTotalBeats * kBeat, 3.0 * kStep) {}

    void Hit(Instrument instrument, double beat, float velocity, float pan = 0.0f, float reverb = 0.1f) {
        NoteEvent e;
        e.instrument = instrument;
        e.start = beat * kBeat;
        e.velocity = velocity * Level(instrument);
        e.pan = pan;
        e.reverbSend = reverb;
        m_mixer.Add(e);
    }

    void Note(Instrument instrument, double beat, double beats, int note, float velocity, float pan, float delay,
              float reverb, float cutoff) {
        NoteEvent e;
        e.instrument = instrument;
        e.start = beat * kBeat;
        e.length = beats * kBeat;
        e.note = note;
        e.velocity = velocity * Level(instrument);
        e.pan = pan;
        e.delaySend = delay;
        e.reverbSend = reverb;
        e.cutoff = cutoff;
        m_mixer.Add(e);
    }

    void Chords(double beat, double beats, const Chord& chord, float velocity, float cutoff) {
        const float pans[3] = {-0.5f, 0.0f, 0.5f};
        for (int i = 0; i < 3; ++i) {
            Note(Instrument::Pad, beat, beats, chord.tones[i], velocity, pans[i], 0.0f, 0.45f, cutoff);
        }
    }

    void Line(Instrument instrument, double firstBeat, const Melody& melody, int firstBar, float velocity,
              float pan, float delay, float reverb, float cutoff) {
        for (size_t bar = 0; bar < melody.size(); ++bar) {
            for (const Phrase& p : melody[bar]) {
                const double beat = firstBeat + (firstBar + static_cast<double>(bar)) * 4.0 + p.step / 4.0;
                Note(instrument, beat, p.length / 4.0 * 0.92, p.note, velocity, pan, delay, reverb, cutoff);
            }
        }
    }

    void Arpeggio(double beat, int steps, const Chord& chord, float velocity, float cutoff) {
        const int order[8] = {0, 1, 2, 3, 2, 1, 3, 1};
        for (int s = 0; s < steps; ++s) {
            const int pick = order[s % 8];
            const int note = pick == 3 ? chord.tones[0] + 24 : chord.tones[pick] + 12;
            Note(Instrument::Pluck, beat + s / 4.0, 0.2, note, velocity, (s & 1) ? 0.45f : -0.45f, 0.4f, 0.2f,
                 cutoff);
        }
    }

    // Closed hats on sixteenths (or eighths) and open hats on the off-beats.
    void Hats(double beat, int beats, bool sixteenths, bool open) {
        const float accent[4] = {0.32f, 0.16f, 0.42f, 0.18f};
        for (int s = 0; s < beats * 4; ++s) {
            if (!sixteenths && (s & 1)) {
                continue;
            }
            if (open && (s & 3) == 2) {
                Hit(Instrument::OpenHat, beat + s / 4.0, 0.22f, 0.25f, 0.15f);
            } else {
                Hit(Instrument::ClosedHat, beat + s / 4.0, accent[s & 3], (s & 1) ? 0.3f : -0.2f, 0.05f);
            }
        }
    }

    void Section(double beat) {
        Hit(Instrument::Crash, beat, 0.45f, 0.3f, 0.4f);
        Hit(Instrument::Kick, beat, 1.0f);
    }

    SynthMixer& Mixer() { return m_mixer; }

private:
    SynthMixer m_mixer;
};

void Intro(Composer& c) {
    c.Chords(0, 7.5, kAm, 0.5f, 0.15f);
    const int bells[8] = {76, 81, 84, 88, 83, 81, 79, 76};
    for (int i = 0; i < 8; ++i) {
        c.Note(Instrument::Bell, i * 0.875, 0.5, bells[i], 0.22f, (i & 1) ? 0.5f : -0.5f, 0.35f, 0.5f, 0.0f);
    }
    c.Note(Instrument::Riser, 4.0, 3.75, 60, 0.35f, 0.0f, 0.0f, 0.3f, 0.0f);
}

// 3.92 s to 15.68 s: the oscilloscope draws this, so it is busy and bass-heavy.
void Scope(Composer& c) {
    const double s0 = 8;
    const Chord chords[6] = {kAm, kF, kC, kG, kF, kG};
    c.Section(s0);
    const int bassOffsets[16] = {0, 0, 12, 0, 7, 0, 12, 0, 0, 12, 0, 7, 12, 0, 7, 12};
    for (int bar = 0; bar < 6; ++bar) {
        const double b = s0 + bar * 4;
        const bool last = bar == 5;
        for (int beat = 0; beat < 4; ++beat) {
            if (!(bar == 0 && beat == 0) && !(last && beat == 3)) {
                c.Hit(Instrument::Kick, b + beat, 1.0f);
            }
            if (beat & 1) {
                c.Hit(Instrument::Clap, b + beat, 0.55f, 0.0f, 0.25f);
            }
        }
        c.Hats(b, last ? 3 : 4, true, true);
        for (int s = 0; s < (last ? 14 : 16); ++s) {
            const float velocity = (s % 4 == 0) ? 0.6f : 0.45f;
            c.Note(Instrument::Bass, b + s / 4.0, 0.17, chords[bar].root + bassOffsets[s], velocity, 0.0f, 0.0f, 0.0f,
                   0.55f);
        }
        c.Chords(b, last ? 3.5 : 4.0, chords[bar], 0.18f, 0.3f);
    }
    const Melody lead = {
        {{0, 2, 76}, {2, 2, 81}, {4, 2, 84}, {6, 1, 83}, {7, 1, 81}, {8, 4, 76}, {12, 2, 79}, {14, 2, 81}},
        {{0, 3, 84}, {3, 3, 81}, {6, 2, 77}, {8, 2, 76}, {10, 2, 77}, {12, 4, 81}},
        {{0, 2, 79}, {2, 2, 84}, {4, 2, 88}, {6, 2, 86}, {8, 3, 84}, {11, 3, 83}, {14, 2, 84}},
        {{0, 4, 86}, {4, 2, 83}, {6, 2, 79}, {8, 2, 81}, {10, 2, 83}, {12, 4, 86}},
        {{0, 2, 88}, {2, 2, 86}, {4, 2, 84}, {6, 2, 81}, {8, 2, 84}, {10, 2, 86}, {12, 2, 88}, {14, 2, 89}},
        {{0, 6, 91}, {6, 2, 88}, {8, 4, 86}, {12, 2, 83}},
    };
    c.Line(Instrument::Lead, s0, lead, 0, 0.42f, 0.15f, 0.22f, 0.2f, 0.5f);
}

// 15.68 s to 40.18 s: the room, twelve bars and a half-bar fill.
void Room(Composer& c) {
    const double s0 = 32;
    const Chord chords[12] = {kAm, kAm, kF, kF, kC, kC, kG, kG, kAm, kAm, kF, kG};
    c.Section(s0);
    for (int bar = 0; bar < 12; ++bar) {
        const double b = s0 + bar * 4;
        const bool full = bar >= 4;
        for (int beat = 0; beat < 4; ++beat) {
            if ((full || beat % 2 == 0) && !(bar == 0 && beat == 0)) {
                c.Hit(Instrument::Kick, b + beat, 0.95f);
            }
            if (beat & 1) {
                c.Hit(Instrument::Clap, b + beat, 0.45f, -0.1f, 0.3f);
            }
        }
        c.Hats(b, 4, full, full);
        for (int s = 2; s < 16; s += 4) {
            c.Note(Instrument::Bass, b + s / 4.0, 0.3, chords[bar].root + 12, 0.5f, 0.0f, 0.0f, 0.0f, 0.35f);
        }
        if (full) {
            c.Note(Instrument::Bass, b, 0.3, chords[bar].root, 0.55f, 0.0f, 0.0f, 0.0f, 0.3f);
        }
        if (bar % 2 == 0) {
            c.Chords(b, 7.6, chords[bar], 0.22f, 0.35f);
        }
        c.Arpeggio(b, 16, chords[bar], 0.2f, 0.3f + 0.05f * bar);
    }
    const Melody lead = {
        {{0, 6, 76}, {6, 2, 79}, {8, 8, 81}},
        {{0, 4, 84}, {4, 4, 83}, {8, 8, 79}},
        {{0, 6, 81}, {6, 2, 79}, {8, 8, 77}},
        {{0, 4, 79}, {4, 4, 83}, {8, 6, 86}},
    };
    c.Line(Instrument::Lead, s0, lead, 8, 0.36f, -0.15f, 0.3f, 0.3f, 0.35f);
    // Fill: a snare roll rising into the ride, then a sixteenth of silence.
    const double fill = s0 + 48;
    c.Hit(Instrument::Kick, fill, 0.9f);
    for (int s = 0; s < 7; ++s) {
        c.Hit(Instrument::Snare, fill + s / 4.0, 0.25f + 0.08f * s, 0.0f, 0.2f);
    }
    c.Note(Instrument::Riser, fill, 1.75, 60, 0.4f, 0.0f, 0.0f, 0.1f, 0.0f);
}

// 40.18 s to 77.42 s: the tunnel ride, nineteen bars of acid.
void Tunnel(Composer& c) {
    const double s0 = 82;
    const Chord chords[19] = {kAm, kAm, kG, kG, kF, kF, kE, kE, kAm, kAm, kG, kG, kF, kF, kE, kE, kAm, kG, kF};
    c.Section(s0);
    const int acid[16] = {0, -1, 12, 0, -1, 7, 0, -1, 12, -1, 0, 10, 7, -1, 12, 0};
    for (int bar = 0; bar < 19; ++bar) {
        const double b = s0 + bar * 4;
        const bool last = bar == 18;
        // Bar 7 drops the drums under a riser; the lead comes in on bar 8.
        const bool breakdown = bar == 7;
        if (bar == 8) {
            c.Hit(Instrument::Crash, b, 0.4f, -0.3f, 0.4f);
        }
        if (breakdown) {
            c.Note(Instrument::Riser, b, 3.9, 60, 0.45f, 0.0f, 0.0f, 0.2f, 0.0f);
            for (int s = 8; s < 16; ++s) {
                c.Hit(Instrument::Snare, b + s / 4.0, 0.15f + 0.05f * (s - 8), 0.0f, 0.2f);
            }
        } else {
            for (int beat = 0; beat < 4; ++beat) {
                if (!(bar == 0 && beat == 0) && !(last && beat == 3)) {
                    c.Hit(Instrument::Kick, b + beat, 1.0f);
                }
                if ((beat & 1) && !(last && beat == 3)) {
                    c.Hit(Instrument::Snare, b + beat, 0.5f, 0.05f, 0.25f);
                }
            }
            c.Hit(Instrument::Snare, b + 7 / 4.0, 0.15f, 0.1f, 0.1f);
            if (!last) {
                c.Hit(Instrument::Snare, b + 14 / 4.0, 0.15f, -0.1f, 0.1f);
            }
            c.Hats(b, last ? 3 : 4, true, true);
        }
        const float sweep = 0.5f - 0.5f * std::cos(6.2831853f * static_cast<float>(bar) / 8.0f);
        for (int s = 0; s < (last ? 14 : 16); ++s) {
            if (acid[s] < 0) {
                continue;
            }
            const bool accent = s == 0 || s == 5 || s == 11;
            c.Note(Instrument::Acid, b + s / 4.0, 0.16, chords[bar].root + acid[s], accent ? 0.55f : 0.4f, 0.0f,
                   0.12f, 0.0f, 0.2f + 0.6f * sweep);
        }
        c.Chords(b, last ? 3.5 : 3.9, chords[bar], 0.15f, 0.3f);
        if (bar >= 4) {
            c.Arpeggio(b, last ? 14 : 16, chords[bar], 0.17f, 0.6f);
        }
    }
    const Melody lead = {
        {{0, 4, 81}, {4, 2, 84}, {6, 2, 83}, {8, 4, 81}, {12, 4, 76}},
        {{0, 2, 79}, {2, 2, 81}, {4, 4, 84}, {8, 4, 88}, {12, 4, 86}},
        {{0, 6, 86}, {6, 2, 83}, {8, 4, 79}, {12, 4, 83}},
        {{0, 4, 86}, {4, 4, 88}, {8, 8, 91}},
        {{0, 4, 89}, {4, 4, 88}, {8, 4, 84}, {12, 4, 81}},
        {{0, 6, 84}, {6, 2, 81}, {8, 8, 77}},
        {{0, 4, 80}, {4, 4, 83}, {8, 4, 88}, {12, 4, 86}},
        {{0, 8, 83}, {8, 4, 80}, {12, 4, 76}},
        {{0, 4, 81}, {4, 4, 84}, {8, 4, 88}, {12, 4, 93}},
        {{0, 8, 91}, {8, 4, 86}, {12, 4, 83}},
        {{0, 8, 84}, {8, 6, 81}},
    };
    c.Line(Instrument::Lead, s0, lead, 8, 0.34f, 0.2f, 0.3f, 0.25f, 0.55f);
}

// 77.42 s on: one last chord ringing out under the end card.
void Outro(Composer& c) {
    const double s0 = 158;
    c.Section(s0);
    const Chord final{33, {57, 60, 64}};
    c.Chords(s0, 9.0, final, 0.3f, 0.25f);
    c.Note(Instrument::Pad, s0, 9.0, 71, 0.2f, 0.2f, 0.0f, 0.5f, 0.25f);
    c.Note(Instrument::Bass, s0, 6.0, final.root + 12, 0.5f, 0.0f, 0.0f, 0.0f, 0.1f);
    const int bells[6] = {88, 84, 81, 76, 81, 69};
    for (int i = 0; i < 6; ++i) {
        c.Note(Instrument::Bell, s0 + i * 1.0, 0.5, bells[i], 0.22f, (i & 1) ? 0.4f : -0.4f, 0.4f, 0.5f, 0.0f);
    }
}

struct LameCloser {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

}  // namespace

std::vector<int16_t> RenderSoundtrackPcm() {
    Composer composer;
    Intro(composer);
    Scope(composer);
    Room(composer);
    Tunnel(composer);
    Outro(composer);
    return composer.Mixer().Mixdown(0.84f);
}

std::vector<uint8_t> EncodeSoundtrack(const std::vector<int16_t>& pcm) {
    std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
    if (!lame) {
        throw std::runtime_error("LAME could not start");
    }
    lame_global_flags* gf = lame.get();
    lame_set_in_samplerate(gf, kSampleRate);
    lame_set_out_samplerate(gf, kSampleRate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, STEREO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, kMp3Bitrate);
    lame_set_quality(gf, 2);
    lame_set_bWriteVbrTag(gf, 0);
    lame_set_strict_ISO(gf, 1);
    lame_set_error_protection(gf, 0);
    lame_set_copyright(gf, 0);
    lame_set_original(gf, 1);
    lame_set_write_id3tag_automatic(gf, 0);
    id3tag_init(gf);
    id3tag_v1_only(gf);
    id3tag_set_title(gf, "Quorvel");
    id3tag_set_artist(gf, "The Zarnoth Crew");
    id3tag_set_album(gf, "ZARNOTH 3D");
    id3tag_set_year(gf, "2026");
    id3tag_set_comment(gf, "synthesised in code");
    id3tag_set_track(gf, "1");
    if (id3tag_set_genre(gf, "Electronic") != 0) {
        throw std::runtime_error("LAME does not know the genre");
    }
    if (lame_init_params(gf) < 0) {
        throw std::runtime_error("LAME rejected the encoder settings");
    }
    // Skip the first samples so that the encoder's and the decoder's delay do not
    // push every section change later; pad the end by as much to keep the length.
    const size_t frames = pcm.size() / 2;
    const size_t shift = static_cast<size_t>(lame_get_encoder_delay(gf) + kDecoderDelay);
    if (frames <= shift) {
        throw std::runtime_error("the soundtrack is shorter than the codec delay");
    }
    std::vector<int16_t> input(frames * 2, 0);
    std::copy(pcm.begin() + static_cast<std::ptrdiff_t>(shift * 2), pcm.end(), input.begin());

    std::vector<uint8_t> out;
    const size_t chunk = 8192;
    std::vector<unsigned char> buffer(chunk * 5 / 4 + 7200);
    for (size_t at = 0; at < frames; at += chunk) {
        const int count = static_cast<int>(std::min(chunk, frames - at));
        std::vector<short> block(input.begin() + static_cast<std::ptrdiff_t>(at * 2),
                                 input.begin() + static_cast<std::ptrdiff_t>((at + count) * 2));
        const int n = lame_encode_buffer_interleaved(gf, block.data(), count, buffer.data(),
                                                     static_cast<int>(buffer.size()));
        if (n < 0) {
            throw std::runtime_error("LAME encoding failed");
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    const int tail = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
    if (tail < 0) {
        throw std::runtime_error("LAME could not finish the stream");
    }
    out.insert(out.end(), buffer.begin(), buffer.begin() + tail);
    unsigned char tag[128];
    if (lame_get_id3v1_tag(gf, tag, sizeof tag) != sizeof tag) {
        throw std::runtime_error("LAME made no ID3v1 tag");
    }
    out.insert(out.end(), tag, tag + sizeof tag);
    return out;
}

AssetMember BuildSoundtrack() { return {"snd\\qv.mp3", EncodeSoundtrack(RenderSoundtrackPcm())}; }

}  // namespace assetgen
