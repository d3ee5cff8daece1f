#include "common/number_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <tuple>

#include "common/error.h"

namespace koravel::common {
namespace {

using ::testing::ThrowsMessage;

TEST(IntegerText, ReadsDecimalAndHexadecimalFormsWithinThirtyTwoBits) {
    // clang-format off
    const std::vector<std::pair<const char*, std::int32_t>> cases = {
        {"19", 19}, {"   19", 19}, {"-5", -5}, {"+7", 7}, {"007", 7}, {"0", 0}, {"-$10", -16},
        {"$1F", 31}, {"x1F", 31}, {"X1f", 31}, {"0x1F", 31}, {"0X1f", 31},
        {"2147483647", INT32_MAX}, {"$7FFFFFFF", INT32_MAX}, {"-2147483648", INT32_MIN}};
    // clang-format on
    for (const auto& [text, value] : cases) EXPECT_EQ(TryStrToInt(text), value) << text;
}

TEST(IntegerText, RejectsAnythingBesideTheNumber) {
    for (const char* text :
         {"", " ", "-", "+", "$", "0x", "19 ", "1 9", "abc", "1.5", "--1", "0x1G", "\t1",
          "2147483648", "-2147483649", "99999999999999999999", "$80000000"})
        EXPECT_EQ(TryStrToInt(text), std::nullopt) << '"' << text << '"';
    EXPECT_THAT([] { StrToInt("19 "); },
                ThrowsMessage<Error>("'19 ' is not a valid integer value"));
}

TEST(FloatText, ReadsTheGivenSeparatorBlanksSignAndExponent) {
    const std::vector<std::tuple<const char*, const char*, double>> cases = {
        {"1,5", ",", 1.5}, {"1.5", ".", 1.5},    {"15", "", 15.0},      {"  -2,25  ", ",", -2.25},
        {"+3", ",", 3.0},  {"1E3", ",", 1000.0}, {"2,5e-1", ",", 0.25}, {",5", ",", 0.5},
        {"5,", ",", 5.0},  {"1e-400", ".", 0.0}};
    for (const auto& [text, sep, value] : cases) EXPECT_EQ(TryStrToFloat(text, sep), value) << text;
    EXPECT_EQ(TryStrToFloat(" -" + std::string(80, '0') + "2,5e-1", ","), -0.25);  // a long text
}

TEST(FloatText, RejectsWhatIsNotAPlainNumber) {
    for (const char* text : {"", " ", ",", "-", "1E", "1e+", "inf", "nan", "0x1p3", "1 000",
                             "1e400", "1,5x", "x1", "1.5", "1,5,0"})
        EXPECT_EQ(TryStrToFloat(text, ","), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(TryStrToFloat("1.5", ""), std::nullopt);
    EXPECT_THAT([] { StrToFloat("1,5", "."); },
                ThrowsMessage<Error>("'1,5' is not a valid floating point value"));
}

TEST(GeneralFormat, WritesTheShortestFifteenDigitText) {
    // Scientific outside the fixed range; rounding may carry into a new digit.
    // clang-format off
    const std::vector<std::tuple<double, const char*, const char*>> cases = {
        {0.0, ",", "0"}, {2.5, ",", "2,5"}, {2.5, ".", "2.5"}, {2.5, "", "25"}, {0.75, ",", "0,75"},
        {3.0, ",", "3"}, {120.0, ",", "120"}, {-1.5, ",", "-1,5"}, {0.1 + 0.2, ".", "0.3"},
        {1.0 / 3.0, ".", "0.333333333333333"}, {0.00001, ".", "0.00001"},
        {123456789012345.0, ".", "123456789012345"}, {0.000001, ".", "1E-6"},
        {0.0000025, ",", "2,5E-6"}, {1e15, ".", "1E15"}, {2.5e20, ",", "2,5E20"},
        {999999999999999.9, ".", "1E15"}, {INFINITY, ".", "INF"}, {NAN, ".", "NAN"}};
    // clang-format on
    for (const auto& [value, sep, text] : cases) EXPECT_EQ(FloatToStrG15(value, sep), text) << text;
}

}  // namespace
}  // namespace koravel::common
