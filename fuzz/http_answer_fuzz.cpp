// Any bytes as the site's whole answer, then a close: the request must end within its
// bounds, a success must be one the answer rules allow, and a reason only the rules give
// (a redirect, a failure status, an encoding) must be the one they give.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "site/answer.h"
#include "site/transfer.h"
#include "tools/fake_site/fake_site.h"

namespace {

using namespace std::chrono_literals;
using koravel::site::AnswerHead;
using koravel::site::Failure;
using koravel::tools::FakeSite;

// The answer's head through the rules, line by line as a client receives it: the
// verdict, and the reason for a refusal. A head that never ends gives More.
std::pair<AnswerHead::Verdict, std::optional<Failure>> Rules(std::string_view answer) {
    AnswerHead head;
    for (std::size_t lf = answer.find('\n'); lf != std::string_view::npos; lf = answer.find('\n')) {
        const AnswerHead::Verdict verdict = head.line(answer.substr(0, lf + 1));
        answer.remove_prefix(lf + 1);
        if (verdict != AnswerHead::Verdict::More) return {verdict, head.failure()};
    }
    return {AnswerHead::Verdict::More, std::nullopt};
}

struct Harness {
    koravel::site::CurlGlobal curl;
    FakeSite site;
    koravel::site::RosterRequest request =
        koravel::site::BuildRosterRequest(1, {}, {FakeSite::host(), site.port()});
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness harness;
    const std::string answer(reinterpret_cast<const char*>(data), size);
    harness.site.push(koravel::tools::Answer::Raw(answer));
    const auto reply = koravel::site::SendRosterRequest(
        harness.request, {.connect = 1000ms, .idle = 200ms, .maxBody = 1u << 20});
    const auto [verdict, reason] = Rules(answer);
    if (reply.ok() && (verdict != AnswerHead::Verdict::Body || reply.body.size() > (1u << 20)))
        std::abort();
    switch (reply.failure.value_or(Failure::Malformed)) {
        case Failure::Redirect:
        case Failure::FailureStatus:
        case Failure::UnsupportedEncoding:
            if (verdict != AnswerHead::Verdict::Refused || reply.failure != reason) std::abort();
            break;
        case Failure::NameNotResolved:
        case Failure::ConnectionRefused:
        case Failure::ConnectTimeout:
        case Failure::TotalTimeout:
        case Failure::Cancelled:
            std::abort();  // the site was there, answered at once and closed
        default:
            break;
    }
    // One exchange at a time: the site's side of this one must be over before the next.
    harness.site.waitUntilIdle(2s);
    harness.site.forgetRequests();
    return 0;
}
