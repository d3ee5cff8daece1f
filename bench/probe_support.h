#pragma once

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "site/roster_request.h"
#include "survey/scan.h"

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

// The scan without a window, straight to the site; returns how many requests failed.
inline std::size_t HeadlessScan(const std::vector<std::int32_t>& ids,
                                const site::SiteAddress& address, survey::TeamList& list) {
    std::size_t failed = 0;
    survey::RunScan(ids, list, ",", [&](std::int32_t id) -> std::optional<std::string> {
        site::Reply reply = site::SendRosterRequest(site::BuildRosterRequest(id, {}, address));
        if (!reply.ok()) {
            ++failed;
            return std::nullopt;
        }
        return std::move(reply.body);
    });
    return failed;
}

}  // namespace koravel::bench
