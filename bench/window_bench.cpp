// The window against hostile pages and against the scan without it. Every probe is a
// process of its own that opens the real window offscreen; the site runs here, so its
// copies of the pages are never counted in a probe's memory.
//
// BM_HostilePage/<case>: one team whose page carries 20 MB in one cell. Goals: the GUI
// thread never goes more than 100 ms without serving its event loop, and the peak
// memory stays within the window's floor (the small page) plus three times the page.
// BM_WindowScanOverHeadless: 500 demo teams in the window over the same scan without
// it, goal <= 1.3x.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/code_page.h"
#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"

#include "bench/median.h"
#include "bench/process_support.h"

#if defined(KORAVEL_WINDOW_STALL_PROBE) && defined(KORAVEL_WINDOW_SCAN_PROBE)

namespace {

namespace fs = std::filesystem;
using koravel::tools::FakeSite;
using koravel::tools::PageSpec;
using Clock = std::chrono::steady_clock;
using Fields = std::map<std::string, double>;
using koravel::bench::Median;

constexpr std::size_t kHostileBytes = 20'000'000;
constexpr int kStallRuns = 3;

enum class Cell : std::int32_t { None = 1, Name, Age, Talent };

// Text as a team's page might carry it, with no marker of the page in it.
std::string Filler(std::size_t bytes) {
    const std::string word = koravel::common::Utf8ToCp1251("Спартак Москва ");
    std::string text;
    text.reserve(bytes);
    while (text.size() + word.size() <= bytes) text += word;
    text.append(word, 0, bytes - text.size());
    return text;
}

// A page that reads cleanly but for the one cell; the bad player stands among good ones.
std::string PageWith(Cell cell) {
    PageSpec team = koravel::tools::DemoTeam(static_cast<std::int32_t>(cell));
    team.roster.resize(std::min<std::size_t>(team.roster.size(), 20));
    const std::size_t middle = team.roster.size() / 2;
    switch (cell) {
        case Cell::None:
            break;
        case Cell::Name:
            team.teamName = Filler(kHostileBytes);
            break;
        case Cell::Age:
            team.roster[middle].age = Filler(kHostileBytes);
            break;
        case Cell::Talent:
            team.roster[middle].talent = Filler(kHostileBytes);
            break;
    }
    return koravel::tools::MakeRosterPage(team);
}

// The hostile pages under their team ids, the demo teams under every other id.
class BenchSite final {
public:
    BenchSite() : m_dir(koravel::bench::MakeTempDir()) {
        for (const Cell cell : {Cell::None, Cell::Name, Cell::Age, Cell::Talent})
            m_pages[static_cast<std::int32_t>(cell)] = PageWith(cell);
        m_site.servePages([this](std::int32_t id) {
            const auto page = m_pages.find(id);
            return page != m_pages.end() ? page->second : koravel::tools::DemoPage(id);
        });
        koravel::bench::OffscreenEnvironment(m_dir);
    }
    ~BenchSite() {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    BenchSite(const BenchSite&) = delete;
    BenchSite& operator=(const BenchSite&) = delete;

    std::string port() const { return std::to_string(m_site.port()); }
    std::size_t pageBytes(Cell cell) const {
        return m_pages.at(static_cast<std::int32_t>(cell)).size();
    }
    // A fresh working folder per probe: no data.ini or settings carried over.
    fs::path workDir() {
        fs::path work = m_dir / ("work" + std::to_string(++m_runs));
        fs::create_directories(work);
        return work;
    }
    Fields run(const std::vector<std::string>& args) {
        return koravel::bench::RunProbe(args, m_dir / "probe.txt");
    }

private:
    fs::path m_dir;
    std::map<std::int32_t, std::string> m_pages;
    int m_runs = 0;
    FakeSite m_site;  // last: its threads read m_pages until it is gone
};

BenchSite& Site() {
    static BenchSite site;
    return site;
}

// Up to kStallRuns probes, the median of each figure; a probe that gave up is not
// repeated, as it only would give up again, slowly.
void BM_HostilePage(benchmark::State& state, Cell cell) {
    const int expectedBoxes = cell == Cell::Age || cell == Cell::Talent ? 1 : 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::vector<Fields> runs;
        while (runs.size() < kStallRuns) {
            Fields run = Site().run({KORAVEL_WINDOW_STALL_PROBE, Site().port(),
                                     std::to_string(static_cast<std::int32_t>(cell)),
                                     Site().workDir().string()});
            if (!run.contains("stall_us")) {
                state.SkipWithError("the probe failed");
                return;
            }
            const bool gaveUp = run["gave_up"] != 0;
            if (!gaveUp && (run["rows"] != 1 || run["boxes"] != expectedBoxes)) {
                state.SkipWithError("the window did not show one row and the boxes expected");
                return;
            }
            runs.push_back(std::move(run));
            if (gaveUp) break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        // Only the last run can have given up; its stall, the longest, is then the median
        // of two or the only one.
        const bool gaveUp = runs.back().at("gave_up") != 0;
        std::sort(runs.begin(), runs.end(), [](const Fields& a, const Fields& b) {
            return a.at("stall_us") < b.at("stall_us");
        });
        const Fields& median = runs[runs.size() / 2];
        std::vector<double> peaks;
        peaks.reserve(runs.size());
        for (const Fields& run : runs) peaks.push_back(run.at("peak_kib"));
        state.counters["stall_ms"] = median.at("stall_us") / 1e3;
        state.counters["stall_phase"] = median.at("stall_phase");
        state.counters["peak_mib"] = Median(peaks) / 1024;
        state.counters["page_mib"] = static_cast<double>(Site().pageBytes(cell)) / (1024 * 1024);
        state.counters["gave_up"] = gaveUp ? 1 : 0;
        state.counters["runs"] = static_cast<double>(runs.size());
    }
}
// Each run repeats inside itself and reports its own median.
void OneRun(benchmark::internal::Benchmark* bench) {
    bench->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(BM_HostilePage, small, Cell::None)->Apply(OneRun);
BENCHMARK_CAPTURE(BM_HostilePage, name, Cell::Name)->Apply(OneRun);
BENCHMARK_CAPTURE(BM_HostilePage, age, Cell::Age)->Apply(OneRun);
BENCHMARK_CAPTURE(BM_HostilePage, talent, Cell::Talent)->Apply(OneRun);

constexpr int kScanTeams = 500;
constexpr int kScanRounds = 5;

// The rounds run inside one probe, so its start-up and the first window stay out.
void BM_WindowScanOverHeadless(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        Fields run =
            Site().run({KORAVEL_WINDOW_SCAN_PROBE, Site().port(), std::to_string(kScanTeams),
                        std::to_string(kScanRounds), Site().workDir().string()});
        if (!run.contains("ratio_ppm")) {
            state.SkipWithError("the probe failed: a scan lost rows or raised a box");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["teams"] = run["teams"];
        state.counters["rounds"] = run["rounds"];
        state.counters["window_ms"] = run["window_us"] / 1e3;
        state.counters["headless_ms"] = run["headless_us"] / 1e3;
        state.counters["ratio"] = run["ratio_ppm"] / 1e6;
    }
}
BENCHMARK(BM_WindowScanOverHeadless)->Apply(OneRun);

}  // namespace

#endif
