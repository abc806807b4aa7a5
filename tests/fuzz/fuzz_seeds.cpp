// Writes the fuzz targets' seed corpora from the fixture builders: for each format a
// playable module, one with many names and the damaged variants the tests use; for
// MO3 one sample in each codec, cut short and with broken Ogg pages and MP3 frames,
// and the lossless packings, shared Vorbis headers and a container before version 5.
#include "modwriter/mo3_writer.h"
#include "tests/fuzz/damaged.h"
#include "tests/fixtures/fixture_folder.h"

#include <windows.h>

#include <cstdio>
#include <string>

using namespace fixtures;
using namespace modwriter;

namespace {

std::string root;
int written;

void Seed(const std::string &format, const std::string &name, const Bytes &bytes)
{
    std::string folder = root + "/" + format;
    CreateDirectoryA(folder.c_str(), nullptr);
    if (WriteBytes(folder + "/" + name, bytes))
        written++;
}

void SeedCuts(const std::string &format, const Bytes &bytes, std::initializer_list<size_t> sizes)
{
    for (size_t size : sizes)
        Seed(format, "cut-" + std::to_string(size), Truncated(bytes, size));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    root = argv[1];
    CreateDirectoryA(root.c_str(), nullptr);

    ModFile mod;
    mod.samples = NamedSamples({"kick", "", "snare", std::string(22, 'x')});
    Seed("mod", "named", BuildMod(mod));
    mod.tag = "12CH";
    Seed("mod", "12ch", BuildMod(mod));
    mod.tag = "6CHN";
    Seed("mod", "6chn", BuildMod(mod));
    SeedCuts("mod", BuildMod(ModFile{}), {1083, 1084, 1200});

    S3mFile s3m;
    s3m.instruments = NamedSamples({"lead", "", "bass", std::string(28, 'y')});
    s3m.instrumentParagraphs = {7, 12, 17, 22};
    Seed("s3m", "named", BuildS3m(s3m));
    s3m.song.orders = {0, 255, 255};
    s3m.instrumentParagraphs = {};
    Seed("s3m", "odd-orders", BuildS3m(s3m));
    SeedCuts("s3m", BuildS3m(S3mFile{}), {20, 67, 96, 120});

    XmFile xm;
    xm.channels = 12;
    xm.patterns = {XmPattern{}, XmPattern{Bytes(300, 0x80), {}}};
    xm.instruments = {XmInstrument{"Bass", {SquareSample("b1", 40), SquareSample("b2", 20)}, {}, {}, {}},
                      XmInstrument{"", {}, {}, {}, {}}, XmInstrument{"Lead", {}, {}, {}, {}}};
    Bytes named = BuildXm(xm);
    Seed("xm", "named", named);
    SeedCuts("xm", named, {50, 74, 336, 400, named.size() - 25});
    XmFile loop;
    loop.patterns = {};
    loop.instruments = {XmInstrument{"", {}, 0, {}, 0x7FFF}};
    loop.instrumentCount = 0x7FFF;
    Bytes looping = BuildXm(loop);
    PutLe32(looping, 60 + 276 + 29, 0);
    Seed("xm", "loop", looping);

    ItFile it;
    it.message = std::string("Hello\rWorld\r\nline\0hidden", 24);
    it.samples = NamedSamples({"kick", "", "hat"});
    Seed("it", "samples", BuildIt(it));
    it.instruments = {ItInstrument{std::string(26, 'I'), 'X', 'Y'}, ItInstrument{"short", 0, 0}};
    it.panTable = ItPanTable(7);
    Bytes instruments = BuildIt(it);
    Seed("it", "instruments", instruments);
    SeedCuts("it", instruments, {40, 100, 192, 300});
    it.messageLength = 0x8000;
    Seed("it", "negative-length", BuildIt(it));

    // MO3: a falling square wave in each codec, cut short and damaged.
    Mo3File mo3;
    mo3.samples = {SquareSample("drum", 3000, 8), SquareSample("drum", 3000, 12), SquareSample("loop")};
    mo3.codecs = {Mo3Codec::Mp3, Mo3Codec::Vorbis, Mo3Codec::Plain};
    Bytes file = BuildMo3(mo3);
    Seed("mo3", "codecs", file);
    SeedCuts("mo3", file, {11, 40, 700, file.size() / 2, file.size() - 100});
    Seed("mo3", "ogg-pages", WithBrokenOggPages(file));
    Seed("mo3", "mp3-frames", WithBrokenMp3Frames(file));
    // The lossless packings and shared Vorbis headers, then a container before version 5.
    mo3.samples.push_back(SquareSample("drum", 3000, 10));
    mo3.codecs = {Mo3Codec::Delta8, Mo3Codec::Prediction16, Mo3Codec::SharedVorbis, Mo3Codec::Vorbis};
    Bytes packed = BuildMo3(mo3);
    Seed("mo3", "lossless-shared", packed);
    for (size_t size : {packed.size() / 2, packed.size() - 100})
        Seed("mo3", "lossless-shared-cut-" + std::to_string(size), Truncated(packed, size));
    mo3.codecs = {Mo3Codec::Delta16, Mo3Codec::Prediction8, Mo3Codec::Vorbis, Mo3Codec::Plain};
    mo3.version = 4;
    Seed("mo3", "version-4", BuildMo3(mo3));

    printf("%d seed files under %s\n", written, root.c_str());
    return written > 0 ? 0 : 1;
}
