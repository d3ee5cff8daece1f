#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>
#include <QWidget>

#include "common/proxy_settings.h"
#include "config/division_table.h"
#include "config/settings_store.h"
#include "site/roster_request.h"
#include "survey/team_list.h"
#include "survey/team_order.h"

namespace Ui {
class TForm1;
}

namespace koravel::app {

class TeamListModel;

struct FormOptions {
    QString settingsFile;                    // empty: the native per-user store
    std::filesystem::path workingDirectory;  // empty: the current one
    site::Limits limits;
    std::optional<site::SiteAddress> site;  // empty: SiteHost on port 80
};

// The one window: the scan, the list, the report and the proxy settings.
class TForm1 final : public QWidget {
public:
    explicit TForm1(FormOptions options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    void LoadSettings();
    void SaveSettings();
    std::string Encrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                        std::uint32_t increment) const;
    std::string Decrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                        std::uint32_t increment) const;
    void CheckBox1Click();
    // The page of team `index` of TeamIds, or nullopt after the failure message. Throws
    // common::Error for a proxy port that is not a number, before anything is sent.
    std::optional<std::string> GetUrlClick(std::size_t index);
    void Button1Click();
    void Button2Click();
    void DivComboChange();
    void FillDivisionList();
    void ListView1ColumnClick(int column);
    void ListView1DblClick();
    void FormCreate();
    void FormDestroy();

    // The Proxy tab's controls as settings, Windows-1251 texts.
    common::ProxySettings proxySettings() const;

    const std::vector<std::int32_t>& teamIds() const { return TeamIds; }
    const survey::TeamList& teamList() const;
    const std::string& decimalSeparator() const { return DecimalSeparator; }
    // Tests pin the separator instead of depending on the machine's locale.
    void setDecimalSeparator(std::string separator) { DecimalSeparator = std::move(separator); }
    bool scanning() const { return m_scanning; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyProxySettings(const common::ProxySettings& settings);
    std::optional<std::string> fetch(const site::RosterRequest& request) const;

    std::unique_ptr<Ui::TForm1> m_ui;
    TeamListModel* m_model;
    config::SettingsStore m_store;
    std::filesystem::path m_workingDirectory;
    site::Limits m_limits;
    site::SiteAddress m_site;
    std::string m_siteWebHost;

    std::optional<config::DivisionTable> m_table;
    std::vector<std::int32_t> TeamIds;
    std::string DecimalSeparator;
    survey::SortState m_sortState;
    bool m_scanning = false;
    bool m_destroyed = false;
};

}  // namespace koravel::app
