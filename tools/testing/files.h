#pragma once

// Files as bytes, and the user's locale by its name on this system.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace koravel::testing {

inline std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void Spit(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// The C library's Russian locale, which writes and expects ",".
#ifdef _WIN32
inline constexpr char kRussianLocale[] = "Russian_Russia.1251";
#else
inline constexpr char kRussianLocale[] = "ru_RU.UTF-8";
#endif

}  // namespace koravel::testing
