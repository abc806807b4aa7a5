// The MOD reader: channels from the format tag, the 31 sample names.
#include "tests/modinfo/scan_test.h"

using modwriter::Bytes;
using modwriter::ModFile;

namespace {

Bytes ModWithTag(const std::string &tag)
{
    ModFile mod;
    mod.tag = tag;
    return modwriter::BuildMod(mod);
}

} // namespace

TEST_F(ScanTest, ModTagGivesTheChannelCount)
{
    struct {
        std::string tag;
        LONG channels;
    } cases[] = {
        {"M.K.", 4},
        {"M!K!", 4},
        {"OCTA", 8},
        {"FLT4", 4},
        {"FLT8", 8},
        {"CD81", 8},
        {"m.k.", 4}, // comparisons are case-sensitive: falls to the last rule
        {"octa", 4},
        {"XXXX", 4},
        {"FLT6", 4},
        {"6CHN", 6},
        {"0CHN", 0},
        {"9CHN", 9},
        {"10CH", 10},
        {"32CH", 32},
        {"16CH", 16},
        // Digits are not checked: the arithmetic runs on signed bytes.
        {"ABCH", 188},                  // 10 × 17 + 18
        {std::string("\0CHN", 4), -48}, // 0 − 48
        {std::string("\x80\x80"
                     "CH",
                     4),
         -1936},     // 10 × (−128 − 48) + (−128 − 48)
        {"7CHX", 4}, // neither rule: bytes 2 to 4 are not CHN and 3 to 4 not CH
    };
    for (const auto &c : cases) {
        ASSERT_EQ(0, Scan("song.mod", ModWithTag(c.tag))) << "tag " << c.tag;
        EXPECT_EQ(c.channels, moduleInfo.channels) << "tag " << c.tag;
        EXPECT_EQ("no message available", Message()) << "the MOD reader leaves the message alone";
    }
}

TEST_F(ScanTest, ModListsNonEmptySampleNamesOnly)
{
    ModFile mod;
    mod.samples = modwriter::NamedSamples({"kick", "", "snare"});
    EXPECT_EQ(0, Scan("song.mod", modwriter::BuildMod(mod)));
    EXPECT_EQ(Lines({"kick", "snare"}), SampleText());

    // Names fill all 22 bytes or end at their first zero byte; the last record counts.
    std::vector<std::string> names(31);
    names[0] = std::string(22, 'W');
    names[1] = std::string("ab\0cd", 5);
    names[30] = "last";
    mod.samples = modwriter::NamedSamples(names);
    EXPECT_EQ(0, Scan("song.mod", modwriter::BuildMod(mod)));
    EXPECT_EQ(Lines({std::string(22, 'W'), "ab", "last"}), SampleText());

    // All empty: an empty text, not the default and not blank lines.
    mod.samples = modwriter::NamedSamples(std::vector<std::string>(31));
    EXPECT_EQ(0, Scan("song.mod", modwriter::BuildMod(mod)));
    EXPECT_EQ("", SampleText());
    EXPECT_EQ(4, moduleInfo.channels);
}

TEST_F(ScanTest, ModNeedsAllFourTagBytes)
{
    ModFile mod;
    mod.tag = "OCTA";
    mod.samples = modwriter::NamedSamples({"kick"});
    Bytes file = modwriter::BuildMod(mod);
    EXPECT_EQ(0, Scan("whole.mod", modwriter::Truncated(file, 1084)));
    EXPECT_EQ(8, moduleInfo.channels);
    EXPECT_EQ(Lines({"kick"}), SampleText());

    EXPECT_EQ(1, Scan("cut.mod", modwriter::Truncated(file, 1083)));
    EXPECT_TRUE(AtDefaults());
    EXPECT_EQ(1, Scan("empty.mod", Bytes()));
    EXPECT_TRUE(AtDefaults());
}
