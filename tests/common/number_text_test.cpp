#include "common/number_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <tuple>

#include "common/error.h"
#include "tools/testing/files.h"

namespace koravel::common {
namespace {

using ::testing::ThrowsMessage;

// Runs `check` under the C library's "C" and Russian locales (the latter writes and
// expects ","), then restores the locale: no text here may depend on it.
template <class Check>
void UnderEachLocale(Check check) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", testing::kRussianLocale}) {
        SCOPED_TRACE(locale);
        EXPECT_NE(std::setlocale(LC_ALL, locale), nullptr);
        check();
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(IntegerText, ReadsDecimalAndHexadecimalFormsWithinThirtyTwoBits) {
    const std::optional<std::int32_t> no;
    // clang-format off
    const std::vector<std::pair<const char*, std::optional<std::int32_t>>> cases = {
        {"19", 19}, {"   19", 19}, {"-5", -5}, {"+7", 7}, {"007", 7}, {"0", 0}, {"-$10", -16},
        {"$1F", 31}, {"x1F", 31}, {"X1f", 31}, {"0x1F", 31}, {"0X1f", 31},
        {"2147483647", INT32_MAX}, {"$7FFFFFFF", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"", no}, {" ", no}, {"-", no}, {"$", no}, {"0x", no}, {"19 ", no}, {"1 9", no},
        {"1.5", no}, {"--1", no}, {"0x1G", no}, {"\t1", no}, {"2147483648", no},
        {"-2147483649", no}, {"99999999999999999999", no}, {"$80000000", no}};
    // clang-format on
    UnderEachLocale([&] {
        for (const auto& [text, value] : cases) EXPECT_EQ(TryParseInteger(text), value) << text;
    });
}

TEST(FloatText, ReadsTheGivenSeparatorBlanksSignAndExponentOnly) {
    const std::optional<double> no;
    // clang-format off
    const std::vector<std::tuple<std::string, const char*, std::optional<double>>> cases = {
        {"1,5", ",", 1.5}, {"1.5", ".", 1.5}, {"15", "", 15.0}, {"  -2,25  ", ",", -2.25},
        {"+3", ",", 3.0}, {"1E3", ",", 1000.0}, {"2,5e-1", ",", 0.25}, {",5", ",", 0.5},
        {"5,", ",", 5.0}, {"1e-400", ".", 0.0}, {" -" + std::string(80, '0') + "2,5e-1", ",", -0.25},
        {"1,5", ".", no}, {"1.5", ",", no}, {"1.5", "", no}, {"", ",", no}, {",", ",", no},
        {"-", ",", no}, {"1E", ",", no}, {"1e+", ",", no}, {"inf", ",", no}, {"nan", ",", no},
        {"\t1", ",", no}, {"0x1p3", ",", no}, {"1 000", ",", no}, {"1e400", ",", no},
        {"1,5,0", ",", no}};
    // clang-format on
    UnderEachLocale([&] {
        for (const auto& [text, sep, value] : cases)
            EXPECT_EQ(TryParseFloat(text, sep), value) << text << " with " << sep;
    });
}

TEST(FloatText, KeepsEveryDigitWhenWrittenAsAPlainNumber) {
    // clang-format off
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"1.7976931348623157e308", ".", "1.7976931348623157e308"}, {" +007,50E+03 ", ",", "7.50E+03"},
        {",5", ",", "0.5"}, {"5,", ",", "5"}, {"000", ",", "0"}, {"-0,25", ",", "-0.25"},
        {"1::5", "::", "1.5"}, {"15", "", "15"}};
    // clang-format on
    for (const auto& [text, sep, number] : cases) EXPECT_EQ(PlainNumber(text, sep), number);
}

TEST(ConversionError, QuotesAtMost256CharactersOfTheTextInUtf8) {
    const std::string x255(255, 'x');
    EXPECT_THAT([&] { ParseInteger(x255 + "\xC0"); },
                ThrowsMessage<Error>("'" + x255 + "А' is not a valid integer value"));
    EXPECT_THAT([&] { ParseInteger(x255 + "yz"); },
                ThrowsMessage<Error>("'" + x255 + "y…' is not a valid integer value"));
    // A 20 MB cell of a hostile page.
    EXPECT_EQ(FloatError(std::string(20 << 20, '7') + ",5"),
              "'" + std::string(256, '7') + "…' is not a valid floating point value");
}

TEST(GeneralFormat, WritesTheShortestFifteenDigitTextWithTheGivenSeparator) {
    // Expected under ","; the same with "." in place of every ",". Scientific outside
    // the fixed range; rounding may carry into a new digit.
    // clang-format off
    const std::vector<std::pair<double, const char*>> cases = {
        {1.5, "1,5"}, {0.5, "0,5"}, {2.25, "2,25"}, {10.0, "10"}, {0.00001, "0,00001"},
        {1e-6, "1E-6"}, {0.0, "0"}, {0.75, "0,75"}, {120.0, "120"}, {-1.5, "-1,5"},
        {0.1 + 0.2, "0,3"}, {1.0 / 3.0, "0,333333333333333"}, {0.0000025, "2,5E-6"},
        {123456789012345.0, "123456789012345"}, {1e15, "1E15"}, {2.5e20, "2,5E20"},
        {999999999999999.9, "1E15"}, {1.7976931348623157e308, "1,79769313486232E308"},
        {5e-324, "4,94065645841247E-324"}, {INFINITY, "INF"}, {-INFINITY, "-INF"}, {NAN, "NAN"}};
    // clang-format on
    UnderEachLocale([&] {
        for (const auto& [value, comma] : cases) {
            std::string point = comma;
            for (char& c : point) c = c == ',' ? '.' : c;
            EXPECT_EQ(FormatFloat15(value, ","), comma);
            EXPECT_EQ(FormatFloat15(value, "."), point);
        }
        EXPECT_EQ(FormatFloat15(2.5, ""), "25");
    });
}

}  // namespace
}  // namespace koravel::common
