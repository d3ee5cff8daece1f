#include "config/ini_document.h"

#include <algorithm>

#include "config/ini_codec.h"

namespace koravel::config {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// Where a line's content lies, much as Qt finds it: leading blanks skipped, a ";" at the
// start makes the line a comment and a ";" outside quotes starts a trailing comment.
struct Content {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t equals = std::string_view::npos;  // the first "=" outside quotes
};

Content ContentOf(std::string_view text) {
    Content content;
    while (content.begin < text.size() && IsBlank(text[content.begin])) ++content.begin;
    if (content.begin < text.size() && text[content.begin] == ';') {
        content.end = content.begin;
        return content;
    }
    bool inQuotes = false;
    std::size_t i = content.begin;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=' && !inQuotes && content.equals == std::string_view::npos)
            content.equals = i;
        else if (c == '\\')
            ++i;
        else if (c == '"')
            inQuotes = !inQuotes;
        else if (c == ';' && !inQuotes)
            break;
    }
    content.end = std::min(i, text.size());
    return content;
}

// Gives the line its meaning; `group` is the group the lines above left open.
void Parse(IniDocument::Line& line, std::string& group) {
    const std::string_view text = line.text;
    const Content content = ContentOf(text);
    const std::string_view body = text.substr(content.begin, content.end - content.begin);
    if (body.starts_with('[')) {
        // To the first "]"; without one the rest of the line still names a group.
        const std::string_view name = Trimmed(body.substr(1, body.find(']') - 1));
        if (EqualsIgnoringCase(name, "general"))
            group.clear();
        else if (EqualsIgnoringCase(name, "%general"))
            group = name.substr(1);
        else
            group = DecodeIniKey(name).toStdString();
        line.group = group;
        line.header = true;
        return;
    }
    line.group = group;
    if (content.equals == std::string_view::npos) return;
    line.key = DecodeIniKey(Trimmed(text.substr(content.begin, content.equals - content.begin)))
                   .toStdString();
    std::size_t begin = content.equals + 1;
    while (begin < content.end && IsBlank(text[begin])) ++begin;
    std::size_t end = content.end;
    // Blanks before a trailing comment belong to the comment, unless escaped.
    while (end > begin && IsBlank(text[end - 1]) && !(end - 1 > begin && text[end - 2] == '\\'))
        --end;
    line.valueBegin = begin;
    line.valueEnd = end;
}

}  // namespace

IniDocument::IniDocument(std::string_view bytes) {
    if (bytes.starts_with(kByteOrderMark)) {
        m_bom = kByteOrderMark;
        bytes.remove_prefix(kByteOrderMark.size());
    }
    std::string group;
    while (!bytes.empty()) {
        Line& line = m_lines.emplace_back();
        const std::size_t end = std::min(bytes.find_first_of("\r\n"), bytes.size());
        const std::size_t breakSize = end == bytes.size()                     ? 0
                                      : bytes.substr(end).starts_with("\r\n") ? 2
                                                                              : 1;
        line.text = bytes.substr(0, end);
        line.lineBreak = bytes.substr(end, breakSize);
        bytes.remove_prefix(end + breakSize);
        Parse(line, group);
    }
}

std::string IniDocument::bytes() const {
    std::string bytes = m_bom;
    for (const Line& line : m_lines) bytes += line.text + line.lineBreak;
    return bytes;
}

const IniDocument::Line* IniDocument::lastKey(std::string_view group, std::string_view key) const {
    const auto it = std::find_if(m_lines.rbegin(), m_lines.rend(), [&](const Line& line) {
        return line.key == key && line.group == group;
    });
    return it == m_lines.rend() ? nullptr : &*it;
}

std::optional<StoredValue> IniDocument::value(std::string_view group, std::string_view key) const {
    const Line* line = lastKey(group, key);
    if (line == nullptr) return std::nullopt;
    return DecodeIniValue(
        std::string_view(line->text).substr(line->valueBegin, line->valueEnd - line->valueBegin));
}

std::string IniDocument::lineBreak() const {
    const bool crlf = std::any_of(m_lines.begin(), m_lines.end(),
                                  [](const Line& line) { return line.lineBreak == "\r\n"; });
    return crlf ? "\r\n" : "\n";
}

void IniDocument::setText(std::string_view group, std::string_view key, const QString& text) {
    const std::string value = EncodeIniValue(text);
    if (const Line* found = lastKey(group, key)) {
        Line& line = m_lines[static_cast<std::size_t>(found - m_lines.data())];
        line.text.replace(line.valueBegin, line.valueEnd - line.valueBegin, value);
        line.valueEnd = line.valueBegin + value.size();
        return;
    }
    const std::string eol = lineBreak();
    const std::string name = EncodeIniKey(key);
    Line added{name + "=" + value,
               eol,
               std::string(group),
               std::string(key),
               false,
               name.size() + 1,
               name.size() + 1 + value.size()};
    const auto header = std::find_if(m_lines.rbegin(), m_lines.rend(), [&](const Line& line) {
        return line.header && line.group == group;
    });
    if (header == m_lines.rend()) {
        if (!m_lines.empty()) {
            if (m_lines.back().lineBreak.empty()) m_lines.back().lineBreak = eol;
            m_lines.push_back({"", eol, m_lines.back().group, {}, false, 0, 0});
        }
        m_lines.push_back(
            {"[" + EncodeIniKey(group) + "]", eol, std::string(group), {}, true, 0, 0});
        m_lines.push_back(std::move(added));
        return;
    }
    // After the last value line of that section, or its header, whole with its comment.
    auto last = std::prev(header.base());
    for (auto it = std::next(last); it != m_lines.end() && !it->header; ++it)
        if (it->key) last = it;
    if (last->lineBreak.empty()) std::swap(last->lineBreak, added.lineBreak);
    m_lines.insert(std::next(last), std::move(added));
}

}  // namespace koravel::config
