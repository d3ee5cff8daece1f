#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace koravel::survey {

// As text.find(needle, from): the first occurrence at or after `from`, npos when none.
std::size_t FindMarker(std::string_view text, std::string_view needle, std::size_t from = 0);

// Finds the markers of a fixed set in a text that its reader only drops from the front.
// Nothing before the front is looked at again, so a hit at or past the front is still
// the first one and a missing marker stays missing: each marker sweeps the text once in
// all, and a page reads in linear time however its markers fall.
class ForwardMarkers final {
public:
    // Both the text and the markers must outlive this.
    ForwardMarkers(std::string_view text, std::span<const std::string_view> markers);

    // The first occurrence of marker `m` at or after `front`, npos when none. `front`
    // must not decrease from one call to the next.
    std::size_t Find(std::size_t m, std::size_t front);

private:
    struct Hit {
        bool searched = false;
        std::size_t at = 0;
    };

    std::string_view m_text;
    std::span<const std::string_view> m_markers;
    std::vector<Hit> m_hits;
};

}  // namespace koravel::survey
