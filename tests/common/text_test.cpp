#include "common/code_page.h"

#include <gtest/gtest.h>

#include "common/console.h"
#include "common/error.h"

namespace koravel::common {
namespace {

TEST(CodePage, DecodesTheUpperHalfAsWindowsDoesAndEveryByteComesBack) {
    // 0x80..0xBF written out by hand; 0x98, which Windows leaves undefined, as U+0098.
    const std::string upper =
        "ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏђ‘’“”•–—\u0098™љ›њќћџ\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї°±Ііґµ¶·ё№є»јЅѕї";
    std::string bytes;
    for (int b = 0x80; b < 0xC0; ++b) bytes.push_back(static_cast<char>(b));
    EXPECT_EQ(Cp1251ToUtf8(bytes), upper);
    EXPECT_EQ(Utf8ToCp1251("Команда Ёё Т>1"), "\xCA\xEE\xEC\xE0\xED\xE4\xE0 \xA8\xB8 \xD2>1");
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
    // A CJK character and a byte that is not UTF-8 have no Windows-1251 form.
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD|\xFF"), "a?|?");
}

TEST(CodePage, TakesValidUtf8AsUtf8AndAnythingElseAsWindows1251) {
    const std::string cp = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-1";  // Венгрия-1
    for (const char* text : {"\xC0\x80", "\xED\xA0\x80", "\xE0\xA0", "\xF8\x88\x80\x80\x80"})
        EXPECT_FALSE(IsValidUtf8(text)) << text;  // overlong, surrogate, cut, five bytes
    EXPECT_FALSE(IsValidUtf8(cp));
    EXPECT_EQ(AnyTextToCp1251("Венгрия-1"), cp);
    EXPECT_EQ(AnyTextToCp1251("\xEF\xBB\xBFВенгрия-1"), cp);
    EXPECT_EQ(AnyTextToCp1251(cp), cp);
}

TEST(ErrorMessage, ReplacesOnlyTheFirstPlaceholder) {
    EXPECT_EQ(FormatMessage("'%s' is not a valid integer value", "a%sb"),
              "'a%sb' is not a valid integer value");
}

TEST(Terminal, ControlAndBidiCharactersBecomeVisibleEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"Заря\tok", "Заря\tok"},
        {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
        {"a\r\nb\x7f", "a\\x0d\\x0ab\\x7f"},
        {std::string("\xC2\x9B") + "2J", "\\x9b2J"},  // C1 CSI
        {"\u202Aa\u202Eevil\u2066x\u2069", "\\u202aa\\u202eevil\\u2066x\\u2069"},
        {"\u202D\u202F", "\\u202d\u202F"},  // U+202F is a plain space
        {"\xFF\xC3", "\\xff\\xc3"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(VisibleEscapes(text), shown) << shown;
}

}  // namespace
}  // namespace koravel::common
