#include "app/json_lines.h"

#include <nlohmann/json.hpp>

#include <charconv>

#include "common/code_page.h"

namespace koravel::app::json {

namespace {

// Keys stay in the order written.
using Object = nlohmann::ordered_json;

// Page text as JSON text: Windows-1251 decoded, its one byte without a character (0x98)
// as U+FFFD.
std::string Decoded(std::string_view cp1251) {
    const std::string decoded = common::Cp1251ToUtf8(cp1251);
    constexpr std::string_view kByte98 = "\xC2\x98";
    std::string utf8;
    utf8.reserve(decoded.size());
    for (std::size_t at = 0;;) {
        const std::size_t found = decoded.find(kByte98, at);
        utf8.append(decoded, at, found - at);
        if (found == std::string::npos) break;
        utf8 += "\xEF\xBF\xBD";
        at = found + kByte98.size();
    }
    return utf8;
}

// An integer where the text is exactly one (digits, an optional "-"), else the text.
Object Figure(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size()) return value;
    return Decoded(text);
}

std::string Dumped(const Object& object) {
    return object.dump(-1, ' ', false, Object::error_handler_t::replace);
}

// DEL, C1, the bidirectional controls and U+2028/U+2029 pass a JSON writer as they are;
// as escapes they are the same JSON, harmless on a terminal and no line end to a reader.
std::string Line(const std::string& dumped) {
    std::string line;
    for (std::size_t at = 0; at < dumped.size();) {
        std::size_t next = at;
        char32_t c = 0;
        if (!common::NextUtf8(dumped, next, c)) next = at + 1;
        if ((c >= 0x7F && c <= 0x9F) || (c >= 0x2028 && c <= 0x202E) ||
            (c >= 0x2066 && c <= 0x2069)) {
            static constexpr char kHex[] = "0123456789abcdef";
            line += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) line += kHex[(c >> shift) & 15];
        } else {
            line.append(dumped, at, next - at);
        }
        at = next;
    }
    return line + "\n";
}

}  // namespace

std::string Team(const survey::TeamRow& row) {
    Object team;
    team["id"] = row.teamId;
    team["name"] = Decoded(row.name);
    team["players"] = Figure(row.players);
    team["cosp"] = Figure(row.cosp);
    team["aged19"] = Figure(row.aged19);
    team["talentsAbove1"] = Figure(row.talentsAbove1);
    // A double would lose digits; the page's own number text is already JSON.
    std::string text = Dumped(team);
    text.insert(text.size() - 1,
                ",\"maxTalent\":" + (row.maxTalentNumber.empty() ? "0" : row.maxTalentNumber));
    return Line(text);
}

std::string FailedTeam(std::int32_t teamId, std::string_view reason) {
    Object failed;
    failed["id"] = teamId;
    failed["error"] = std::string(reason);
    return Line(Dumped(failed));
}

std::string Error(std::string_view message) {
    Object error;
    error["error"] = std::string(message);
    return Line(Dumped(error));
}

std::string Division(std::string_view name, const std::vector<std::int32_t>& teamIds) {
    Object division;
    division["division"] = std::string(name);
    division["teams"] = teamIds;
    return Line(Dumped(division));
}

}  // namespace koravel::app::json
