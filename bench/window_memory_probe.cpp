// Runs a scan of TEAMS teams in the real window, offscreen, against a site on
// 127.0.0.1:PORT, then prints its peak memory: the program's whole footprint for a scan.
// usage: koravel_window_memory_probe PORT TEAMS WORKDIR
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "bench/probe_support.h"

int main(int argc, char** argv) {
    using koravel::bench::ParseNumber;
    int port = 0;
    int teams = 0;
    if (argc != 4 || !ParseNumber(argv[1], port) || !ParseNumber(argv[2], teams)) return 2;
    koravel::bench::WindowRun run(argc, argv, argv[3], port, teams, std::chrono::seconds(300));

    koravel::bench::ScanToEnd(run.window);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const std::size_t rows = run.window.teamList().size();
    std::printf("rows=%zu failed=%d peak_kib=%ld maxrss_kib=%ld\n", rows, run.boxes,
                koravel::bench::PeakKiB(), usage.ru_maxrss);
    return run.boxes == 0 && rows == static_cast<std::size_t>(teams) ? 0 : 1;
}
