#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace koravel::common {

// The one kind of error a user gets to read: conversion errors, I/O errors of the
// report, errors of the settings store. The message is UTF-8; page text it quotes has
// been converted.
class Error final : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// printf-like "%s"/"%d" substitution for the fixed message patterns; only the first
// placeholder is replaced, so quoted text containing "%s" stays intact.
std::string FormatMessage(std::string_view pattern, std::string_view argument);

// Offending Windows-1251 text as a message quotes it, in UTF-8: its first 256 characters,
// then "…", so that a hostile page cannot make a message the size of the page.
inline constexpr std::size_t kQuoteLimit = 256;
std::string QuotedExcerpt(std::string_view text);

}  // namespace koravel::common
