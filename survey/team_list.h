#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace koravel::survey {

// One row of the team list. Texts are Windows-1251 bytes as the page gave them.
struct TeamRow {
    std::string caption;                // team name
    std::vector<std::string> subItems;  // players, CoSP, aged 19, talent > 1, max talent
    std::int32_t teamId = 0;            // the team the row was read for; survives sorting

    // Column 0 is the caption, column k the sub-item k - 1. A cell that a row left half
    // filled by an error lacks reads as empty text.
    std::string_view cell(int column) const;
};

// Rows in display order.
using TeamList = std::vector<TeamRow>;

// Column captions of the list and of the report header, Windows-1251.
inline constexpr int kColumnCount = 6;
const std::string& ColumnCaption(int column);

}  // namespace koravel::survey
