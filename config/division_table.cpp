#include "config/division_table.h"

#include <QString>

#include <charconv>
#include <map>

#include "common/code_page.h"
#include "common/file_io.h"
#include "common/number_text.h"

namespace koravel::config {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The blanks of the Windows profile reader, which trims them around lines, names and
// values; tested byte by byte, never through the C library's locale.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Walks the file as the Windows profile reader does: lines of any length, a key line
// splits at its first "=", and lines before the first header belong to no division.
// A header runs from "[" to the last "]" of its line, or to the line's end without one.
// Anything else (comments included) is a line without a key.
template <class OnSection, class OnKey>
void Walk(std::string_view text, OnSection onSection, OnKey onKey) {
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        line = Trimmed(line.substr(0, line.find('\0')));
        if (line.starts_with('[')) {
            const std::size_t close = line.rfind(']');
            inSection = true;
            onSection(close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        onKey(Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)));
    }
}

// A value as GetPrivateProfileString hands it out: one pair of enclosing quotes dropped,
// then cut to its first 2047 characters. Bytes suffice for the count: only an ASCII
// prefix can still read as a number.
std::string_view ProfileValue(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value.substr(0, kMaxValueChars);
}

// N of a key "teamN" (any letter case, N in decimal without leading zeros); 0 otherwise.
std::uint64_t TeamPosition(std::string_view key) {
    if (key.size() < 5) return 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if ((key[i] | 0x20) != "team"[i]) return 0;
    }
    const std::string_view digits = key.substr(4);
    if (digits.front() == '0') return 0;
    std::uint64_t position = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), position);
    return ec == std::errc() && ptr == digits.data() + digits.size() ? position : 0;
}

// Cyrillic capitals outside А..Я and their small letters: Ђ Ѓ Љ Њ Ќ Ћ Џ Ў Ј Ґ Ё Є Ї І Ѕ.
constexpr std::pair<unsigned char, unsigned char> kOtherCapitals[] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
    {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
    {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

unsigned char FoldCp1251(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) {
        return static_cast<unsigned char>(c + 0x20);
    }
    for (const auto& [capital, small] : kOtherCapitals) {
        if (c == capital) return small;
    }
    return c;
}

// A section name as compared: letter case folded within the file's own alphabet, and
// nothing else changed, so that distinct names stay distinct.
std::string FoldedName(std::string_view raw, bool utf8) {
    if (utf8) {
        const QString name = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
        return name.toCaseFolded().toStdString();
    }
    std::string name(raw);
    for (char& c : name) c = static_cast<char>(FoldCp1251(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

std::filesystem::path DataIniPath(const std::filesystem::path& workingDirectory) {
    return workingDirectory / "data.ini";
}

DivisionTable DivisionTable::Load(const std::filesystem::path& file) {
    const common::FileRead read = common::ReadRegularFile(file, kMaxIniBytes);
    return Parse(read.status == common::FileRead::Status::Read ? read.bytes : std::string());
}

DivisionTable DivisionTable::Parse(std::string_view iniText) {
    DivisionTable table;
    std::string_view body = iniText;
    if (body.starts_with(kUtf8Bom)) body.remove_prefix(kUtf8Bom.size());
    table.m_utf8 = common::IsValidUtf8(body);

    // The first value of each team key; a second section of the same name adds the keys
    // the first one lacks.
    std::unordered_map<std::string, std::map<std::uint64_t, std::string_view>> values;
    std::map<std::uint64_t, std::string_view>* current = nullptr;
    Walk(
        iniText,
        [&](std::string_view name) {
            std::string folded = FoldedName(name, table.m_utf8);
            const auto [at, added] = values.try_emplace(std::move(folded));
            if (added) table.m_names.emplace_back(name);
            current = &at->second;
        },
        [&](std::string_view key, std::string_view value) {
            if (const std::uint64_t position = TeamPosition(key); position != 0)
                current->emplace(position, ProfileValue(value));
        });

    for (auto& [folded, teams] : values) {
        std::vector<std::int32_t>& ids = table.m_teams[folded];
        for (std::uint64_t position = 1;; ++position) {
            const auto it = teams.find(position);
            if (it == teams.end()) break;
            const std::int32_t id = common::ParseIntegerOr(it->second, 0);
            if (id == 0) break;
            ids.push_back(id);
        }
    }
    return table;
}

std::optional<std::vector<std::int32_t>> DivisionTable::teamIds(std::string_view division) const {
    // Bytes that are not UTF-8 name no section of a UTF-8 file.
    if (m_utf8 && !common::IsValidUtf8(division)) return std::nullopt;
    const auto it = m_teams.find(FoldedName(division, m_utf8));
    if (it == m_teams.end()) return std::nullopt;
    return it->second;
}

}  // namespace koravel::config
