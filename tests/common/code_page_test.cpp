#include "common/code_page.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace koravel::common {
namespace {

TEST(CodePage, RussianTextRoundTrips) {
    const std::string utf8 = "Команда Ёё Т>1";
    const std::string cp = Utf8ToCp1251(utf8);
    EXPECT_EQ(cp, "\xCA\xEE\xEC\xE0\xED\xE4\xE0 \xA8\xB8 \xD2>1");
    EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
}

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"
                           "b"),
              "a?b");  // a CJK character
    EXPECT_EQ(Utf8ToCp1251("a\xFF"
                           "b"),
              "a?b");  // not UTF-8 at all
}

TEST(CodePage, TellsUtf8FromWindows1251) {
    EXPECT_TRUE(IsValidUtf8("plain ascii"));
    EXPECT_TRUE(IsValidUtf8("Венгрия-1"));
    EXPECT_FALSE(IsValidUtf8("\xC2\xE5\xED\xE3\xF0\xE8\xFF-1"));  // "Венгрия-1" in Windows-1251
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));                        // overlong zero
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));                    // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE0\xA0"));                        // cut short
}

TEST(CodePage, AnyTextSettlesOnWindows1251) {
    const std::string cp = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-1";
    EXPECT_EQ(AnyTextToCp1251("Венгрия-1"), cp);
    EXPECT_EQ(AnyTextToCp1251("\xEF\xBB\xBF"
                              "Венгрия-1"),
              cp);
    EXPECT_EQ(AnyTextToCp1251(cp), cp);
}

TEST(ErrorMessage, ReplacesOnlyTheFirstPlaceholder) {
    EXPECT_EQ(FormatMessage("'%s' is not a valid integer value", "a%sb"),
              "'a%sb' is not a valid integer value");
    EXPECT_EQ(FormatMessage("I/O error %d", "28"), "I/O error 28");
    EXPECT_EQ(FormatMessage("no placeholder", "x"), "no placeholder");
}

}  // namespace
}  // namespace koravel::common
