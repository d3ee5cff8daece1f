#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/proxy_settings.h"
#include "config/stored_value.h"

namespace koravel::config {

// A settings file may be this large; a larger one reads as unreadable.
inline constexpr std::size_t kMaxSettingsBytes = std::size_t{1} << 20;

// What a load found. `settings` is empty when nothing is stored (the Proxy tab keeps its
// defaults). With an `error`, `settings` holds the values read before the one that
// failed and defaults for the rest; a store that cannot be read at all gives neither.
struct LoadedSettings {
    std::optional<common::ProxySettings> settings;
    std::optional<common::Error> error;
    // Optional overrides of the site hosts; read, never written.
    std::optional<std::string> siteHost;
    std::optional<std::string> siteWebHost;
};

// The per-user store of the proxy settings, group "Koravel", values "UseProxy",
// "ProxyLogin", "ProxyPasswd" (scrambled), "ProxyServer" and "ProxyPort".
class SettingsStore final {
public:
    // Where the store keeps what it holds, and how it reads and writes the group.
    class Place {
    public:
        virtual ~Place() = default;
        // The group's values; throws common::Error for a store that is there but cannot
        // be read. Nothing stored gives no values.
        virtual std::map<std::string, StoredValue> read() const = 0;
        // Sets the texts, leaving everything else as it is; all or nothing where the
        // place allows it. Throws common::Error naming `firstName` and the reason.
        virtual void write(const std::vector<std::pair<std::string, QString>>& texts) const = 0;
        // The file or key, for messages (Windows-1251).
        virtual std::string where() const = 0;
    };

    // The user's own store: $XDG_CONFIG_HOME/kelvo.conf (normally ~/.config/kelvo.conf),
    // or the registry key HKEY_CURRENT_USER\Software\kelvo\Koravel on Windows.
    static SettingsStore Native();
    // A store in a settings file of Qt's INI dialect.
    explicit SettingsStore(std::filesystem::path iniFile);
    explicit SettingsStore(std::shared_ptr<const Place> place) : m_place(std::move(place)) {}

    // Never throws. UseProxy reads 1/0 (any integer text, non-zero ticks) or true/false in
    // any letter case; other text is an error, never "no proxy". A value of the wrong kind
    // gives "Invalid data type for '<name>'".
    LoadedSettings load() const;

    // Writes the values that differ from those stored: "UseProxy" always, the other four
    // only when the box is ticked. A save that changes nothing writes nothing. Throws
    // common::Error naming what failed; the store is then as it was.
    void save(const common::ProxySettings& settings) const;

    std::string where() const { return m_place->where(); }

private:
    std::shared_ptr<const Place> m_place;
};

}  // namespace koravel::config
