// Peak memory of a scan of 500 and 1,000 teams, goal under 80 MB. Each scan runs in a
// fresh process and the demo site in another, so neither the site's memory nor an
// earlier scan's peak is counted; 0 teams gives the floor of loaded libraries.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_support.h"

namespace {

namespace fs = std::filesystem;
using koravel::bench::MakeTempDir;
using koravel::bench::Spawn;
using Clock = std::chrono::steady_clock;

// The demo site in a process of its own, for the life of the bench.
class SiteProcess final {
public:
    SiteProcess() : m_dir(MakeTempDir()) {
        m_pid = Spawn({KORAVEL_DEMO_SITE, "--port", "0", "--port-file", (m_dir / "port").string()},
                      m_dir / "site.log");
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (m_pid > 0 && m_port == 0 && Clock::now() < deadline) {
            std::ifstream file(m_dir / "port");
            if (!(file >> m_port)) {
                m_port = 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    ~SiteProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    SiteProcess(const SiteProcess&) = delete;
    SiteProcess& operator=(const SiteProcess&) = delete;

    int port() const { return m_port; }
    const fs::path& dir() const { return m_dir; }

private:
    fs::path m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
};

SiteProcess& Site() {
    static SiteProcess site;
    return site;
}

void Measure(benchmark::State& state, const std::vector<std::string>& args) {
    if (Site().port() == 0) {
        state.SkipWithError("the demo site did not start");
        return;
    }
    std::map<std::string, double> last;
    for (auto _ : state) {
        const auto start = Clock::now();
        last = koravel::bench::RunProbe(args, Site().dir() / "probe.txt");
        if (!last.contains("peak_kib")) {
            state.SkipWithError("the probe failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["teams"] = static_cast<double>(state.range(0));
    state.counters["rows"] = last["rows"];
    state.counters["peak_mib"] = last["peak_kib"] / 1024.0;
    state.counters["maxrss_mib"] = last["maxrss_kib"] / 1024.0;
    if (last.contains("rows_kib")) state.counters["rows_kib"] = last["rows_kib"];
}

// One probe a run, three runs a size: the peak is the figure, not the time.
void Sizes(benchmark::internal::Benchmark* bench) {
    bench->ArgName("teams")
        ->Arg(0)
        ->Arg(500)
        ->Arg(1000)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
}

void BM_ScanPeakMemory(benchmark::State& state) {
    Measure(state, {KORAVEL_SCAN_MEMORY_PROBE, std::to_string(Site().port()),
                    std::to_string(state.range(0))});
}
BENCHMARK(BM_ScanPeakMemory)->Apply(Sizes);

#ifdef KORAVEL_WINDOW_MEMORY_PROBE
void BM_WindowScanPeakMemory(benchmark::State& state) {
    koravel::bench::OffscreenEnvironment(Site().dir());
    const fs::path work = Site().dir() / "work";
    fs::create_directories(work);
    Measure(state, {KORAVEL_WINDOW_MEMORY_PROBE, std::to_string(Site().port()),
                    std::to_string(state.range(0)), work.string()});
}
BENCHMARK(BM_WindowScanPeakMemory)->Apply(Sizes);
#endif

}  // namespace
