// The IT reader: channels from the pan table, instrument or sample names through
// the offset table, and the song message split at CR.
#include "tests/modinfo/scan_test.h"

using modwriter::Bytes;
using modwriter::ItFile;
using modwriter::ItInstrument;

namespace {

ItFile WithMessage(const std::string &message)
{
    ItFile it;
    it.message = message;
    return it;
}

} // namespace

TEST_F(ScanTest, ItCountsChannelsWithBit7Clear)
{
    ItFile it;
    for (int c = 0; c < 64; c++)
        it.panTable[c] = c < 32 ? 32 : 160;
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ(32, moduleInfo.channels);

    it.panTable.fill(128);
    it.panTable[0] = 100; // surround
    it.panTable[1] = 127;
    it.panTable[2] = 0;
    it.panTable[3] = 255;
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ(3, moduleInfo.channels);

    it.panTable.fill(64);
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ(64, moduleInfo.channels);

    EXPECT_EQ(0, Scan("tiny.it", Bytes(40, 0)));
    EXPECT_EQ(0, moduleInfo.channels) << "a file that ends before the pan table has no channels";
    EXPECT_EQ("", SampleText());
    EXPECT_EQ("", Message());
}

TEST_F(ScanTest, ItInstrumentNamesWinOverSampleNames)
{
    ItFile it;
    for (int i = 0; i < 5; i++)
        it.instruments.push_back(ItInstrument{"instrument " + std::to_string(i)});
    it.samples.clear();
    for (int s = 0; s < 20; s++)
        it.samples.push_back(modwriter::Sample{"sample " + std::to_string(s), {}});
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ(Lines({"instrument 0", "instrument 1", "instrument 2", "instrument 3", "instrument 4"}), SampleText());

    // Without instruments the sample offsets stand right after the orders.
    it.instruments.clear();
    it.samples = modwriter::NamedSamples({"kick", "", "hat"});
    it.song.orders = {0, 1, 255};
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ(Lines({"kick", "hat"}), SampleText());

    it.samples.clear();
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ("", SampleText()) << "no instruments and no samples: empty, not the default";

    it.samples = modwriter::NamedSamples({"kick"});
    it.sampleCount = 0x8000;
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ("", SampleText()) << "a negative count reads no name";
}

TEST_F(ScanTest, ItNameWindows)
{
    // A full 26-byte instrument name runs on into the two bytes after it.
    ItFile it;
    it.instruments = {ItInstrument{std::string(26, 'I'), 'X', 'Y'}, ItInstrument{"short", 'X', 'Y'}};
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ(Lines({std::string(26, 'I') + "XY", "short"}), SampleText());

    // A full 26-byte sample name stops at 26, though bytes follow it.
    it.instruments.clear();
    it.samples = {modwriter::Sample{std::string(26, 'S'), {}}};
    Bytes file = modwriter::BuildIt(it);
    EXPECT_EQ(0, Scan("song.it", file));
    EXPECT_EQ(Lines({std::string(26, 'S')}), SampleText());

    // Records where the offset table puts them; one past the end shows what the
    // name buffer held.
    it.samples = modwriter::NamedSamples({"first", "second"});
    it.sampleOffsets = {1000, 2000};
    file = modwriter::BuildIt(it);
    EXPECT_EQ(0, Scan("placed.it", file));
    EXPECT_EQ(Lines({"first", "second"}), SampleText());
    EXPECT_EQ(0, Scan("cut.it", modwriter::Truncated(file, 1100)));
    EXPECT_EQ(Lines({"first", "first\r\n"}), SampleText());
}

TEST_F(ScanTest, ItMessageLinesEndAtCr)
{
    struct {
        std::string stored;
        std::string shown;
    } cases[] = {
        {std::string("Hello\rWorld\0", 12), "Hello\r\nWorld\r\n"},
        {"one line", "one line\r\n"},
        {"a\r\rb\r", "a\r\n\r\nb\r\n"},                      // an empty line; nothing after the last CR
        {"ab\r\ncd\r\n", "ab\r\n\ncd\r\n\n\r\n"},            // LF starts the next line
        {std::string("ab\0hidden\rcd", 12), "ab\r\ncd\r\n"}, // a zero byte ends a line's text
        {std::string("\0\0\0", 3), ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(WithMessage(c.stored))));
        EXPECT_EQ(c.shown, Message()) << "stored as " << ::testing::PrintToString(c.stored);
    }
}

TEST_F(ScanTest, ItMessageFlagAndLength)
{
    ItFile it = WithMessage("text");
    it.messageFlag = false;
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ("", Message()) << "flag clear: empty, not the default";

    it.messageFlag = true;
    it.messageLength = 0;
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ("", Message());

    it.messageLength = 2;
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ("te\r\n", Message()) << "the length bounds the text";

    it.messageLength = 0x8000;
    EXPECT_EQ(0, Scan("song.it", modwriter::BuildIt(it)));
    EXPECT_EQ("", Message()) << "a negative length: the message is left out";

    // Longer than 8000 bytes: the first 8000 show.
    std::string longLine(9000, 'm');
    longLine[3999] = '\r';
    EXPECT_EQ(0, Scan("long.it", modwriter::BuildIt(WithMessage(longLine))));
    EXPECT_EQ(std::string(3999, 'm') + "\r\n" + std::string(4000, 'm') + "\r\n", Message());

    // 8000 CRs: 8000 empty lines, 16000 characters.
    EXPECT_EQ(0, Scan("empty-lines.it", modwriter::BuildIt(WithMessage(std::string(8000, '\r')))));
    std::string expected;
    for (int i = 0; i < 8000; i++)
        expected += "\r\n";
    EXPECT_EQ(expected, Message());

    // A message cut by the end of the file shows what arrived.
    Bytes file = modwriter::BuildIt(WithMessage("first\rsecond"));
    size_t messageAt = modwriter::Le16At(file, 56);
    EXPECT_EQ(0, Scan("cut.it", modwriter::Truncated(file, messageAt + 9)));
    EXPECT_EQ("first\r\nsec\r\n", Message());
}
