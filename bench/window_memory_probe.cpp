// Runs a scan of TEAMS teams in the real window, offscreen, against a site on
// 127.0.0.1:PORT, then prints its peak memory: the program's whole footprint for a scan.
// usage: koravel_window_memory_probe PORT TEAMS WORKDIR
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "app/main_window.h"
#include "site/transfer.h"

#include "bench/probe_support.h"

int main(int argc, char** argv) {
    using koravel::bench::ParseNumber;
    int port = 0;
    int teams = 0;
    if (argc != 4 || !ParseNumber(argv[1], port) || !ParseNumber(argv[2], teams)) return 2;
    const std::filesystem::path work = argv[3];
    std::vector<std::int32_t> ids(static_cast<std::size_t>(teams));
    std::iota(ids.begin(), ids.end(), 10001);
    koravel::bench::WriteDivision(work, ids);

    koravel::bench::FailAfter(std::chrono::seconds(300));
    const koravel::site::CurlGlobal curl;
    QApplication app(argc, argv);
    koravel::app::MainWindow form(koravel::bench::WindowOptions(work, port));
    form.show();

    // A failed request would wait for its message box to be answered.
    int failed = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] { failed += koravel::bench::AnswerBox(); });
    answer.start(50);

    koravel::bench::ScanToEnd(form);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("rows=%zu failed=%d peak_kib=%ld maxrss_kib=%ld\n", form.teamList().size(), failed,
                koravel::bench::PeakKiB(), usage.ru_maxrss);
    return failed == 0 && form.teamList().size() == static_cast<std::size_t>(teams) ? 0 : 1;
}
