#include <thread>

#include "tests/site/site_fixture.h"

namespace koravel::site {
namespace {

using enum Failure;
using tools::FullBacklog;

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

// A loopback port nobody listens on.
std::uint16_t ClosedPort() { return FakeSite().port(); }

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

// Every answer that brings no page, each with the reason it must give. Sites that would
// hold a request for ever, or make it hold unbounded memory, end at the bound beside them,
// shortened through Limits.
TEST(Answer, EachBrokenOrHostileAnswerFailsForItsReason) {
    const Limits capMiB{.idle = 2s, .maxBody = 1u << 20};
    const std::string promise =
        "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(50, 'h');
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'y') + "\r\n";
    const std::string piece(1u << 16, 'p');
    const std::string proxyWants = "Proxy-Authenticate: Basic\r\n";
    std::vector<AnswerCase> cases = {
        {"Location with 200", Answer::Http("200 OK", "p", "LOCATION:/x\r\n"), {}, Redirect},
        {"Location with 404", Answer::Http("404 Not Found", "p", "Location: /x\r\n"), {}, Redirect},
        {"102 before 200",
         Answer::Raw("HTTP/1.1 102 Processing\r\n\r\n" + kFinal),
         {},
         FailureStatus},
        {"407 from the proxy, not retried",
         Answer::Http("407 Proxy Authentication Required", "", proxyWants),
         {},
         FailureStatus,
         true},
        {"16385-byte header line", OkAfter(16385), {}, Malformed},
        {"closed unanswered", Answer::Raw(""), {}, CutShort},
        {"headers unfinished",
         Answer::Raw("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n"),
         {},
         CutShort},
        {"Content-Length larger than body", Answer::Raw(promise), {}, CutShort},
        {"reset mid-body", Answer::Reset(promise), {}, CutShort},
        {"close mid-chunk", Answer::Raw(kChunked + "64\r\n" + std::string(50, 'h')), {}, CutShort},
        {"over the cap", Answer::Http("200 OK", kCap + "y"), kCapped, TooLarge},
        {"over the cap, to close", Answer::Raw(kToClose + kCap + "y"), kCapped, TooLarge},
        {"endless chunked", Answer::Endless(kChunked, chunk), capMiB, TooLarge},
        // The default 32 MiB cap against a 64 MiB page, made as it is sent.
        {"64 MiB page", Answer::Repeated(kToClose, piece, 1024), {}, TooLarge},
        {"64 MiB page, Content-Length",
         Answer::Repeated("HTTP/1.0 200 OK\r\nContent-Length: 67108864\r\n\r\n", piece, 1024),
         {},
         TooLarge},
        {"silence", Answer::Silent("", 20s), {.idle = 300ms}, IdleTimeout},
        {"silence mid-body", Answer::Silent(promise, 20s), {.idle = 300ms}, IdleTimeout},
        // Bytes that are never a body byte do not count.
        {"endless chunk extension",
         Answer::Drip(kChunked + "5;", "e", 1ms),
         {.idle = 500ms},
         IdleTimeout},
        // Each byte in time for the idle bound; the whole still ends at the total bound
        // (or, were that broken, at the size cap after 4 s).
        {"a byte every 200 ms",
         Answer::Drip(kToClose, "x", 200ms),
         {.idle = 1s, .total = 1500ms, .maxBody = 20},
         TotalTimeout},
        // The header text, interim answers included, is capped at 256 KiB.
        {"20,000 header lines", OkAfter(27, 20000), {}, Malformed},
        {"200 KB header line", OkAfter(200000), {}, Malformed},
        {"100 forever", Answer::Endless("", kContinue + "\r\n"), {.idle = 2s}, Malformed},
    };
    for (const char* status : {"301 Moved", "302 Found", "300 Choices"}) {
        cases.push_back({status, Answer::Http(status, "page"), {}, Redirect});
    }
    for (const char* status : {"304 Not Modified", "404 Not Found", "500 Error", "199 Odd"}) {
        cases.push_back({status, Answer::Http(status, "page"), {}, FailureStatus});
    }
    for (const char* line : {"HTTP/1.0 OK", "HTTP/1.0 2OO OK", "HTTP/1.0 200OK", "junk", ""}) {
        cases.push_back({line,
                         Answer::Raw(line + std::string("\r\nContent-Length: 1\r\n\r\nx")),
                         {},
                         Malformed});
    }
    ExpectOutcomes(cases);
}

// Each case would outlast its bound by far: the total bound of 3 s turns a missing connect
// bound into a different reason instead of a hang.
TEST(Connection, EachUnreachableSiteFailsForItsReason) {
    const FullBacklog backlog;
    const struct {
        const char* what;
        RosterRequest request;
        Failure reason;
    } cases[] = {
        {"closed port", BuildRosterRequest(1, {}, {"127.0.0.1", ClosedPort()}), ConnectionRefused},
        {"unknown name", BuildRosterRequest(1, {}, {"koravel.invalid", 80}), NameNotResolved},
        {"unknown proxy name", BuildRosterRequest(1, Proxy("proxy.invalid", "8080"), {"a.b", 80}),
         NameNotResolved},
        {"SYN dropped", BuildRosterRequest(1, {}, {"127.0.0.1", backlog.port()}), ConnectTimeout},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutcomeOf(SendRosterRequest(c.request, {.connect = 300ms, .total = 3s})),
                  Outcome(c.reason))
            << c.what;
    }
}

// The flag is raised from another thread while the request waits on a silent site or on a
// connect that never completes; each bound is long enough that only the flag can end it
// with this reason.
TEST(Cancel, RaisedFlagEndsTheRequestWhereverItWaits) {
    FakeSite silent;
    silent.push(Answer::Silent("", 20s));
    const FullBacklog backlog;
    const struct {
        const char* what;
        SiteAddress where;
        std::chrono::milliseconds raiseAfter;
    } cases[] = {
        {"site silent", AddressOf(silent), 300ms},
        {"connecting", {"127.0.0.1", backlog.port()}, 300ms},
        {"raised before the start", AddressOf(silent), 0ms},
    };
    for (const auto& c : cases) {
        std::atomic<bool> cancel = c.raiseAfter == 0ms;
        std::jthread raiser([&] {
            std::this_thread::sleep_for(c.raiseAfter);
            cancel = true;
        });
        const Reply reply = SendRosterRequest(BuildRosterRequest(1, {}, c.where),
                                              {.connect = 3s, .idle = 3s, .total = 3s}, &cancel);
        EXPECT_EQ(OutcomeOf(reply), Outcome(Cancelled)) << c.what;
    }
    EXPECT_EQ(silent.connections(), 1u);  // nothing is sent once the flag stands
}

}  // namespace
}  // namespace koravel::site
