// Time from process start until the window has painted once, offscreen, with a
// data.ini of 50 divisions. Goal: under 300 ms median.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench/process_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Profile {
    fs::path dir = koravel::bench::MakeTempDir();
    Profile() {
        std::ofstream ini(dir / "data.ini", std::ios::binary);
        for (int d = 1; d <= 50; ++d) {
            ini << "[Division-" << d << "]\r\n";
            for (int t = 1; t <= 16; ++t) ini << "team" << t << '=' << d * 100 + t << "\r\n";
        }
    }
    ~Profile() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;
};

// The probe's stages in ms and its peak memory in KiB; empty when it failed.
std::map<std::string, double> RunProbe(const Profile& profile) {
    const std::string spawned = std::to_string(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count());
    auto stages =
        koravel::bench::RunProbe({KORAVEL_STARTUP_PROBE, (profile.dir / "kelvo.conf").string(),
                                  profile.dir.string(), spawned},
                                 profile.dir / "phases.txt");
    for (auto& [name, value] : stages)
        if (name != "peak_kib") value /= 1000.0;  // microseconds
    return stages;
}

void BM_StartToFirstPaint(benchmark::State& state) {
    // One for all repetitions: it also serves as the runtime folder, which has to outlive
    // them, or the next probe's Qt would make it again and leave it behind.
    static const Profile profile;
    koravel::bench::OffscreenEnvironment(profile.dir);
    [[maybe_unused]] static const bool warm = (RunProbe(profile), true);  // the page cache
    std::map<std::string, double> sums;
    for (auto _ : state) {
        const auto stages = RunProbe(profile);
        if (!stages.contains("total")) {
            state.SkipWithError("the probe failed");
            break;
        }
        state.SetIterationTime(stages.at("total") / 1e3);
        for (const auto& [name, value] : stages) sums[name] += value;
    }
    const auto runs = static_cast<double>(state.iterations());
    for (const char* name : {"loading", "application", "window", "paint"})
        state.counters[std::string(name) + "_ms"] = sums[name] / runs;
    state.counters["peak_mib"] = sums["peak_kib"] / runs / 1024.0;
}
BENCHMARK(BM_StartToFirstPaint)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
