#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <QString>

#include "common/proxy_settings.h"
#include "config/division_table.h"
#include "config/settings_store.h"
#include "site/transfer.h"
#include "survey/team_list.h"

namespace koravel::app {

// The texts the user sees, UTF-8, in one place for the window and the command line.
namespace text {
inline constexpr char kRequestFailed[] = "Произошла ошибка";
inline constexpr char kRequestFailedTitle[] = ":/";
inline constexpr char kDivisionPrompt[] = "Дивизион";
inline constexpr char kScan[] = "Клац";
inline constexpr char kBusy[] = "Wait";
inline constexpr char kTitle[] = "Koravel";
inline constexpr char kReportFile[] = "save.txt";
}  // namespace text

// What the window keeps between runs beside the proxy values, by value name.
using Remembered = std::map<std::string, QString>;

struct SessionOptions {
    std::filesystem::path settingsFile;      // empty: the user's own store
    std::filesystem::path workingDirectory;  // empty: the current one
    site::Limits limits;
    std::optional<site::SiteAddress> site;  // empty: SiteHost on port 80
};

// What the window and the command line share: where data.ini and save.txt are, the
// settings, the site, and the one way to fetch a page and to save a report.
class Session final {
public:
    // Loads the settings (never throws: a failed load is kept in settings().error).
    explicit Session(const SessionOptions& options = {});

    std::filesystem::path reportFile() const { return m_workingDirectory / text::kReportFile; }
    std::filesystem::path dataIniFile() const;
    // data.ini as it stands now.
    config::DivisionTable loadDivisions() const;

    const config::LoadedSettings& settings() const { return m_settings; }
    std::string settingsPlace() const { return m_store.where(); }
    // Writes the Proxy tab back. Nothing is written over a store whose load failed before
    // every value was read: unseen values must not be replaced. Throws common::Error;
    // the report's `unsure` is for the user too.
    // `window` are the window's own values, written beside the proxy where they changed.
    config::SaveReport saveSettings(const common::ProxySettings& proxy,
                                    const Remembered& window = {}) const;

    // The window's values as the store held them at start.
    const Remembered& remembered() const { return m_settings.texts; }

    std::string browserLink(std::int32_t teamId) const;

    // One team's page through `proxy`; raising `cancel` drops it. Throws common::Error
    // for a proxy port that is not a number.
    site::Reply fetch(std::int32_t teamId, const common::ProxySettings& proxy,
                      const std::atomic<bool>* cancel) const;
    // Appends the rows to save.txt; false when `cancel` stopped the wait for a lock.
    // Throws common::Error.
    bool saveReport(const survey::TeamList& rows, const std::atomic<bool>* cancel) const;

private:
    std::filesystem::path m_workingDirectory;
    config::SettingsStore m_store;
    config::LoadedSettings m_settings;
    site::Limits m_limits;
    site::SiteAddress m_site;
    std::string m_siteWebHost;
};

}  // namespace koravel::app
