#include "survey/scan.h"

#include <utility>

#include "survey/roster_reader.h"

namespace koravel::survey {

const std::string& DivisionPrompt() {
    static const std::string prompt = "\xC4\xE8\xE2\xE8\xE7\xE8\xEE\xED";  // Дивизион
    return prompt;
}

void ScanTeam(TeamList& list, std::int32_t teamId, const std::optional<std::string>& page,
              std::string_view decimalSeparator) {
    Tally tally;
    std::string_view PageText = page ? std::string_view(*page) : std::string_view();
    ReadRosterPage(PageText, list, teamId, tally, decimalSeparator);
}

bool RunScan(const std::vector<std::int32_t>& TeamIds, std::string_view decimalSeparator,
             const FetchPage& fetch, const TakeRow& takeRow, const std::atomic<bool>* stop) {
    const auto stopped = [stop] { return stop != nullptr && stop->load(); };
    for (const std::int32_t id : TeamIds) {
        if (stopped()) return false;
        const std::optional<std::string> page = fetch(id);
        if (stopped()) return false;
        TeamList row;
        try {
            ScanTeam(row, id, page, decimalSeparator);
        } catch (...) {
            if (!row.empty()) takeRow(std::move(row.front()));
            throw;
        }
        takeRow(std::move(row.front()));
    }
    return true;
}

bool RunScan(const std::vector<std::int32_t>& TeamIds, TeamList& list,
             std::string_view decimalSeparator, const FetchPage& fetch,
             const std::atomic<bool>* stop) {
    list.clear();
    return RunScan(
        TeamIds, decimalSeparator, fetch,
        [&list](TeamRow&& row) { list.push_back(std::move(row)); }, stop);
}

}  // namespace koravel::survey
