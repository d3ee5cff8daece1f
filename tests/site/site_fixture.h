#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <variant>

#include "site/transfer.h"
#include "tools/fake_site/fake_site.h"

namespace koravel::site {

using namespace std::chrono_literals;
using tools::Answer;
using tools::FakeSite;

// Before main, so before any thread.
inline const CurlGlobal kCurlGlobal;

inline void PrintTo(Failure failure, std::ostream* out) { *out << FailureName(failure); }

// A reply as one comparable value: the body, or the reason there is none.
using Outcome = std::variant<std::string, Failure>;

inline Outcome OutcomeOf(Reply reply) {
    if (reply.failure) return *reply.failure;
    if (reply.body.size() > 65536) reply.body.resize(65536);  // a readable report for a fault
    return std::move(reply.body);
}

inline SiteAddress AddressOf(const FakeSite& site) { return {FakeSite::host(), site.port()}; }

inline common::ProxySettings Proxy(std::string server, std::string port, std::string login = {},
                                   std::string password = {}) {
    return {true, std::move(login), std::move(password), std::move(server), std::move(port)};
}

struct AnswerCase {
    const char* what;
    Answer answer;
    Limits limits;
    Outcome outcome;
    bool viaProxy = false;  // the fake site answers as the proxy for game.example
};

// Each case on a fresh site. An answer that never ends by itself must be ended by the
// client, at the client's bound, not the site's.
inline void ExpectOutcomes(const std::vector<AnswerCase>& cases) {
    for (const AnswerCase& c : cases) {
        FakeSite site;
        site.push(c.answer);
        const RosterRequest request =
            c.viaProxy ? BuildRosterRequest(
                             345, Proxy(FakeSite::host(), std::to_string(site.port()), "u", "pw"),
                             {"game.example", 80})
                       : BuildRosterRequest(345, {}, AddressOf(site));
        // A broken bound makes its case fail at this backstop instead of hanging the suite.
        Limits limits = c.limits;
        limits.total = std::min<std::chrono::milliseconds>(limits.total, 5s);
        EXPECT_EQ(OutcomeOf(SendRosterRequest(request, limits)), c.outcome) << c.what;
        const bool held = c.answer.endless || c.answer.holdOpen > 0ms;
        EXPECT_TRUE(!held || site.waitForHangUps(1, 5s)) << c.what;
    }
}

}  // namespace koravel::site
