#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace koravel::common {

// Integer texts: leading blanks, an optional "-" or "+", then decimal digits or
// hexadecimal digits after "$", "x", "X", "0x" or "0X". Nothing may follow the digits
// and the value must fit a signed 32-bit integer.
std::optional<std::int32_t> TryParseInteger(std::string_view text);
// Throws Error(IntegerError(text)).
std::int32_t ParseInteger(std::string_view text);
std::int32_t ParseIntegerOr(std::string_view text, std::int32_t fallback);

// Float texts: leading and trailing blanks, an optional sign, digits with at most one
// `decimalSeparator` (none accepted when it is empty), an optional exponent after
// "E" or "e". No thousands separators, no "inf"/"nan", no hexadecimal. The process
// locale is never consulted.
std::optional<double> TryParseFloat(std::string_view text, std::string_view decimalSeparator);
double ParseFloatOr(std::string_view text, std::string_view decimalSeparator, double fallback);

// A float text that TryParseFloat took, with all its digits, in the syntax of a JSON
// number: blanks, "+" and leading zeros dropped, the separator as ".", "0" before a bare
// fraction ("+,50" -> "0.50", "007e3" -> "7e3").
std::string PlainNumber(std::string_view text, std::string_view decimalSeparator);

// The messages of a text that is no integer or no float: UTF-8, quoting the text (taken
// as Windows-1251) as QuotedExcerpt does.
std::string IntegerError(std::string_view text);
std::string FloatError(std::string_view text);

// General format with 15 significant digits, trailing zeros and a trailing separator
// dropped, no thousands separator. Fixed notation from 0.00001 up to below 1E15,
// scientific outside it, written as mantissa, "E", an optional "-" and the exponent
// without leading zeros ("1E-6", "2,5E20").
// Infinities and NaN give "INF", "-INF" and "NAN".
std::string FormatFloat15(double value, std::string_view decimalSeparator);

}  // namespace koravel::common
