#include "config/settings_store.h"

#include <QLockFile>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/code_page.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "config/ini_codec.h"
#include "config/ini_document.h"
#include "config/scrambler.h"

namespace koravel::config {

namespace {

using common::ProxySettings;
using Kind = StoredValue::Kind;

constexpr char kGroup[] = "Koravel";

// Why a text cannot serve a proxy that is in use, or nothing.
using Check = const char* (*)(const std::string& text);

const char* NoServer(const std::string& text) {
    const bool blank = std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
    return blank ? "UseProxy is on: a proxy server is needed" : nullptr;
}

const char* NoPort(const std::string& text) {
    const std::optional<std::int32_t> port = common::TryParseInteger(text);
    return port && *port >= 1 && *port <= 65535
               ? nullptr
               : "UseProxy is on: a port from 1 to 65535 is needed";
}

// Every value the store owns, once: loads and saves both go by this table.
struct OwnedValue {
    enum class Role { Flag, Text, Scrambled, ReadOnlyHost };
    const char* name;
    Role role;
    std::string ProxySettings::*field = nullptr;                 // Text, Scrambled
    Check unusable = nullptr;                                    // Text of a proxy in use
    std::optional<std::string> LoadedSettings::*host = nullptr;  // ReadOnlyHost
};
using Role = OwnedValue::Role;

// The proxy's texts in the order a load reads them; a save writes new lines in name
// order, as earlier versions (through Qt) did.
constexpr OwnedValue kOwnedValues[] = {
    {"UseProxy", Role::Flag},
    {"ProxyLogin", Role::Text, &ProxySettings::login},
    {"ProxyPasswd", Role::Scrambled, &ProxySettings::password},
    {"ProxyServer", Role::Text, &ProxySettings::server, NoServer},
    {"ProxyPort", Role::Text, &ProxySettings::port, NoPort},
    {"SiteHost", Role::ReadOnlyHost, nullptr, nullptr, &LoadedSettings::siteHost},
    {"SiteWebHost", Role::ReadOnlyHost, nullptr, nullptr, &LoadedSettings::siteWebHost},
};

bool IsOwned(std::string_view name) {
    return std::any_of(std::begin(kOwnedValues), std::end(kOwnedValues),
                       [&](const OwnedValue& value) { return value.name == name; });
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// Texts cross into Qt as Windows-1251 bytes; the code page maps all 256 of them, so
// scrambled bytes come back unchanged.
QString ToQString(const std::string& cp1251) {
    return QString::fromUtf8(common::Cp1251ToUtf8(cp1251));
}

std::string FromQString(const QString& text) {
    return common::Utf8ToCp1251(text.toUtf8().toStdString());
}

// A stored text as a message quotes it, under the bound page text has (QuotedExcerpt
// takes Windows-1251 bytes; a stored value is already Unicode).
std::string Quoted(const QString& text) {
    constexpr auto kLimit = static_cast<qsizetype>(common::kQuoteLimit);
    return text.size() <= kLimit ? text.toStdString() : text.left(kLimit).toStdString() + "…";
}

std::string SystemMessage(const std::error_code& error) {
    const std::string text = error.message();
    return common::IsValidUtf8(text) ? text : "error " + std::to_string(error.value());
}

common::Error InvalidType(const char* name) {
    return common::Error(common::FormatMessage("Invalid data type for '%s'", name));
}

common::Error InvalidValue(const QString& text, const char* name, const std::string& where,
                           const char* why) {
    return common::Error("Invalid value '" + Quoted(text) + "' for '" + name + "' in " + where +
                         " (" + why + ")");
}

// UseProxy as the user may have typed it; nothing for text that says neither.
std::optional<bool> Flag(const StoredValue& value) {
    if (value.kind == Kind::Integer) return value.number != 0;
    if (const auto number = common::TryParseInteger(FromQString(value.text))) return *number != 0;
    if (value.text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (value.text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

// A host that a URL and a Host line carry as they stand. Anything else (a port, a
// space, a slash) would send some other request, or none, and fail for a reason that
// points away from the settings.
bool IsHostName(const std::string& text) {
    return text.size() <= 253 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.';
           });
}

// The group's values in a settings file. A name that Qt would take for one of ours, or
// that differs from ours only in letter case, is an error: the user meant it, and
// reading past it could drop the proxy.
std::map<std::string, StoredValue> GroupValues(const IniDocument& document,
                                               const std::string& where) {
    std::map<std::string, StoredValue> values;
    for (const IniDocument::Line& line : document.lines()) {
        if (line.header && line.group != kGroup && EqualsIgnoringCase(line.group, kGroup))
            throw common::Error("Invalid group '[" + line.group + "]' in " + where +
                                " (Koravel reads only [Koravel], in that letter case)");
        if (!line.key) continue;
        const std::string fullName = line.group.empty() ? *line.key : line.group + "/" + *line.key;
        for (const OwnedValue& owned : kOwnedValues) {
            const std::string_view name = fullName;
            const std::size_t slash = std::strlen(kGroup);
            if (name.size() <= slash || name[slash] != '/' ||
                !EqualsIgnoringCase(name.substr(0, slash), kGroup) ||
                !EqualsIgnoringCase(name.substr(slash + 1), owned.name) ||
                (line.group == kGroup && *line.key == owned.name))
                continue;
            std::string message = "Invalid value name '" + *line.key + "' in [";
            message += line.group.empty() ? "General" : line.group;
            message += "] of " + where + " (Koravel reads only '" + owned.name;
            message += "' in [Koravel], in that letter case)";
            throw common::Error(message);
        }
        // The last one wins where a name stands twice, as Qt reads it.
        if (line.group == kGroup)
            values.insert_or_assign(*line.key,
                                    DecodeIniValue(std::string_view(line.text).substr(
                                        line.valueBegin, line.valueEnd - line.valueBegin)));
    }
    return values;
}

// A settings file of Qt's INI dialect, written whole through a file beside it.
class SettingsFile final : public SettingsStore::Place {
public:
    SettingsFile(std::filesystem::path file, std::chrono::milliseconds lockWait)
        : m_file(std::move(file)), m_lockWait(lockWait) {}

    std::map<std::string, StoredValue> read() const override {
        const Bytes file = readBytes(m_file);
        return GroupValues(document(file), where());
    }

    std::string write(const std::vector<std::pair<std::string, QString>>& texts) const override {
        const std::string& firstName = texts.front().first;
        const auto failed = [&](const std::string& reason) {
            return common::Error(common::FormatMessage("Failed to set data for '%s'", firstName) +
                                 " (" + where() + ": " + reason + ")");
        };
        std::error_code error;
        if (m_file.has_parent_path())
            std::filesystem::create_directories(m_file.parent_path(), error);
        if (error) throw common::Error(common::FormatMessage("Failed to create key %s", kGroup));
        // The lock of the path as given, as Qt takes it; through a link the target is
        // replaced, so that a dotfile kept elsewhere stays a link.
        const std::string lockName = m_file.string() + ".lock";
        QLockFile lock(QString::fromStdString(lockName));
        if (!lock.tryLock(static_cast<int>(m_lockWait.count()))) {
            if (lock.error() == QLockFile::LockFailedError)
                throw failed("another program holds the settings (" + lockName + ")");
            throw failed("cannot make the lock file " + lockName);
        }
        std::error_code noLink;
        const std::filesystem::path target = std::filesystem::is_symlink(m_file, noLink)
                                                 ? std::filesystem::canonical(m_file, error)
                                                 : m_file;
        if (error) throw failed(SystemMessage(error));
        const Bytes old = readBytes(target);
        // A file the user made read-only stays so: it is reported, not overwritten.
        if (old.exists && (old.mode & 0200) == 0) throw failed("the file is read-only");
        IniDocument text = document(old);
        GroupValues(text, where());
        auto sorted = texts;
        std::sort(sorted.begin(), sorted.end());
        for (const auto& [name, value] : sorted) text.setText(kGroup, name, value);
        const std::string bytes = text.bytes();
        if (old.exists && bytes == old.bytes) return {};
        // It holds the password: the owner's bits only.
        const common::ReplaceResult replaced =
            common::ReplaceWhole(target, bytes, old.exists ? old.mode & 0700 : 0600);
        if (!replaced.error) return {};
        if (!replaced.renamed) throw failed(SystemMessage(replaced.error));
        return "Settings saved to " + where() +
               ", but the save could not be made sure on disk: " + SystemMessage(replaced.error);
    }

    std::string where() const override { return m_file.string(); }

private:
    struct Bytes {
        bool exists = false;
        std::string bytes;
        unsigned mode = 0;
    };

    Bytes readBytes(const std::filesystem::path& file) const {
        using enum common::FileRead::Status;
        common::FileRead read = common::ReadRegularFile(file, kMaxSettingsBytes);
        switch (read.status) {
            case Read:
                return {true, std::move(read.bytes), read.mode};
            case Missing: {
                std::error_code error;
                if (!std::filesystem::is_symlink(file, error)) return {};
                const auto to = std::filesystem::read_symlink(file, error);
                throw unreadable("a link to " + to.string() + ", which is not there");
            }
            case NotRegular:
                throw unreadable("not a regular file");
            case TooLarge:
                throw unreadable("larger than 1 MiB");
            case Failed:
                break;
        }
        throw unreadable(SystemMessage(read.error));
    }

    // Qt writes UTF-8 and escapes a zero byte: anything else is another encoding.
    IniDocument document(const Bytes& file) const {
        if (!common::IsValidUtf8(file.bytes) || file.bytes.find('\0') != std::string::npos)
            throw unreadable("not UTF-8 text");
        return IniDocument(file.bytes);
    }

    common::Error unreadable(const std::string& reason) const {
        return common::Error("Cannot read the settings file " + where() + ": " + reason);
    }

    std::filesystem::path m_file;
    std::chrono::milliseconds m_lockWait;
};

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path iniFile, std::chrono::milliseconds lockWait)
    : m_place(std::make_shared<SettingsFile>(std::move(iniFile), lockWait)) {}

LoadedSettings SettingsStore::load() const {
    LoadedSettings loaded;
    std::map<std::string, StoredValue> values;
    try {
        values = m_place->read();
    } catch (const common::Error& error) {
        loaded.error = error;
        return loaded;
    }
    const auto fail = [&](common::Error error) {
        loaded.error = std::move(error);
        loaded.siteHost = loaded.siteWebHost = std::nullopt;
        return loaded;
    };
    bool proxyValues = false;
    std::optional<bool> useProxy;
    ProxySettings settings;
    for (const OwnedValue& owned : kOwnedValues) {
        const auto it = values.find(owned.name);
        if (it == values.end()) continue;
        const StoredValue& value = it->second;
        if (value.kind == Kind::Other ||
            (value.kind == Kind::Integer && owned.role != Role::Flag)) {
            // The Proxy tab shows what was read before.
            if (owned.role != Role::ReadOnlyHost) loaded.settings = settings;
            return fail(InvalidType(owned.name));
        }
        if (owned.role == Role::ReadOnlyHost) {
            if (value.text.isEmpty()) continue;
            if (!IsHostName(FromQString(value.text)))
                return fail(InvalidValue(value.text, owned.name, where(),
                                         "a host name: letters, digits, '-' and '.'"));
            loaded.*owned.host = FromQString(value.text);
            continue;
        }
        proxyValues = true;
        if (owned.role == Role::Flag) {
            useProxy = Flag(value);
            if (!useProxy) {
                loaded.settings = settings;
                return fail(InvalidValue(value.text, owned.name, where(), "1 or 0, true or false"));
            }
            settings.useProxy = *useProxy;
            continue;
        }
        const std::string text = FromQString(value.text);
        settings.*owned.field = owned.role == Role::Scrambled ? Unscramble(text) : text;
    }
    for (const auto& [name, value] : values)
        if (!IsOwned(name) && value.kind == Kind::Text) loaded.texts.emplace(name, value.text);
    if (!proxyValues) return loaded;
    loaded.settings = settings;
    // Only an explicit "no proxy" goes direct; a proxy in use must be whole.
    loaded.valuesRead = true;
    if (!useProxy)
        return fail(common::Error("No 'UseProxy' beside the proxy values in " + where() +
                                  " (1 or 0, true or false)"));
    if (!*useProxy) return loaded;
    for (const OwnedValue& owned : kOwnedValues) {
        if (owned.unusable == nullptr) continue;
        const std::string& text = settings.*owned.field;
        if (const char* why = owned.unusable(text)) {
            if (!values.contains(owned.name))
                return fail(common::Error(std::string("No '") + owned.name + "' in " + where() +
                                          " (" + why + ")"));
            return fail(InvalidValue(ToQString(text), owned.name, where(), why));
        }
    }
    return loaded;
}

SaveReport SettingsStore::save(const ProxySettings& settings,
                               const std::map<std::string, QString>& texts) const {
    for (const auto& [name, text] : texts)
        if (IsOwned(name)) throw std::invalid_argument("an owned settings value: " + name);
    const std::map<std::string, StoredValue> stored = m_place->read();
    const auto differs = [&](const std::string& name, const QString& wanted) {
        const auto it = stored.find(name);
        return it == stored.end() || it->second.kind != Kind::Text || it->second.text != wanted;
    };
    // In the order of the messages: UseProxy first.
    std::vector<std::pair<std::string, QString>> changed;
    for (const OwnedValue& owned : kOwnedValues) {
        if (owned.role == Role::Flag) {
            const auto flag = stored.find(owned.name);
            if (flag == stored.end() || flag->second.kind == Kind::Other ||
                Flag(flag->second) != settings.useProxy)
                changed.emplace_back(owned.name,
                                     QString::fromLatin1(settings.useProxy ? "1" : "0"));
        } else if (owned.field != nullptr && settings.useProxy) {
            const std::string& text = settings.*owned.field;
            const QString wanted = ToQString(owned.role == Role::Scrambled ? Scramble(text) : text);
            if (differs(owned.name, wanted)) changed.emplace_back(owned.name, wanted);
        }
    }
    for (const auto& [name, text] : texts)
        if (differs(name, text)) changed.emplace_back(name, text);
    if (changed.empty()) return {};
    return {true, m_place->write(changed)};
}

}  // namespace koravel::config
