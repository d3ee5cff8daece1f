#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include "config/settings_store.h"
#include "site/roster_request.h"
#include "survey/team_list.h"

namespace Ui {
class TForm1;
}

namespace koravel::common {
struct ProxySettings;
}

namespace koravel::app {

class TeamListModel;

struct FormOptions {
    QString settingsFile;                    // empty: the native per-user store
    std::filesystem::path workingDirectory;  // empty: the current one
    site::Limits limits;
    std::optional<site::SiteAddress> site;  // empty: SiteHost on port 80
};

// Where a window whose frame is `frame` goes so that it lies inside `available`: where it
// is when it fits, otherwise moved the least distance; a window larger than the area
// keeps its top left corner (and so its title bar) inside it.
QPoint PlaceInside(const QRect& frame, const QRect& available);

// The one window: the scan, the list, the report and the proxy settings.
class TForm1 final : public QWidget {
public:
    explicit TForm1(FormOptions options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    void LoadSettings();
    void SaveSettings();
    void CheckBox1Click();
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
    void showEvent(QShowEvent* event) override;

private:
    struct State;

    void applyProxySettings(const common::ProxySettings& settings);
    void placeOnScreen();
    // Worker side of the scan: one team's page, or nullopt after the failure message.
    std::optional<std::string> fetchPage(std::int32_t teamId, const common::ProxySettings& proxy);
    void showFailure();
    void showArrivedRows();

    std::unique_ptr<Ui::TForm1> m_ui;
    std::unique_ptr<State> m_d;
    TeamListModel* m_model;
    config::SettingsStore m_store;

    std::vector<std::int32_t> TeamIds;
    std::string DecimalSeparator;
    bool m_scanning = false;
    bool m_destroyed = false;
};

}  // namespace koravel::app
