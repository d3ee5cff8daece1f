#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace koravel::config {

// The running key of the scrambler; the defaults are those of the stored password.
struct ScrambleKey {
    std::uint32_t start = 0x2C9;
    std::uint32_t multiplier = 0x9E3C;
    std::uint32_t increment = 0x4D27;
};

// Obfuscation of the stored proxy password, not encryption. Texts of any length.
std::string Scramble(std::string_view text, ScrambleKey key = {});
std::string Unscramble(std::string_view text, ScrambleKey key = {});

}  // namespace koravel::config
