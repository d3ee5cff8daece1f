#include "site/answer.h"

#include <algorithm>
#include <array>

namespace koravel::site {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return Lower(x) == Lower(y); });
}

// The value of a header line named `name` (any letter case), trimmed; nullopt for
// another header.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':' ||
        !EqualsIgnoringCase(line.substr(0, name.size()), name))
        return std::nullopt;
    return Trimmed(line.substr(name.size() + 1));
}

// The number in the second blank-separated word of a status line.
std::optional<int> StatusCode(std::string_view line) {
    std::size_t p = line.find(' ');
    if (p == std::string_view::npos) return std::nullopt;
    while (p < line.size() && line[p] == ' ') ++p;
    const std::size_t end = std::min(line.find(' ', p), line.size());
    const std::string_view word = line.substr(p, end - p);
    if (word.empty() || word.size() > 9) return std::nullopt;
    int code = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return std::nullopt;
        code = code * 10 + (c - '0');
    }
    return code;
}

}  // namespace

std::string_view FailureName(Failure failure) {
    // In the order of the enumeration.
    static constexpr std::array<std::string_view, 12> kNames = {"name not resolved",
                                                                "connection refused",
                                                                "connect timeout",
                                                                "idle timeout",
                                                                "total timeout",
                                                                "too large",
                                                                "failure status",
                                                                "redirect",
                                                                "cut short",
                                                                "malformed answer",
                                                                "unsupported content encoding",
                                                                "cancelled"};
    static_assert(static_cast<std::size_t>(Failure::Cancelled) + 1 == kNames.size());
    const auto index = static_cast<std::size_t>(failure);
    return index < kNames.size() ? kNames[index] : "failed";
}

std::string FailureReason(Failure failure, int status, bool viaProxy) {
    std::string reason(FailureName(failure));
    if (failure != Failure::FailureStatus || status <= 0) return reason;
    reason += " " + std::to_string(status);
    // Only 407 is surely the proxy's own; other statuses may be the site's, passed on.
    if (viaProxy && status == 407) reason += " from the proxy";
    return reason;
}

AnswerHead::Verdict AnswerHead::refuse(Failure why) {
    m_failure = why;
    return Verdict::Refused;
}

std::optional<Failure> AnswerHead::statusFailure() const {
    if (m_location || (m_status >= 300 && m_status <= 399 && m_status != 304))
        return Failure::Redirect;
    if (m_status < 200 || m_status > 299) return Failure::FailureStatus;
    return std::nullopt;
}

AnswerHead::Verdict AnswerHead::tooLarge() {
    if (m_failure) return Verdict::Refused;
    // 100 is an interim answer: the final status is unknown.
    if (m_atStatusLine || m_status == 100) return refuse(Failure::Malformed);
    return refuse(statusFailure().value_or(Failure::Malformed));
}

AnswerHead::Verdict AnswerHead::line(std::string_view line) {
    if (m_failure) return Verdict::Refused;
    m_bytes += line.size();
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (line.size() > kMaxHeaderLine || m_bytes > kMaxHeaderBytes) return tooLarge();
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (m_atStatusLine) {
        const std::optional<int> code = StatusCode(line);
        if (!code) return refuse(Failure::Malformed);
        m_atStatusLine = false;
        m_status = *code;
        m_location = false;
        m_encoded = false;
        return Verdict::More;
    }
    if (!line.empty()) {
        if (const auto location = HeaderValue(line, "location"))
            m_location = m_location || !location->empty();
        if (const auto coding = HeaderValue(line, "content-encoding"))
            m_encoded = m_encoded || !(coding->empty() || EqualsIgnoringCase(*coding, "identity"));
        return Verdict::More;
    }
    // The block is whole, so a failure status is told apart from a redirect that names
    // its Location late; either way no byte of its body is waited for.
    if (m_status == 100) {
        m_atStatusLine = true;
        return Verdict::More;
    }
    if (const std::optional<Failure> failure = statusFailure()) return refuse(*failure);
    // Nothing asked for an encoding, and the page reader reads only plain text.
    if (m_encoded) return refuse(Failure::UnsupportedEncoding);
    return Verdict::Body;
}

}  // namespace koravel::site
