// Time from process start until the window has painted once, offscreen, with a
// data.ini of 50 divisions. Goal: under 300 ms median.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Profile {
    fs::path dir;
    Profile() {
        char pattern[] = "/tmp/koravel-startup.XXXXXX";
        dir = ::mkdtemp(pattern);
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
};

int RunProbe(const Profile& profile, bool phases) {
    const std::string settings = (profile.dir / "kelvo.conf").string();
    const std::string work = profile.dir.string();
    const char* argv[] = {KORAVEL_STARTUP_PROBE, settings.c_str(), work.c_str(),
                          phases ? "--phases" : nullptr, nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, KORAVEL_STARTUP_PROBE, nullptr, nullptr, const_cast<char**>(argv),
                      environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_StartToFirstPaint(benchmark::State& state) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const Profile profile;
    RunProbe(profile, false);  // warm the page cache once
    for (auto _ : state) {
        if (RunProbe(profile, false) != 0) state.SkipWithError("the probe failed");
    }
    static bool phasesShown = false;
    if (!phasesShown) {
        phasesShown = true;
        std::fflush(stdout);
        RunProbe(profile, true);
    }
}
BENCHMARK(BM_StartToFirstPaint)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
