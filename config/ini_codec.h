#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QString>

#include "config/stored_value.h"

// Names and values as Qt's INI format writes and reads them, one piece of text at a time.
namespace koravel::config {

// A group or key name: "\" stands for "/", "%XX" and "%UXXXX" for other characters.
QString DecodeIniKey(std::string_view key);
std::string EncodeIniKey(std::string_view utf8Key);

// The text after "=" (up to the line's end or its comment) as Qt reads it back: text
// (quotes, "\x" escapes, "@String(...)"), an integer of "@Variant(...)", or Other for a
// list, bytes, Qt's "@Invalid()" and the other typed values.
StoredValue DecodeIniValue(std::string_view raw);

// A text as Qt writes a string value: escapes, quotes where needed, UTF-8. It reads back
// whole and never ends its line early (no unquoted ";", no open quote).
std::string EncodeIniValue(const QString& text);

}  // namespace koravel::config
