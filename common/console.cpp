#include "common/console.h"

#include "common/code_page.h"

namespace koravel::common {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendEscape(std::string& out, const char* prefix, char32_t c, int digits) {
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
}

}  // namespace

std::string VisibleEscapes(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t c = 0;
        std::size_t next = at;
        if (!NextUtf8(utf8, next, c)) {
            AppendEscape(out, "\\x", static_cast<unsigned char>(utf8[at]), 2);
            ++at;
            continue;
        }
        if ((c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F))
            AppendEscape(out, "\\x", c, 2);
        else if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
            AppendEscape(out, "\\u", c, 4);
        else
            out.append(utf8, at, next - at);
        at = next;
    }
    return out;
}

}  // namespace koravel::common
