#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace koravel::config {

// data.ini in the given working directory, joined with exactly one separator.
std::filesystem::path DataIniPath(const std::filesystem::path& workingDirectory);

// A longer data.ini, or anything but a regular file, reads as an unreadable file.
inline constexpr std::size_t kMaxIniBytes = std::size_t{16} << 20;
// A value is read as at most this many characters; a longer one is cut.
inline constexpr std::size_t kMaxValueChars = 2047;

// The division table. It holds only the file name: every query reads the file afresh,
// so keys edited while the program runs are seen at the next division choice.
//
// The file is UTF-8 or Windows-1251, decided once for the whole file: valid UTF-8 (after
// an optional byte-order mark) is UTF-8, anything else Windows-1251. Names keep the
// file's raw bytes; two names are the same division when they differ at most in letter
// case, folded within the file's own alphabet.
class DivisionTable final {
public:
    explicit DivisionTable(std::filesystem::path file);

    const std::filesystem::path& file() const { return m_file; }

    // Section names in file order, each once (first spelling), as the file's raw bytes.
    // A missing or unreadable file gives none; nothing is reported.
    std::vector<std::string> sectionNames() const;

    // The identifiers under team1, team2, ... of `division` (the raw bytes of a section
    // name), up to the first missing key or the first value that reads as 0.
    std::vector<std::int32_t> teamIds(std::string_view division) const;

    // Whether the file is written in UTF-8 (otherwise it is Windows-1251).
    bool isUtf8() const;

    // Whether a section of that name exists, matched as teamIds matches it.
    bool hasDivision(std::string_view division) const;

private:
    std::filesystem::path m_file;
};

// The same readings over the bytes of a data.ini already in memory.
std::vector<std::string> SectionNamesIn(std::string_view iniText);
std::vector<std::int32_t> TeamIdsIn(std::string_view iniText, std::string_view division);
bool IsUtf8Ini(std::string_view iniText);
bool HasDivisionIn(std::string_view iniText, std::string_view division);

}  // namespace koravel::config
