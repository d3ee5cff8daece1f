#include "common/number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/error.h"

namespace koravel::common {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;

    // Magnitude up to 2^31 so that the most negative value fits.
    constexpr std::uint64_t kLimit = 0x80000000ull;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? HexDigit(text[i])
                                     : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * base + static_cast<unsigned>(digit);
        if (magnitude > kLimit) return std::nullopt;
    }
    if (!negative && magnitude == kLimit) return std::nullopt;
    const auto value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

std::int32_t StrToInt(std::string_view text) {
    if (auto value = TryStrToInt(text)) return *value;
    throw Error(FormatMessage("'%s' is not a valid integer value", text));
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
    return TryStrToInt(text).value_or(fallback);
}

std::optional<double> TryStrToFloat(std::string_view text, std::string_view decimalSeparator) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    std::size_t end = n;
    while (end > i && text[end - 1] == ' ') --end;

    // Rebuilt in the one form from_chars reads, whatever the separator. It is never longer
    // than the text, and number texts are short enough to stay on the stack.
    std::array<char, 64> small;
    std::string large;
    char* plain = small.data();
    if (end - i > small.size()) {
        large.resize(end - i);
        plain = large.data();
    }
    std::size_t size = 0;
    if (i < end && (text[i] == '-' || text[i] == '+')) {
        if (text[i] == '-') plain[size++] = '-';
        ++i;
    }
    std::size_t digits = 0;
    int leadingExponent = 0;  // decimal exponent of the first significant digit, roughly
    bool seenSignificant = false;
    bool seenSeparator = false;
    while (i < end) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            plain[size++] = c;
            ++digits;
            if (c != '0' && !seenSignificant) seenSignificant = true;
            if (!seenSeparator && seenSignificant) ++leadingExponent;
            if (seenSeparator && !seenSignificant) --leadingExponent;
            ++i;
        } else if (!seenSeparator && !decimalSeparator.empty() && c == decimalSeparator[0] &&
                   text.substr(i, decimalSeparator.size()) == decimalSeparator) {
            plain[size++] = '.';
            seenSeparator = true;
            i += decimalSeparator.size();
        } else {
            break;
        }
    }
    if (digits == 0) return std::nullopt;
    long exponent = 0;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        plain[size++] = 'e';
        ++i;
        if (i < end && (text[i] == '-' || text[i] == '+')) plain[size++] = text[i++];
        std::size_t expDigits = 0;
        const bool expNegative = plain[size - 1] == '-';
        while (i < end && text[i] >= '0' && text[i] <= '9') {
            plain[size++] = text[i];
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
            ++expDigits;
            ++i;
        }
        if (expDigits == 0) return std::nullopt;
        if (expNegative) exponent = -exponent;
    }
    if (i != end) return std::nullopt;

    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(plain, plain + size, value);
    if (ptr != plain + size) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        if (!seenSignificant) return plain[0] == '-' ? -0.0 : 0.0;
        // Too small reads as zero; too large does not read at all.
        if (leadingExponent + exponent <= 0) return plain[0] == '-' ? -0.0 : 0.0;
        return std::nullopt;
    }
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

double StrToFloat(std::string_view text, std::string_view decimalSeparator) {
    if (auto value = TryStrToFloat(text, decimalSeparator)) return *value;
    throw Error(FormatMessage("'%s' is not a valid floating point value", text));
}

double StrToFloatDef(std::string_view text, std::string_view decimalSeparator, double fallback) {
    return TryStrToFloat(text, decimalSeparator).value_or(fallback);
}

std::string FloatToStrG15(double value, std::string_view decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0.0) return "0";

    // 15 significant digits, rounded once; the exponent is that of the rounded value.
    // to_chars, not printf: the process locale (set by QApplication) must not put its
    // separator into the digits.
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, 14);
    std::string digits;
    int exponent = 0;
    {
        const std::string_view s(buffer, static_cast<std::size_t>(written.ptr - buffer));
        const auto e = s.find('e');
        for (char c : s.substr(0, e))
            if (c != '.') digits.push_back(c);
        exponent = std::stoi(std::string(s.substr(e + 1)));
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out;
    if (value < 0) out.push_back('-');
    if (exponent >= 15 || exponent < -5) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.append(decimalSeparator);
            out.append(digits, 1);
        }
        out.push_back('E');
        out.append(std::to_string(exponent));
        return out;
    }
    if (exponent < 0) {
        out.push_back('0');
        out.append(decimalSeparator);
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits);
        return out;
    }
    const auto intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
        out.append(digits);
        out.append(intDigits - digits.size(), '0');
    } else {
        out.append(digits, 0, intDigits);
        out.append(decimalSeparator);
        out.append(digits, intDigits);
    }
    return out;
}

}  // namespace koravel::common
