#include "survey/scan.h"

#include <utility>

#include "survey/roster_reader.h"

namespace koravel::survey {

void ReadTeam(TeamRow& row, std::int32_t teamId, const std::optional<std::string>& page,
              std::string_view decimalSeparator) {
    row = TeamRow{.teamId = teamId};
    Tally tally;
    std::string_view text = page ? std::string_view(*page) : std::string_view();
    ReadRosterPage(text, row, tally, decimalSeparator);
}

bool RunScan(const std::vector<std::int32_t>& teamIds, std::string_view decimalSeparator,
             const FetchPage& fetch, const TakeRow& takeRow, const std::atomic<bool>* stop) {
    const auto stopped = [stop] { return stop != nullptr && stop->load(); };
    for (const std::int32_t id : teamIds) {
        if (stopped()) return false;
        const std::optional<std::string> page = fetch(id);
        if (stopped()) return false;
        TeamRow row;
        try {
            ReadTeam(row, id, page, decimalSeparator);
        } catch (...) {
            takeRow(std::move(row));
            throw;
        }
        takeRow(std::move(row));
    }
    return true;
}

bool RunScan(const std::vector<std::int32_t>& teamIds, TeamList& list,
             std::string_view decimalSeparator, const FetchPage& fetch,
             const std::atomic<bool>* stop) {
    list.clear();
    return RunScan(
        teamIds, decimalSeparator, fetch,
        [&list](TeamRow&& row) { list.push_back(std::move(row)); }, stop);
}

}  // namespace koravel::survey
