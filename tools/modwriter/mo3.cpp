// MO3: an 8-byte container header, from version 5 on the size of the packed music
// data, the music data (texts, a 422-byte header, orders, the track of every pattern's
// channels, the tracks, sample records) packed as literals, then each sample's data in
// turn. The inner song is ImpulseTracker's, in sample mode, as BuildIt writes it.
#include "layout.h"
#include "mo3_writer.h"

#include <stdexcept>
#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

namespace modwriter {

namespace {
const size_t kContainerSize = 8; // "MO3", version, music size; then from version 5 on:
const size_t kPackedSizeSize = 4;
const uint8_t kFileNamesVersion = 5; // also the packed size and shared Ogg headers

// The song header, after the title and the message.
namespace header {
const size_t kChannels = 0, kOrders = 1, kRestart = 3, kPatterns = 5, kTracks = 7, kInstruments = 9;
const size_t kSamples = 11, kSpeed = 13, kTempo = 14, kFlags = 15, kGlobalVolume = 19, kPanSeparation = 20;
const size_t kSampleVolume = 21, kChannelVolume = 22, kChannelPan = 86, kSfxMacros = 150, kFixedMacros = 166;
const size_t kSize = 422;
static_assert(kChannelPan == kChannelVolume + 64 && kSfxMacros == kChannelPan + 64, "64 channels each");
static_assert(kFixedMacros + 128 * 2 == kSize, "the header ends with 128 two-byte macros");
} // namespace header
const uint32_t kLinearSlides = 0x0001, kIsIt = 0x0100;
// Set, these mean IT's new effects and its separate Gxx memory, as BuildIt's flags do.
const uint32_t kItCompatibleGxxOff = 0x0400, kItOldEffectsOff = 0x0800;
const uint32_t kModuleMark = 0x20000; // always set by the encoder
const uint8_t kCentre = 128;          // channel pan 0..256
const int8_t kMixVolume48 = -4;       // IT's mix volume 48, as the reader maps it (value + 52)

// A sample record, after the sample's name and file name.
namespace sample {
const size_t kRate = 0, kTranspose = 4, kVolume = 5, kPan = 6, kLength = 8, kLoopStart = 12, kLoopEnd = 16;
const size_t kFlags = 20, kVibrato = 22, kGlobalVolume = 26, kSustainStart = 27, kSustainEnd = 31;
const size_t kPackedSize = 35, kEncoderDelay = 39;
const size_t kSize = 41;
static_assert(kTranspose == kRate + 4 && kVolume == kTranspose + 1 && kGlobalVolume == kVibrato + 4,
              "rate, transpose, volume; four vibrato bytes before the global volume");
static_assert(kSustainStart == kGlobalVolume + 1 && kSustainEnd == kSustainStart + 4 &&
                  kPackedSize == kSustainEnd + 4 && kEncoderDelay + 2 == kSize,
              "the sustain loop, the packed size and the encoder delay end the record");
} // namespace sample
const uint16_t kNoPan = 0xFFFF;
const uint16_t kSample16Bit = 0x0001, kSampleLoops = 0x0010;
const uint16_t kMp3 = 0x1000, kOgg = 0x3000, kSharedOgg = 0x7000, kDelta = 0x2000, kPrediction = 0x4000;

// Track commands for an IT song, with the effect letters they stand for.
const uint8_t kNote = 0x01, kInstrument = 0x02, kVolume = 0x0F, kBreak = 0x10 /* C */;
const uint8_t kSpeed = 0x21 /* A */, kTempo = 0x2C /* T */;
const int kNoteShift = 11; // XM's C-4 (49) is IT's C-5 (60), as BuildIt writes it
const uint8_t kNoteCut = 0xFE;
const int kMaxRepeat = 15; // rows one event covers, in its high nibble

Bytes Commands(const Cell &cell)
{
    Bytes commands;
    auto add = [&](uint8_t command, uint8_t param) {
        commands.push_back(command);
        commands.push_back(param);
    };
    if (cell.note != kNoNote)
        add(kNote, cell.note > 96 ? kNoteCut : static_cast<uint8_t>(cell.note + kNoteShift));
    if (cell.instrument)
        add(kInstrument, static_cast<uint8_t>(cell.instrument - 1));
    if (cell.volume != kNoVolume)
        add(kVolume, std::min<uint8_t>(cell.volume, 64));
    switch (cell.effect) {
    case Effect::None:
        break;
    case Effect::Speed:
        add(kSpeed, cell.param);
        break;
    case Effect::Tempo:
        add(kTempo, cell.param);
        break;
    case Effect::Break:
        add(kBreak, cell.param);
        break;
    case Effect::Jump:
        throw std::invalid_argument("the MO3 writer has no position jump");
    }
    return commands;
}

// One channel of a pattern: events of (repeat << 4 | command count) and the commands,
// equal rows in one event, a zero at the end.
Bytes Track(const Pattern &pattern, int channel)
{
    Bytes track;
    for (int row = 0; row < pattern.rows;) {
        Bytes commands = Commands(pattern.At(row, channel));
        int repeat = 1;
        while (repeat < kMaxRepeat && row + repeat < pattern.rows &&
               Commands(pattern.At(row + repeat, channel)) == commands)
            repeat++;
        track.push_back(static_cast<uint8_t>(repeat << 4 | commands.size() / 2));
        track.insert(track.end(), commands.begin(), commands.end());
        row += repeat;
    }
    track.push_back(0);
    return track;
}

// The reader's LZ scheme in its plainest form: a control byte of eight zero bits says
// that eight literal bytes follow; the first byte needs none.
Bytes Packed(const Bytes &data)
{
    Bytes packed;
    for (size_t i = 0; i < data.size(); i++) {
        if (i % 8 == 1)
            packed.push_back(0);
        packed.push_back(data[i]);
    }
    return packed;
}

void AppendText(Bytes &bytes, const std::string &text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
}

void Append(Bytes &bytes, const Bytes &piece)
{
    bytes.insert(bytes.end(), piece.begin(), piece.end());
}

std::vector<int16_t> Pcm16(const std::vector<int8_t> &data)
{
    std::vector<int16_t> pcm;
    for (int8_t value : data)
        pcm.push_back(static_cast<int16_t>(value * 256));
    return pcm;
}

// A sample's record and data as the file stores them.
struct StoredSample {
    Bytes record;
    Bytes data;
};

// The first Vorbis sample, whose headers the shared ones take, before or after it.
struct FirstVorbis {
    int index = -1;
    Bytes headers; // with the first serial number
};

std::vector<int> Values(const std::vector<int8_t> &data, int scale)
{
    std::vector<int> values;
    for (int8_t value : data)
        values.push_back(value * scale);
    return values;
}

// Before version 5, with linear slides, the rate field is a fine-tune: the reader's
// rate is 8363 * 2^((value + 1408) / 1536).
uint32_t RateField(uint32_t rate, uint8_t version)
{
    if (version >= kFileNamesVersion)
        return rate;
    return static_cast<uint32_t>(std::lround(1536 * std::log2(rate / 8363.0)) - 1408);
}

Mo3Codec CodecOf(const Mo3File &mo3, size_t index)
{
    if (mo3.samples[index].data.empty() || index >= mo3.codecs.size())
        return Mo3Codec::Plain;
    return mo3.codecs[index];
}

FirstVorbis FirstVorbisOf(const Mo3File &mo3)
{
    FirstVorbis first;
    for (size_t i = 0; i < mo3.samples.size() && first.index < 0; i++) {
        if (CodecOf(mo3, i) != Mo3Codec::Vorbis)
            continue;
        size_t headerSize = 0;
        Bytes whole = EncodeVorbis(Pcm16(mo3.samples[i].data), MiddleCRate(mo3.samples[i]), mo3.oggSerial, &headerSize);
        first = {static_cast<int>(i), Bytes(whole.begin(), whole.begin() + long(headerSize))};
    }
    return first;
}

StoredSample Store(const Mo3File &mo3, size_t index, uint32_t &serial, const FirstVorbis &first)
{
    const Sample &sample = mo3.samples[index];
    Mo3Codec codec = CodecOf(mo3, index);
    Loop loop = LoopOf(sample);
    uint32_t length = static_cast<uint32_t>(sample.data.size());
    StoredSample stored;
    uint16_t flags = sample.loop && length ? kSampleLoops : 0;
    uint16_t encoderDelay = 0;
    Bytes sharedField;
    switch (codec) {
    case Mo3Codec::Plain:
        stored.data = SignedPcm(sample.data);
        break;
    case Mo3Codec::Mp3: {
        Mp3Data mp3 = EncodeMp3(Pcm16(sample.data), MiddleCRate(sample));
        stored.data = mp3.bytes;
        flags |= kSample16Bit | kMp3;
        encoderDelay = static_cast<uint16_t>(mp3.delay * sizeof(int16_t)); // in bytes of decoded output
        break;
    }
    case Mo3Codec::Vorbis:
        stored.data = EncodeVorbis(Pcm16(sample.data), MiddleCRate(sample), serial++);
        flags |= kSample16Bit | kOgg;
        break;
    case Mo3Codec::SharedVorbis: {
        if (first.index < 0 || mo3.version < kFileNamesVersion)
            throw std::invalid_argument("a shared Ogg header needs a Vorbis sample and version 5");
        // The first one's serial number, so that its headers are these byte for byte.
        size_t headerSize = 0;
        Bytes whole = EncodeVorbis(Pcm16(sample.data), MiddleCRate(sample), mo3.oggSerial, &headerSize);
        if (Bytes(whole.begin(), whole.begin() + long(headerSize)) != first.headers)
            throw std::invalid_argument("a shared Ogg header needs the rate of the first Vorbis sample");
        stored.data.assign(whole.begin() + long(headerSize), whole.end());
        flags |= kSample16Bit | kSharedOgg;
        encoderDelay = static_cast<uint16_t>(headerSize); // the size of the shared headers
        PutLe16(sharedField, 0, static_cast<uint16_t>(first.index - static_cast<int>(index)));
        break;
    }
    case Mo3Codec::Delta8:
    case Mo3Codec::Prediction8:
        stored.data = PackLossless(Values(sample.data, 1), false, codec == Mo3Codec::Prediction8);
        flags |= codec == Mo3Codec::Delta8 ? kDelta : kPrediction;
        break;
    case Mo3Codec::Delta16:
    case Mo3Codec::Prediction16:
        stored.data = PackLossless(Values(sample.data, 256), true, codec == Mo3Codec::Prediction16);
        flags |= kSample16Bit | (codec == Mo3Codec::Delta16 ? kDelta : kPrediction);
        break;
    }
    Record record(sample::kSize);
    record.Le32(sample::kRate, RateField(MiddleCRate(sample), mo3.version));
    record.Byte(sample::kVolume, sample.volume).Le16(sample::kPan, kNoPan);
    record.Le32(sample::kLength, length).Le32(sample::kLoopStart, loop.start);
    record.Le32(sample::kLoopEnd, sample.loop ? loop.start + loop.length : 0).Le16(sample::kFlags, flags);
    record.Byte(sample::kGlobalVolume, 64);
    // Plain data is counted by the length; the size says "compressed" to the reader.
    record.Le32(sample::kPackedSize, codec == Mo3Codec::Plain ? 0 : static_cast<uint32_t>(stored.data.size()));
    record.Le16(sample::kEncoderDelay, encoderDelay);
    stored.record = record.bytes;
    Append(stored.record, sharedField);
    return stored;
}
} // namespace

Bytes BuildMo3(const Mo3File &mo3)
{
    std::vector<Pattern> patterns =
        PatternsOf(mo3.song, DefaultPattern(mo3.song.rows, mo3.channels, !mo3.samples.empty()));
    // Every channel of every pattern names a track; equal tracks are stored once.
    std::vector<Bytes> tracks;
    std::map<Bytes, uint16_t> trackIndex;
    Bytes trackMap, rowCounts;
    for (const Pattern &pattern : patterns) {
        for (int channel = 0; channel < mo3.channels; channel++) {
            Bytes track = channel < pattern.channels ? Track(pattern, channel) : Track(Pattern(pattern.rows, 1), 0);
            auto known = trackIndex.emplace(track, static_cast<uint16_t>(tracks.size()));
            if (known.second)
                tracks.push_back(track);
            PutLe16(trackMap, trackMap.size(), known.first->second);
        }
        PutLe16(rowCounts, rowCounts.size(), static_cast<uint16_t>(pattern.rows));
    }

    Record head(header::kSize);
    head.Byte(header::kChannels, static_cast<uint8_t>(mo3.channels));
    head.Le16(header::kOrders, static_cast<uint16_t>(mo3.song.orders.size())).Le16(header::kRestart, 0);
    head.Le16(header::kPatterns, static_cast<uint16_t>(patterns.size()));
    head.Le16(header::kTracks, static_cast<uint16_t>(tracks.size())).Le16(header::kInstruments, 0);
    head.Le16(header::kSamples, static_cast<uint16_t>(mo3.samples.size()));
    head.Byte(header::kSpeed, static_cast<uint8_t>(mo3.song.speed))
        .Byte(header::kTempo, static_cast<uint8_t>(mo3.song.tempo));
    head.Le32(header::kFlags, kIsIt | kLinearSlides | kItCompatibleGxxOff | kItOldEffectsOff | kModuleMark);
    head.Byte(header::kGlobalVolume, 128).Byte(header::kPanSeparation, 128);
    head.Byte(header::kSampleVolume, static_cast<uint8_t>(kMixVolume48));
    for (int c = 0; c < mo3.channels && c < 64; c++)
        head.Byte(header::kChannelVolume + size_t(c), 64).Byte(header::kChannelPan + size_t(c), kCentre);

    Bytes music;
    AppendText(music, mo3.song.title);
    AppendText(music, mo3.message);
    Append(music, head.bytes);
    Append(music, Bytes(mo3.song.orders.begin(), mo3.song.orders.end()));
    Append(music, trackMap);
    Append(music, rowCounts);
    for (const Bytes &track : tracks) {
        PutLe32(music, music.size(), static_cast<uint32_t>(track.size()));
        Append(music, track);
    }
    Bytes sampleData;
    uint32_t serial = mo3.oggSerial;
    const FirstVorbis first = FirstVorbisOf(mo3);
    for (size_t s = 0; s < mo3.samples.size(); s++) {
        StoredSample stored = Store(mo3, s, serial, first);
        AppendText(music, mo3.samples[s].name);
        if (mo3.version >= kFileNamesVersion)
            AppendText(music, ""); // the file name
        Append(music, stored.record);
        Append(sampleData, stored.data);
    }

    Bytes packed = Packed(music);
    bool sized = mo3.version >= kFileNamesVersion;
    Record container(kContainerSize + (sized ? kPackedSizeSize : 0));
    container.Text(0, "MO3", 3).Byte(3, mo3.version).Le32(4, static_cast<uint32_t>(music.size()));
    if (sized)
        container.Le32(kContainerSize, static_cast<uint32_t>(packed.size()));
    Bytes file = container.bytes;
    Append(file, packed);
    Append(file, sampleData);
    return file;
}

Mo3File AsMo3(const Tune &tune, Mo3Codec codec)
{
    ItFile it = AsIt(tune); // the same song, orders closed as IT trackers close them
    Mo3File mo3;
    mo3.song = it.song;
    mo3.channels = tune.channels;
    mo3.samples = tune.samples;
    mo3.codecs.assign(tune.samples.size(), codec);
    mo3.message = tune.message;
    return mo3;
}

Bytes WriteMo3(const Tune &tune, Mo3Codec codec)
{
    return BuildMo3(AsMo3(tune, codec));
}

} // namespace modwriter
