#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "survey/team_list.h"

namespace koravel::survey {

// Per-team accumulators; a scan starts every team from a fresh one.
struct Tally {
    std::int32_t age19Count = 0;
    std::int32_t talentedCount = 0;
    double maxTalent = 0.0;
    std::string_view bestTalent;  // the cell maxTalent was read from, '.' as the separator
};

// Reads one roster page into `row` (whose team id the caller has set). `page` is
// narrowed from the front as the reader advances and holds the unread rest afterwards.
// `decimalSeparator` is the locale's (possibly empty).
// Returns the message (UTF-8) of an age that is not an integer or a talent that is not a
// number; the row then keeps its name, players and CoSP and stays incomplete.
std::optional<std::string> ReadRosterPage(std::string_view& page, TeamRow& row, Tally& tally,
                                          std::string_view decimalSeparator);

}  // namespace koravel::survey
