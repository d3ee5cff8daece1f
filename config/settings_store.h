#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QString>

#include "common/error.h"
#include "common/proxy_settings.h"
#include "config/stored_value.h"

namespace koravel::config {

// A settings file may be this large; a larger one reads as unreadable.
inline constexpr std::size_t kMaxSettingsBytes = std::size_t{1} << 20;
// How long a save waits for another program that holds the settings' lock file.
inline constexpr std::chrono::milliseconds kSettingsLockWait{10'000};

// What a load found. `settings` is empty when nothing says "proxy" (no store, no group,
// no proxy value): requests go direct. With an `error` nothing may be requested.
struct LoadedSettings {
    std::optional<common::ProxySettings> settings;
    // UTF-8, naming the store and the value. `settings` then holds what was read.
    std::optional<common::Error> error;
    // The error is only that the proxy is not whole (no server, no usable port, no
    // UseProxy beside the proxy values): every value was read, so a save may write over
    // the store, and the Proxy tab can complete it.
    bool valuesRead = false;
    // Optional overrides of the site hosts; read, never written.
    std::optional<std::string> siteHost;
    std::optional<std::string> siteWebHost;
    // Every other text value of the group, by name: values of our own beyond the proxy
    // (the window's remembered state), written back through save().
    std::map<std::string, QString> texts;
};

// What a save did. A save that fails before its new store is in place throws instead.
struct SaveReport {
    bool written = false;  // false: nothing differed, so nothing was written
    // Set when the values are saved but a later step failed (flushing the folder): UTF-8,
    // "Settings saved to …, but …".
    std::string unsure;
};

// The per-user store of the proxy settings, group "Koravel": "UseProxy", "ProxyLogin",
// "ProxyPasswd" (scrambled), "ProxyServer" and "ProxyPort", the read-only "SiteHost" and
// "SiteWebHost", and any further text values of our own (LoadedSettings::texts).
class SettingsStore final {
public:
    // Where the store keeps what it holds, and how it reads and writes the group.
    class Place {
    public:
        virtual ~Place() = default;
        // The group's values by name; throws common::Error for a store that is there but
        // cannot be read as ours. Nothing stored gives no values.
        virtual std::map<std::string, StoredValue> read() const = 0;
        // Sets the texts, leaving everything else as it is; all or nothing where the
        // place allows it. Throws common::Error naming the first name and the reason
        // while nothing is changed; once the new values are in place, returns what could
        // not be made sure after that, or nothing.
        virtual std::string write(
            const std::vector<std::pair<std::string, QString>>& texts) const = 0;
        // The file or key, for messages (UTF-8).
        virtual std::string where() const = 0;
    };

    // The user's own store: $XDG_CONFIG_HOME/kelvo.conf (normally ~/.config/kelvo.conf),
    // or the registry key HKEY_CURRENT_USER\Software\kelvo\Koravel on Windows.
    static SettingsStore Native();
    // A store in a settings file of Qt's INI dialect. A save holds the lock file Qt's
    // own settings hold for it ("kelvo.conf.lock"), waiting at most `lockWait`.
    explicit SettingsStore(std::filesystem::path iniFile,
                           std::chrono::milliseconds lockWait = kSettingsLockWait);
    explicit SettingsStore(std::shared_ptr<const Place> place) : m_place(std::move(place)) {}

    // Never throws. Fails closed: only no store, no group, or a UseProxy of 0/false gives
    // "no proxy". UseProxy reads 1/0 (any integer text, non-zero ticks) or true/false in
    // any letter case; other text is an error. A value of the wrong kind gives "Invalid
    // data type for '<name>'".
    LoadedSettings load() const;

    // Writes the values that differ from those stored: "UseProxy" always, the other four
    // only when the box is ticked, and the `texts` (names of our own, none of the names
    // above). A save that changes nothing writes nothing. Throws common::Error naming
    // what failed; the store is then as it was.
    SaveReport save(const common::ProxySettings& settings,
                    const std::map<std::string, QString>& texts = {}) const;

    std::string where() const { return m_place->where(); }

private:
    std::shared_ptr<const Place> m_place;
};

}  // namespace koravel::config
