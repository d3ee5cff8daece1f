#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace koravel::config {

inline constexpr std::uint32_t StartKey = 0x2C9;
inline constexpr std::uint32_t Multiplier = 0x9E3C;
inline constexpr std::uint32_t Increment = 0x4D27;

// Obfuscation of the stored proxy password, not encryption. Texts of any length.
std::string Encrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                    std::uint32_t increment);
std::string Decrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                    std::uint32_t increment);

}  // namespace koravel::config
