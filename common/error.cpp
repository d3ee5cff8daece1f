#include "common/error.h"

#include "common/code_page.h"

namespace koravel::common {

std::string FormatMessage(std::string_view pattern, std::string_view argument) {
    std::string out;
    out.reserve(pattern.size() + argument.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
            out.append(argument);
            out.append(pattern.substr(i + 2));
            return out;
        }
        out.push_back(pattern[i]);
    }
    return out;
}

std::string QuotedExcerpt(std::string_view text) {
    if (text.size() <= kQuoteLimit) return Cp1251ToUtf8(text);
    return Cp1251ToUtf8(text.substr(0, kQuoteLimit)) + "\u2026";
}

}  // namespace koravel::common
