// Time from process start until the window has painted once, offscreen, with a
// data.ini of 50 divisions. Goal: under 300 ms median.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Profile {
    fs::path dir;
    Profile() {
        const fs::path base = fs::temp_directory_path() / "koravel-startup.XXXXXX";
        std::string pattern = base.string();
        dir = ::mkdtemp(pattern.data());
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

// The probe's "name=value" stages; empty when it failed.
std::map<std::string, double> RunProbe(const Profile& profile) {
    const std::string settings = (profile.dir / "kelvo.conf").string();
    const std::string work = profile.dir.string();
    const std::string report = (profile.dir / "phases.txt").string();
    const std::string spawned = std::to_string(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count());
    const char* argv[] = {KORAVEL_STARTUP_PROBE, settings.c_str(), work.c_str(), spawned.c_str(),
                          nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, report.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawnError = ::posix_spawn(&pid, KORAVEL_STARTUP_PROBE, &actions, nullptr,
                                         const_cast<char**>(argv), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) return {};
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};

    std::map<std::string, double> stages;
    std::ifstream in(report);
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line);
    for (std::string field; fields >> field;) {
        const auto eq = field.find('=');
        if (eq == std::string::npos) continue;
        long long value = 0;
        std::from_chars(field.data() + eq + 1, field.data() + field.size(), value);
        // peak_kib stays as it is; the stages come in microseconds and are kept in ms.
        const std::string name = field.substr(0, eq);
        stages[name] = name == "peak_kib" ? double(value) : double(value) / 1000.0;
    }
    return stages;
}

void BM_StartToFirstPaint(benchmark::State& state) {
    // One for all repetitions: it also serves as the runtime folder, which has to outlive
    // them, or the next probe's Qt would make it again and leave it behind.
    static const Profile profile;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt warns on every start without one; mkdtemp made the folder private, as Qt wants.
    ::setenv("XDG_RUNTIME_DIR", profile.dir.c_str(), 0);
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
