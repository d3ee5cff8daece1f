// Any bytes as the site's whole answer, then a close: the request must end within its
// bounds, may succeed only where the answer's rules allow it, and a failure names a reason
// the answer can give.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "site/roster_request.h"
#include "tools/fake_site/fake_site.h"

namespace {

using namespace std::chrono_literals;
using koravel::tools::FakeSite;

// Cuts the next line off `rest`: up to LF, without the LF and one CR before it.
std::optional<std::string_view> NextLine(std::string_view& rest) {
    const std::size_t lf = rest.find('\n');
    if (lf == std::string_view::npos) return std::nullopt;
    std::string_view line = rest.substr(0, lf);
    rest.remove_prefix(lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// The number in the second word of a status line, or -1.
long StatusOf(std::string_view line) {
    const std::size_t gap = line.find(' ');
    if (gap == std::string_view::npos) return -1;
    const std::size_t start = line.find_first_not_of(' ', gap);
    if (start == std::string_view::npos) return -1;
    const std::string_view word = line.substr(start, line.find(' ', start) - start);
    long code = 0;
    for (const char c : word) {
        if (c < '0' || c > '9' || code > 100000) return -1;
        code = code * 10 + (c - '0');
    }
    return word.empty() ? -1 : code;
}

bool IsLocation(std::string_view line) {
    std::string name(line.substr(0, 9));
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name == "location:" && line.find_first_not_of(" \t", 9) != std::string_view::npos;
}

// After any "100" answers: a 2xx status and no non-empty Location in its header block.
bool MaySucceed(std::string_view answer) {
    for (;;) {
        const auto status = NextLine(answer);
        if (!status) return false;
        const long code = StatusOf(*status);
        bool location = false;
        for (auto line = NextLine(answer); line && !line->empty(); line = NextLine(answer)) {
            location = location || IsLocation(*line);
        }
        if (code != 100) return code >= 200 && code <= 299 && !location;
    }
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
    using enum koravel::site::Failure;
    if (reply.ok() && !MaySucceed(answer)) std::abort();
    if (reply.ok() && reply.body.size() > (1u << 20)) std::abort();
    switch (reply.failure.value_or(Malformed)) {
        case NameNotResolved:
        case ConnectionRefused:
        case ConnectTimeout:
        case TotalTimeout:
        case Cancelled:
            std::abort();  // the site was there, answered at once and closed
        case Redirect:
        case FailureStatus:
            if (MaySucceed(answer)) std::abort();
            break;
        default:
            break;
    }
    // One exchange at a time: the site's side of this one must be over before the next.
    harness.site.waitUntilIdle(2s);
    harness.site.forgetRequests();
    return 0;
}
