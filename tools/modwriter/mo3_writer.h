// MO3 ("MP3 Compressed Module") written byte by byte, for the tests and the MO3 demos
// in samples/: an ImpulseTracker song in sample mode whose samples are stored plain
// (8-bit PCM), packed losslessly (delta or prediction, 8- or 16-bit), as MP3 (LAME)
// or as Ogg Vorbis (libvorbisenc), alone or with the headers of an earlier sample. The encoders make this a
// library of its own (tessel_mo3writer), built natively only; Windows programs read
// the MO3 files the native build wrote.
#pragma once

#include "module_writer.h"

namespace modwriter {

enum class Mo3Codec {
    Plain,
    Mp3,
    Vorbis,
    // Ogg Vorbis without its headers: the reader takes them from the first Vorbis
    // sample, which must have the same rate (container version 5 only).
    SharedVorbis,
    // Lossless: the 16-bit ones hold each 8-bit value times 256, so all four render
    // as the plain sample does.
    Delta8,
    Delta16,
    Prediction8,
    Prediction16,
};

struct Mo3File {
    Song song; // orders as written (AsMo3 closes them with IT's end marker)
    int channels = 4;
    std::vector<Sample> samples = {SquareSample("square")};
    std::vector<Mo3Codec> codecs; // one per sample; plain where missing
    std::string message;          // lines separated by "\r"
    // The Ogg stream serial number of the first Vorbis sample; each next one adds 1.
    uint32_t oggSerial = 0x7E55E1;
    // Before 5 the container has no packed size and samples no file names, and with
    // linear slides a rate is stored as a fine-tune (exact for 8363 Hz times 2^n).
    uint8_t version = 5;
};
Bytes BuildMo3(const Mo3File &mo3);

// The tune with every sample that has data stored in codec.
Mo3File AsMo3(const Tune &tune, Mo3Codec codec);
Bytes WriteMo3(const Tune &tune, Mo3Codec codec);

// The sample encoders: 16-bit mono PCM at rate in, one file's bytes out. MP3 keeps the
// number of samples (no resampling: rate is only the encoder's model of the sound) and
// says by how many samples its decoded output lags the input.
struct Mp3Data {
    Bytes bytes;
    uint32_t delay = 0; // samples before the input's first, decoder's delay included
};
Mp3Data EncodeMp3(const std::vector<int16_t> &pcm, uint32_t rate);
// headerSize, when given, gets the size of the pages that hold the three headers.
Bytes EncodeVorbis(const std::vector<int16_t> &pcm, uint32_t rate, uint32_t serial, size_t *headerSize = nullptr);
// The lossless packing of 8-bit (-128..127) or 16-bit values, mono.
Bytes PackLossless(const std::vector<int> &values, bool sixteenBit, bool predict);

} // namespace modwriter
