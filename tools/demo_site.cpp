// koravel-demo-site [--port N] [--port-file PATH]
// Serves a believable roster page for any team id on 127.0.0.1 until SIGINT or SIGTERM.
// Both the origin-form target of a direct request and the absolute-form target of a
// proxy request are answered, so the program reaches it through its proxy settings.

#include <signal.h>

#include <charconv>
#include <cstdint>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "tools/fake_site/fake_site.h"

namespace {

int Usage() {
    std::cerr << "usage: koravel-demo-site [--port N] [--port-file PATH]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    std::string portFile;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string_view value = argv[++i];
        if (arg == "--port") {
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), port);
            if (error != std::errc() || end != value.data() + value.size()) return Usage();
        } else if (arg == "--port-file") {
            portFile = value;
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
