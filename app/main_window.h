#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "app/session.h"
#include "config/division_table.h"
#include "survey/team_list.h"

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

// What the window keeps between runs. An empty geometry, no widths or a sort column of
// -1 mean "as designed".
struct WindowMemory {
    QRect geometry;  // the frame's top left corner and the window's size
    QList<int> columnWidths;
    int sortColumn = -1;
    Qt::SortOrder sortOrder = Qt::DescendingOrder;
    QString division;
    int tab = 0;
};
Remembered ToRemembered(const WindowMemory& memory);
// Values that do not read (a width of 0, a column past the last) are left as designed.
WindowMemory FromRemembered(const Remembered& values);

// What the window is doing; the buttons, the input blocker and the title follow it.
enum class WorkState { Idle, Scanning, WaitingForUser, Saving, Closing };

// The window title: during a scan, the team being fetched (`shown` rows are in the list)
// of `total`; while a failure waits for the user, the team that failed.
QString WindowTitle(WorkState state, std::size_t shown, std::size_t total);

// The one window: the scan, the list, the report and the proxy settings. The scan and
// the save run on a worker; every handler returns at once.
class MainWindow final : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(const SessionOptions& options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The Proxy tab's controls as settings, Windows-1251 texts.
    common::ProxySettings proxySettings() const;

    const survey::TeamList& teamList() const;
    const std::string& decimalSeparator() const { return m_decimalSeparator; }
    // Tests pin the separator instead of depending on the machine's locale.
    void setDecimalSeparator(std::string separator);
    WorkState state() const { return m_state; }
    // A scan or a save is running.
    bool busy() const { return m_state != WorkState::Idle && m_state != WorkState::Closing; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Settings, separator, divisions; an error ends it at its step, and the window opens
    // all the same.
    void start();
    void applyProxySettings(const common::ProxySettings& settings);
    void fillDivisionList();
    void placeOnScreen();
    void saveSettingsOnce();
    void addKeys();
    void applyMemory(const WindowMemory& memory);
    WindowMemory memory() const;
    // The list and the name column take the room the window has beyond its designed size.
    void layOut();
    // A line under the list; a timed one goes after a few seconds.
    void showStatus(const QString& text, bool timed);
    void sayMissingData();

    // The one place that sets the buttons, the input blocker and the title.
    void setState(WorkState state);
    void applyState();

    std::optional<std::vector<std::int32_t>> chosenTeams();

    void onUseProxyToggled();
    void onScanClicked();
    void onSaveClicked();
    void onStopClicked();
    void copySelectedRows();
    void onHeaderClicked(int column);
    void onRowActivated(const QModelIndex& index);

    // Once a frame: what the worker left since the last frame.
    void takeArrivals();
    void showFailure(std::int32_t teamId, const std::string& reason);
    void onSaveFinished(const QString& error, bool written);

    std::unique_ptr<Ui::MainWindow> m_ui;
    Session m_session;
    TeamListModel* m_model;
    std::optional<config::DivisionTable> m_divisions;
    std::string m_decimalSeparator;
    bool m_placed = false;
    QPoint m_position;       // where the frame's top left corner goes at the first show
    int m_grownBy = 0;       // width beyond the designed one the name column has taken
    QString m_missingData;   // why there are no divisions to pick, or empty
    QTimer m_statusTimer;
    QPointer<QWidget> m_focusBefore;  // where the focus was when the work began
    std::size_t m_savedRows = 0;
    bool m_settingsSaved = false;

    QThread m_thread;
    std::unique_ptr<ScanWorker> m_worker;
    WorkState m_state = WorkState::Idle;
    std::unique_ptr<InputBlocker> m_blocker;
    bool m_scanned = false;      // a scan has ended: the list may be saved
    std::size_t m_scanSize = 0;  // teams in the running scan
    std::string m_scanError;     // the conversion error that ends the running scan
    QTimer m_frame;
    QPointer<QMessageBox> m_failureBox;
};

}  // namespace koravel::app
