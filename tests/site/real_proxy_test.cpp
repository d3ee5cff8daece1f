#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "site/roster_request.h"
#include "tools/fake_site/fake_site.h"

namespace koravel::site {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tools::FakeSite;

constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";

// Connects to a loopback port, or with port 0 finds a free one; returns the port or 0.
std::uint16_t Loopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    const bool ok = port != 0
                        ? ::connect(fd, raw, length) == 0
                        : ::bind(fd, raw, length) == 0 && ::getsockname(fd, raw, &length) == 0;
    ::close(fd);
    return ok ? ntohs(address.sin_port) : 0;
}

// tinyproxy in the foreground on a free loopback port, with a config in a temp dir.
class Tinyproxy final {
public:
    explicit Tinyproxy(const std::string& basicAuth = {}) {
        std::string dir = (fs::temp_directory_path() / "koravel-proxy-XXXXXX").string();
        if (::mkdtemp(dir.data()) == nullptr) return;
        m_dir = dir;
        m_port = Loopback(0);
        const std::string config = (m_dir / "tinyproxy.conf").string();
        std::ofstream(config) << "Port " << m_port << "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                              << "Timeout 10\nPidFile \"" << (m_dir / "pid").string() << "\"\n"
                              << "LogFile \"" << (m_dir / "log").string() << "\"\n"
                              << (basicAuth.empty() ? "" : "BasicAuth " + basicAuth + "\n");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(kTinyproxy, kTinyproxy, "-d", "-c", config.c_str(), nullptr);
            ::_exit(127);
        }
        for (int tries = 0; tries < 250 && Loopback(m_port) == 0; ++tries) {
            std::this_thread::sleep_for(20ms);
        }
    }
    ~Tinyproxy() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        std::error_code ignored;
        if (!m_dir.empty()) fs::remove_all(m_dir, ignored);
    }
    Tinyproxy(const Tinyproxy&) = delete;
    Tinyproxy& operator=(const Tinyproxy&) = delete;

    bool ready() const { return m_port != 0 && Loopback(m_port) != 0; }
    std::string log() const {
        std::ostringstream text;
        text << std::ifstream(m_dir / "log").rdbuf();
        return text.str();
    }
    common::ProxySettings settings(std::string login = {}, std::string password = {}) const {
        return {true, std::move(login), std::move(password), "127.0.0.1", std::to_string(m_port)};
    }

private:
    fs::path m_dir;
    std::uint16_t m_port = 0;
    pid_t m_pid = -1;
};

class RealProxy : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kTinyproxy, X_OK) != 0) GTEST_SKIP() << kTinyproxy << " is not installed";
        m_site.servePages();
    }
    std::optional<std::string> fetch(const common::ProxySettings& proxy, std::int32_t id) {
        return SendRosterRequest(BuildRosterRequest(id, proxy, {FakeSite::host(), m_site.port()}),
                                 {.idle = 5s});
    }

    FakeSite m_site;
};

TEST_F(RealProxy, PageArrivesThroughTinyproxyWithTheFormIntact) {
    const Tinyproxy proxy;
    ASSERT_TRUE(proxy.ready()) << proxy.log();
    EXPECT_EQ(fetch(proxy.settings(), 345), tools::DemoPage(345)) << proxy.log();
    const auto seen = m_site.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].starts_with("POST /xml/school/roster.php?id=345 HTTP/1.")) << seen[0];
    EXPECT_TRUE(seen[0].ends_with("\r\n\r\nauth_name=hvk&auth_pass=rmqtadzwle&")) << seen[0];
}

TEST_F(RealProxy, ProxyRequiringBasicAuthorizationTakesOnlyTheRightLogin) {
    const Tinyproxy proxy("koravel s3cret");
    ASSERT_TRUE(proxy.ready()) << proxy.log();
    EXPECT_EQ(fetch(proxy.settings(), 7), std::nullopt);
    EXPECT_EQ(fetch(proxy.settings("koravel", "wrong"), 7), std::nullopt);
    EXPECT_EQ(m_site.requests().size(), 0u);
    EXPECT_EQ(fetch(proxy.settings("koravel", "s3cret"), 7), tools::DemoPage(7)) << proxy.log();
}

}  // namespace
}  // namespace koravel::site
