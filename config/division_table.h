#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace koravel::config {

// data.ini in the given working directory, joined with exactly one separator.
std::filesystem::path DataIniPath(const std::filesystem::path& workingDirectory);

// A longer data.ini, or anything but a regular file, reads as an unreadable file.
inline constexpr std::size_t kMaxIniBytes = std::size_t{16} << 20;
// A value is read as at most this many characters; a longer one is cut.
inline constexpr std::size_t kMaxValueChars = 2047;

// The divisions of data.ini as the file stood when it was read: load it again to see
// later edits.
//
// The file is UTF-8 or Windows-1251, decided once for the whole file: valid UTF-8 (after
// an optional byte-order mark) is UTF-8, anything else Windows-1251. Names keep the
// file's raw bytes; two names are the same division when they differ at most in letter
// case, folded within the file's own alphabet. A line that starts with "[" always starts
// a section, so teams never join the division above a malformed header.
class DivisionTable final {
public:
    // A missing or unreadable file gives an empty table; nothing is reported.
    static DivisionTable Load(const std::filesystem::path& file);
    static DivisionTable Parse(std::string_view iniText);

    // Section names in file order, each once (its first spelling), as raw bytes.
    const std::vector<std::string>& divisionNames() const { return m_names; }
    // Whether the names are UTF-8 (otherwise Windows-1251).
    bool isUtf8() const { return m_utf8; }

    // The identifiers under team1, team2, ... of `division` (raw bytes in the file's
    // encoding), up to the first missing key or the first value that reads as 0; nullopt
    // when there is no such section.
    std::optional<std::vector<std::int32_t>> teamIds(std::string_view division) const;

private:
    bool m_utf8 = true;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, std::vector<std::int32_t>> m_teams;  // by folded name
};

}  // namespace koravel::config
