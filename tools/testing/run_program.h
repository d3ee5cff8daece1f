#pragma once

// Runs a program as a child process, with standard output and error each on a pipe, a
// pseudo-terminal or a file, and gives back its status and what it wrote.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace koravel::testing {

struct Ran {
    int status = -1;  // the exit status, or -1 when it did not exit by itself
    std::string out;
    std::string err;
};

struct Child {
    std::vector<std::string> args{};  // the program first
    std::vector<std::string> env{};   // NAME=value, on top of this process's environment
    std::filesystem::path folder{};
    bool outTerminal = false;
    bool errTerminal = false;
    std::filesystem::path outFile{};  // standard output goes here when set
    std::function<void(pid_t)> meanwhile{};

    Ran operator()() const {
        int outPair[2] = {-1, -1};
        int errPair[2] = {-1, -1};
        const auto channel = [](bool terminal, int pair[2]) {
            if (!terminal) return ::pipe2(pair, O_CLOEXEC) == 0;
            pair[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (pair[0] < 0 || ::grantpt(pair[0]) != 0 || ::unlockpt(pair[0]) != 0) return false;
            pair[1] = ::open(::ptsname(pair[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
            return pair[1] >= 0;
        };
        if (!channel(outTerminal, outPair) || !channel(errTerminal, errPair)) return {};
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (!outFile.empty()) {
                outPair[1] = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            }
            if (::dup2(outPair[1], STDOUT_FILENO) < 0 || ::dup2(errPair[1], STDERR_FILENO) < 0 ||
                ::chdir(folder.c_str()) != 0)
                ::_exit(127);
            for (const std::string& variable : env) ::putenv(const_cast<char*>(variable.c_str()));
            std::vector<char*> argv;
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(outPair[1]);
        ::close(errPair[1]);
        if (meanwhile) meanwhile(pid);
        Ran ran;
        // Both drained together, so that neither fills while the other is read.
        pollfd fds[2] = {{outPair[0], POLLIN, 0}, {errPair[0], POLLIN, 0}};
        std::string* into[2] = {&ran.out, &ran.err};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (int open = 2; open > 0 && std::chrono::steady_clock::now() < deadline;) {
            if (::poll(fds, 2, 1000) <= 0) continue;
            for (int k = 0; k < 2; ++k) {
                if (fds[k].fd < 0 || fds[k].revents == 0) continue;
                char buffer[65536];
                const ssize_t got = ::read(fds[k].fd, buffer, sizeof buffer);
                if (got > 0) {
                    into[k]->append(buffer, static_cast<std::size_t>(got));
                } else {  // a terminal whose last writer left says EIO
                    ::close(fds[k].fd);
                    fds[k].fd = -1;
                    --open;
                }
            }
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        for (const pollfd& fd : fds)
            if (fd.fd >= 0) ::close(fd.fd);
        return ran;
    }
};

}  // namespace koravel::testing
