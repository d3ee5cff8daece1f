#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace koravel::survey {

// One row of the team list. Texts are Windows-1251 bytes as the page gave them.
struct TeamRow {
    std::int32_t teamId = 0;  // the team the row was read for; survives sorting
    std::string name{};
    std::string players{};
    std::string cosp{};
    std::string aged19{};         // players aged 19
    std::string talentsAbove1{};  // players whose talent is greater than 1
    std::string maxTalent{};
    // The best talent as the page wrote it, with all its digits, as a plain number
    // ("2.50", "1.7976931348623157e308"; "0" without players).
    std::string maxTalentNumber{};
    // All six cells read. A conversion error leaves the row with its name, players and
    // CoSP only; the cells it lacks read as empty text.
    bool complete = false;

    // Column 0 is the name, then players, CoSP, aged 19, talents above 1, max talent.
    std::string_view cell(int column) const;
};

// Rows in display order.
using TeamList = std::vector<TeamRow>;

// Column captions of the list and of the report header, Windows-1251.
inline constexpr int kColumnCount = 6;
const std::string& ColumnCaption(int column);

}  // namespace koravel::survey
