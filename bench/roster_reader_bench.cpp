// The page reader beside one memmem pass for the player marker. Goals: the reader within
// 3x of that pass at every size, and 8 MiB within ~9x of 1 MiB; 30 MiB, near the body
// cap, shows whether time stays linear. HugeCell: a page whose name, age or talent cell
// is 5 or 20 MiB reads in time in step with its size (bytes per second alike).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "survey/roster_reader.h"
#include "tools/fake_site/roster_page.h"

#include "bench/median.h"

namespace {

using koravel::bench::Median;
using koravel::survey::ReadRosterPage;
using koravel::survey::Tally;
using koravel::survey::TeamRow;

constexpr std::string_view kInfo = "info.php?id=";
constexpr std::array<std::int64_t, 4> kSizes = {64 << 10, 1 << 20, 8 << 20, 30 << 20};

const std::string& Page(std::int64_t bytes) {
    static std::map<std::int64_t, std::string> pages;
    auto& page = pages[bytes];
    if (page.empty()) page = koravel::tools::SizedPage(static_cast<std::size_t>(bytes), 7);
    return page;
}

std::size_t ReadOnce(std::string_view page) {
    std::string_view text = page;
    TeamRow row;
    Tally tally;
    ReadRosterPage(text, row, tally, ",");
    return row.name.size() + static_cast<std::size_t>(tally.talentedCount);
}

// The floor: one pass that only finds every player marker.
std::size_t MemmemOnce(std::string_view page) {
    std::size_t hits = 0;
    const char* at = page.data();
    const char* end = page.data() + page.size();
    while (const void* hit =
               memmem(at, static_cast<std::size_t>(end - at), kInfo.data(), kInfo.size())) {
        ++hits;
        at = static_cast<const char*>(hit) + kInfo.size();
    }
    return hits;
}

const char* After(const char* at, const char* end, std::string_view marker) {
    const void* hit = memmem(at, static_cast<std::size_t>(end - at), marker.data(), marker.size());
    return hit == nullptr ? nullptr : static_cast<const char*>(hit) + marker.size();
}

// The reader's marker moves for each player row without any number conversion, to tell
// what the searches cost from what the conversions add: eight short-needle searches per
// row where the floor has one long-needle search.
std::size_t WalkOnce(std::string_view page) {
    constexpr std::string_view kCell = "<td><center>";
    constexpr std::string_view kBoldCell = "<td><center><b>";
    constexpr std::string_view kCellEnd = "</td>";
    std::size_t cellBytes = 0;
    const char* end = page.data() + page.size();
    const char* at = page.data();
    while ((at = After(at, end, kInfo)) != nullptr) {
        for (int k = 0; k < 3 && at != nullptr; ++k) at = After(at, end, kCell);
        if (at == nullptr) break;
        const char* close = After(at, end, kCellEnd);
        for (int k = 0; k < 2 && at != nullptr; ++k) at = After(at, end, kBoldCell);
        if (at == nullptr || close == nullptr) break;
        close = After(at, end, kCellEnd);
        if (close == nullptr) break;
        cellBytes += static_cast<std::size_t>(close - at);
    }
    return cellBytes;
}

template <std::size_t (*Pass)(std::string_view)>
void PageBench(benchmark::State& state) {
    const std::string& page = Page(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(Pass(page));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}

void StringViewFindPass(benchmark::State& state) {
    const std::string_view page = Page(state.range(0));
    for (auto _ : state) {
        std::size_t hits = 0;
        for (auto at = page.find(kInfo); at != std::string_view::npos;
             at = page.find(kInfo, at + kInfo.size()))
            ++hits;
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}

void PageSizes(benchmark::internal::Benchmark* b) {
    for (const std::int64_t bytes : kSizes) b->Arg(bytes);
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(PageBench<ReadOnce>)->Name("ReadPage")->Apply(PageSizes);
BENCHMARK(PageBench<MemmemOnce>)->Name("MemmemPass")->Apply(PageSizes);
BENCHMARK(PageBench<WalkOnce>)->Name("MarkerWalk")->Apply(PageSizes);
BENCHMARK(StringViewFindPass)->Apply(PageSizes);

// kind 0: a huge name; 1: an age with a huge run of leading zeros; 2: likewise a talent.
void HugeCell(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(1));
    koravel::tools::PageSpec team{.teamName = "N", .players = "1", .cosp = "2", .roster = {}};
    koravel::tools::PlayerSpec player{"19", "1.5"};
    if (state.range(0) == 0) team.teamName = std::string(bytes, 'N');
    if (state.range(0) == 1) player.age = std::string(bytes, '0') + "19";
    if (state.range(0) == 2) player.talent = "0." + std::string(bytes, '0') + "1";
    team.roster.assign(2, player);
    const std::string page = koravel::tools::MakeRosterPage(team);
    for (auto _ : state) benchmark::DoNotOptimize(ReadOnce(page));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(HugeCell)->ArgsProduct({{0, 1, 2}, {5 << 20, 20 << 20}})->Unit(benchmark::kMillisecond);

// Microseconds per pass, over enough passes to make some 8 MiB of work.
template <typename Pass>
double TimePerPass(std::string_view page, Pass pass) {
    const std::size_t passes = std::max<std::size_t>(1, (8u << 20) / page.size());
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < passes; ++k) benchmark::DoNotOptimize(pass(page));
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    return spent.count() / static_cast<double>(passes);
}

// The verdicts: every size and every pass in each round, in rotating order, so load from
// other processes lands on all of them alike; the figures are medians over the rounds.
void BM_ReaderBySize(benchmark::State& state) {
    constexpr std::array<std::size_t (*)(std::string_view), 3> kPasses = {ReadOnce, MemmemOnce,
                                                                          WalkOnce};
    std::map<std::int64_t, std::array<std::vector<double>, 3>> times;
    std::map<std::int64_t, std::vector<double>> ratios;
    std::vector<double> scale8, scale30;
    std::size_t round = 0;
    for (const auto size : kSizes) Page(size);
    for (auto _ : state) {
        std::map<std::int64_t, std::array<double, 3>> now;
        for (const auto size : kSizes) {
            for (std::size_t k = 0; k < kPasses.size(); ++k) {
                const std::size_t p = (k + round) % kPasses.size();
                now[size][p] = TimePerPass(Page(size), kPasses[p]);
                times[size][p].push_back(now[size][p]);
            }
            ratios[size].push_back(now[size][0] / now[size][1]);
        }
        scale8.push_back(now[8 << 20][0] / now[1 << 20][0]);
        scale30.push_back(now[30 << 20][0] / now[8 << 20][0]);
        ++round;
    }
    for (const auto size : kSizes) {
        const std::string key = std::to_string(size >> 10) + "k_";
        state.counters[key + "reader_us"] = Median(times[size][0]);
        state.counters[key + "memmem_us"] = Median(times[size][1]);
        state.counters[key + "walk_us"] = Median(times[size][2]);
        state.counters[key + "ratio"] = Median(ratios[size]);
    }
    state.counters["scale_8m_over_1m"] = Median(scale8);
    state.counters["scale_30m_over_8m"] = Median(scale30);
}
BENCHMARK(BM_ReaderBySize)->Unit(benchmark::kMillisecond)->Iterations(25);

}  // namespace
