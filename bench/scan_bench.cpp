// A division scan without the window against the loopback demo site, beside the same
// requests with nothing read; the scan should stay within 1.15x of the bare loop.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "site/roster_request.h"
#include "survey/scan.h"
#include "tools/fake_site/fake_site.h"

namespace {

using koravel::site::BuildRosterRequest;
using koravel::site::SendRosterRequest;
using koravel::tools::FakeSite;

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

std::optional<std::string> Fetch(std::int32_t teamId) {
    return SendRosterRequest(BuildRosterRequest(teamId, {}, {FakeSite::host(), DemoSite().port()}));
}

void BM_BarePosts(benchmark::State& state) {
    const auto ids = DivisionIds();
    for (auto _ : state) {
        for (const std::int32_t id : ids) {
            auto page = Fetch(id);
            benchmark::DoNotOptimize(page);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kTeams));
}
BENCHMARK(BM_BarePosts)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanDivision(benchmark::State& state) {
    const auto ids = DivisionIds();
    for (auto _ : state) {
        koravel::survey::TeamList list;
        koravel::survey::RunScan(ids, list, ",", &Fetch);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kTeams));
}
BENCHMARK(BM_ScanDivision)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
