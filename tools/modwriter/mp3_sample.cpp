// A sample as MP3, with LAME: constant bit rate, mono, no tags and no info frame, so
// the data is nothing but audio frames and the delay is LAME's plus the decoder's.
#include "mo3_writer.h"

#include <lame/lame.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace modwriter {

namespace {
// The rates MPEG audio has; LAME would resample anything else.
const uint32_t kMpegRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
const int kKbps = 64;
const int kQuality = 2;             // LAME's 0 (best) .. 9
const uint32_t kDecoderDelay = 529; // a layer III decoder's synthesis delay, in samples

uint32_t NearestMpegRate(uint32_t rate)
{
    uint32_t best = kMpegRates[0];
    for (uint32_t candidate : kMpegRates)
        if (std::labs(long(candidate) - long(rate)) < std::labs(long(best) - long(rate)))
            best = candidate;
    return best;
}

struct LameCloser {
    void operator()(lame_global_flags *flags) const { lame_close(flags); }
};
} // namespace

Mp3Data EncodeMp3(const std::vector<int16_t> &pcm, uint32_t rate)
{
    std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
    if (!lame)
        throw std::runtime_error("lame_init failed");
    lame_global_flags *flags = lame.get();
    // The same rate in and out: the samples pass unresampled; the module sets the pitch.
    uint32_t mpegRate = NearestMpegRate(rate);
    lame_set_in_samplerate(flags, int(mpegRate));
    lame_set_out_samplerate(flags, int(mpegRate));
    lame_set_num_channels(flags, 1);
    lame_set_mode(flags, MONO);
    lame_set_VBR(flags, vbr_off);
    lame_set_brate(flags, kKbps);
    lame_set_quality(flags, kQuality);
    lame_set_bWriteVbrTag(flags, 0);
    lame_set_write_id3tag_automatic(flags, 0);
    if (lame_init_params(flags) < 0)
        throw std::runtime_error("LAME refused its parameters");

    // LAME's own bound for the output of one call: 1.25 times the samples plus 7200.
    std::vector<unsigned char> out(pcm.size() * 5 / 4 + 7200);
    std::vector<short> samples(pcm.begin(), pcm.end());
    int written =
        lame_encode_buffer(flags, samples.data(), samples.data(), int(samples.size()), out.data(), int(out.size()));
    if (written < 0)
        throw std::runtime_error("LAME failed to encode");
    int flushed = lame_encode_flush(flags, out.data() + written, int(out.size()) - written);
    if (flushed < 0)
        throw std::runtime_error("LAME failed to flush");
    Mp3Data mp3;
    mp3.bytes.assign(out.begin(), out.begin() + written + flushed);
    mp3.delay = uint32_t(lame_get_encoder_delay(flags)) + kDecoderDelay;
    return mp3;
}

} // namespace modwriter
