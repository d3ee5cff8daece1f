#include <thread>

#include "tests/site/site_fixture.h"

namespace koravel::site {
namespace {

using enum Failure;
using tools::FullBacklog;
using A = Answer;

const std::string kToClose = "HTTP/1.0 200 OK\r\n\r\n";
const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string kContinue = "HTTP/1.1 100 Continue\r\n";
const std::string kFinal = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nfinal";
const std::string kCap(1000, 'c');
const Limits kCapped{.maxBody = 1000};

// `count` header lines, each `length` bytes before the LF, CR included; then "ok".
Answer OkAfter(std::size_t length, int count = 1, const std::string& status = "200 OK") {
    std::string head = "HTTP/1.0 " + status + "\r\n";
    while (count-- > 0) head += "X-Pad: " + std::string(length - 8, 'a') + "\r\n";
    return A::Raw(head + "Content-Length: 2\r\n\r\nok");
}

TEST(Answer, SuccessesKeepTheBodyByteForByte) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    const std::string chunks = "5;x=1\r\nhello\r\n2\r\n\xC0\xFF\r\n0\r\nX: t\r\n\r\n";
    const std::string continues = kContinue + "\r\n" + kContinue + "Location: /\r\n\r\n";
    // clang-format off
    ExpectOutcomes({
        {"every byte value", A::Http("200 OK", bytes), {}, bytes},
        {"read to close", A::Raw(kToClose + bytes), {}, bytes},
        {"bare LF", A::Raw("HTTP/1.0 200 OK\nContent-Length: 4\n\nabcdEXTRA"), {}, "abcd"},
        {"no encoding", A::Http("200 OK", "p", "Content-Encoding: Identity \r\n"), {}, "p"},
        {"empty Location", A::Http("200 OK", "p", "Location:  \r\n"), {}, "p"},
        {"204", A::Raw("HTTP/1.0 204 No Content\r\nContent-Length: 3\r\n\r\nabc"), {}, ""},
        {"chunked", A::Raw(kChunked + chunks), {}, "hello\xC0\xFF"},
        {"100s skipped, headers and all", A::Raw(continues + kFinal), {}, "final"},
        {"16384-byte header line", OkAfter(16384), {}, "ok"},
        {"header text just under 256 KiB", OkAfter(27, 9000), {}, "ok"},
        {"body at the cap", A::Raw(kToClose + kCap), kCapped, kCap},
    });
    // clang-format on
}

// Answers that would hold a request or its memory for ever end at the bound beside them,
// shortened through Limits.
TEST(Answer, EachBrokenOrHostileAnswerFailsForItsReason) {
    const std::string promise = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + kCap.substr(950);
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'y') + "\r\n";
    const std::string wants = "Proxy-Authenticate: Basic\r\n";
    const std::string page64MiB(1u << 16, 'p');
    // clang-format off
    std::vector<AnswerCase> cases = {
        {"Location with 200", A::Http("200 OK", "p", "LOCATION:/x\r\n"), {}, Redirect},
        // Nothing asked for an encoding; the reader would see only noise.
        {"gzip", A::Http("200 OK", "gz", "content-encoding: gzip\r\n"), {}, UnsupportedEncoding},
        {"br, late", A::Http("200 OK", "b", "X: 1\r\nContent-Encoding: br\r\n"), {},
         UnsupportedEncoding},
        {"Location with 404", A::Http("404 Not Found", "p", "Location: /x\r\n"), {}, Redirect},
        {"102 before 200", A::Raw("HTTP/1.1 102 Processing\r\n\r\n" + kFinal), {}, FailureStatus},
        // From the proxy, and not retried.
        {"407", A::Http("407 Proxy Authentication Required", "", wants), {}, FailureStatus, true},
        {"16385-byte header line", OkAfter(16385), {}, Malformed},
        {"200 KB header line, over curl's bound", OkAfter(200 << 10), {}, Malformed},
        {"closed unanswered", A::Raw(""), {}, CutShort},
        {"headers unfinished", A::Raw("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n"), {}, CutShort},
        {"Content-Length larger than body", A::Raw(promise), {}, CutShort},
        {"reset mid-body", A::Reset(promise), {}, CutShort},
        {"close mid-chunk", A::Raw(kChunked + "64\r\n" + kCap.substr(950)), {}, CutShort},
        {"over the cap", A::Http("200 OK", kCap + "y"), kCapped, TooLarge},
        {"over the cap, to close", A::Raw(kToClose + kCap + "y"), kCapped, TooLarge},
        {"endless chunked", A::Endless(kChunked, chunk), {.idle = 2s, .maxBody = 1u << 20},
         TooLarge},
        // The default 32 MiB cap against a 64 MiB page, made as it is sent.
        {"64 MiB page", A::Repeated(kToClose, page64MiB, 1024), {}, TooLarge},
        {"silence", A::Silent("", 20s), {.idle = 300ms}, IdleTimeout},
        {"silence mid-body", A::Silent(promise, 20s), {.idle = 300ms}, IdleTimeout},
        // Bytes that are never a body byte do not count.
        {"endless extension", A::Drip(kChunked + "5;", "e", 1ms), {.idle = 500ms}, IdleTimeout},
        // Each byte in time for the idle bound; were the total bound broken, the size cap
        // would end it after 4 s.
        {"a byte every 200 ms", A::Drip(kToClose, "x", 200ms),
         {.idle = 1s, .total = 1500ms, .maxBody = 20}, TotalTimeout},
        // The header text, interim answers included, is capped at 256 KiB.
        {"20,000 header lines", OkAfter(27, 20000), {}, Malformed},
        {"100 forever", A::Endless("", kContinue + "\r\n"), {.idle = 2s}, Malformed},
    };
    for (const char* status : {"302 Found", "300 Choices"})
        cases.push_back({status, A::Http(status, "page"), {}, Redirect});
    for (const char* status : {"304 Not Modified", "404 Not Found", "500 Error", "199 Odd"})
        cases.push_back({status, A::Http(status, "page"), {}, FailureStatus});
    for (const std::string line : {"HTTP/1.0 OK", "HTTP/1.0 2OO OK", "HTTP/1.0 200OK", "junk", ""})
        cases.push_back({"status line", A::Raw(line + "\r\nContent-Length: 1\r\n\r\nx"), {},
                         Malformed});
    // clang-format on
    ExpectOutcomes(cases);
}

// A script is told which status failed and whether the proxy said it (the command-line
// tests see the 407 come through).
TEST(Answer, AFailureStatusIsNamedInTheReason) {
    EXPECT_EQ(FailureReason(FailureStatus, 404, true), "failure status 404");
    EXPECT_EQ(FailureReason(IdleTimeout, 200, true), "idle timeout");
    // However large the head after it: past our bound on a line or on the head, or curl's.
    for (const auto& [length, count] : {std::pair{20u << 10, 1}, {200u << 10, 1}, {27u, 20000}}) {
        FakeSite site;
        site.push(OkAfter(length, count, "407 Proxy Authentication Required"));
        const auto proxy = Proxy(FakeSite::host(), std::to_string(site.port()));
        EXPECT_EQ(SendRosterRequest(BuildRosterRequest(1, proxy, {"game.example", 80})).reason(),
                  "failure status 407 from the proxy")
            << length;
    }
}

// The total bound of 3 s turns a missing connect bound into a different reason, not a hang.
TEST(Connection, EachUnreachableSiteFailsForItsReason) {
    std::vector<std::pair<RosterRequest, Failure>> cases = {
        {BuildRosterRequest(1, {}, {"127.0.0.1", FakeSite().port()}), ConnectionRefused},
        {BuildRosterRequest(1, {}, {"koravel.invalid", 80}), NameNotResolved},
        {BuildRosterRequest(1, Proxy("proxy.invalid", "8080"), {"a.b", 80}), NameNotResolved},
    };
#ifndef _WIN32  // only Linux drops a connection its full queue has no room for
    const FullBacklog backlog;
    cases.push_back({BuildRosterRequest(1, {}, {"127.0.0.1", backlog.port()}), ConnectTimeout});
#endif
    for (const auto& [request, reason] : cases) {
        EXPECT_EQ(OutcomeOf(SendRosterRequest(request, {.connect = 300ms, .total = 3s})),
                  Outcome(reason))
            << request.connectHost;
    }
}

// Raised from another thread while the request waits on a silent site or on a connect that
// never completes; the bounds are long enough that only the flag can end it.
TEST(Cancel, RaisedFlagEndsTheRequestWhereverItWaits) {
    FakeSite silent;
    silent.push(A::Silent("", 20s));
    std::vector<std::pair<SiteAddress, std::chrono::milliseconds>> cases = {
        {AddressOf(silent), 300ms}, {AddressOf(silent), 0ms},  // raised before the start
    };
#ifndef _WIN32
    const FullBacklog backlog;
    cases.push_back({{"127.0.0.1", backlog.port()}, 300ms});
#endif
    for (const auto& [where, raiseAfter] : cases) {
        std::atomic<bool> cancel = raiseAfter == 0ms;
        std::jthread raiser([&cancel, delay = raiseAfter] {
            std::this_thread::sleep_for(delay);
            cancel = true;
        });
        const Reply reply = SendRosterRequest(BuildRosterRequest(1, {}, where),
                                              {.connect = 3s, .idle = 3s, .total = 3s}, &cancel);
        EXPECT_EQ(OutcomeOf(reply), Outcome(Cancelled)) << where.port << " " << raiseAfter.count();
    }
    EXPECT_EQ(silent.connections(), 1u);  // nothing is sent once the flag stands
}

}  // namespace
}  // namespace koravel::site
