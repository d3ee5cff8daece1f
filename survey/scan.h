#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "survey/team_list.h"

namespace koravel::survey {

// What a fetch gives back: the page, or the reason the request failed (UTF-8, e.g.
// "failure status 407 from the proxy").
struct Fetched {
    std::optional<std::string> page;
    std::string failure;  // set when !page
};
using FetchPage = std::function<Fetched(std::int32_t teamId)>;

// One team's outcome, in team order. `row` is read from the page, after a failed request
// from an empty page; after an error it is incomplete.
struct TeamOutcome {
    std::int32_t teamId = 0;
    TeamRow row;
    std::optional<std::string> failure;  // the request failed: its reason (UTF-8)
    std::optional<std::string> error;    // a cell did not convert: the message (UTF-8)
};

// The one scan loop as a sequence: each next() fetches and reads one team, with a fresh
// tally. A failed request reads as an empty page, never as the rest of an earlier one.
class Scan final {
public:
    Scan(std::vector<std::int32_t> teamIds, std::string decimalSeparator, FetchPage fetch);

    // The next team's outcome; nullopt when every team is done, after an outcome with an
    // error (a conversion error ends the scan), or when `stop` is raised (checked before
    // each fetch and again before reading the page that arrives after it). What the fetch
    // throws passes through.
    std::optional<TeamOutcome> next(const std::atomic<bool>* stop = nullptr);

    std::size_t size() const { return m_teamIds.size(); }
    std::size_t position() const { return m_position; }  // teams fetched so far
    bool stopped() const { return m_stopped; }  // next() returned nullopt because of `stop`

private:
    std::vector<std::int32_t> m_teamIds;
    std::string m_decimalSeparator;
    FetchPage m_fetch;
    std::size_t m_position = 0;
    bool m_ended = false;
    bool m_stopped = false;
};

}  // namespace koravel::survey
