#pragma once

#include <optional>
#include <string>

#include "site/roster_request.h"
#include "tests/support/fake_site.h"

namespace koravel::site {

inline SiteAddress AddressOf(const testsupport::FakeSite& site) {
    return {testsupport::FakeSite::host(), site.port()};
}

// One direct request to `site` that `answer` answers.
inline std::optional<std::string> FetchAnswer(testsupport::FakeSite& site,
                                              testsupport::Answer answer,
                                              const Limits& limits = {}) {
    site.push(std::move(answer));
    return SendRosterRequest(BuildRosterRequest(345, {}, AddressOf(site)), limits);
}

}  // namespace koravel::site
