// The S3M reader: channels from the channel settings, names through the parapointers.
#include "tests/modinfo/scan_test.h"

using modwriter::Bytes;
using modwriter::S3mFile;

TEST_F(ScanTest, S3mCountsChannelsWithTheTopBitClear)
{
    S3mFile s3m;
    for (int c = 0; c < 32; c++)
        s3m.channelSettings[c] = c < 16 ? static_cast<uint8_t>(c) : 255;
    EXPECT_EQ(0, Scan("song.s3m", modwriter::BuildS3m(s3m)));
    EXPECT_EQ(16, moduleInfo.channels);

    for (int c = 0; c < 32; c++)
        s3m.channelSettings[c] = static_cast<uint8_t>(16 + 3 * c); // 16 to 109: all count
    s3m.channelSettings[31] = 127;
    EXPECT_EQ(0, Scan("song.s3m", modwriter::BuildS3m(s3m)));
    EXPECT_EQ(32, moduleInfo.channels);

    s3m.channelSettings.fill(128);
    s3m.channelSettings[5] = 127;
    EXPECT_EQ(0, Scan("song.s3m", modwriter::BuildS3m(s3m)));
    EXPECT_EQ(1, moduleInfo.channels);

    s3m.channelSettings.fill(255);
    EXPECT_EQ(0, Scan("song.s3m", modwriter::BuildS3m(s3m)));
    EXPECT_EQ(0, moduleInfo.channels);
}

TEST_F(ScanTest, S3mChannelTableCutShort)
{
    // The file ends after 3 of the 32 settings: the missing ones count as the last one
    // read. A file that does not reach the table at all has no channels.
    S3mFile s3m;
    s3m.instruments.clear();
    s3m.channelSettings.fill(255);
    s3m.channelSettings[0] = 255;
    s3m.channelSettings[1] = 255;
    s3m.channelSettings[2] = 0;
    EXPECT_EQ(0, Scan("cut.s3m", modwriter::Truncated(modwriter::BuildS3m(s3m), 64 + 3)));
    EXPECT_EQ(30, moduleInfo.channels);
    EXPECT_EQ("", SampleText());

    EXPECT_EQ(0, Scan("tiny.s3m", Bytes(20, 0)));
    EXPECT_EQ(0, moduleInfo.channels);
    EXPECT_EQ("", SampleText());
    EXPECT_EQ("no message available", Message());
}

TEST_F(ScanTest, S3mFindsNamesThroughTheParapointers)
{
    S3mFile s3m;
    s3m.instruments = modwriter::NamedSamples({"lead", "", "bass"});
    s3m.instrumentParagraphs = {7, 12, 17};
    Bytes file = modwriter::BuildS3m(s3m);
    ASSERT_EQ(7, file[96 + 1]) << "the table follows the single order";
    EXPECT_EQ(0, Scan("song.s3m", file));
    EXPECT_EQ(Lines({"lead", "bass"}), SampleText());

    // An odd order count moves the table by an odd number of bytes.
    s3m.song.orders = {0, 255, 255};
    file = modwriter::BuildS3m(s3m);
    ASSERT_EQ(7, file[99]);
    EXPECT_EQ(0, Scan("song.s3m", file));
    EXPECT_EQ(Lines({"lead", "bass"}), SampleText());

    // The highest parapointer reaches 16 × 65535 + 48.
    s3m.instruments = modwriter::NamedSamples({std::string(28, 'N')});
    s3m.instrumentParagraphs = {65535};
    file = modwriter::BuildS3m(s3m);
    ASSERT_EQ('N', file[1048608]);
    EXPECT_EQ(0, Scan("far.s3m", file));
    EXPECT_EQ(Lines({std::string(28, 'N')}), SampleText()) << "a 28-character name fills its line";
}

TEST_F(ScanTest, S3mInstrumentCountOfZeroOrLessReadsNoName)
{
    S3mFile s3m;
    s3m.instruments = modwriter::NamedSamples({"lead", "bass"});
    for (uint16_t count : {0, 0x8000, 0xFFFF}) {
        s3m.instrumentCount = count;
        EXPECT_EQ(0, Scan("song.s3m", modwriter::BuildS3m(s3m))) << count;
        EXPECT_EQ("", SampleText()) << "instrument count " << count;
    }
}

TEST_F(ScanTest, S3mNameBeyondTheEndShowsWhatTheBufferHeld)
{
    // The second parapointer points past the end: nothing arrives, and the buffer still
    // holds the first name with the line end written after it.
    S3mFile s3m;
    s3m.instruments = modwriter::NamedSamples({"lead", "gone"});
    s3m.instrumentParagraphs = {7, 4000};
    Bytes file = modwriter::BuildS3m(s3m);
    EXPECT_EQ(0, Scan("song.s3m", modwriter::Truncated(file, 7 * 16 + 80)));
    EXPECT_EQ(Lines({"lead", "lead\r\n"}), SampleText());
}

TEST_F(ScanTest, S3mManyNamesStopAtWholeLinesWithinTheText)
{
    // 2000 names of 28 characters need 60000 bytes: the text takes whole lines only
    // (1092 of 30 bytes) and nothing past its 32768 bytes.
    S3mFile s3m;
    std::vector<std::string> names;
    for (int i = 0; i < 2000; i++)
        names.push_back(std::string(24, 'a' + i % 26) + std::to_string(1000 + i));
    s3m.instruments = modwriter::NamedSamples(names);
    EXPECT_EQ(0, Scan("many.s3m", modwriter::BuildS3m(s3m)));
    std::string text = SampleText();
    EXPECT_EQ(1092u * 30, text.size());
    EXPECT_EQ(names[1091] + "\r\n", text.substr(text.size() - 30));
    EXPECT_EQ("no message available", Message()) << "nothing ran over into the next field";
}
