#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "config/division_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto divisions = koravel::config::SectionNamesIn(text);
    // Listed names are distinct as raw bytes, and each finds its own section.
    std::unordered_set<std::string_view> seen;
    std::size_t looked = 0;  // bounded so that many tiny sections stay a quick input
    for (const auto& division : divisions) {
        if (!seen.insert(division).second) std::abort();
        if (++looked > 64) continue;
        for (const std::int32_t id : koravel::config::TeamIdsIn(text, division)) {
            if (id == 0) std::abort();
        }
    }
    for (const std::int32_t id : koravel::config::TeamIdsIn(text, "")) {
        if (id == 0) std::abort();
    }
    return 0;
}
