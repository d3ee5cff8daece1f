// Any bytes as a roster page: the reader must end, append exactly one row, leave a tail
// of the page, and raise nothing but the program's own conversion errors.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/error.h"
#include "survey/roster_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    for (const std::string_view separator : {",", "."}) {
        std::string_view PageText = page;
        koravel::survey::TeamList list;
        koravel::survey::Tally tally;
        try {
            koravel::survey::ReadRosterPage(PageText, list, 1, tally, separator);
            if (list.size() != 1 || list[0].subItems.size() != 5) std::abort();
        } catch (const koravel::common::Error&) {
            if (list.size() != 1 || list[0].subItems.size() != 2) std::abort();
        }
        if (PageText.data() + PageText.size() != page.data() + page.size()) std::abort();
    }
    return 0;
}
