#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "tests/site/site_fixture.h"

namespace koravel::site {
namespace {

// The bytes that must go out; with `proxyLines` the request is for game.example:80
// through a proxy, without them straight to the fake site.
std::string Wire(const std::string& id, const std::string& proxyLines = {}) {
    const bool direct = proxyLines.empty();
    return "POST " + std::string(direct ? "" : "http://game.example:80") +
           "/xml/school/roster.php?id=" + id + " HTTP/1.0\r\n" +
           (direct ? "Connection: keep-alive\r\n" : "") +
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 35\r\n" +
           proxyLines + "Host: " + (direct ? "127.0.0.1" : "game.example") +
           "\r\nAccept: text/html, */*\r\n"
           "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
           "\r\nauth_name=hvk&auth_pass=rmqtadzwle&";
}

TEST(RequestOnTheWire, EachSettingsCaseSendsExactlyItsBytes) {
    FakeSite site;
    const SiteAddress here = AddressOf(site), game{"game.example", 80};
    auto via = [&](const std::string& login, const std::string& password) {
        return Proxy(FakeSite::host(), std::to_string(site.port()), login, password);
    };
    auto proxied = [](const std::string& auth) {
        return Wire("345", "Proxy-Connection: keep-alive\r\n" +
                               (auth.empty() ? "" : "Proxy-Authorization: " + auth + "\r\n"));
    };
    using Case = std::tuple<std::int32_t, common::ProxySettings, SiteAddress, std::string>;
    const Case cases[] = {
        {345, {}, here, Wire("345")},
        {-7, {}, here, Wire("-7")},
        {345, via("", "secret"), game, proxied("")},
        {345, via("Aladdin", "open sesame"), game, proxied("Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==")},
        {345, via("\xC0", "\xFF"), game, proxied("Basic wDr/")},
        {345, via("user", ""), game, proxied("Basic dXNlcjo=")},
        {345, Proxy("", "81", "user", "pw"), here, Wire("345")},
        {345, {false, "user", "pw", "proxy.invalid", "abc"}, here, Wire("345")},
    };
    // Proxy variables of the environment must change nothing, either way.
    for (const char* variable : {"http_proxy=http://127.0.0.1:1", "no_proxy=*"})
        putenv(const_cast<char*>(variable));
    std::size_t sent = 0;
    for (const auto& [id, proxy, target, bytes] : cases) {
        site.push(Answer::Http("200 OK", ""));
        EXPECT_EQ(OutcomeOf(SendRosterRequest(BuildRosterRequest(id, proxy, target))), Outcome(""))
            << bytes;
        const auto seen = site.requests();
        EXPECT_EQ(seen.size(), ++sent);
        EXPECT_EQ(seen.empty() ? "" : seen.back(), bytes);
    }
    for (const char* variable : {"http_proxy=", "no_proxy="}) putenv(const_cast<char*>(variable));
}

TEST(RosterRequest, FormValuesKeepOnlyLettersAndDigits) {
    EXPECT_EQ(EncodeFormValue(std::string("AZaz09 &=+-.~\xE9\x00", 15)),
              "AZaz09+%26%3D%2B%2D%2E%7E%E9%00");
}

}  // namespace
}  // namespace koravel::site
