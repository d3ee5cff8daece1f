#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "config/division_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto table = koravel::config::DivisionTable::Parse(text);
    // Listed names are distinct as raw bytes, and each finds its own section.
    std::unordered_set<std::string_view> seen;
    for (const auto& division : table.divisionNames()) {
        if (!seen.insert(division).second) std::abort();
        const auto ids = table.teamIds(division);
        if (!ids) std::abort();
        for (const std::int32_t id : *ids) {
            if (id == 0) std::abort();
        }
    }
    return 0;
}
