#pragma once

#include <string>

namespace koravel::common {

// The Proxy tab's state, as typed: the port stays text until a request converts it.
// Texts are Windows-1251.
struct ProxySettings {
    bool useProxy = false;
    std::string login;
    std::string password;  // plain; only the store scrambles it
    std::string server;
    std::string port;

    friend bool operator==(const ProxySettings&, const ProxySettings&) = default;
};

}  // namespace koravel::common
