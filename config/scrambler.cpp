#include "config/scrambler.h"

namespace koravel::config {

namespace {

// Both directions advance the key by the scrambled byte; that is what lets Decrypt undo
// Encrypt.
std::string Scramble(std::string_view text, std::uint32_t key, std::uint32_t multiplier,
                     std::uint32_t increment, bool encrypting) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto in = static_cast<unsigned char>(c);
        const auto mask = static_cast<unsigned char>((key >> 8) & 0xFF);
        const auto out = static_cast<unsigned char>(in ^ mask);
        result.push_back(static_cast<char>(out));
        const std::uint32_t scrambled = encrypting ? out : in;
        key = (key + scrambled) * multiplier + increment;
    }
    return result;
}

}  // namespace

std::string Encrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                    std::uint32_t increment) {
    return Scramble(text, startKey, multiplier, increment, true);
}

std::string Decrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                    std::uint32_t increment) {
    return Scramble(text, startKey, multiplier, increment, false);
}

}  // namespace koravel::config
