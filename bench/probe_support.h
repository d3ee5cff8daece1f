#pragma once

#include <charconv>
#include <cstring>
#include <fstream>
#include <string>

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

}  // namespace koravel::bench
