// Scans TEAMS teams of a site on 127.0.0.1:PORT without the window, then prints its peak
// memory and what the rows it holds take, so a bench can tell growth per row from a leak.
// usage: koravel_scan_memory_probe PORT TEAMS
#include <sys/resource.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "site/transfer.h"
#include "survey/scan.h"

#include "bench/probe_support.h"

namespace {

using koravel::bench::ParseNumber;
using koravel::bench::PeakKiB;

std::size_t HeapBytes(const std::string& text) {
    return text.capacity() > 15 ? text.capacity() + 1 : 0;
}

std::size_t RowBytes(const koravel::survey::TeamList& list) {
    std::size_t bytes = list.capacity() * sizeof(koravel::survey::TeamRow);
    for (const auto& row : list) {
        for (const std::string* cell :
             {&row.name, &row.players, &row.cosp, &row.aged19, &row.talentsAbove1, &row.maxTalent})
            bytes += HeapBytes(*cell);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int teams = 0;
    if (argc != 3 || !ParseNumber(argv[1], port) || !ParseNumber(argv[2], teams)) return 2;
    const koravel::site::CurlGlobal curl;

    std::vector<std::int32_t> ids(static_cast<std::size_t>(teams));
    std::iota(ids.begin(), ids.end(), 10001);
    const koravel::site::SiteAddress site{"127.0.0.1", port};
    koravel::survey::TeamList list;
    const std::size_t failed = koravel::bench::HeadlessScan(ids, site, list);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("rows=%zu failed=%zu peak_kib=%ld maxrss_kib=%ld rows_kib=%zu\n", list.size(),
                failed, PeakKiB(), usage.ru_maxrss, RowBytes(list) / 1024);
    return failed == 0 ? 0 : 1;
}
