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
// Throws Error("'<text>' is not a valid integer value").
std::int32_t ParseInteger(std::string_view text);
std::int32_t ParseIntegerOr(std::string_view text, std::int32_t fallback);

// Float texts: leading and trailing blanks, an optional sign, digits with at most one
// `decimalSeparator` (none accepted when it is empty), an optional exponent after
// "E" or "e". No thousands separators, no "inf"/"nan", no hexadecimal. The process
// locale is never consulted.
std::optional<double> TryParseFloat(std::string_view text, std::string_view decimalSeparator);
// Throws Error("'<text>' is not a valid floating point value").
double ParseFloat(std::string_view text, std::string_view decimalSeparator);
double ParseFloatOr(std::string_view text, std::string_view decimalSeparator, double fallback);

// General format with 15 significant digits: the shorter of fixed and scientific
// notation, trailing zeros and a trailing separator dropped, no thousands separator.
// Scientific notation is used below 0.00001 and from 1E15 on, written as mantissa,
// "E", an optional "-" and the exponent without leading zeros ("1E-6", "2,5E20").
// Infinities and NaN give "INF", "-INF" and "NAN".
std::string FormatFloat15(double value, std::string_view decimalSeparator);

}  // namespace koravel::common
