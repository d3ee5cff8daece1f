#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

#include "config/stored_value.h"

namespace koravel::config {

// A settings file in the INI dialect Qt writes and reads, kept as the very bytes it was
// read from. Setting a value rewrites only that value's text, or adds a line for it, so
// every other group, key, comment and unparsable line stays byte for byte and in place.
// A line that does not parse never hides the values of another group.
class IniText final {
public:
    explicit IniText(std::string bytes = {});

    const std::string& bytes() const { return m_bytes; }

    // The value of `key` in `group`; the last one wins where a key stands twice, as Qt
    // reads it. Groups and keys match exactly.
    std::optional<StoredValue> value(std::string_view group, std::string_view key) const;
    bool hasValues(std::string_view group) const;

    // Replaces the text of the key's last line, or adds a line at the end of the group's
    // last section (adding the section at the end of the file when there is none).
    void setText(std::string_view group, std::string_view key, const QString& text);

private:
    // One logical line of the file (Qt lets quotes and backslashes carry a line on).
    struct Entry {
        std::string group;
        std::string key;  // empty for a section header
        std::size_t begin = 0;
        std::size_t end = 0;         // the line's end, before its line break
        std::size_t valueBegin = 0;  // after "=" and the blanks behind it
    };

    void parse();
    const Entry* lastKey(std::string_view group, std::string_view key) const;
    std::string_view lineEnd() const;

    std::string m_bytes;
    std::vector<Entry> m_entries;
};

// A text as Qt writes a string value: escapes, quotes where needed, UTF-8.
std::string EscapedIniText(const QString& text);

}  // namespace koravel::config
