#include "config/division_table.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <charconv>
#include <map>
#include <unordered_set>
#include <utility>

#include "common/code_page.h"
#include "common/number_text.h"

#ifdef _WIN32
#include <fstream>
#include <iterator>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

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

// Walks the file as the Windows profile reader does: lines of any length, a section
// header runs from "[" to the last "]" of its line, a key line splits at its first "=",
// and lines before the first header belong to no division. Anything else (comments
// included) is a line without a key.
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
            if (const std::size_t close = line.rfind(']'); close != std::string_view::npos) {
                inSection = true;
                onSection(line.substr(1, close - 1));
                continue;
            }
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

#ifdef _WIN32
std::string ReadIni(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) ||
        std::filesystem::file_size(file, error) > kMaxIniBytes || error) {
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.bad() || text.size() > kMaxIniBytes ? std::string{} : text;
}
#else
// Opening without blocking and checking the opened file itself: a FIFO, device, socket
// or directory named data.ini is never read, and cannot be swapped in after a check.
std::string ReadIni(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uintmax_t>(status.st_size) > kMaxIniBytes) {
        return {};
    }
    // The file may grow while it is read: the bound holds for what is read, too.
    std::string text(
        static_cast<std::size_t>(std::min<std::uintmax_t>(status.st_size, kMaxIniBytes)) + 1, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return {};
        }
        size += static_cast<std::size_t>(got);
        if (size == text.size()) text.resize(std::min(size * 2, kMaxIniBytes + 1));
    }
    if (size > kMaxIniBytes) return {};
    text.resize(size);
    return text;
}
#endif

}  // namespace

std::filesystem::path DataIniPath(const std::filesystem::path& workingDirectory) {
    return workingDirectory / "data.ini";
}

DivisionTable::DivisionTable(std::filesystem::path file) : m_file(std::move(file)) {}

std::vector<std::string> DivisionTable::sectionNames() const {
    return SectionNamesIn(ReadIni(m_file));
}

std::vector<std::int32_t> DivisionTable::teamIds(std::string_view division) const {
    return TeamIdsIn(ReadIni(m_file), division);
}

bool DivisionTable::isUtf8() const { return IsUtf8Ini(ReadIni(m_file)); }

bool DivisionTable::hasDivision(std::string_view division) const {
    return HasDivisionIn(ReadIni(m_file), division);
}

bool IsUtf8Ini(std::string_view iniText) {
    if (iniText.starts_with(kUtf8Bom)) iniText.remove_prefix(kUtf8Bom.size());
    return common::IsValidUtf8(iniText);
}

std::vector<std::string> SectionNamesIn(std::string_view iniText) {
    const bool utf8 = IsUtf8Ini(iniText);
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    Walk(
        iniText,
        [&](std::string_view name) {
            if (seen.insert(FoldedName(name, utf8)).second) names.emplace_back(name);
        },
        [](std::string_view, std::string_view) {});
    return names;
}

bool HasDivisionIn(std::string_view iniText, std::string_view division) {
    const bool utf8 = IsUtf8Ini(iniText);
    if (utf8 && !common::IsValidUtf8(division)) return false;
    const std::string wanted = FoldedName(division, utf8);
    bool found = false;
    Walk(
        iniText, [&](std::string_view name) { found = found || FoldedName(name, utf8) == wanted; },
        [](std::string_view, std::string_view) {});
    return found;
}

std::vector<std::int32_t> TeamIdsIn(std::string_view iniText, std::string_view division) {
    const bool utf8 = IsUtf8Ini(iniText);
    // Bytes that are not UTF-8 name no section of a UTF-8 file.
    if (utf8 && !common::IsValidUtf8(division)) return {};
    const std::string wanted = FoldedName(division, utf8);
    bool inDivision = false;
    // The first value of each team key; a second section of the same name adds the keys
    // the first one lacks.
    std::map<std::uint64_t, std::string_view> values;
    Walk(
        iniText, [&](std::string_view name) { inDivision = FoldedName(name, utf8) == wanted; },
        [&](std::string_view key, std::string_view value) {
            if (!inDivision) return;
            if (const std::uint64_t position = TeamPosition(key); position != 0)
                values.emplace(position, ProfileValue(value));
        });

    std::vector<std::int32_t> ids;
    for (std::uint64_t position = 1;; ++position) {
        const auto it = values.find(position);
        if (it == values.end()) break;
        const std::int32_t id = common::StrToIntDef(it->second, 0);
        if (id == 0) break;
        ids.push_back(id);
    }
    return ids;
}

}  // namespace koravel::config
