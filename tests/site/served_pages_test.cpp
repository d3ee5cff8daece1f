#include <arpa/inet.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "survey/scan.h"
#include "tests/site/site_fixture.h"

namespace koravel::site {
namespace {

// What the demo site serves must read like the game site's pages, whichever way the
// program asks for them.
TEST(DemoSitePages, ReadCleanlyDirectAndThroughTheProxyPath) {
    FakeSite site;
    site.servePages();
    const auto viaSite = Proxy(FakeSite::host(), std::to_string(site.port()));
    for (const std::int32_t id : {1, -7, 2147483647}) {
        const Reply direct = SendRosterRequest(BuildRosterRequest(id, {}, AddressOf(site)));
        ASSERT_TRUE(direct.ok()) << id;
        EXPECT_EQ(
            OutcomeOf(SendRosterRequest(BuildRosterRequest(id, viaSite, {"game.example", 80}))),
            Outcome(direct.body));
        survey::TeamList list;
        ASSERT_NO_THROW(survey::ScanTeam(list, id, direct.body, ","));
        EXPECT_FALSE(list.at(0).caption.empty()) << id;
    }
}

constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";

bool Listening(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// tinyproxy in the foreground on a loopback port just freed, until the end of the scope.
struct Tinyproxy {
    explicit Tinyproxy(const std::string& configLine) {
        std::ofstream(config) << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                              << "Timeout 10\nLogLevel Critical\n"
                              << configLine << "\n";
        if ((pid = ::fork()) == 0) {
            ::execl(kTinyproxy, kTinyproxy, "-d", "-c", config.c_str(), nullptr);
            ::_exit(127);
        }
        for (int tries = 0; tries < 250 && !Listening(port); ++tries)
            std::this_thread::sleep_for(20ms);
    }
    ~Tinyproxy() {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        std::filesystem::remove(config);
    }

    const std::uint16_t port = FakeSite().port();
    const std::string config = std::filesystem::temp_directory_path() /
                               ("koravel-tinyproxy-" + std::to_string(port) + ".conf");
    pid_t pid = -1;
};

TEST(RealProxy, TinyproxyPassesTheFormAndTakesOnlyTheRightBasicLogin) {
    if (::access(kTinyproxy, X_OK) != 0) GTEST_SKIP() << kTinyproxy << " is not installed";
    FakeSite site;
    site.servePages();
    auto fetch = [&](const Tinyproxy& proxy, std::string login = {}, std::string password = {}) {
        const auto settings = Proxy(FakeSite::host(), std::to_string(proxy.port), login, password);
        return OutcomeOf(
            SendRosterRequest(BuildRosterRequest(345, settings, AddressOf(site)), {.idle = 5s}));
    };
    {
        const Tinyproxy open("");
        ASSERT_TRUE(Listening(open.port));
        EXPECT_EQ(fetch(open), Outcome(tools::DemoPage(345)));
        const auto seen = site.requests();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_TRUE(seen[0].starts_with("POST /xml/school/roster.php?id=345 HTTP/1.")) << seen[0];
        EXPECT_TRUE(seen[0].ends_with("\r\n\r\nauth_name=hvk&auth_pass=rmqtadzwle&")) << seen[0];
    }
    const Tinyproxy guarded("BasicAuth koravel s3cret");
    ASSERT_TRUE(Listening(guarded.port));
    EXPECT_EQ(fetch(guarded), Outcome(Failure::FailureStatus));
    EXPECT_EQ(fetch(guarded, "koravel", "wrong"), Outcome(Failure::FailureStatus));
    EXPECT_EQ(site.requests().size(), 1u);
    EXPECT_EQ(fetch(guarded, "koravel", "s3cret"), Outcome(tools::DemoPage(345)));
}

}  // namespace
}  // namespace koravel::site
