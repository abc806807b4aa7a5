// The demo tune and the short test tune: instruments synthesised here, notes placed
// by hand. Everything is computed the same way on every run, so the files in samples/
// can be checked against a fresh build byte for byte.
#include "songs.h"

#include <cmath>

namespace samplegen {

using namespace modwriter;

namespace {

constexpr double kPi = 3.14159265358979323846;
// Drums are sampled at twice the base rate and played at C-4, one octave up.
constexpr double kDrumRate = 16726.0;
// Looped waveforms: one 64-sample cycle, played an octave up so C-4 sounds as middle C.
constexpr int kCycle = 64;
// The MO3 demo's waveforms: 32 cycles, looping over the 16 from the eighth on.
constexpr int kMo3Cycles = 32, kMo3LoopFrom = 8, kMo3LoopCycles = 16;

int8_t Clip(double value)
{
    long v = std::lround(value * 127.0);
    return int8_t(v > 127 ? 127 : v < -127 ? -127 : v);
}

// Deterministic noise: a 32-bit LCG, its high bits as -1..1.
class Noise {
public:
    double Next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return double(int32_t(state_)) / 2147483648.0;
    }

private:
    uint32_t state_ = 0x7E55E1u;
};

Sample Drum(const char *name, double seconds, double (*shape)(double t, Noise &noise))
{
    Sample drum;
    drum.name = name;
    drum.relativeNote = 12;
    Noise noise;
    int length = int(seconds * kDrumRate);
    for (int i = 0; i < length; ++i)
        drum.data.push_back(Clip(shape(i / kDrumRate, noise)));
    return drum;
}

double KickShape(double t, Noise &)
{
    // A sine falling from 150 Hz to 45 Hz; the phase is the integral of that sweep.
    const double start = 150.0, end = 45.0, fall = 0.04;
    double phase = 2 * kPi * (end * t + (start - end) * fall * (1 - std::exp(-t / fall)));
    return 0.95 * std::sin(phase) * std::exp(-t / 0.09);
}

double SnareShape(double t, Noise &noise)
{
    return 0.6 * noise.Next() * std::exp(-t / 0.06) + 0.4 * std::sin(2 * kPi * 185 * t) * std::exp(-t / 0.04);
}

double HatShape(double t, Noise &noise)
{
    // The difference of two noise values: little low end, like a small cymbal.
    double a = noise.Next(), b = noise.Next();
    return 0.5 * (a - b) * std::exp(-t / 0.018);
}

Sample Wave(const char *name, uint8_t volume, double (*shape)(double phase))
{
    Sample wave;
    wave.name = name;
    wave.volume = volume;
    wave.relativeNote = 12;
    wave.loop = true;
    wave.loopStart = 0;
    wave.loopLength = kCycle;
    for (int i = 0; i < kCycle; ++i)
        wave.data.push_back(Clip(shape(double(i) / kCycle)));
    return wave;
}

double Saw(double p)
{
    return 0.8 * (1 - 2 * p);
}
double Pulse(double p)
{
    return p < 0.25 ? 0.55 : -0.55;
}
double Soft(double p)
{
    return 0.7 * std::sin(2 * kPi * p) + 0.2 * std::sin(4 * kPi * p);
}
double Triangle(double p)
{
    return 0.8 * (p < 0.5 ? 4 * p - 1 : 3 - 4 * p);
}

enum DemoInstrument : uint8_t { kKick = 1, kSnare, kHat, kBass, kLead, kPad, kPluck };
enum DemoChannel { kDrums, kHats, kBassLine, kMelody, kPad1, kPad2, kPad3, kArp, kDemoChannels };

void Put(Pattern &pattern, int row, int channel, const char *note, uint8_t instrument, uint8_t volume = kNoVolume)
{
    Cell &cell = pattern.At(row, channel);
    cell.note = note[0] == '=' ? kNoteOff : NoteNumber(note);
    cell.instrument = cell.note == kNoteOff ? 0 : instrument;
    cell.volume = volume;
}

struct Chord {
    const char *bass;
    const char *pad[3];
};

const Chord kAm{"A-2", {"A-3", "C-4", "E-4"}};
const Chord kF{"F-2", {"A-3", "C-4", "F-4"}};
const Chord kC{"C-3", {"G-3", "C-4", "E-4"}};
const Chord kG{"G-2", {"G-3", "B-3", "D-4"}};
const Chord kE{"E-2", {"G#3", "B-3", "E-4"}};

void Drums(Pattern &pattern, int bar, bool kick, bool snare, bool hats)
{
    int row = bar * 16;
    for (int step = 0; step < 16; ++step) {
        if (kick && (step == 0 || step == 8 || (bar % 2 == 1 && step == 10)))
            Put(pattern, row + step, kDrums, "C-4", kKick, 64);
        else if (snare && (step == 4 || step == 12))
            Put(pattern, row + step, kDrums, "C-4", kSnare, 50);
        if (hats && step % 2 == 0)
            Put(pattern, row + step, kHats, "C-4", kHat, step % 4 == 0 ? 30 : 18);
    }
}

void Pad(Pattern &pattern, int bar, const Chord &chord, uint8_t volume)
{
    for (int voice = 0; voice < 3; ++voice)
        Put(pattern, bar * 16, kPad1 + voice, chord.pad[voice], kPad, volume);
}

void Bass(Pattern &pattern, int bar, const Chord &chord)
{
    // Root on the beat, its octave on the off-beats: the octave digit goes up by one.
    char octave[4] = {chord.bass[0], chord.bass[1], char(chord.bass[2] + 1), 0};
    const int steps[] = {0, 3, 6, 8, 11, 14};
    for (int step : steps)
        Put(pattern, bar * 16 + step, kBassLine, step == 6 || step == 14 ? octave : chord.bass, kBass, 48);
    Put(pattern, bar * 16 + 15, kBassLine, "===", 0);
}

void Arpeggio(Pattern &pattern, int bar, const Chord &chord)
{
    for (int step = 0; step < 16; step += 2) {
        char note[4] = {chord.pad[step / 2 % 3][0], chord.pad[step / 2 % 3][1], char(chord.pad[step / 2 % 3][2] + 1),
                        0};
        Put(pattern, bar * 16 + step, kArp, note, kPluck, 26);
    }
}

// A melody as "row note" pairs over one 64-row pattern; "===" releases the note.
struct MelodyNote {
    int row;
    const char *note;
};

template <size_t N>
void Melody(Pattern &pattern, const MelodyNote (&notes)[N])
{
    for (const MelodyNote &n : notes)
        Put(pattern, n.row, kMelody, n.note, kLead, 40);
}

Pattern Intro()
{
    Pattern p(64, kDemoChannels);
    const Chord *chords[] = {&kAm, &kF, &kC, &kG};
    for (int bar = 0; bar < 4; ++bar) {
        Pad(p, bar, *chords[bar], 14 + 4 * bar);
        Drums(p, bar, bar >= 2, bar >= 3, true);
        if (bar >= 2)
            Bass(p, bar, *chords[bar]);
    }
    return p;
}

Pattern VerseA()
{
    Pattern p(64, kDemoChannels);
    const Chord *chords[] = {&kAm, &kF, &kC, &kG};
    for (int bar = 0; bar < 4; ++bar) {
        Pad(p, bar, *chords[bar], 22);
        Drums(p, bar, true, true, true);
        Bass(p, bar, *chords[bar]);
    }
    const MelodyNote tune[] = {
        {0, "A-4"},  {4, "C-5"},  {6, "B-4"},  {8, "A-4"},  {12, "E-5"}, // Am
        {16, "F-5"}, {24, "E-5"}, {26, "D-5"}, {28, "C-5"},              // F
        {32, "E-5"}, {36, "G-5"}, {40, "E-5"}, {44, "C-5"}, {46, "D-5"}, // C
        {48, "D-5"}, {56, "B-4"}, {60, "G-4"}, {63, "==="},              // G
    };
    Melody(p, tune);
    return p;
}

Pattern VerseB()
{
    Pattern p(64, kDemoChannels);
    const Chord *chords[] = {&kF, &kG, &kAm, &kE};
    for (int bar = 0; bar < 4; ++bar) {
        Pad(p, bar, *chords[bar], 22);
        Drums(p, bar, true, true, true);
        Bass(p, bar, *chords[bar]);
        Arpeggio(p, bar, *chords[bar]);
    }
    const MelodyNote tune[] = {
        {0, "A-4"},  {2, "C-5"},  {4, "F-5"},  {8, "E-5"},  {10, "F-5"}, {12, "A-5"}, // F
        {16, "G-5"}, {20, "D-5"}, {24, "B-4"}, {28, "D-5"},                           // G
        {32, "C-5"}, {34, "E-5"}, {36, "A-5"}, {40, "G-5"}, {44, "E-5"},              // Am
        {48, "G#5"}, {54, "B-5"}, {56, "E-5"}, {60, "G#4"}, {62, "==="},              // E
    };
    Melody(p, tune);
    return p;
}

Pattern Outro()
{
    Pattern p(64, kDemoChannels);
    Drums(p, 0, true, true, true);
    Drums(p, 1, true, false, true);
    Bass(p, 0, kAm);
    Bass(p, 1, kAm);
    Put(p, 32, kBassLine, "A-2", kBass, 40);
    const MelodyNote tune[] = {{0, "E-5"}, {4, "D-5"}, {8, "C-5"}, {12, "B-4"}, {16, "A-4"}, {28, "==="}};
    Melody(p, tune);
    // The last chord fades out over the second half, then everything is released.
    for (int row = 0; row < 64; row += 4) {
        uint8_t volume = uint8_t(row < 32 ? 22 : 22 - (row - 32) * 22 / 32);
        for (int voice = 0; voice < 3; ++voice)
            Put(p, row, kPad1 + voice, kAm.pad[voice], kPad, volume);
    }
    for (int channel = 0; channel < kDemoChannels; ++channel)
        Put(p, 63, channel, "===", 0);
    return p;
}

std::vector<Sample> DemoInstruments()
{
    return {
        Drum("Kick", 0.30, KickShape),          Drum("Snare", 0.25, SnareShape),
        Drum("Hi-hat", 0.08, HatShape),         Wave("Bass (saw)", 64, Saw),
        Wave("Lead (pulse)", 48, Pulse),        Wave("Pad (soft sine)", 64, Soft),
        Wave("Pluck (triangle)", 64, Triangle),
    };
}

} // namespace

Tune DemoSong()
{
    Tune song;
    song.song.title = "Tessel Demo Tune";
    song.message = "Tessel demo module\r"
                   "Written by tessel-samplegen for the Tessel player.\r"
                   "\r"
                   "Eight channels, seven synthesised instruments:\r"
                   "an intro, two verses played twice, an outro.";
    song.channels = kDemoChannels;
    song.song.speed = 6;
    song.song.tempo = 125;
    song.song.patterns = {Intro(), VerseA(), VerseB(), Outro()};
    song.song.orders = {0, 1, 2, 1, 2, 3};
    song.samples = DemoInstruments();
    return song;
}

Tune Mo3DemoSong()
{
    Tune demo = DemoSong();
    Tune song = demo;
    song.song.title = "Tessel Demo Tune (MO3)";
    song.message = "Tessel demo module\r"
                   "Written by tessel-samplegen for the Tessel player:\r"
                   "the demo tune's first verse and its outro.";
    song.song.patterns = {demo.song.patterns[1], demo.song.patterns[3]};
    song.song.orders = {0, 1};
    // A lossy codec blurs a loop of one cycle at its seam and at the sample's edges:
    // here each waveform holds many cycles and loops over those in the middle, where
    // the decoded sound has settled.
    for (Sample &sample : song.samples) {
        if (!sample.loop)
            continue;
        std::vector<int8_t> cycle = sample.data;
        sample.data.clear();
        for (int i = 0; i < kMo3Cycles; ++i)
            sample.data.insert(sample.data.end(), cycle.begin(), cycle.end());
        sample.loopStart = uint32_t(kMo3LoopFrom * kCycle);
        sample.loopLength = uint32_t(kMo3LoopCycles * kCycle);
    }
    return song;
}

Tune TestSong(const std::string &title, int orders, int rows)
{
    Tune song;
    song.song.title = title;
    song.song.orders.clear();
    song.message = "Test tune\rfor the host's tests";
    song.channels = 4;
    song.samples = {Drum("Kick", 0.30, KickShape), Wave("Bass (saw)", 64, Saw), Wave("Lead (pulse)", 48, Pulse)};
    // One pattern per order position, each with a different melody note, so a seek is
    // audible and every position is distinct.
    const char *notes[] = {"C-5", "D-5", "E-5", "F-5", "G-5", "A-5", "B-5", "C-6"};
    for (int order = 0; order < orders; ++order) {
        Pattern p(rows, song.channels);
        for (int row = 0; row < rows; row += 4) {
            Put(p, row, 0, "C-4", 1, 64);
            Put(p, row, 1, row % 8 ? "A-3" : "A-2", 2, 48);
        }
        Put(p, 0, 2, notes[order % 8], 3, 40);
        Put(p, rows - 1, 2, "===", 0);
        song.song.patterns.push_back(p);
        song.song.orders.push_back(uint8_t(order));
    }
    return song;
}

} // namespace samplegen
