#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/division_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto divisions = koravel::config::SectionNamesIn(text);
    // Bounded so that a file of many tiny sections stays a quick input.
    std::size_t looked = 0;
    for (const auto& division : divisions) {
        if (++looked > 64) break;
        for (const std::int32_t id : koravel::config::TeamIdsIn(text, division)) {
            if (id == 0) std::abort();
        }
    }
    for (const std::int32_t id : koravel::config::TeamIdsIn(text, "")) {
        if (id == 0) std::abort();
    }
    return 0;
}
