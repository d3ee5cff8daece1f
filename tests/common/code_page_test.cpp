#include "common/code_page.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace koravel::common {
namespace {

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
    EXPECT_EQ(Utf8ToCp1251("Команда Ёё Т>1"), "\xCA\xEE\xEC\xE0\xED\xE4\xE0 \xA8\xB8 \xD2>1");
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
    // A CJK character and a byte that is not UTF-8 have no Windows-1251 form.
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD|\xFF"), "a?|?");
}

TEST(CodePage, TakesValidUtf8AsUtf8AndAnythingElseAsWindows1251) {
    const std::string cp = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-1";           // Венгрия-1
    for (const char* text : {"\xC0\x80", "\xED\xA0\x80", "\xE0\xA0"})  // overlong, surrogate, cut
        EXPECT_FALSE(IsValidUtf8(text)) << text;
    EXPECT_FALSE(IsValidUtf8(cp));
    EXPECT_EQ(AnyTextToCp1251("Венгрия-1"), cp);
    EXPECT_EQ(AnyTextToCp1251("\xEF\xBB\xBFВенгрия-1"), cp);
    EXPECT_EQ(AnyTextToCp1251(cp), cp);
}

TEST(ErrorMessage, ReplacesOnlyTheFirstPlaceholder) {
    EXPECT_EQ(FormatMessage("'%s' is not a valid integer value", "a%sb"),
              "'a%sb' is not a valid integer value");
}

}  // namespace
}  // namespace koravel::common
