#pragma once

#include <string>

namespace koravel::common {

// The Proxy tab's state, as typed: the port stays text until a request converts it.
struct ProxySettings {
    bool UseProxy = false;
    std::string ProxyLogin;
    std::string ProxyPasswd;  // plain; only the store scrambles it
    std::string ProxyServer;
    std::string ProxyPort;

    friend bool operator==(const ProxySettings&, const ProxySettings&) = default;
};

}  // namespace koravel::common
