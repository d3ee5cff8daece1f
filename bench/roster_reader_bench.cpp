#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>

#include "survey/roster_reader.h"
#include "tools/fake_site/roster_page.h"

namespace {

using koravel::survey::ReadRosterPage;
using koravel::survey::Tally;
using koravel::survey::TeamList;

constexpr std::string_view kInfo = "info.php?id=";

const std::string& Page(std::int64_t bytes) {
    static std::map<std::int64_t, std::string> pages;
    auto& page = pages[bytes];
    if (page.empty()) page = koravel::tools::SizedPage(static_cast<std::size_t>(bytes), 7);
    return page;
}

void ReadPage(benchmark::State& state) {
    const std::string& page = Page(state.range(0));
    for (auto _ : state) {
        std::string_view PageText = page;
        TeamList list;
        Tally tally;
        ReadRosterPage(PageText, list, 1, tally, ",");
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}

// The floor: one pass that only finds every player marker.
void MemmemPass(benchmark::State& state) {
    const std::string& page = Page(state.range(0));
    for (auto _ : state) {
        std::size_t hits = 0;
        const char* at = page.data();
        const char* end = page.data() + page.size();
        while (const void* hit =
                   memmem(at, static_cast<std::size_t>(end - at), kInfo.data(), kInfo.size())) {
            ++hits;
            at = static_cast<const char*>(hit) + kInfo.size();
        }
        benchmark::DoNotOptimize(hits);
    }
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
    for (const std::int64_t bytes : {64 << 10, 1 << 20, 8 << 20}) b->Arg(bytes);
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(ReadPage)->Apply(PageSizes);
BENCHMARK(MemmemPass)->Apply(PageSizes);
BENCHMARK(StringViewFindPass)->Apply(PageSizes);

}  // namespace
