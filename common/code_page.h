#pragma once

#include <string>
#include <string_view>

namespace koravel::common {

// Windows-1251 is the site's and the report's code page; these turn its bytes into
// UTF-8 for display and back. The one undefined byte (0x98) maps to U+0098, as Windows
// maps it, so every byte survives the round trip.
std::string Cp1251ToUtf8(std::string_view bytes);
// Characters without a Windows-1251 form become "?".
std::string Utf8ToCp1251(std::string_view utf8);

bool IsValidUtf8(std::string_view bytes);
// Decodes the UTF-8 sequence at `i` into `c` and moves `i` past it; false, with `i` left
// as it was, for an ill-formed one.
bool NextUtf8(std::string_view text, std::size_t& i, char32_t& c);

// Text read from a hand-edited file may be either: valid UTF-8 is taken as UTF-8,
// anything else as Windows-1251. A UTF-8 byte-order mark is dropped.
std::string AnyTextToCp1251(std::string_view bytes);

}  // namespace koravel::common
