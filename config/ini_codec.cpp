#include "config/ini_codec.h"

#include <QByteArray>
#include <QMetaType>

#include <algorithm>
#include <utility>

namespace koravel::config {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

QString DecodeIniKey(std::string_view key) {
    const QString decoded = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    QString result;
    const qsizetype size = decoded.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = decoded.at(i);
        if (c == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (c != u'%' || i == size - 1) {
            result += c;
            ++i;
            continue;
        }
        const bool wide = decoded.at(i + 1) == u'U';
        const qsizetype first = i + (wide ? 2 : 1);
        const qsizetype digits = wide ? 4 : 2;
        bool ok = false;
        const ushort code = first + digits > size
                                ? 0
                                : QStringView(decoded).sliced(first, digits).toUShort(&ok, 16);
        if (!ok) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
    return result;
}

std::string EncodeIniKey(std::string_view key) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const QChar c : QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()))) {
        const char16_t u = c.unicode();
        if (u == '/') {
            out += '\\';
        } else if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                   u == '_' || u == '-' || u == '.') {
            out += static_cast<char>(u);
        } else if (u <= 0xFF) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 15];
        }
    }
    return out;
}

namespace {

void ChopTrailingBlanks(QString& text, qsizetype limit) {
    while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t')) text.chop(1);
}

// The value text as Qt unescapes it; nothing for a comma list (a kind of its own).
std::optional<QString> UnescapedValue(std::string_view raw) {
    static constexpr std::pair<char, char> kEscapes[] = {
        {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
        {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    bool isList = false;
    QString result;
    bool inQuotes = false;
    bool quoted = false;
    std::size_t i = 0;
    const std::size_t size = raw.size();
    const auto skipBlanks = [&] {
        while (i < size && (raw[i] == ' ' || raw[i] == '\t')) ++i;
    };
    skipBlanks();
    qsizetype chopLimit = result.size();
    while (i < size) {
        const char c = raw[i];
        if (c == '\\') {
            if (++i >= size) break;
            const char e = raw[i++];
            const auto* known = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                             [e](const auto& p) { return p.first == e; });
            if (known != std::end(kEscapes)) {
                result += QLatin1Char(known->second);
                chopLimit = result.size();
                continue;
            }
            if (e == 'x' || (e >= '0' && e <= '7')) {
                const bool hex = e == 'x';
                if (hex && (i >= size || HexValue(raw[i]) < 0)) {
                    chopLimit = result.size();
                    continue;
                }
                char16_t code = hex ? 0 : static_cast<char16_t>(e - '0');
                while (i < size && (hex ? HexValue(raw[i]) >= 0 : raw[i] >= '0' && raw[i] <= '7')) {
                    code = static_cast<char16_t>((code << (hex ? 4 : 3)) +
                                                 (hex ? HexValue(raw[i]) : raw[i] - '0'));
                    ++i;
                }
                result += QChar(code);
                chopLimit = result.size();
                continue;
            }
            if ((e == '\n' || e == '\r') && i < size && (raw[i] == '\n' || raw[i] == '\r') &&
                raw[i] != e)
                ++i;
            chopLimit = result.size();
            continue;
        }
        if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) skipBlanks();
            continue;
        }
        if (c == ',' && !inQuotes) {
            // A list is no text: only the fact that it is one matters here.
            isList = true;
            if (!quoted) ChopTrailingBlanks(result, chopLimit);
            result.clear();
            quoted = false;
            ++i;
            skipBlanks();
            chopLimit = 0;
            continue;
        }
        std::size_t j = i + 1;
        while (j < size && raw[j] != '\\' && raw[j] != '"' && raw[j] != ',') ++j;
        result += QString::fromUtf8(raw.data() + i, static_cast<qsizetype>(j - i));
        i = j;
    }
    if (isList) return std::nullopt;
    if (!quoted) ChopTrailingBlanks(result, chopLimit);
    return result;
}

// A value Qt kept as a typed variant: its type number and value as a Qt 4.0 data stream
// writes them, big-endian. Only integers and text are read; anything else is of
// another kind. Read by hand: a hostile file must not make Qt build types at will.
StoredValue Variant(const QString& latin1) {
    using enum StoredValue::Kind;
    const QByteArray bytes = latin1.toLatin1();
    const auto number = [&](qsizetype at, int size, bool isSigned) -> std::optional<std::int64_t> {
        if (at + size > bytes.size()) return std::nullopt;
        std::uint64_t value = 0;
        for (int k = 0; k < size; ++k)
            value = value << 8 | static_cast<unsigned char>(bytes[at + k]);
        if (isSigned && size == 4) return static_cast<std::int32_t>(value);
        return static_cast<std::int64_t>(value);
    };
    const auto type = number(0, 4, false);
    if (!type) return StoredValue{Other, {}, 0};
    std::optional<std::int64_t> value;
    switch (*type) {
        case QMetaType::Int:
            value = number(4, 4, true);
            break;
        case QMetaType::UInt:
            value = number(4, 4, false);
            break;
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            value = number(4, 8, true);
            break;
        case QMetaType::QString: {
            const auto length = number(4, 4, false);
            if (!length || *length == 0xFFFFFFFF) return StoredValue{Text, {}, 0};
            if (*length % 2 != 0 || 8 + *length > bytes.size()) return StoredValue{Other, {}, 0};
            QString text;
            for (qsizetype at = 8; at < 8 + *length; at += 2)
                text += QChar(static_cast<char16_t>(*number(at, 2, false)));
            return StoredValue{Text, std::move(text), 0};
        }
        default:
            return StoredValue{Other, {}, 0};
    }
    if (!value) return StoredValue{Other, {}, 0};
    return StoredValue{Integer, {}, *value};
}

// What a "@..." text stands for, as Qt reads it back. Qt's "no value" is of another kind
// too: a value that is there must say what it is.
StoredValue Typed(QString text) {
    using enum StoredValue::Kind;
    if (!text.startsWith(u'@')) return StoredValue{Text, std::move(text), 0};
    if (text.endsWith(u')')) {
        if (text.startsWith(QLatin1String("@String(")))
            return StoredValue{Text, text.sliced(8).chopped(1), 0};
        if (text.startsWith(QLatin1String("@Variant("))) return Variant(text.sliced(9).chopped(1));
        for (const char* other :
             {"@Invalid(", "@ByteArray(", "@DateTime(", "@Rect(", "@Size(", "@Point("})
            if (text.startsWith(QLatin1String(other))) return StoredValue{Other, {}, 0};
    }
    if (text.startsWith(QLatin1String("@@"))) return StoredValue{Text, text.sliced(1), 0};
    return StoredValue{Text, std::move(text), 0};
}

}  // namespace

StoredValue DecodeIniValue(std::string_view raw) {
    std::optional<QString> text = UnescapedValue(raw);
    if (!text) return StoredValue{StoredValue::Kind::Other, {}, 0};
    return Typed(std::move(*text));
}

std::string EncodeIniValue(const QString& value) {
    QString text = value;
    if (text.contains(QChar::Null))
        text = QLatin1String("@String(") + text + u')';
    else if (text.startsWith(u'@'))
        text.prepend(u'@');
    const bool utf8 = !text.startsWith(QLatin1String("@ByteArray(")) &&
                      !text.startsWith(QLatin1String("@Variant(")) &&
                      !text.startsWith(QLatin1String("@DateTime("));
    const auto hex = [](char16_t c) { return QByteArray::number(c, 16).toStdString(); };
    std::string out;
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == ';' || c == ',' || c == '=') needsQuotes = true;
        // A hex digit right after "\x.." would read as part of it.
        if (escapeNextIfDigit && HexValue(static_cast<char>(c < 0x80 ? c : 0)) >= 0) {
            out += "\\x" + hex(c);
            continue;
        }
        escapeNextIfDigit = false;
        switch (c) {
            case '\0':
                out += "\\0";
                escapeNextIfDigit = true;
                break;
            case '\a':
                out += "\\a";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\v':
                out += "\\v";
                break;
            case '"':
            case '\\':
                out += '\\';
                out += static_cast<char>(c);
                break;
            default:
                if (c <= 0x1F || (c >= 0x7F && !utf8)) {
                    out += "\\x" + hex(c);
                    escapeNextIfDigit = true;
                } else if (utf8) {
                    out += QString(qc).toUtf8().toStdString();
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' ')))
        out = '"' + out + '"';
    return out;
}

}  // namespace koravel::config
