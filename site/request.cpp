#include "site/request.h"

#include <array>
#include <cstdint>

#include "common/number_text.h"

namespace koravel::site {
namespace {

// The one site account every request carries; not configurable.
constexpr std::array<std::pair<std::string_view, std::string_view>, 2> kFormFields{{
    {"auth_name", "hvk"},
    {"auth_pass", "rmqtadzwle"},
}};

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto v = std::uint32_t(std::uint8_t(bytes[i])) << 16 |
                       std::uint32_t(std::uint8_t(bytes[i + 1])) << 8 | std::uint8_t(bytes[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16;
        if (rest == 2) v |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string FormBody() {
    std::string body;
    for (const auto& [name, value] : kFormFields) {
        body.append(name).append("=").append(EncodeFormValue(value)).append("&");
    }
    return body;
}

}  // namespace

const std::string& DefaultSiteHost() {
    static const std::string host = KORAVEL_SITE_HOST_NAME;
    return host;
}

const std::string& DefaultSiteWebHost() {
    static const std::string host = KORAVEL_SITE_WEB_HOST_NAME;
    return host;
}

std::string BrowserLink(std::string_view webHost, std::int32_t teamId) {
    std::string link = "http://";
    link.append(webHost).append(kRosterPath).append(std::to_string(teamId));
    return link;
}

std::string EncodeFormValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9')) {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

RosterRequest BuildRosterRequest(std::int32_t teamId, const common::ProxySettings& proxy,
                                 const SiteAddress& site) {
    std::string login;
    std::string password;
    std::string server;
    int proxyPort = 0;
    if (proxy.useProxy) {
        login = proxy.login;
        password = proxy.password;
        server = proxy.server;
        proxyPort = common::ParseInteger(proxy.port);
    }

    RosterRequest request;
    request.body = FormBody();
    request.viaProxy = !server.empty();
    const std::string path = std::string(kRosterPath) + std::to_string(teamId);
    if (request.viaProxy) {
        request.connectHost = server;
        request.connectPort = proxyPort;
        // The port is written out even when it is the scheme's default.
        request.target = "http://" + site.host + ":" + std::to_string(site.port) + path;
    } else {
        request.connectHost = site.host;
        request.connectPort = site.port;
        request.target = path;
    }

    auto& headers = request.headers;
    if (!request.viaProxy) headers.emplace_back("Connection", "keep-alive");
    headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    headers.emplace_back("Content-Length", std::to_string(request.body.size()));
    if (request.viaProxy) {
        headers.emplace_back("Proxy-Connection", "keep-alive");
        if (!login.empty()) {
            headers.emplace_back("Proxy-Authorization", "Basic " + Base64(login + ":" + password));
        }
    }
    headers.emplace_back("Host", site.host);
    headers.emplace_back("Accept", "text/html, */*");
    headers.emplace_back("User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
    return request;
}

}  // namespace koravel::site
