#include "common/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "common/error.h"

namespace koravel::common {
namespace {

// Everything here is plain ASCII arithmetic: the C library's locale (which QApplication
// sets from the environment) must never decide a digit or a separator.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendInt(std::string& out, long long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

}  // namespace

std::optional<std::int32_t> TryParseInteger(std::string_view text) {
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
        const int digit = base == 16 ? HexDigit(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * base + static_cast<unsigned>(digit);
        if (magnitude > kLimit) return std::nullopt;
    }
    if (!negative && magnitude == kLimit) return std::nullopt;
    const auto value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

std::int32_t ParseInteger(std::string_view text) {
    if (auto value = TryParseInteger(text)) return *value;
    throw Error(IntegerError(text));
}

std::string IntegerError(std::string_view text) {
    return FormatMessage("'%s' is not a valid integer value", QuotedExcerpt(text));
}

std::string FloatError(std::string_view text) {
    return FormatMessage("'%s' is not a valid floating point value", QuotedExcerpt(text));
}

std::int32_t ParseIntegerOr(std::string_view text, std::int32_t fallback) {
    return TryParseInteger(text).value_or(fallback);
}

std::optional<double> TryParseFloat(std::string_view text, std::string_view decimalSeparator) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

    // Checked whole before anything is copied, so that a long cell of a hostile page
    // fails at its first stray character.
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
    const std::size_t mantissaBegin = i;
    std::size_t separatorAt = std::string_view::npos;
    std::size_t digits = 0;
    // Decimal exponent of the first significant digit, to tell underflow from overflow.
    long long leading = 0;
    bool significant = false;
    while (i < text.size()) {
        if (IsDigit(text[i])) {
            const bool before = separatorAt == std::string_view::npos;
            significant = significant || text[i] != '0';
            if (before && significant) ++leading;
            if (!before && !significant) --leading;
            ++digits;
            ++i;
        } else if (separatorAt == std::string_view::npos && !decimalSeparator.empty() &&
                   text.substr(i).starts_with(decimalSeparator)) {
            separatorAt = i;
            i += decimalSeparator.size();
        } else {
            break;
        }
    }
    const std::size_t mantissaEnd = i;
    if (digits == 0) return std::nullopt;
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool exponentNegative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        const std::size_t exponentBegin = i;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            // Far beyond any double; the cap only keeps the sum below from overflowing.
            if (exponent < 1'000'000'000'000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (i == exponentBegin) return std::nullopt;
        if (exponentNegative) exponent = -exponent;
    }
    if (i != text.size()) return std::nullopt;
    if (!significant) return negative ? -0.0 : 0.0;

    // The one form from_chars reads, whatever the separator.
    std::string plain;
    plain.reserve(mantissaEnd - mantissaBegin + 24);
    if (negative) plain.push_back('-');
    if (separatorAt == std::string_view::npos) {
        plain.append(text.substr(mantissaBegin, mantissaEnd - mantissaBegin));
    } else {
        plain.append(text.substr(mantissaBegin, separatorAt - mantissaBegin));
        plain.push_back('.');
        const std::size_t fraction = separatorAt + decimalSeparator.size();
        plain.append(text.substr(fraction, mantissaEnd - fraction));
    }
    plain.push_back('e');
    AppendInt(plain, exponent);

    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ptr != plain.data() + plain.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Too small reads as zero; too large does not read at all.
        if (leading + exponent <= 0) return negative ? -0.0 : 0.0;
        return std::nullopt;
    }
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

double ParseFloatOr(std::string_view text, std::string_view decimalSeparator, double fallback) {
    return TryParseFloat(text, decimalSeparator).value_or(fallback);
}

std::string PlainNumber(std::string_view text, std::string_view decimalSeparator) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    std::string out;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        if (text.front() == '-') out.push_back('-');
        text.remove_prefix(1);
    }
    std::size_t i = 0;
    while (i + 1 < text.size() && text[i] == '0' && IsDigit(text[i + 1])) ++i;
    const std::size_t whole = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    out.append(i == whole ? std::string_view("0") : text.substr(whole, i - whole));
    if (!decimalSeparator.empty() && text.substr(i).starts_with(decimalSeparator)) {
        i += decimalSeparator.size();
        const std::size_t fraction = i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        if (i > fraction) {
            out.push_back('.');
            out.append(text.substr(fraction, i - fraction));
        }
    }
    // The exponent as written (JSON takes its sign and leading zeros); trailing blanks end it.
    const std::size_t end = text.find_last_not_of(' ');
    if (i < text.size() && end != std::string_view::npos && end >= i)
        out.append(text.substr(i, end + 1 - i));
    return out;
}

std::string FormatFloat15(double value, std::string_view decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0.0) return "0";

    // 15 significant digits, rounded once: "d.dddddddddddddde+xx". The exponent is that
    // of the rounded value, so 999999999999999.9 already reads as 1e+15.
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, 14);
    const std::string_view s(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = s.find('e');
    std::string digits(1, s[0]);
    digits.append(s.substr(2, e - 2));
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    int exponent = 0;
    const std::string_view exponentText = s.substr(e + 2);
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    if (s[e + 1] == '-') exponent = -exponent;

    std::string out;
    if (value < 0) out.push_back('-');
    if (exponent >= 15 || exponent < -5) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.append(decimalSeparator);
            out.append(digits, 1);
        }
        out.push_back('E');
        AppendInt(out, exponent);
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
