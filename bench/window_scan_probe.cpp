// Times a scan of TEAMS teams of a site on 127.0.0.1:PORT in the real window, offscreen,
// against the same scan without the window (survey::Scan as the command line runs
// it), ROUNDS times each, alternating which goes first, after one warm-up of each. It
// prints the medians of both times and of the per-round ratios.
// usage: koravel_window_scan_probe PORT TEAMS ROUNDS WORKDIR
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "site/transfer.h"
#include "survey/scan.h"

#include "bench/median.h"
#include "bench/probe_support.h"

namespace {

using koravel::bench::Median;
using koravel::bench::ParseNumber;
using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int teams = 0;
    int rounds = 0;
    if (argc != 5 || !ParseNumber(argv[1], port) || !ParseNumber(argv[2], teams) ||
        !ParseNumber(argv[3], rounds) || rounds == 0)
        return 2;
    koravel::bench::WindowRun run(argc, argv, argv[4], port, teams, std::chrono::seconds(600));
    const std::vector<std::int32_t>& ids = run.ids;
    koravel::app::MainWindow& form = run.window;

    bool complete = true;
    auto inWindow = [&] {
        const auto start = Clock::now();
        koravel::bench::ScanToEnd(form);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        complete = complete && form.teamList().size() == ids.size();
        return ms;
    };
    const koravel::site::SiteAddress site{"127.0.0.1", port};
    auto headless = [&] {
        const auto start = Clock::now();
        koravel::survey::TeamList list;
        const std::size_t failed = koravel::bench::HeadlessScan(ids, site, list);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        complete = complete && failed == 0 && list.size() == ids.size();
        return ms;
    };

    // Connections, fonts and the first layout of a full list stay out of the figures.
    headless();
    inWindow();
    std::vector<double> windowMs;
    std::vector<double> headlessMs;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        double w = 0;
        double h = 0;
        if (round % 2 == 0) {
            w = inWindow();
            h = headless();
        } else {
            h = headless();
            w = inWindow();
        }
        windowMs.push_back(w);
        headlessMs.push_back(h);
        ratios.push_back(w / h);
    }

    // Integers only: QApplication has set LC_NUMERIC from the environment.
    std::printf("teams=%d rounds=%d window_us=%lld headless_us=%lld ratio_ppm=%lld boxes=%d\n",
                teams, rounds, std::llround(Median(windowMs) * 1e3),
                std::llround(Median(headlessMs) * 1e3), std::llround(Median(ratios) * 1e6),
                run.boxes);
    return complete && run.boxes == 0 ? 0 : 1;
}
