// The XM reader: channels from the header, names found by walking patterns and
// sample data.
#include "tests/modinfo/scan_test.h"

using modwriter::Bytes;
using modwriter::XmFile;
using modwriter::XmInstrument;

namespace {

XmInstrument Named(const std::string &name, std::vector<modwriter::Sample> samples = {})
{
    XmInstrument instrument;
    instrument.name = name;
    instrument.samples = std::move(samples);
    return instrument;
}

std::string Fill(int instrument)
{
    return std::string(22, static_cast<char>(('a' + instrument) & 0xFF));
}

} // namespace

TEST_F(ScanTest, XmListsInstrumentNamesPastPatternsAndSampleData)
{
    XmFile xm;
    xm.channels = 12;
    xm.patterns = {modwriter::XmPattern{}, modwriter::XmPattern{}};
    xm.instruments = {Named("Bass", {modwriter::SquareSample("b1", 64), modwriter::SquareSample("b2", 100)}), Named(""),
                      Named("Lead", {modwriter::SquareSample("l1", 30)})};
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ(12, moduleInfo.channels);
    EXPECT_EQ(Lines({"Bass", "Lead"}), SampleText()) << "the empty name adds no line";
    EXPECT_EQ("no message available", Message());

    // A name of all 22 bytes shows whole; sample headers longer than usual are skipped
    // by their stated size.
    xm.instruments = {Named(std::string(22, 'Z'), {modwriter::SquareSample("s", 10)}), Named("next")};
    xm.instruments[0].sampleHeaderSize = 64;
    xm.instruments[0].size = 300;
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ(Lines({std::string(22, 'Z'), "next"}), SampleText());
}

TEST_F(ScanTest, XmSkipsALargePattern)
{
    XmFile xm;
    modwriter::XmPattern large;
    large.packed = Bytes(40000, 0x80);
    xm.patterns = {large, modwriter::XmPattern{}};
    xm.instruments = {Named("after", {modwriter::SquareSample("s")}), Named("the patterns")};
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ(Lines({"after", "the patterns"}), SampleText());

    // A longer pattern header is skipped by its stated length.
    xm.patterns[0].packed = Bytes(16, 0x80);
    Bytes file = modwriter::BuildXm(xm);
    const size_t firstPattern = 60 + 276;
    modwriter::PutLe32(file, firstPattern, 9 + 4); // four bytes of the data count as header
    modwriter::PutLe16(file, firstPattern + 7, 16 - 4);
    EXPECT_EQ(0, Scan("song.xm", file));
    EXPECT_EQ(Lines({"after", "the patterns"}), SampleText());
}

TEST_F(ScanTest, XmCountsOfZeroOrLess)
{
    XmFile xm;
    xm.channels = 0xFFFE; // signed: -2
    xm.instruments = {};
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ(-2, moduleInfo.channels);
    EXPECT_EQ("", SampleText()) << "no instruments: empty, not the default";
    EXPECT_EQ("no message available", Message());

    // 0x8000 patterns walk none: the instruments follow the header directly.
    xm.channels = 6;
    xm.patterns = {};
    xm.patternCount = 0x8000;
    xm.instruments = {Named("first"), Named("second")};
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ(Lines({"first", "second"}), SampleText());

    // A sample count of 0x8000 or more walks no sample: the next header follows.
    xm.instruments = {Named("negative"), Named("next")};
    xm.instruments[0].sampleCount = 0xFFFF;
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ(Lines({"negative", "next"}), SampleText());

    xm.instrumentCount = 0x8000;
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ("", SampleText());
}

TEST_F(ScanTest, XmInstrumentWithoutSamplesEndsAtItsHeader)
{
    // 29-byte headers: the 4 bytes read after the sample count belong to the next
    // instrument, and the walk moves back to where that one starts.
    XmFile xm;
    xm.instruments = {Named("empty one"), Named("empty two"), Named("full", {modwriter::SquareSample("s")}),
                      Named("last")};
    EXPECT_EQ(0, Scan("song.xm", modwriter::BuildXm(xm)));
    EXPECT_EQ(Lines({"empty one", "empty two", "full", "last"}), SampleText());
}

TEST_F(ScanTest, XmNamesCutShortShowTheirFillCharacter)
{
    XmFile xm;
    xm.instruments = {Named("One", {modwriter::SquareSample("s")}), Named("Two"), Named("Pinecone")};
    Bytes file = modwriter::BuildXm(xm);
    size_t third = file.size() - 29; // the last instrument has no samples
    ASSERT_EQ('P', file[third + 4]);
    EXPECT_EQ(0, Scan("cut.xm", modwriter::Truncated(file, third + 4 + 2)));
    EXPECT_EQ(Lines({"One", "Two", "Pi" + std::string(20, 'c')}), SampleText());

    // Nothing after the header: each announced instrument shows 22 fill characters.
    xm.patterns = {};
    Bytes header = modwriter::Truncated(modwriter::BuildXm(xm), 60 + 276);
    EXPECT_EQ(0, Scan("header.xm", header));
    EXPECT_EQ(Lines({Fill(0), Fill(1), Fill(2)}), SampleText());

    // The fill wraps with the instrument number: number 159 fills with code 0 (no
    // line), number 160 with code 1.
    modwriter::PutLe16(header, 72, 161);
    EXPECT_EQ(0, Scan("header.xm", header));
    std::string expected;
    for (int i = 0; i < 161; i++)
        expected += i == 159 ? "" : Lines({Fill(i)});
    EXPECT_EQ(expected, SampleText());

    // A file too short for the counts: zero channels and no instruments.
    EXPECT_EQ(0, Scan("tiny.xm", Bytes(50, 0)));
    EXPECT_EQ(0, moduleInfo.channels);
    EXPECT_EQ("", SampleText());
}

TEST_F(ScanTest, XmDamagedWalkStaysBoundedAndListsEveryInstrument)
{
    // One instrument header that leads back to itself (size 0) and announces 32767
    // samples whose headers also lead back (size 0), under a header announcing 32767
    // such instruments: a billion steps if the walk followed the counts.
    XmFile xm;
    xm.patterns = {};
    xm.instruments = {Named("")};
    xm.instruments[0].size = 0;
    xm.instruments[0].sampleCount = 0x7FFF;
    xm.instrumentCount = 0x7FFF;
    Bytes file = modwriter::BuildXm(xm);
    modwriter::PutLe32(file, 60 + 276 + 29, 0); // sample header size 0, after the header
    EXPECT_EQ(0, Scan("loop.xm", file));
    // The first instrument's empty name adds nothing; the walk gives up in its samples,
    // and the instruments after it show their fill until the text is full.
    std::string text = SampleText();
    EXPECT_EQ(Fill(1) + "\r\n", text.substr(0, 24));
    EXPECT_EQ(32760u, text.size()) << "1365 lines of 24 bytes";
    EXPECT_EQ("no message available", Message());

    // Intact files keep every name: after 32767 empty patterns, or 16400 one-sample instruments.
    XmFile many;
    many.patterns.assign(0x7FFF, modwriter::XmPattern{Bytes(), {}});
    many.instruments = {Named("first"), Named("second")};
    EXPECT_EQ(0, Scan("patterns.xm", modwriter::BuildXm(many)));
    EXPECT_EQ(Lines({"first", "second"}), SampleText());
    many.patterns = {modwriter::XmPattern{}};
    many.instruments.assign(16400, Named("", {modwriter::Sample{"s", {}, false, 64, 0, 0, 0}}));
    many.instruments.back().name = "last";
    EXPECT_EQ(0, Scan("instruments.xm", modwriter::BuildXm(many)));
    EXPECT_EQ(Lines({"last"}), SampleText());
}
