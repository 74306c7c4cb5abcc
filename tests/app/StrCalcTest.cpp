// The fixed-width field formatter behind numbered names, including its two-byte rules.

#include "app/StrCalc.h"

#include <gtest/gtest.h>

using namespace kapto;

namespace {

struct TFieldCase
{
    const char* name;
    std::string text;
    uint8_t width;
    char fill;
    std::string expected;
};

// One two-byte character in the multi-byte code page ("あ").
const std::string kDoubleByte = "\x82\xA0";

} // namespace

TEST(StrCalcTest, FormatFieldFollowsItsRules)
{
    const TFieldCase cases[] = {
        {"pads a short number", "7", 2, '0', "07"},
        {"keeps a fitting number", "99", 2, '0', "99"},
        {"keeps the last digits of 100", "100", 2, '0', "00"},
        {"keeps the last digits of 123", "123", 2, '0', "23"},
        {"keeps the sign before zeros", "-5", 3, '0', "-05"},
        {"keeps the sign in width 4", "-5", 4, '0', "-005"},
        {"pads with spaces", "5", 3, ' ', "  5"},
        {"sign is plain text with spaces", "-5", 4, ' ', "  -5"},
        {"keeps a whole two-byte character", "a" + kDoubleByte, 2, '0', kDoubleByte},
        {"never splits a two-byte character", kDoubleByte + "a", 2, '0', " a"},
        {"empty text is all fill", "", 2, '0', "00"},
        {"width 0 is empty", "12", 0, '0', ""},
    };
    for (const TFieldCase& c : cases) {
        EXPECT_EQ(FormatField(c.text, c.width, c.fill), c.expected) << c.name;
    }
}

TEST(StrCalcTest, LeadByteAtWalksCharactersFromTheStart)
{
    // $81 $81 is one character: the second $81 is a trail byte, not a lead byte.
    const std::string text = "\x81\x81\x81"
                             "a\xFF\xFD";
    const bool expected[] = {true, false, true, false, false, true};
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(LeadByteAt(text, n), expected[n - 1]) << n;
    }
    EXPECT_FALSE(LeadByteAt(text, 0));
    EXPECT_FALSE(LeadByteAt(text, 7));
    EXPECT_TRUE(LeadByteAt("\x80", 1));
    EXPECT_TRUE(LeadByteAt("\xFE", 1));
    EXPECT_FALSE(LeadByteAt("\xA0", 1)); // single-byte katakana range
}

TEST(StrCalcTest, RepeatCharAndRightPart)
{
    EXPECT_EQ(RepeatChar('0', 0), "");
    EXPECT_EQ(RepeatChar('x', 3), "xxx");
    EXPECT_EQ(RightPart("abcdef", 2), "ef");
    EXPECT_EQ(RightPart("ab", 5), "ab");
    EXPECT_EQ(RightPart("ab", 0), "");
}
