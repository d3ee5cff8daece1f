#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace koravel::config {

// data.ini in the given working directory, joined with exactly one separator.
std::filesystem::path DataIniPath(const std::filesystem::path& workingDirectory);

// The division table. It holds only the file name: every query reads the file afresh,
// so keys edited while the program runs are seen at the next division choice.
class DivisionTable final {
public:
    explicit DivisionTable(std::filesystem::path file);

    const std::filesystem::path& file() const { return m_file; }

    // Section names in file order, each once, as the raw bytes of the file (UTF-8 or
    // Windows-1251, whichever the file is written in). A missing or unreadable file
    // gives none; nothing is reported.
    std::vector<std::string> sectionNames() const;

    // The identifiers under team1, team2, ... of `division` (matched without regard to
    // letter case), up to the first missing key or the first value that reads as 0.
    std::vector<std::int32_t> teamIds(std::string_view division) const;

private:
    std::filesystem::path m_file;
};

// The same readings over the bytes of a data.ini already in memory.
std::vector<std::string> SectionNamesIn(std::string_view iniText);
std::vector<std::int32_t> TeamIdsIn(std::string_view iniText, std::string_view division);

}  // namespace koravel::config
