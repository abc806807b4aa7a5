// The plug-in's text rules for its dialogs, where a dialog cannot reach every case:
// rates of eight digits and more, channel counts no module header can hold.
#include "modinfo/info_dialog.h"
#include "settings/config_dialog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string RateText(DWORD rate)
{
    char text[RATE_TEXT_SIZE];
    BuildRateText(rate, text);
    return text;
}

std::string ChannelText(LONG channels)
{
    char text[CHANNEL_TEXT_SIZE];
    BuildChannelText(channels, text);
    return text;
}

TEST(RateText, SevenLowestDigitsWithoutLeadingZeros)
{
    EXPECT_EQ("32000", RateText(32000));
    EXPECT_EQ("", RateText(0));
    EXPECT_EQ("9999999", RateText(9999999));
    EXPECT_EQ("", RateText(10000000));
    EXPECT_EQ("2345678", RateText(12345678));
    EXPECT_EQ("4967295", RateText(0xFFFFFFFFu)) << "a negative rate edited by hand reads as unsigned";
}

TEST(RateText, ParseCountsEveryCharacterAsADigit)
{
    EXPECT_EQ(0u, ParseDecimal(""));
    EXPECT_EQ(401u, ParseDecimal("4x1"));
    EXPECT_EQ(1234567u, ParseDecimal("1234567"));
    EXPECT_EQ(10u, ParseDecimal("1\x80")) << "bytes from 0x80 up are no digits";
    EXPECT_EQ(1410065408u, ParseDecimal("10000000000")) << "wraps at 32 bits";
}

TEST(RateText, FilterKeepsDigitsAndCountsThoseBeforeTheCaret)
{
    char text[RATE_TEXT_SIZE] = "4x4y1";
    DWORD caret = 99;
    EXPECT_TRUE(FilterRateText(text, FALSE, 4, &caret));
    EXPECT_STREQ("441", text);
    EXPECT_EQ(2u, caret) << "two digits lay before position 4";
    char digits[RATE_TEXT_SIZE] = "1234567";
    EXPECT_FALSE(FilterRateText(digits, FALSE, 7, &caret));
    EXPECT_EQ(7u, caret);
    EXPECT_TRUE(FilterRateText(digits, TRUE, 8, &caret)) << "a longer box text was cut";
    EXPECT_EQ(7u, caret);
}

TEST(ChannelText, DecimalCappedAtSixDigitsEmptyWhenNegative)
{
    EXPECT_EQ("0", ChannelText(0));
    EXPECT_EQ("32", ChannelText(32));
    EXPECT_EQ("999999", ChannelText(999999));
    EXPECT_EQ("999999", ChannelText(1000000));
    EXPECT_EQ("999999", ChannelText(0x7FFFFFFF));
    EXPECT_EQ("", ChannelText(-1));
    EXPECT_EQ("", ChannelText(-1936));
}

} // namespace
