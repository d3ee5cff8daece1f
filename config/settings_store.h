#pragma once

#include <optional>
#include <string>

#include <QString>

#include "common/proxy_settings.h"

namespace koravel::config {

// The per-user store of the proxy settings: the registry key HKEY_CURRENT_USER\Software\kelvo
// on Windows, $XDG_CONFIG_HOME/kelvo.conf elsewhere; group "Koravel", values "UseProxy",
// "ProxyLogin", "ProxyPasswd" (scrambled), "ProxyServer", "ProxyPort".
class SettingsStore final {
public:
    SettingsStore();
    // A store over an explicit INI file, for tests and the demo.
    explicit SettingsStore(const QString& iniFile);

    // nullopt when nothing is stored (or the file cannot be parsed): the Proxy tab keeps
    // its defaults. Throws common::Error("Invalid data type for '<name>'") for a value of
    // the wrong shape; values read before it are in the partial result passed to
    // `partial`, when given.
    std::optional<common::ProxySettings> load(common::ProxySettings* partial = nullptr) const;

    // "UseProxy" always; the other four only when the box is ticked. The file is kept
    // readable by its owner only. Throws common::Error on a write failure.
    void save(const common::ProxySettings& settings) const;

    // Optional overrides of the site hosts; read only, never written.
    std::optional<std::string> siteHost() const;
    std::optional<std::string> siteWebHost() const;

private:
    QString m_iniFile;  // empty: the platform's native per-user store
};

}  // namespace koravel::config
