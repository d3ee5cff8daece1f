#include "config/settings_store.h"

#include <algorithm>
#include <cstring>

#include "common/code_page.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "config/ini_text.h"
#include "config/scrambler.h"

namespace koravel::config {

namespace {

using common::ProxySettings;
using Kind = StoredValue::Kind;

constexpr char kGroup[] = "Koravel";
constexpr char kUseProxy[] = "UseProxy";

// The four text values, in the order a load reads them; a save writes in name order,
// as earlier versions (through Qt) did.
struct TextValue {
    const char* name;
    std::string ProxySettings::*field;
};
constexpr TextValue kTextValues[] = {
    {"ProxyLogin", &ProxySettings::login},
    {"ProxyPasswd", &ProxySettings::password},
    {"ProxyServer", &ProxySettings::server},
    {"ProxyPort", &ProxySettings::port},
};

bool IsPassword(const TextValue& value) { return value.field == &ProxySettings::password; }

// Texts cross into Qt as Windows-1251 bytes; the code page maps all 256 of them, so
// scrambled bytes come back unchanged.
QString ToQString(const std::string& cp1251) {
    return QString::fromUtf8(common::Cp1251ToUtf8(cp1251));
}

std::string FromQString(const QString& text) {
    return common::Utf8ToCp1251(text.toUtf8().toStdString());
}

std::string SystemMessage(const std::error_code& error) {
    return common::AnyTextToCp1251(error.message());
}

common::Error InvalidType(const char* name) {
    return common::Error(common::FormatMessage("Invalid data type for '%s'", name));
}

// UseProxy as the user may have typed it; nullopt for text that says neither.
std::optional<bool> Flag(const StoredValue& value) {
    if (value.kind == Kind::Integer) return value.number != 0;
    const QString text = value.text;
    if (text.isEmpty()) return false;
    if (const auto number = common::TryParseInteger(FromQString(text))) return *number != 0;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

std::optional<std::string> Host(const std::map<std::string, StoredValue>& values,
                                const char* name) {
    const auto it = values.find(name);
    if (it == values.end() || it->second.kind != Kind::Text || it->second.text.isEmpty())
        return std::nullopt;
    return FromQString(it->second.text);
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

// A settings file of Qt's INI dialect, written whole through a file beside it.
class SettingsFile final : public SettingsStore::Place {
public:
    explicit SettingsFile(std::filesystem::path file) : m_file(std::move(file)) {}

    std::map<std::string, StoredValue> read() const override {
        const IniText text(readBytes().bytes);
        std::map<std::string, StoredValue> values;
        for (const char* name : {kUseProxy, "ProxyLogin", "ProxyPasswd", "ProxyServer", "ProxyPort",
                                 "SiteHost", "SiteWebHost"}) {
            if (auto value = text.value(kGroup, name)) values.emplace(name, std::move(*value));
        }
        return values;
    }

    void write(const std::vector<std::pair<std::string, QString>>& texts) const override {
        const std::string& firstName = texts.front().first;
        const auto failed = [&](const std::string& reason) {
            return common::Error(common::FormatMessage("Failed to set data for '%s'", firstName) +
                                 " (" + where() + ": " + reason + ")");
        };
        std::error_code error;
        if (m_file.has_parent_path())
            std::filesystem::create_directories(m_file.parent_path(), error);
        if (error) throw common::Error(common::FormatMessage("Failed to create key %s", kGroup));
        // A link (a dotfile kept elsewhere) stays a link: its target is replaced.
        std::error_code noLink;
        const std::filesystem::path target = std::filesystem::is_symlink(m_file, noLink)
                                                 ? std::filesystem::canonical(m_file, error)
                                                 : m_file;
        if (error) throw failed(SystemMessage(error));
        const Bytes old = readBytes(target);
        // A file the user made read-only stays so: it is reported, not overwritten.
        if (old.exists && (old.mode & 0200) == 0) throw failed("the file is read-only");
        IniText text(old.bytes);
        // New lines go in name order, as Qt wrote them.
        auto sorted = texts;
        std::sort(sorted.begin(), sorted.end());
        for (const auto& [name, value] : sorted) text.setText(kGroup, name, value);
        if (old.exists && text.bytes() == old.bytes) return;
        if (const common::ReplaceResult result =
                common::ReplaceWhole(target, text.bytes(), old.exists ? old.mode : 0600);
            result.error)
            throw failed(SystemMessage(result.error));
    }

    std::string where() const override { return common::AnyTextToCp1251(m_file.string()); }

private:
    struct Bytes {
        bool exists = false;
        std::string bytes;
        unsigned mode = 0;
    };

    Bytes readBytes() const { return readBytes(m_file); }
    Bytes readBytes(const std::filesystem::path& file) const {
        using enum common::FileRead::Status;
        common::FileRead read = common::ReadRegularFile(file, kMaxSettingsBytes);
        switch (read.status) {
            case Read:
                return {true, std::move(read.bytes), read.mode};
            case Missing:
                return {};
            case NotRegular:
                throw unreadable("not a regular file");
            case TooLarge:
                throw unreadable("larger than 1 MiB");
            case Failed:
                break;
        }
        throw unreadable(SystemMessage(read.error));
    }

    common::Error unreadable(const std::string& reason) const {
        return common::Error("Cannot read the settings file " + where() + ": " + reason);
    }

    std::filesystem::path m_file;
};

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path iniFile)
    : m_place(std::make_shared<SettingsFile>(std::move(iniFile))) {}

LoadedSettings SettingsStore::load() const {
    LoadedSettings loaded;
    std::map<std::string, StoredValue> values;
    try {
        values = m_place->read();
    } catch (const common::Error& error) {
        loaded.error = error;
        return loaded;
    }
    loaded.siteHost = Host(values, "SiteHost");
    loaded.siteWebHost = Host(values, "SiteWebHost");
    for (const auto& [name, host] :
         {std::pair{"SiteHost", &loaded.siteHost}, std::pair{"SiteWebHost", &loaded.siteWebHost}}) {
        if (*host && !IsHostName(**host)) {
            loaded.error =
                common::Error("Invalid value '" + common::QuotedExcerpt(**host) + "' for '" + name +
                              "' in " + where() + " (a host name: letters, digits, '-' and '.')");
            loaded.siteHost = loaded.siteWebHost = std::nullopt;
            return loaded;
        }
    }
    values.erase("SiteHost");
    values.erase("SiteWebHost");
    if (values.empty()) return loaded;

    ProxySettings& settings = loaded.settings.emplace();
    if (const auto it = values.find(kUseProxy); it != values.end()) {
        if (it->second.kind == Kind::Other) {
            loaded.error = InvalidType(kUseProxy);
            return loaded;
        }
        const std::optional<bool> flag = Flag(it->second);
        if (!flag) {
            loaded.error = common::Error(
                "Invalid value '" + common::QuotedExcerpt(FromQString(it->second.text)) +
                "' for 'UseProxy' in " + where() + " (1 or 0, true or false)");
            return loaded;
        }
        settings.useProxy = *flag;
    }
    for (const TextValue& value : kTextValues) {
        const auto it = values.find(value.name);
        if (it == values.end()) continue;
        if (it->second.kind != Kind::Text) {
            loaded.error = InvalidType(value.name);
            return loaded;
        }
        std::string text = FromQString(it->second.text);
        settings.*value.field =
            IsPassword(value) ? Decrypt(text, StartKey, Multiplier, Increment) : std::move(text);
    }
    return loaded;
}

void SettingsStore::save(const ProxySettings& settings) const {
    const std::map<std::string, StoredValue> stored = m_place->read();
    const auto storedText = [&](const char* name) -> std::optional<QString> {
        const auto it = stored.find(name);
        if (it == stored.end() || it->second.kind != Kind::Text) return std::nullopt;
        return it->second.text;
    };
    // In the order of the messages: UseProxy first.
    std::vector<std::pair<std::string, QString>> changed;
    const auto flag = stored.find(kUseProxy);
    if (flag == stored.end() || flag->second.kind == Kind::Other ||
        Flag(flag->second) != settings.useProxy)
        changed.emplace_back(kUseProxy, QString::fromLatin1(settings.useProxy ? "1" : "0"));
    if (settings.useProxy) {
        for (const TextValue& value : kTextValues) {
            const std::string& text = settings.*value.field;
            const QString wanted = ToQString(
                IsPassword(value) ? Encrypt(text, StartKey, Multiplier, Increment) : text);
            if (storedText(value.name) != wanted) changed.emplace_back(value.name, wanted);
        }
    }
    if (!changed.empty()) m_place->write(changed);
}

}  // namespace koravel::config
