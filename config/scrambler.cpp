#include "config/scrambler.h"

namespace koravel::config {

namespace {

// Both directions advance the key by the scrambled byte; that is what lets Unscramble
// undo Scramble.
std::string Run(std::string_view text, ScrambleKey key, bool scrambling) {
    std::string result;
    result.reserve(text.size());
    std::uint32_t running = key.start;
    for (const char c : text) {
        const auto in = static_cast<unsigned char>(c);
        const auto mask = static_cast<unsigned char>((running >> 8) & 0xFF);
        const auto out = static_cast<unsigned char>(in ^ mask);
        result.push_back(static_cast<char>(out));
        const std::uint32_t scrambled = scrambling ? out : in;
        running = (running + scrambled) * key.multiplier + key.increment;
    }
    return result;
}

}  // namespace

std::string Scramble(std::string_view text, ScrambleKey key) { return Run(text, key, true); }

std::string Unscramble(std::string_view text, ScrambleKey key) { return Run(text, key, false); }

}  // namespace koravel::config
