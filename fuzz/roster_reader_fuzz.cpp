// Any bytes as a roster page: the reader must end, fill the row whole (its best talent a
// JSON number) or leave it with its first three cells and a message, leave a tail of the
// page, and raise nothing.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "survey/roster_reader.h"

namespace {

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool PlainJsonNumber(std::string_view text) {
    std::size_t i = text.starts_with('-') ? 1 : 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - from;
    };
    const std::size_t whole = i;
    if (digits() == 0 || (text[whole] == '0' && i - whole > 1)) return false;
    if (i < text.size() && text[i] == '.' && (++i, digits() == 0)) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    for (const std::string_view separator : {",", "."}) {
        std::string_view rest = page;
        koravel::survey::TeamRow row;
        koravel::survey::Tally tally;
        const auto error = koravel::survey::ReadRosterPage(rest, row, tally, separator);
        if (!error && (!row.complete || row.aged19.empty() || row.maxTalent.empty() ||
                       !PlainJsonNumber(row.maxTalentNumber)))
            std::abort();
        if (error && (row.complete || !row.aged19.empty() || error->empty())) std::abort();
        if (rest.data() + rest.size() != page.data() + page.size()) std::abort();
    }
    return 0;
}
