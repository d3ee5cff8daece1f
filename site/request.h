#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/proxy_settings.h"

namespace koravel::site {

inline constexpr std::string_view kRosterPath = "/xml/school/roster.php?id=";

// Where the requests go. `port` is 80 for the game site; tests aim it at loopback.
struct SiteAddress {
    std::string host;
    int port = 80;
};

// SiteHost and SiteWebHost as built in, before any override from the settings.
const std::string& DefaultSiteHost();
const std::string& DefaultSiteWebHost();

// "http://" + webHost + path + id: the page a browser is sent to.
std::string BrowserLink(std::string_view webHost, std::int32_t teamId);

// One roster request as plain data: everything that goes on the wire.
struct RosterRequest {
    std::string connectHost;  // SiteHost, or the proxy server
    int connectPort = 80;
    bool viaProxy = false;
    std::string target;  // origin form directly, absolute form through the proxy
    std::vector<std::pair<std::string, std::string>> headers;  // in wire order
    std::string body;
};

// Builds the request for `teamId`. With the box ticked the four proxy texts are read and
// the port text is converted (throws common::Error "'<port>' is not a valid integer
// value" before anything is sent); the proxy is used when the server text is not empty.
// A non-empty login adds Basic proxy authorization.
RosterRequest BuildRosterRequest(std::int32_t teamId, const common::ProxySettings& proxy,
                                 const SiteAddress& site);

// A form value as the body carries it: A-Z, a-z and 0-9 stay, a blank becomes "+", every
// other byte "%XX" in uppercase hexadecimal.
std::string EncodeFormValue(std::string_view value);

}  // namespace koravel::site
