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

// The prompt text of the division selector: a scan refuses to run while it shows.
// Windows-1251 bytes of "Дивизион".
const std::string& DivisionPrompt();

// One team's share of a scan: a fresh tally and the page read into a new row. A failed
// request (no page) reads as an empty page, never as the rest of an earlier one.
void ScanTeam(TeamList& list, std::int32_t teamId, const std::optional<std::string>& page,
              std::string_view decimalSeparator);

// Fetches a team's page; nullopt for a failed request.
using FetchPage = std::function<std::optional<std::string>(std::int32_t teamId)>;
// Takes each row as soon as it is read, also the half-read row of a team whose page
// raised a conversion error (the error propagates right after).
using TakeRow = std::function<void(TeamRow&& row)>;

// The one scan loop: fetches and reads every team in order. A conversion error
// propagates. Raising `stop` ends the scan before the next fetch, and a page that
// arrives after it is not read. Returns false when stopped.
bool RunScan(const std::vector<std::int32_t>& TeamIds, std::string_view decimalSeparator,
             const FetchPage& fetch, const TakeRow& takeRow,
             const std::atomic<bool>* stop = nullptr);

// The same, collecting the rows in `list`, which it empties first.
bool RunScan(const std::vector<std::int32_t>& TeamIds, TeamList& list,
             std::string_view decimalSeparator, const FetchPage& fetch,
             const std::atomic<bool>* stop = nullptr);

}  // namespace koravel::survey
