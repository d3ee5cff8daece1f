#include "survey/scan.h"

#include <string_view>
#include <utility>

#include "survey/roster_reader.h"

namespace koravel::survey {

Scan::Scan(std::vector<std::int32_t> teamIds, std::string decimalSeparator, FetchPage fetch)
    : m_teamIds(std::move(teamIds)),
      m_decimalSeparator(std::move(decimalSeparator)),
      m_fetch(std::move(fetch)) {}

std::optional<TeamOutcome> Scan::next(const std::atomic<bool>* stop) {
    const auto stopped = [this, stop] {
        m_stopped = m_stopped || (stop != nullptr && stop->load());
        return m_stopped;
    };
    if (m_ended || m_position >= m_teamIds.size() || stopped()) return std::nullopt;
    TeamOutcome outcome;
    outcome.teamId = m_teamIds[m_position++];
    Fetched fetched = m_fetch(outcome.teamId);
    if (stopped()) return std::nullopt;
    if (!fetched.page) outcome.failure = std::move(fetched.failure);
    std::string_view page = fetched.page ? std::string_view(*fetched.page) : std::string_view();
    outcome.row.teamId = outcome.teamId;
    Tally tally;
    outcome.error = ReadRosterPage(page, outcome.row, tally, m_decimalSeparator);
    m_ended = outcome.error.has_value();
    return outcome;
}

}  // namespace koravel::survey
