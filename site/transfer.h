#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/proxy_settings.h"
#include "site/answer.h"
#include "site/request.h"

namespace koravel::site {

// Bounds on one request; past any of them the request has failed.
struct Limits {
    std::chrono::milliseconds connect{15000};
    std::chrono::milliseconds idle{30000};    // longest stretch without a byte received
    std::chrono::milliseconds total{120000};  // the whole exchange, however it drips
    std::size_t maxBody = 32u << 20;
};

// The outcome of one request: the body, or the reason there is none.
struct Reply {
    std::string body;
    std::optional<Failure> failure;
    int status = 0;  // of the last answer seen, 0 when none came
    bool viaProxy = false;

    bool ok() const { return !failure; }
    // "failure status 407 from the proxy", "connection refused", ...
    std::string reason() const;
};

// Sends the request on a new connection. Never throws for a network fault. Safe to call
// off the GUI thread; raising `cancel` from any thread (or a signal handler) drops the
// request within a tenth of a second.
Reply SendRosterRequest(const RosterRequest& request, const Limits& limits = {},
                        const std::atomic<bool>* cancel = nullptr);

// One team's roster page, as every caller fetches it. Throws common::Error for a proxy
// port that is not a number, before anything is sent.
Reply FetchRoster(std::int32_t teamId, const common::ProxySettings& proxy, const SiteAddress& site,
                  const Limits& limits = {}, const std::atomic<bool>* cancel = nullptr);

// curl_global_init for the process lifetime; construct once in main() before any thread.
class CurlGlobal final {
public:
    CurlGlobal();
    ~CurlGlobal();
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

}  // namespace koravel::site
