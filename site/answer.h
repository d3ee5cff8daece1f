#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace koravel::site {

// Why a request brought no page. The user of the window sees one message for all of
// them; the reason is for the command line.
enum class Failure {
    NameNotResolved,
    ConnectionRefused,
    ConnectTimeout,
    IdleTimeout,
    TotalTimeout,
    TooLarge,
    FailureStatus,
    Redirect,
    CutShort,
    Malformed,
    UnsupportedEncoding,
    Cancelled,
};

std::string_view FailureName(Failure failure);

// The reason as the command line tells it; a failure status names its number ("failure
// status 404", "failure status 407 from the proxy").
std::string FailureReason(Failure failure, int status, bool viaProxy);

// A header line may be this long, CR included and LF not. The whole header text of an
// exchange, interim answers included, is capped too, so a site that never ends its
// headers (or sends "100 Continue" for ever) cannot keep a request alive or grow memory.
inline constexpr std::size_t kMaxHeaderLine = 16384;
inline constexpr std::size_t kMaxHeaderBytes = 256u << 10;

// The rules for the head of an answer, given its lines as they arrive: interim "100"
// blocks are skipped; a redirect (a 3xx other than 304, or any non-empty Location) fails,
// so does any other status outside 200-299 and a body in a content encoding nobody asked
// for. The verdict comes as soon as the final block is whole, before any of its body.
class AnswerHead final {
public:
    enum class Verdict { More, Body, Refused };

    // One line with its line end (LF or CR LF), the status line included.
    Verdict line(std::string_view line);

    // A head too large to read whole (a bound of ours or of the transfer's): the status,
    // once its line was read, still names the failure; a success or none is Malformed.
    Verdict tooLarge();

    // For Refused.
    std::optional<Failure> failure() const { return m_failure; }
    // The status of the last block seen; 0 before the first.
    int status() const { return m_status; }

private:
    Verdict refuse(Failure why);
    // The failure the block's status and Location give, if any.
    std::optional<Failure> statusFailure() const;

    std::size_t m_bytes = 0;
    bool m_atStatusLine = true;
    bool m_location = false;  // a non-empty Location in the current block
    bool m_encoded = false;   // a Content-Encoding other than identity
    int m_status = 0;
    std::optional<Failure> m_failure;
};

}  // namespace koravel::site
