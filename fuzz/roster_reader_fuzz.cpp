// Any bytes as a roster page: the reader must end, fill the row whole or leave it with
// its first three cells, leave a tail of the page, and raise nothing but the program's
// own conversion errors.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/error.h"
#include "survey/roster_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    for (const std::string_view separator : {",", "."}) {
        std::string_view rest = page;
        koravel::survey::TeamRow row;
        koravel::survey::Tally tally;
        try {
            koravel::survey::ReadRosterPage(rest, row, tally, separator);
            if (!row.complete || row.aged19.empty() || row.maxTalent.empty()) std::abort();
        } catch (const koravel::common::Error&) {
            if (row.complete || !row.aged19.empty()) std::abort();
        }
        if (rest.data() + rest.size() != page.data() + page.size()) std::abort();
    }
    return 0;
}
