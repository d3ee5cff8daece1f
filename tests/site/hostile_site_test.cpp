#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "site/roster_request.h"
#include "tests/site/fetch.h"

// Sites that try to hold a request for ever or to make it hold unbounded memory. Each case
// states the bound that ends it, shortened through Limits, and ends within a few seconds.

namespace koravel::site {
namespace {

using namespace std::chrono_literals;
using tools::Answer;
using tools::FakeSite;

const std::string kToClose = "HTTP/1.0 200 OK\r\n\r\n";
const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

TEST(HostileSite, EndlessBodiesEndAtTheSizeCap) {
    FakeSite site;
    // A byte every 5 ms keeps the 2 s idle bound happy; the 64-byte cap ends it.
    EXPECT_EQ(FetchAnswer(site, Answer::Drip(kToClose, "x", 5ms), {.idle = 2s, .maxBody = 64}),
              std::nullopt);
    // Cap 1 MiB against floods with and without chunking.
    const Limits limits{.idle = 2s, .maxBody = 1u << 20};
    EXPECT_EQ(FetchAnswer(site, Answer::Endless(kToClose, std::string(65536, 'x')), limits),
              std::nullopt);
    EXPECT_EQ(
        FetchAnswer(site, Answer::Endless(kChunked, "4000\r\n" + std::string(0x4000, 'y') + "\r\n"),
                    limits),
        std::nullopt);
}

TEST(HostileSite, StallsEndAtTheIdleBound) {
    FakeSite site;
    // Idle bound 300 ms; the site promises 10 bytes, sends 3 and waits 20 s.
    EXPECT_EQ(
        FetchAnswer(site, Answer::Silent("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc", 20s),
                    {.idle = 300ms}),
        std::nullopt);
    EXPECT_TRUE(site.waitForHangUps(1, 5s));
    // Idle bound 500 ms; an endless chunk extension brings bytes but never a body byte.
    EXPECT_EQ(FetchAnswer(site, Answer::Drip(kChunked + "5;", "e", 1ms), {.idle = 500ms}),
              std::nullopt);
}

TEST(HostileSite, HeaderTextIsCappedAt256KiB) {
    auto withLines = [](int count) {
        std::string answer = "HTTP/1.0 200 OK\r\n";
        char line[48];
        for (int i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "X-Header-%05d: some value\r\n", i);  // 28 bytes
            answer += line;
        }
        return Answer::Raw(answer + "Content-Length: 2\r\n\r\nok");
    };
    FakeSite site;
    EXPECT_EQ(FetchAnswer(site, withLines(9000)), "ok");
    EXPECT_EQ(FetchAnswer(site, withLines(10000)), std::nullopt);
    EXPECT_EQ(FetchAnswer(site, withLines(20000)), std::nullopt);
    EXPECT_EQ(FetchAnswer(site, Answer::Raw("HTTP/1.0 200 OK\r\nX-Big: " +
                                            std::string(200000, 'b') + "\r\n\r\nok")),
              std::nullopt);
    // Interim answers count towards the cap; the 2 s idle bound is never reached.
    EXPECT_EQ(FetchAnswer(site, Answer::Endless("", "HTTP/1.1 100 Continue\r\n\r\n"), {.idle = 2s}),
              std::nullopt);
}

TEST(HostileSite, BodyCutShortFails) {
    FakeSite site;
    const std::string half(50, 'h');
    const std::string promise = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n";
    EXPECT_EQ(FetchAnswer(site, Answer::Raw(promise + half)), std::nullopt);
    EXPECT_EQ(FetchAnswer(site, Answer::Reset(promise + half)), std::nullopt);
    EXPECT_EQ(FetchAnswer(site, Answer::Raw(kChunked + "32\r\n" + half + "\r\n")), std::nullopt);
    EXPECT_EQ(FetchAnswer(site, Answer::Raw(kChunked + "64\r\n" + half)), std::nullopt);
}

TEST(HostileSite, ProxyDemandingCredentialsFailsWithoutRetrying) {
    FakeSite proxy;
    proxy.push(Answer::Http("407 Proxy Authentication Required", "denied",
                            "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"));
    const auto request = BuildRosterRequest(
        345, {true, "user", "pw", FakeSite::host(), std::to_string(proxy.port())},
        {"game.example", 80});
    EXPECT_EQ(SendRosterRequest(request), std::nullopt);
    EXPECT_EQ(proxy.requests().size(), 1u);
}

}  // namespace
}  // namespace koravel::site
