#include "app/session.h"

#include <system_error>

#include "survey/report.h"

namespace koravel::app {

namespace {

std::filesystem::path StartDirectory(const std::filesystem::path& given) {
    if (!given.empty()) return given;
    std::error_code error;
    auto current = std::filesystem::current_path(error);
    return error ? std::filesystem::path(".") : current;
}

config::SettingsStore StoreAt(const std::filesystem::path& file) {
    return file.empty() ? config::SettingsStore::Native() : config::SettingsStore(file);
}

}  // namespace

Session::Session(const SessionOptions& options)
    : m_workingDirectory(StartDirectory(options.workingDirectory)),
      m_store(StoreAt(options.settingsFile)),
      m_settings(m_store.load()),
      m_limits(options.limits),
      m_site(options.site.value_or(
          site::SiteAddress{m_settings.siteHost.value_or(site::DefaultSiteHost()), 80})),
      m_siteWebHost(m_settings.siteWebHost.value_or(site::DefaultSiteWebHost())) {}

std::filesystem::path Session::dataIniFile() const {
    return config::DataIniPath(m_workingDirectory);
}

config::DivisionTable Session::loadDivisions() const {
    return config::DivisionTable::Load(dataIniFile());
}

config::SaveReport Session::saveSettings(const common::ProxySettings& proxy,
                                         const Remembered& window) const {
    if (m_settings.error && !m_settings.valuesRead) return {};
    return m_store.save(proxy, window);
}

std::string Session::browserLink(std::int32_t teamId) const {
    return site::BrowserLink(m_siteWebHost, teamId);
}

site::Reply Session::fetch(std::int32_t teamId, const common::ProxySettings& proxy,
                           const std::atomic<bool>* cancel) const {
    return site::FetchRoster(teamId, proxy, m_site, m_limits, cancel);
}

bool Session::saveReport(const survey::TeamList& rows, const std::atomic<bool>* cancel) const {
    return survey::AppendReport(reportFile(), rows, survey::kReportLockWait, cancel);
}

}  // namespace koravel::app
