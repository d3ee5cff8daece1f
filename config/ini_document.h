#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

#include "config/stored_value.h"

namespace koravel::config {

// A settings file in the INI dialect Qt writes and reads, kept as its lines, each with
// its own bytes and line break. The file is parsed once; setting a value rewrites only
// that value's text inside its line, or adds a line, so every other group, key, comment
// (trailing ones too) and unparsable line stays byte for byte and in place.
//
// Unlike Qt, a line break always ends a line: Qt never writes one inside a value, and an
// unclosed quote or a trailing backslash elsewhere must not swallow the [Koravel] header
// below it.
class IniDocument final {
public:
    // One line as read. `group` is the group it stands in (for a header, the one it
    // opens; "" for [General]); `key` is set for a line of a value.
    struct Line {
        std::string text;  // without its line break
        std::string lineBreak;
        std::string group;
        std::optional<std::string> key;
        bool header = false;
        std::size_t valueBegin = 0;  // the value's text within `text`, trailing blanks
        std::size_t valueEnd = 0;    // and a trailing comment left out
    };

    explicit IniDocument(std::string_view bytes = {});

    std::string bytes() const;
    const std::vector<Line>& lines() const { return m_lines; }

    // The value of `key` in `group`, matched exactly; the last one wins where a key
    // stands twice, as Qt reads it.
    std::optional<StoredValue> value(std::string_view group, std::string_view key) const;

    // Replaces the text of the key's last line, or adds a line after the last value line
    // (or the header) of the group's last section; a missing group goes at the end.
    void setText(std::string_view group, std::string_view key, const QString& text);

private:
    const Line* lastKey(std::string_view group, std::string_view key) const;
    std::string lineBreak() const;

    std::string m_bom;
    std::vector<Line> m_lines;
};

}  // namespace koravel::config
