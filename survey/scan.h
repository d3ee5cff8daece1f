#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "survey/team_list.h"

namespace koravel::survey {

// One team's row, read from its page with a fresh tally. A failed request (no page)
// reads as an empty page, never as the rest of an earlier one. A conversion error
// propagates, with `row` left as far as it was read.
void ReadTeam(TeamRow& row, std::int32_t teamId, const std::optional<std::string>& page,
              std::string_view decimalSeparator);

// Fetches a team's page; nullopt for a failed request.
using FetchPage = std::function<std::optional<std::string>(std::int32_t teamId)>;
// Takes each row as soon as it is read, also the half-read row of a team whose page
// raised a conversion error (the error propagates right after).
using TakeRow = std::function<void(TeamRow&& row)>;

// The one scan loop: fetches and reads every team in order. A conversion error
// propagates. Raising `stop` ends the scan before the next fetch, and a page that
// arrives after it is not read. Returns false when stopped.
bool RunScan(const std::vector<std::int32_t>& teamIds, std::string_view decimalSeparator,
             const FetchPage& fetch, const TakeRow& takeRow,
             const std::atomic<bool>* stop = nullptr);

// The same, collecting the rows in `list`, which it empties first.
bool RunScan(const std::vector<std::int32_t>& teamIds, TeamList& list,
             std::string_view decimalSeparator, const FetchPage& fetch,
             const std::atomic<bool>* stop = nullptr);

}  // namespace koravel::survey
