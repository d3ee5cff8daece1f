#include "config/division_table.h"

#include <ini.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/code_page.h"
#include "common/number_text.h"

namespace koravel::config {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Cyrillic capitals outside А..Я and their small letters: Ђ Ѓ Љ Њ Ќ Ћ Џ Ў Ј Ґ Ё Є Ї І Ѕ.
constexpr std::pair<unsigned char, unsigned char> kOtherCapitals[] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
    {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
    {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

// Upper to lower case in Windows-1251.
unsigned char FoldCp1251(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) {
        return static_cast<unsigned char>(c + 0x20);
    }
    for (const auto& [capital, small] : kOtherCapitals) {
        if (c == capital) return small;
    }
    return c;
}

// A division name as compared: the same name typed in UTF-8 or Windows-1251, in any
// letter case, gives the same key.
std::string FoldedName(std::string_view raw) {
    std::string name = common::AnyTextToCp1251(raw);
    for (char& c : name) c = static_cast<char>(FoldCp1251(static_cast<unsigned char>(c)));
    return name;
}

std::string LowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    }
    return result;
}

// "team" and a position in decimal without leading zeros, already in lower case.
bool IsTeamKey(std::string_view key) {
    if (!key.starts_with("team") || key.size() == 4 || key[4] == '0') return false;
    return std::all_of(key.begin() + 4, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// inih parses the key lines, but section headers are picked out here, before inih sees
// the line: Debian's build neither reports a section without keys nor keeps more than
// 49 bytes of a section name, which cuts long UTF-8 names mid-letter.
struct Scan {
    std::string_view rest;
    std::optional<std::string> section;  // none before the first header
    std::function<void(const std::string& section)> onSection;
    std::function<void(std::string_view name, std::string_view value)> onKey;
};

char* NextLine(char* buffer, int size, void* stream) {
    auto& scan = *static_cast<Scan*>(stream);
    if (scan.rest.empty() || size < 1) return nullptr;
    const auto end = scan.rest.find('\n');
    std::string_view line = scan.rest.substr(0, end);
    scan.rest = end == std::string_view::npos ? std::string_view{} : scan.rest.substr(end + 1);

    line = line.substr(0, line.find('\0'));
    // Indented lines are ordinary lines to the Windows reader these files are written for;
    // inih would take them as continuations of the previous value.
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.starts_with('[')) {
        if (const auto close = line.find(']'); close != std::string_view::npos) {
            scan.section = std::string(Trimmed(line.substr(1, close - 1)));
            if (scan.onSection) scan.onSection(*scan.section);
        }
    }
    // inih's line buffer is fixed; the rest of a longer line is dropped here so that it
    // cannot come back as a line of its own.
    const auto length = std::min(line.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, line.data(), length);
    buffer[length] = '\0';
    return buffer;
}

int OnKey(void* user, const char* /*inihSection*/, const char* name, const char* value) {
    auto& scan = *static_cast<Scan*>(user);
    if (name != nullptr && value != nullptr && scan.section && scan.onKey) scan.onKey(name, value);
    return 1;
}

void Run(std::string_view text, Scan& scan) {
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    scan.rest = text;
    ini_parse_stream(&NextLine, &scan, &OnKey, &scan);
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.bad() ? std::string{} : text;
}

}  // namespace

std::filesystem::path DataIniPath(const std::filesystem::path& workingDirectory) {
    return workingDirectory / "data.ini";
}

DivisionTable::DivisionTable(std::filesystem::path file) : m_file(std::move(file)) {}

std::vector<std::string> DivisionTable::sectionNames() const {
    return SectionNamesIn(ReadFile(m_file));
}

std::vector<std::int32_t> DivisionTable::teamIds(std::string_view division) const {
    return TeamIdsIn(ReadFile(m_file), division);
}

std::vector<std::string> SectionNamesIn(std::string_view iniText) {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    Scan scan;
    scan.onSection = [&](const std::string& name) {
        if (seen.insert(FoldedName(name)).second) names.push_back(name);
    };
    Run(iniText, scan);
    return names;
}

std::vector<std::int32_t> TeamIdsIn(std::string_view iniText, std::string_view division) {
    const std::string wanted = FoldedName(division);
    bool inDivision = false;
    std::unordered_map<std::string, std::string> values;  // first value of each team key
    Scan scan;
    scan.onSection = [&](const std::string& name) { inDivision = FoldedName(name) == wanted; };
    scan.onKey = [&](std::string_view name, std::string_view value) {
        if (!inDivision) return;
        if (std::string key = LowerAscii(name); IsTeamKey(key))
            values.emplace(std::move(key), value);
    };
    Run(iniText, scan);

    std::vector<std::int32_t> ids;
    for (std::size_t position = 1;; ++position) {
        const auto it = values.find("team" + std::to_string(position));
        if (it == values.end()) break;
        const std::int32_t id = common::StrToIntDef(it->second, 0);
        if (id == 0) break;
        ids.push_back(id);
    }
    return ids;
}

}  // namespace koravel::config
