// One tune in each format's file: what the formats share, and the few fields where
// a tracker writes the same music differently.
#include "layout.h"

#include <string>

namespace modwriter {

namespace {
// Orders as S3M and IT trackers save them: closed by an end marker.
std::vector<uint8_t> WithEndMarker(std::vector<uint8_t> orders, bool evenCount)
{
    orders.push_back(kOrderEnd);
    if (evenCount && orders.size() % 2)
        orders.push_back(kOrderEnd);
    return orders;
}
} // namespace

ModFile AsMod(const Tune &tune)
{
    ModFile mod;
    mod.song = tune.song;
    mod.samples = tune.samples;
    mod.channels = tune.channels;
    // "M.K." says four channels; others name their count.
    if (tune.channels != 4)
        mod.tag = tune.channels < 10 ? std::to_string(tune.channels) + "CHN" : std::to_string(tune.channels) + "CH";
    return mod;
}

S3mFile AsS3m(const Tune &tune)
{
    static const uint8_t kLeftRightRightLeft[] = {0, 8, 9, 1}; // as a MOD's channels
    S3mFile s3m;
    s3m.song = tune.song;
    s3m.song.orders = WithEndMarker(tune.song.orders, true); // ScreamTracker keeps the count even
    s3m.instruments = tune.samples;
    for (int c = 0; c < 32; c++)
        s3m.channelSettings[size_t(c)] = c < tune.channels ? kLeftRightRightLeft[c % 4] : 255;
    return s3m;
}

XmFile AsXm(const Tune &tune)
{
    XmFile xm;
    xm.song = tune.song;
    xm.channels = static_cast<uint16_t>(tune.channels);
    xm.patterns.assign(tune.song.patterns.empty() ? 1 : tune.song.patterns.size(), XmPattern{});
    xm.instruments.clear();
    for (const Sample &sample : tune.samples)
        xm.instruments.push_back(XmInstrument{sample.name, {sample}, {}, {}, {}});
    return xm;
}

ItFile AsIt(const Tune &tune)
{
    ItFile it;
    it.song = tune.song;
    it.song.orders = WithEndMarker(tune.song.orders, false);
    it.samples = tune.samples;
    it.panTable = ItPanTable(tune.channels);
    if (!tune.message.empty())
        it.message = tune.message + '\0'; // as IT stores it: CR between lines, a zero at the end
    return it;
}

Bytes WriteMod(const Tune &tune)
{
    return BuildMod(AsMod(tune));
}

Bytes WriteS3m(const Tune &tune)
{
    return BuildS3m(AsS3m(tune));
}

Bytes WriteXm(const Tune &tune)
{
    return BuildXm(AsXm(tune));
}

Bytes WriteIt(const Tune &tune)
{
    return BuildIt(AsIt(tune));
}

} // namespace modwriter
