// A sample as Ogg Vorbis, with libvorbisenc: one logical stream with the serial number
// given, the three headers on pages of their own, quality-based bit rate. The last
// page's granule position gives the exact length, so nothing needs trimming.
#include "mo3_writer.h"

#include <vorbis/vorbisenc.h>

#include <stdexcept>

namespace modwriter {

namespace {
const float kQuality = 0.3f; // libvorbis's -0.1 .. 1
const int kBlock = 1024;     // samples handed to the encoder at a time

void AppendPage(Bytes &bytes, const ogg_page &page)
{
    bytes.insert(bytes.end(), page.header, page.header + page.header_len);
    bytes.insert(bytes.end(), page.body, page.body + page.body_len);
}

// The encoder's state, set up and cleared in the order libvorbis asks for.
struct Encoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;

    Encoder(uint32_t rate, uint32_t serial)
    {
        vorbis_info_init(&info);
        if (vorbis_encode_init_vbr(&info, 1, long(rate), kQuality) != 0) {
            vorbis_info_clear(&info);
            throw std::runtime_error("libvorbisenc refused the rate");
        }
        vorbis_comment_init(&comment);
        vorbis_analysis_init(&dsp, &info);
        vorbis_block_init(&dsp, &block);
        ogg_stream_init(&stream, int(serial));
    }
    ~Encoder()
    {
        ogg_stream_clear(&stream);
        vorbis_block_clear(&block);
        vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;

    // Encodes what the encoder holds, appending every page it completes.
    void Drain(Bytes &bytes)
    {
        ogg_packet packet;
        ogg_page page;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page))
                    AppendPage(bytes, page);
            }
        }
    }
};
} // namespace

Bytes EncodeVorbis(const std::vector<int16_t> &pcm, uint32_t rate, uint32_t serial, size_t *headerSize)
{
    Encoder encoder(rate, serial);
    Bytes bytes;
    ogg_packet identification, comments, codebooks;
    vorbis_analysis_headerout(&encoder.dsp, &encoder.comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&encoder.stream, &identification);
    ogg_stream_packetin(&encoder.stream, &comments);
    ogg_stream_packetin(&encoder.stream, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&encoder.stream, &page))
        AppendPage(bytes, page);
    if (headerSize)
        *headerSize = bytes.size();

    for (size_t at = 0; at < pcm.size(); at += kBlock) {
        int count = int(std::min<size_t>(kBlock, pcm.size() - at));
        float **buffer = vorbis_analysis_buffer(&encoder.dsp, count);
        for (int i = 0; i < count; i++)
            buffer[0][i] = float(pcm[at + size_t(i)]) / 32768.0f;
        vorbis_analysis_wrote(&encoder.dsp, count);
        encoder.Drain(bytes);
    }
    vorbis_analysis_wrote(&encoder.dsp, 0); // the end of the stream
    encoder.Drain(bytes);
    while (ogg_stream_flush(&encoder.stream, &page))
        AppendPage(bytes, page);
    return bytes;
}

} // namespace modwriter
