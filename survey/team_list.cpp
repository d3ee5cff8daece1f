#include "survey/team_list.h"

#include <array>

namespace koravel::survey {

std::string_view TeamRow::cell(int column) const {
    switch (column) {
        case 0:
            return name;
        case 1:
            return players;
        case 2:
            return cosp;
        case 3:
            return aged19;
        case 4:
            return talentsAbove1;
        case 5:
            return maxTalent;
        default:
            return {};
    }
}

const std::string& ColumnCaption(int column) {
    static const std::array<std::string, kColumnCount> captions = {
        "\xCA\xEE\xEC\xE0\xED\xE4\xE0",  // Команда
        "\xC8",                          // И
        "\xD0\xCF",                      // РП
        "19",
        "\xD2>1",  // Т>1
        "MaxT",
    };
    static const std::string none;
    if (column < 0 || column >= kColumnCount) return none;
    return captions[static_cast<std::size_t>(column)];
}

}  // namespace koravel::survey
