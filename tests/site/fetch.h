#pragma once

#include <optional>
#include <string>

#include "site/roster_request.h"
#include "tools/fake_site/fake_site.h"

namespace koravel::site {

inline SiteAddress AddressOf(const tools::FakeSite& site) {
    return {tools::FakeSite::host(), site.port()};
}

// One direct request to `site` that `answer` answers.
inline std::optional<std::string> FetchAnswer(tools::FakeSite& site, tools::Answer answer,
                                              const Limits& limits = {}) {
    site.push(std::move(answer));
    return SendRosterRequest(BuildRosterRequest(345, {}, AddressOf(site)), limits);
}

}  // namespace koravel::site
