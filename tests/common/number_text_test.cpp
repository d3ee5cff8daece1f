#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/error.h"

namespace koravel::common {
namespace {

TEST(IntegerText, ReadsDecimalWithBlanksAndSign) {
    EXPECT_EQ(TryStrToInt("19"), 19);
    EXPECT_EQ(TryStrToInt("   19"), 19);
    EXPECT_EQ(TryStrToInt("-5"), -5);
    EXPECT_EQ(TryStrToInt("+7"), 7);
    EXPECT_EQ(TryStrToInt("007"), 7);
}

TEST(IntegerText, ReadsEveryHexPrefixAlike) {
    for (const char* text : {"$1F", "x1F", "X1f", "0x1F", "0X1f", "31"})
        EXPECT_EQ(TryStrToInt(text), 31) << text;
    EXPECT_EQ(TryStrToInt("-$10"), -16);
    EXPECT_EQ(TryStrToInt("0"), 0);
}

TEST(IntegerText, RejectsAnythingBesideTheNumber) {
    for (const char* text :
         {"", " ", "-", "+", "$", "0x", "19 ", "1 9", "abc", "1.5", "--1", "0x1G", "\t1"})
        EXPECT_FALSE(TryStrToInt(text).has_value()) << '"' << text << '"';
}

TEST(IntegerText, KeepsToThirtyTwoBits) {
    EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
    EXPECT_EQ(TryStrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_FALSE(TryStrToInt("2147483648").has_value());
    EXPECT_FALSE(TryStrToInt("-2147483649").has_value());
    EXPECT_FALSE(TryStrToInt("99999999999999999999").has_value());
    EXPECT_EQ(TryStrToInt("$7FFFFFFF"), 2147483647);
    EXPECT_FALSE(TryStrToInt("$80000000").has_value());
}

TEST(IntegerText, RaisingFormQuotesTheText) {
    try {
        StrToInt("19 ");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'19 ' is not a valid integer value");
    }
    EXPECT_THROW(StrToInt(""), Error);
    EXPECT_EQ(StrToIntDef("abc", 0), 0);
    EXPECT_EQ(StrToIntDef("12", 0), 12);
}

TEST(FloatText, ReadsWithTheGivenSeparatorOnly) {
    EXPECT_EQ(TryStrToFloat("1,5", ","), 1.5);
    EXPECT_EQ(TryStrToFloat("1.5", "."), 1.5);
    EXPECT_FALSE(TryStrToFloat("1,5", ".").has_value());
    EXPECT_FALSE(TryStrToFloat("1.5", ",").has_value());
    EXPECT_EQ(TryStrToFloat("15", ""), 15.0);
    EXPECT_FALSE(TryStrToFloat("1.5", "").has_value());
    EXPECT_FALSE(TryStrToFloat("1,5,0", ",").has_value());
}

TEST(FloatText, AcceptsBlanksSignAndExponent) {
    EXPECT_EQ(TryStrToFloat("  -2,25  ", ","), -2.25);
    EXPECT_EQ(TryStrToFloat("+3", ","), 3.0);
    EXPECT_EQ(TryStrToFloat("1E3", ","), 1000.0);
    EXPECT_EQ(TryStrToFloat("2,5e-1", ","), 0.25);
    EXPECT_EQ(TryStrToFloat(",5", ","), 0.5);
    EXPECT_EQ(TryStrToFloat("5,", ","), 5.0);
    EXPECT_EQ(TryStrToFloat("1e-400", "."), 0.0);
}

TEST(FloatText, RejectsWhatIsNotAPlainNumber) {
    for (const char* text :
         {"", " ", ",", "-", "1E", "1e+", "inf", "nan", "0x1p3", "1 000", "1e400", "1,5x", "x1"})
        EXPECT_FALSE(TryStrToFloat(text, ",").has_value()) << '"' << text << '"';
}

TEST(FloatText, RaisingFormQuotesTheText) {
    try {
        StrToFloat("1,5", ".");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'1,5' is not a valid floating point value");
    }
    EXPECT_EQ(StrToFloatDef("", ",", 0.0), 0.0);
    EXPECT_EQ(StrToFloatDef("2,5", ",", 0.0), 2.5);
}

TEST(GeneralFormat, WritesShortestFifteenDigitText) {
    EXPECT_EQ(FloatToStrG15(0.0, ","), "0");
    EXPECT_EQ(FloatToStrG15(2.5, ","), "2,5");
    EXPECT_EQ(FloatToStrG15(2.5, "."), "2.5");
    EXPECT_EQ(FloatToStrG15(0.75, ","), "0,75");
    EXPECT_EQ(FloatToStrG15(3.0, ","), "3");
    EXPECT_EQ(FloatToStrG15(120.0, ","), "120");
    EXPECT_EQ(FloatToStrG15(-1.5, ","), "-1,5");
    EXPECT_EQ(FloatToStrG15(0.1 + 0.2, "."), "0.3");
    EXPECT_EQ(FloatToStrG15(1.0 / 3.0, "."), "0.333333333333333");
    EXPECT_EQ(FloatToStrG15(0.00001, "."), "0.00001");
    EXPECT_EQ(FloatToStrG15(123456789012345.0, "."), "123456789012345");
    EXPECT_EQ(FloatToStrG15(2.5, ""), "25");
}

TEST(GeneralFormat, TurnsScientificOutsideItsFixedRange) {
    EXPECT_EQ(FloatToStrG15(0.000001, "."), "1E-6");
    EXPECT_EQ(FloatToStrG15(0.0000025, ","), "2,5E-6");
    EXPECT_EQ(FloatToStrG15(1e15, "."), "1E15");
    EXPECT_EQ(FloatToStrG15(2.5e20, ","), "2,5E20");
    EXPECT_EQ(FloatToStrG15(999999999999999.9, "."), "1E15");  // rounding carries into a new digit
    EXPECT_EQ(FloatToStrG15(INFINITY, "."), "INF");
    EXPECT_EQ(FloatToStrG15(NAN, "."), "NAN");
}

TEST(GeneralFormat, ReadsBackThroughTheParser) {
    for (double v : {0.75, 1.5, 2.25, 1234.5678, 0.0001, 98765.4321}) {
        for (const char* sep : {",", "."})
            EXPECT_EQ(TryStrToFloat(FloatToStrG15(v, sep), sep), v) << v << sep;
    }
}

}  // namespace
}  // namespace koravel::common
