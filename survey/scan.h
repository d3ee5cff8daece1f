#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "survey/team_list.h"

namespace koravel::survey {

// The prompt text of the division selector: a scan refuses to run while it shows.
// Windows-1251 bytes of "Дивизион".
const std::string& DivisionPrompt();

// One team's share of a scan: a fresh tally and the page read into a new row. A failed
// request (no page) reads as an empty page, never as the rest of an earlier one.
void ScanTeam(TeamList& list, std::int32_t teamId, const std::optional<std::string>& page,
              std::string_view decimalSeparator);

// Fetches a team's page; nullopt for a failed request.
using FetchPage = std::function<std::optional<std::string>(std::int32_t teamId)>;

// The scan without a window: empties `list`, then fetches and reads every team in
// order. `afterTeam(i)` runs after row i is in. A conversion error propagates and
// leaves the rows read so far.
void RunScan(const std::vector<std::int32_t>& TeamIds, TeamList& list,
             std::string_view decimalSeparator, const FetchPage& fetch,
             const std::function<void(std::size_t)>& afterTeam = {});

}  // namespace koravel::survey
