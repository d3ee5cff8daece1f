#pragma once

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace koravel::bench {

inline bool ParseNumber(const char* text, int& value) {
    const char* end = text + std::strlen(text);
    const auto [at, error] = std::from_chars(text, end, value);
    return error == std::errc() && at == end && value >= 0;
}

// VmHWM is this process's own peak; ru_maxrss also counts the memory of the process that
// spawned it.
inline long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A probe stuck for good (a box nobody answers, a scan that never ends) fails after
// `limit` instead of holding up the whole bench.
inline void FailAfter(std::chrono::seconds limit) {
    std::thread([limit] {
        std::this_thread::sleep_for(limit);
        constexpr char kMessage[] = "probe: out of time\n";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        ::_exit(1);
    }).detach();
}

}  // namespace koravel::bench
