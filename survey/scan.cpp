#include "survey/scan.h"

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

void RunScan(const std::vector<std::int32_t>& TeamIds, TeamList& list,
             std::string_view decimalSeparator, const FetchPage& fetch,
             const std::function<void(std::size_t)>& afterTeam) {
    list.clear();
    const std::size_t n = TeamIds.size();
    for (std::size_t i = 0; i < n; ++i) {
        ScanTeam(list, TeamIds[i], fetch(TeamIds[i]), decimalSeparator);
        if (afterTeam) afterTeam(i);
    }
}

}  // namespace koravel::survey
