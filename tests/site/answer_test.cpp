#include "tests/site/site_fixture.h"

namespace koravel::site {
namespace {

const std::string kToClose = "HTTP/1.0 200 OK\r\n\r\n";
const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string kContinue = "HTTP/1.1 100 Continue\r\n";
const std::string kFinal = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nfinal";
const std::string kCap(1000, 'c');
const Limits kCapped{.maxBody = 1000};

// `count` header lines, each `length` bytes before the LF, CR included; then "ok".
Answer OkAfter(std::size_t length, int count = 1) {
    std::string head = "HTTP/1.0 200 OK\r\n";
    while (count-- > 0) head += "X-Pad: " + std::string(length - 8, 'a') + "\r\n";
    return Answer::Raw(head + "Content-Length: 2\r\n\r\nok");
}

TEST(Answer, SuccessesKeepTheBodyByteForByte) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    const std::string chunks = "5;x=1\r\nhello\r\n2\r\n\xC0\xFF\r\n0\r\nX: t\r\n\r\n";
    const std::string continues = kContinue + "\r\n" + kContinue + "Location: /\r\n\r\n";
    ExpectOutcomes({
        {"every byte value", Answer::Http("200 OK", bytes), {}, bytes},
        {"read to close", Answer::Raw(kToClose + bytes), {}, bytes},
        {"bare LF", Answer::Raw("HTTP/1.0 200 OK\nContent-Length: 4\n\nabcdEXTRA"), {}, "abcd"},
        {"no decoding", Answer::Http("200 OK", "gz", "Content-Encoding: gzip\r\n"), {}, "gz"},
        {"empty Location", Answer::Http("200 OK", "p", "Location:  \r\n"), {}, "p"},
        {"204", Answer::Raw("HTTP/1.0 204 No Content\r\nContent-Length: 3\r\n\r\nabc"), {}, ""},
        {"chunked", Answer::Raw(kChunked + chunks), {}, "hello\xC0\xFF"},
        {"100s skipped, headers and all", Answer::Raw(continues + kFinal), {}, "final"},
        {"16384-byte header line", OkAfter(16384), {}, "ok"},
        {"header text just under 256 KiB", OkAfter(27, 9000), {}, "ok"},
        {"body at the cap", Answer::Raw(kToClose + kCap), kCapped, kCap},
    });
}

TEST(Answer, RedirectsOtherStatusesAndBrokenAnswersFail) {
    std::vector<AnswerCase> cases = {
        {"Location with 200", Answer::Http("200 OK", "p", "LOCATION:/x\r\n")},
        {"102 before 200", Answer::Raw("HTTP/1.1 102 Processing\r\n\r\n" + kFinal)},
        {"16385-byte header line", OkAfter(16385)},
        {"closed unanswered", Answer::Raw("")},
        {"headers unfinished", Answer::Raw("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n")},
        {"silence", Answer::Silent("", 20s), {.idle = 300ms}},
        {"over the cap", Answer::Http("200 OK", kCap + "y"), kCapped},
        {"over the cap, to close", Answer::Raw(kToClose + kCap + "y"), kCapped},
    };
    for (const char* status : {"301 Moved", "302 Found", "304 Not Modified", "404 Not Found",
                               "500 Error", "300 Choices", "199 Odd"}) {
        cases.push_back({status, Answer::Http(status, "page")});
    }
    for (const char* line : {"HTTP/1.0 OK", "HTTP/1.0 2OO OK", "HTTP/1.0 200OK", "junk", ""}) {
        cases.push_back({line, Answer::Raw(line + std::string("\r\nContent-Length: 1\r\n\r\nx"))});
    }
    ExpectOutcomes(cases);
}

// Sites that would hold a request for ever or make it hold unbounded memory; each fails at
// the bound beside it, shortened through Limits.
TEST(Answer, HostileSitesEndAtABound) {
    const Limits cap64{.idle = 2s, .maxBody = 64}, capMiB{.idle = 2s, .maxBody = 1u << 20};
    const std::string promise =
        "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(50, 'h');
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'y') + "\r\n";
    const std::string piece(1u << 16, 'p');
    ExpectOutcomes({
        // A byte every 5 ms keeps the idle bound happy: the size cap.
        {"endless drip", Answer::Drip(kToClose, "x", 5ms), cap64},
        {"silence mid-body", Answer::Silent(promise, 20s), {.idle = 300ms}},
        // Bytes that are never a body byte do not count: the idle bound.
        {"endless chunk extension", Answer::Drip(kChunked + "5;", "e", 1ms), {.idle = 500ms}},
        {"endless body", Answer::Endless(kToClose, std::string(65536, 'x')), capMiB},
        {"endless chunked", Answer::Endless(kChunked, chunk), capMiB},
        // The header text, interim answers included, is capped at 256 KiB.
        {"20,000 header lines", OkAfter(27, 20000)},
        {"200 KB header line", OkAfter(200000)},
        {"100 forever", Answer::Endless("", kContinue + "\r\n"), {.idle = 2s}},
        {"Content-Length larger than body", Answer::Raw(promise)},
        {"reset mid-body", Answer::Reset(promise)},
        {"close mid-chunk", Answer::Raw(kChunked + "64\r\n" + std::string(50, 'h'))},
        // The default 32 MiB cap against a 64 MiB page, made as it is sent.
        {"64 MiB page", Answer::Repeated(kToClose, piece, 1024)},
        {"64 MiB page, Content-Length",
         Answer::Repeated("HTTP/1.0 200 OK\r\nContent-Length: 67108864\r\n\r\n", piece, 1024)},
    });
}

TEST(Answer, ProxyDemandingCredentialsFailsWithoutRetrying) {
    FakeSite proxy;
    proxy.push(
        Answer::Http("407 Proxy Authentication Required", "", "Proxy-Authenticate: Basic\r\n"));
    const auto settings = Proxy(FakeSite::host(), std::to_string(proxy.port()), "u", "pw");
    EXPECT_FALSE(BodyOf(SendRosterRequest(BuildRosterRequest(1, settings, {"game.example", 80}))));
    EXPECT_EQ(proxy.requests().size(), 1u);
}

}  // namespace
}  // namespace koravel::site
