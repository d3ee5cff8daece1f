#pragma once

// Runs probes as processes of their own, so that each one's peak memory is its own.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace koravel::bench {

inline std::filesystem::path MakeTempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "koravel-bench.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

// fork, not posix_spawn, for the hook: a child that outlives an interrupted bench would
// keep serving, or scanning, with no one to stop it.
inline pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& out) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Only async-signal-safe calls from here on.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(127);
    ::close(fd);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Runs a probe to its end and returns the "name=value" fields it printed; empty when it
// failed.
inline std::map<std::string, double> RunProbe(const std::vector<std::string>& args,
                                              const std::filesystem::path& out) {
    const pid_t pid = Spawn(args, out);
    if (pid <= 0) return {};
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    std::map<std::string, double> fields;
    std::ifstream in(out);
    for (std::string field; in >> field;) {
        const auto eq = field.find('=');
        if (eq == std::string::npos) continue;
        // from_chars: the C library's parsing would follow the locale.
        double value = 0;
        const char* end = field.data() + field.size();
        if (std::from_chars(field.data() + eq + 1, end, value).ptr == end)
            fields[field.substr(0, eq)] = value;
    }
    return fields;
}

// Qt warns on every start without a runtime folder; mkdtemp made `dir` private, as Qt
// wants.
inline void OffscreenEnvironment(const std::filesystem::path& dir) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
}

}  // namespace koravel::bench
