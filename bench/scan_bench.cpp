// A division scan without the window against the loopback demo site, beside the same
// requests with nothing read; the scan should stay within 1.15x of the bare loop.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <vector>

#include "site/transfer.h"
#include "survey/scan.h"
#include "tools/fake_site/fake_site.h"

namespace {

using koravel::tools::FakeSite;
using Clock = std::chrono::steady_clock;

// Before any thread exists, as curl wants it.
const koravel::site::CurlGlobal kCurl;

constexpr std::size_t kTeams = 500;

FakeSite& DemoSite() {
    static FakeSite site;
    [[maybe_unused]] static const bool serving = (site.servePages(), true);
    return site;
}

std::vector<std::int32_t> DivisionIds() {
    std::vector<std::int32_t> ids(kTeams);
    std::iota(ids.begin(), ids.end(), 10001);
    return ids;
}

koravel::survey::Fetched Fetch(std::int32_t teamId) {
    auto answer = koravel::site::FetchRoster(teamId, {}, {FakeSite::host(), DemoSite().port()});
    if (!answer.ok()) return {std::nullopt, answer.reason()};
    return {std::move(answer.body), {}};
}

double BarePosts(const std::vector<std::int32_t>& ids) {
    const auto start = Clock::now();
    for (const std::int32_t id : ids) {
        auto page = Fetch(id);
        benchmark::DoNotOptimize(page);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ScanDivision(const std::vector<std::int32_t>& ids) {
    const auto start = Clock::now();
    koravel::survey::TeamList list;
    koravel::survey::Scan scan(ids, ",", &Fetch);
    while (auto outcome = scan.next()) list.push_back(std::move(outcome->row));
    benchmark::DoNotOptimize(list.data());
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each round times both loops back to back, in alternating order, so load from other
// processes falls on both sides of the ratio instead of on whichever ran during it.
void BM_ScanOverBarePosts(benchmark::State& state) {
    const auto ids = DivisionIds();
    BarePosts(ids);  // the site's first connections and curl's first use stay out
    double bare = 0;
    double scan = 0;
    bool scanFirst = false;
    for (auto _ : state) {
        double s = 0;
        if (scanFirst) {
            s = ScanDivision(ids);
            bare += BarePosts(ids);
        } else {
            bare += BarePosts(ids);
            s = ScanDivision(ids);
        }
        scan += s;
        scanFirst = !scanFirst;
        state.SetIterationTime(s);
    }
    const auto rounds = static_cast<double>(state.iterations());
    state.counters["teams"] = static_cast<double>(kTeams);
    state.counters["bare_ms"] = bare / rounds * 1e3;
    state.counters["scan_ms"] = scan / rounds * 1e3;
    state.counters["ratio"] = scan / bare;
}
BENCHMARK(BM_ScanOverBarePosts)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(6)
    ->Repetitions(3);

}  // namespace
