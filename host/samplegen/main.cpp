// tessel-samplegen DIR: writes the demo modules demo.xm, demo.it, demo-mp3.mo3 and
// demo-vorbis.mo3 into DIR.
#include "songs.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

bool WriteFile(const std::string &path, const modwriter::Bytes &bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "%s: write failed\n", path.c_str());
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessel-samplegen DIR\nWrites the demo modules DIR/demo.xm, DIR/demo.it, "
                             "DIR/demo-mp3.mo3 and DIR/demo-vorbis.mo3.\n");
        return 2;
    }
    try {
        modwriter::Tune demo = samplegen::DemoSong();
        std::string dir = argv[1];
        modwriter::XmFile xm = modwriter::AsXm(demo);
        xm.tracker = "Tessel samplegen";
        bool ok = WriteFile(dir + "/demo.xm", modwriter::BuildXm(xm));
        demo.song.title = "Tessel Demo Tune (IT)";
        ok = WriteFile(dir + "/demo.it", modwriter::WriteIt(demo)) && ok;
        modwriter::Tune mo3 = samplegen::Mo3DemoSong();
        ok = WriteFile(dir + "/demo-mp3.mo3", modwriter::WriteMo3(mo3, modwriter::Mo3Codec::Mp3)) && ok;
        ok = WriteFile(dir + "/demo-vorbis.mo3", modwriter::WriteMo3(mo3, modwriter::Mo3Codec::Vorbis)) && ok;
        return ok ? 0 : 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "tessel-samplegen: %s\n", error.what());
        return 1;
    }
}
