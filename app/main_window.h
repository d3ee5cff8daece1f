#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "app/session.h"
#include "config/division_table.h"
#include "survey/team_list.h"
#include "survey/team_order.h"

namespace Ui {
class MainWindow;
}

class QMessageBox;

namespace koravel::app {

class InputBlocker;
class ScanWorker;
class TeamListModel;

// Where a window whose frame is `frame` goes so that it lies inside `available`: where it
// is when it fits, otherwise moved the least distance; a window larger than the area
// keeps its top left corner (and so its title bar) inside it.
QPoint PlaceInside(const QRect& frame, const QRect& available);

// The one window: the scan, the list, the report and the proxy settings. The scan and
// the save run on a worker; every handler returns at once.
class MainWindow final : public QWidget {
public:
    explicit MainWindow(const SessionOptions& options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The Proxy tab's controls as settings, Windows-1251 texts.
    common::ProxySettings proxySettings() const;

    const std::vector<std::int32_t>& teamIds() const { return m_teamIds; }
    const survey::TeamList& teamList() const;
    const std::string& decimalSeparator() const { return m_decimalSeparator; }
    // Tests pin the separator instead of depending on the machine's locale.
    void setDecimalSeparator(std::string separator) { m_decimalSeparator = std::move(separator); }
    // A scan or a save is running.
    bool busy() const { return m_busy; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Settings, separator, divisions; an error ends it at its step, and the window opens
    // all the same.
    void start();
    void applyProxySettings(const common::ProxySettings& settings);
    void fillDivisionList();
    void placeOnScreen();
    void saveSettingsOnce();

    void onUseProxyToggled();
    void onDivisionChanged();
    void onScanClicked();
    void onSaveClicked();
    void onHeaderClicked(int column);
    void onRowActivated();

    void onRowRead(const std::shared_ptr<survey::TeamRow>& row);
    void onRequestFailed();
    void onScanFinished(const std::string& error);
    void onSaveFinished(const std::string& error);
    void showArrivedRows();
    void beginWork();
    void endWork();

    std::unique_ptr<Ui::MainWindow> m_ui;
    Session m_session;
    TeamListModel* m_model;
    std::optional<config::DivisionTable> m_divisions;
    std::vector<std::int32_t> m_teamIds;
    std::string m_decimalSeparator;
    survey::SortState m_sortState;
    bool m_placed = false;
    bool m_settingsSaved = false;

    QThread m_thread;
    std::unique_ptr<ScanWorker> m_worker;
    std::unique_ptr<InputBlocker> m_blocker;
    bool m_busy = false;
    bool m_closing = false;
    std::size_t m_scanSize = 0;
    survey::TeamList m_arrived;  // read by the worker, not yet shown
    QTimer m_frame;
    QPointer<QMessageBox> m_failureBox;
};

}  // namespace koravel::app
