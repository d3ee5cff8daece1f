// Scans one team in the real window, offscreen, against a site on 127.0.0.1:PORT, and
// prints the longest the GUI thread went without serving its event loop and the peak
// memory. A ticker at 10 ms records the largest gap between its ticks: during the
// scan, while a conversion error's box is shown (answered after it has been up for a
// while) and while the list shows the row afterwards.
// usage: koravel_window_stall_probe PORT TEAM_ID WORKDIR
// A window that stalls past the give-up time or grows past the memory cap is measured
// where it stands and the probe leaves at once, with gave_up=1.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <QApplication>
#include <QTimer>

#include "app/main_window.h"
#include "site/transfer.h"

#include "bench/probe_support.h"

namespace {

using koravel::bench::ParseNumber;
using koravel::bench::PeakKiB;
using Clock = std::chrono::steady_clock;

constexpr auto kGiveUpAfter = std::chrono::seconds(10);
constexpr long kMemoryCapKiB = 2L * 1024 * 1024;
constexpr int kBoxShownMs = 300;
constexpr int kListShownMs = 300;

// Where the GUI thread was when a gap ended.
enum Phase { kIdle = 0, kScan = 1, kBox = 2, kList = 3 };

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::atomic<std::int64_t> g_lastTickNs{0};
std::atomic<std::int64_t> g_worstGapNs{0};
std::atomic<int> g_worstPhase{kIdle};
std::atomic<int> g_lastPhase{kIdle};
std::atomic<int> g_boxes{0};

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Integers only: QApplication has set LC_NUMERIC from the environment.
void Report(std::int64_t stallNs, int phase, bool gaveUp, std::size_t rows) {
    char line[256];
    const int n =
        std::snprintf(line, sizeof line,
                      "stall_us=%lld stall_phase=%d peak_kib=%ld boxes=%d rows=%zu gave_up=%d\n",
                      static_cast<long long>(stallNs / 1000), phase, PeakKiB(), g_boxes.load(),
                      rows, gaveUp ? 1 : 0);
    if (n <= 0) return;
    // write(2): the watchdog reports while the GUI thread may hold stdio's lock.
    [[maybe_unused]] const auto written = ::write(STDOUT_FILENO, line, static_cast<size_t>(n));
}

// Runs beside the GUI thread: a window stuck in one layout pass for minutes, or
// growing without end, still yields its figures.
void Watchdog(const std::atomic<bool>& done) {
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::int64_t gap = NowNs() - g_lastTickNs;
        const bool stuck = gap > std::chrono::nanoseconds(kGiveUpAfter).count();
        if (stuck || ResidentKiB() > kMemoryCapKiB) {
            // A gap still open is placed where the GUI thread last ticked.
            const bool open = gap > g_worstGapNs;
            Report(open ? gap : g_worstGapNs.load(), open ? g_lastPhase : g_worstPhase, true, 0);
            ::_exit(0);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int team = 0;
    if (argc != 4 || !ParseNumber(argv[1], port) || !ParseNumber(argv[2], team)) return 2;
    const std::filesystem::path work = argv[3];
    koravel::bench::WriteDivision(work, {team});

    koravel::bench::FailAfter(std::chrono::seconds(60));
    const koravel::site::CurlGlobal curl;
    QApplication app(argc, argv);
    koravel::app::MainWindow form(koravel::bench::WindowOptions(work, port));
    form.show();
    koravel::bench::Spin(100);  // the first paint is start-up's, not the scan's

    Clock::time_point boxSince{};
    auto phase = [&] {
        if (koravel::bench::OpenBox() != nullptr) return kBox;
        return form.busy() ? kScan : kList;
    };
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const std::int64_t now = NowNs();
        const Phase at = phase();
        if (const std::int64_t gap = now - g_lastTickNs; gap > g_worstGapNs) {
            g_worstGapNs = gap;
            g_worstPhase = at;
        }
        g_lastTickNs = now;
        g_lastPhase = at;
        // The box stays up long enough to be laid out and painted, then gets its OK.
        if (at != kBox) {
            boxSince = {};
        } else if (boxSince == Clock::time_point{}) {
            boxSince = Clock::now();
        } else if (Clock::now() - boxSince >= std::chrono::milliseconds(kBoxShownMs)) {
            boxSince = {};
            if (koravel::bench::AnswerBox()) ++g_boxes;
        }
    });

    std::atomic<bool> done{false};
    g_lastTickNs = NowNs();
    std::thread watchdog(Watchdog, std::cref(done));
    ticker.start(10);
    koravel::bench::ScanToEnd(form);
    // An error's box opens as the scan ends; the ticker answers it once it has been up.
    while (koravel::bench::OpenBox() != nullptr) koravel::bench::Spin(10);
    koravel::bench::Spin(kListShownMs);
    ticker.stop();
    done = true;
    watchdog.join();

    Report(g_worstGapNs, g_worstPhase, false, form.teamList().size());
    return 0;
}
