#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/roster_request.h"
#include "tests/site/fetch.h"

namespace koravel::site {
namespace {

using namespace std::chrono_literals;
using tools::Answer;
using tools::FakeSite;

const std::string kFinal = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nfinal";

// A header line whose bytes before the LF, CR included, number `length`.
std::string Padding(std::size_t length) {
    return "X-Pad: " + std::string(length - 8, 'a') + "\r\n";
}

struct Case {
    const char* what;
    Answer answer;
    std::optional<std::string> body;  // nullopt: the request fails
};

void ExpectOutcomes(const std::vector<Case>& cases, const Limits& limits = {}) {
    FakeSite site;
    for (const Case& c : cases) EXPECT_EQ(FetchAnswer(site, c.answer, limits), c.body) << c.what;
}

TEST(Answer, SuccessesKeepTheBodyAsSent) {
    std::string bytes;
    for (int b = 0; b < 1024; ++b) bytes += static_cast<char>(b);
    ExpectOutcomes({
        {"every byte value", Answer::Http("200 OK", bytes), bytes},
        {"other 2xx", Answer::Http("203 Non-Authoritative", "x"), "x"},
        {"read to close", Answer::Raw("HTTP/1.0 200 OK\r\n\r\n" + bytes), bytes},
        {"bare LF", Answer::Raw("HTTP/1.0 200 OK\nContent-Length: 4\n\nabcdEXTRA"), "abcd"},
        {"no decoding", Answer::Http("200 OK", "gz", "Content-Encoding: gzip\r\n"), "gz"},
        {"empty Location", Answer::Http("200 OK", "p", "Location:  \r\n"), "p"},
        {"204", Answer::Raw("HTTP/1.0 204 No Content\r\nContent-Length: 3\r\n\r\nabc"), ""},
        {"chunked",
         Answer::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\n"
                     "A\r\n\xC0\xC1\xC2\xC3\xC4world\r\n0\r\nX-Trailer: t\r\n\r\n"),
         "hello\xC0\xC1\xC2\xC3\xC4world"},
        {"100 skipped, its headers too",
         Answer::Raw("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nLocation: /x\r\n\r\n" +
                     kFinal),
         "final"},
        {"16384-byte header line",
         Answer::Raw("HTTP/1.0 200 OK\r\n" + Padding(16384) + "Content-Length: 2\r\n\r\nok"), "ok"},
    });
}

TEST(Answer, RedirectsOtherStatusesAndBrokenAnswersFail) {
    std::vector<Case> cases;
    for (const char* status : {"301 Moved", "302 Found", "304 Not Modified", "404 Not Found",
                               "500 Error", "300 Choices", "199 Odd", "600 Beyond"}) {
        cases.push_back({status, Answer::Http(status, "page"), std::nullopt});
    }
    for (const char* line : {"HTTP/1.0 OK", "HTTP/1.0 2OO OK", "HTTP/1.0 200OK", "garbage", ""}) {
        cases.push_back({line, Answer::Raw(line + std::string("\r\nContent-Length: 1\r\n\r\nx")),
                         std::nullopt});
    }
    cases.insert(
        cases.end(),
        {
            {"Location with 200", Answer::Http("200 OK", "p", "LOCATION:/x\r\n"), std::nullopt},
            {"102 before 200", Answer::Raw("HTTP/1.1 102 Processing\r\n\r\n" + kFinal),
             std::nullopt},
            {"16385-byte header line",
             Answer::Raw("HTTP/1.0 200 OK\r\n" + Padding(16385) + "Content-Length: 2\r\n\r\nok"),
             std::nullopt},
            {"long status line",
             Answer::Raw("HTTP/1.0 200 " + std::string(16384, 'K') + "\r\n\r\n"), std::nullopt},
            {"closed unanswered", Answer::Raw(""), std::nullopt},
            {"reset unanswered", Answer::Reset(""), std::nullopt},
            {"headers unfinished", Answer::Raw("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n"),
             std::nullopt},
        });
    ExpectOutcomes(cases);
}

TEST(Answer, BodyCapAllowsExactlyMaxBody) {
    const std::string exact(1000, 'x');
    ExpectOutcomes({{"at cap", Answer::Http("200 OK", exact), exact},
                    {"at cap, to close", Answer::Raw("HTTP/1.0 200 OK\r\n\r\n" + exact), exact},
                    {"over cap", Answer::Http("200 OK", exact + "y"), std::nullopt},
                    {"over cap, to close", Answer::Raw("HTTP/1.0 200 OK\r\n\r\n" + exact + "y"),
                     std::nullopt}},
                   {.maxBody = 1000});
}

TEST(Answer, UnreachableSitesFailWithoutThrowing) {
    std::uint16_t closedPort = 0;
    {
        const FakeSite gone;
        closedPort = gone.port();
    }
    EXPECT_EQ(SendRosterRequest(BuildRosterRequest(1, {}, {"127.0.0.1", closedPort})),
              std::nullopt);
    for (const char* port : {"0", "-1", "65536"}) {
        const auto request = BuildRosterRequest(1, {true, "", "", "127.0.0.1", port}, {"h", 80});
        EXPECT_EQ(SendRosterRequest(request), std::nullopt) << port;
    }
}

TEST(Answer, SilenceAfterAcceptFailsAtTheIdleBound) {
    FakeSite site;
    // Idle bound 300 ms against 20 s of silence: the client must be the one to hang up.
    EXPECT_EQ(FetchAnswer(site, Answer::Silent("", 20s), {.idle = 300ms}), std::nullopt);
    EXPECT_TRUE(site.waitForHangUps(1, 5s));
}

}  // namespace
}  // namespace koravel::site
