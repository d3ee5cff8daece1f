#pragma once

#include <gtest/gtest.h>

#include "site/roster_request.h"
#include "tools/fake_site/fake_site.h"

namespace koravel::site {

using namespace std::chrono_literals;
using tools::Answer;
using tools::FakeSite;

// Before main, so before any thread.
inline const CurlGlobal kCurlGlobal;

// The body of a good answer, nullopt for any failure.
inline std::optional<std::string> BodyOf(site::Reply answer) {
    if (!answer.ok()) return std::nullopt;
    return std::move(answer.body);
}

inline SiteAddress AddressOf(const FakeSite& site) { return {FakeSite::host(), site.port()}; }

inline common::ProxySettings Proxy(std::string server, std::string port, std::string login = {},
                                   std::string password = {}) {
    return {true, std::move(login), std::move(password), std::move(server), std::move(port)};
}

struct AnswerCase {
    const char* what;
    Answer answer;
    Limits limits = {};
    std::optional<std::string> body = {};  // nullopt: the request fails
};

// Each case on a fresh site. An answer that never ends by itself must be ended by the
// client, at the client's bound, not the site's.
inline void ExpectOutcomes(const std::vector<AnswerCase>& cases) {
    for (const AnswerCase& c : cases) {
        FakeSite site;
        site.push(c.answer);
        auto got =
            BodyOf(SendRosterRequest(BuildRosterRequest(345, {}, AddressOf(site)), c.limits));
        if (got && got->size() > 65536) got->resize(65536);  // a readable report for a fault
        EXPECT_EQ(got, c.body) << c.what;
        const bool held = c.answer.endless || c.answer.holdOpen > 0ms;
        EXPECT_TRUE(!held || site.waitForHangUps(1, 5s)) << c.what;
    }
}

}  // namespace koravel::site
