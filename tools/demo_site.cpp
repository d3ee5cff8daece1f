// koravel-demo-site [--port N] [--port-file PATH] [--fail ID] [--slow ID] [--huge ID]...
// Serves a believable roster page for any team id on 127.0.0.1 until SIGINT or SIGTERM.
// Both the origin-form target of a direct request and the absolute-form target of a
// proxy request are answered, so the program reaches it through its proxy settings.
// To show the window's bad days, a team given with --fail answers 503, one given with
// --slow says nothing for a minute, one given with --huge has a 20 MB name.

#include <signal.h>

#include <charconv>
#include <cstdint>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"

namespace {

int Usage() {
    std::cerr << "usage: koravel-demo-site [--port N] [--port-file PATH] [--fail ID] [--slow ID]"
                 " [--huge ID]...\n";
    return 2;
}

template <typename Number>
bool ParseWhole(std::string_view text, Number& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size();
}

koravel::tools::Answer HugeNameAnswer(std::int32_t teamId) {
    koravel::tools::PageSpec team = koravel::tools::DemoTeam(teamId);
    team.teamName.assign(20 * 1024 * 1024, '\xC6');  // "Ж" in Windows-1251
    return koravel::tools::Answer::Http("200 OK", koravel::tools::MakeRosterPage(team));
}

}  // namespace

int main(int argc, char** argv) {
    using koravel::tools::Answer;
    std::uint16_t port = 0;
    std::string portFile;
    std::vector<std::pair<std::int32_t, Answer>> overrides;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string_view value = argv[++i];
        std::int32_t teamId = 0;
        if (arg == "--port") {
            if (!ParseWhole(value, port)) return Usage();
        } else if (arg == "--port-file") {
            portFile = value;
        } else if (arg == "--fail" && ParseWhole(value, teamId)) {
            overrides.emplace_back(teamId, Answer::Http("503 Service Unavailable", "busy\n"));
        } else if (arg == "--slow" && ParseWhole(value, teamId)) {
            overrides.emplace_back(teamId, Answer::Silent("", std::chrono::minutes(1)));
        } else if (arg == "--huge" && ParseWhole(value, teamId)) {
            overrides.emplace_back(teamId, HugeNameAnswer(teamId));
        } else {
            return Usage();
        }
    }

    // Blocked before the site starts its threads, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        koravel::tools::FakeSite site(port);
        site.servePages();
        for (auto& [teamId, answer] : overrides) site.overrideTeam(teamId, std::move(answer));
        if (!portFile.empty()) {
            std::ofstream file(portFile, std::ios::trunc);
            file << site.port() << "\n";
            if (!file.flush()) {
                std::cerr << "koravel-demo-site: cannot write " << portFile << "\n";
                return 1;
            }
        }
        std::cout << "Serving roster pages on http://" << site.host() << ":" << site.port()
                  << "/xml/school/roster.php?id=<team>" << std::endl;
        int signal = 0;
        sigwait(&stopSignals, &signal);
    } catch (const std::exception& error) {
        std::cerr << "koravel-demo-site: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
