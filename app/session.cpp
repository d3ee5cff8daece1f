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

void Session::remember(const Remembered& values) {
    if (m_settings.error) return;
    Remembered changed;
    for (const auto& [name, value] : values) {
        const auto kept = m_remembered.find(name);
        if (kept == m_remembered.end() || kept->second != value) changed[name] = value;
    }
    if (changed.empty()) return;
    // Until the settings store carries values of other owners, the window's values live
    // as long as the session.
    for (auto& [name, value] : changed) m_remembered[name] = std::move(value);
}

config::SaveReport Session::saveSettings(const common::ProxySettings& proxy) const {
    if (m_settings.error && !m_settings.valuesRead) return {};
    return m_store.save(proxy);
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
