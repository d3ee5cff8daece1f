#pragma once

#include <optional>
#include <string>

#include <QString>

#include "common/error.h"
#include "common/proxy_settings.h"

namespace koravel::config {

// What a load found. `settings` is empty when nothing is stored (the Proxy tab keeps its
// defaults). With an `error`, `settings` holds the values read before the one that
// failed and defaults for the rest.
struct LoadedSettings {
    std::optional<common::ProxySettings> settings;
    std::optional<common::Error> error;
};

// The per-user store of the proxy settings: the registry key HKEY_CURRENT_USER\Software\kelvo
// on Windows, $XDG_CONFIG_HOME/kelvo.conf elsewhere; group "Koravel", values "UseProxy",
// "ProxyLogin", "ProxyPasswd" (scrambled), "ProxyServer", "ProxyPort".
class SettingsStore final {
public:
    SettingsStore();
    // A store over an explicit INI file, for tests and the demo.
    explicit SettingsStore(const QString& iniFile);

    // A value of the wrong kind gives the error "Invalid data type for '<name>'".
    LoadedSettings load() const;

    // "UseProxy" always; the other four only when the box is ticked. The settings file is
    // readable by its owner only from the moment it exists. Throws common::Error naming
    // what failed; the values written before it stay written.
    void save(const common::ProxySettings& settings) const;

    // Optional overrides of the site hosts; read only, never written.
    std::optional<std::string> siteHost() const;
    std::optional<std::string> siteWebHost() const;

private:
    QString m_iniFile;  // empty: the platform's native per-user store
};

}  // namespace koravel::config
