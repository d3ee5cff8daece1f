#pragma once

#include <cstdint>
#include <string_view>

#include "survey/team_list.h"

namespace koravel::survey {

// Per-team accumulators; a scan starts every team from a fresh one.
struct Tally {
    std::int32_t Age19Count = 0;
    std::int32_t TalentedCount = 0;
    double MaxTalent = 0.0;
};

// Reads one roster page into a new row appended to `list`, for team `teamId`.
// `PageText` is narrowed from the front as the reader advances and holds the unread
// rest afterwards. `decimalSeparator` is the locale's (possibly empty).
// Throws common::Error for an age that is not an integer or a talent that is not a
// number; the row then keeps its caption, "Players" and "CoSP" cells.
void ReadRosterPage(std::string_view& PageText, TeamList& list, std::int32_t teamId, Tally& tally,
                    std::string_view decimalSeparator);

}  // namespace koravel::survey
