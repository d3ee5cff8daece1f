#include "app/main_window.h"

#include <algorithm>
#include <initializer_list>

#include <filesystem>
#include <system_error>

#include <QAction>
#include <QByteArray>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabBar>
#include <QUrl>

#include "app/decimal_separator.h"
#include "app/error_display.h"
#include "app/input_blocker.h"
#include "app/scan_worker.h"
#include "app/qt_text.h"
#include "app/team_list_model.h"
#include "common/proxy_settings.h"
#include "ui_main_window.h"

namespace koravel::app {

namespace {

constexpr int kColumnWidths[survey::kColumnCount] = {110, 26, 28, 26, 35, 50};
constexpr QPoint kDesignedPosition(547, 397);
constexpr QSize kDesignedSize(298, 321);
constexpr int kStatusHeight = 16;
constexpr int kStatusShownMs = 5000;
constexpr int kNarrowestName = 20;
// Rows arriving from the scan are shown, and the window painted, at most once a frame.
constexpr int kFrameMs = 16;

// A name keeps the raw bytes of data.ini as its lookup key; it is shown in the file's
// one encoding.
QString SectionDisplayName(const std::string& raw, bool utf8) {
    return utf8 ? FromUtf8(raw) : FromCp1251(raw);
}

// The layout was measured in an 8-point MS Sans Serif; where only a wider face exists,
// a caption grows to the right instead of being clipped.
void WidenToCaption(QWidget* widget) {
    const int wanted = widget->sizeHint().width();
    if (wanted > widget->width()) widget->resize(wanted, widget->height());
}

QList<int> Numbers(const QString& text) {
    QList<int> numbers;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = word.toInt(&ok);
        if (!ok) return {};
        numbers << number;
    }
    return numbers;
}

QString Words(const QList<int>& numbers) {
    QStringList words;
    for (const int number : numbers) words << QString::number(number);
    return words.join(u' ');
}

}  // namespace

Remembered ToRemembered(const WindowMemory& memory) {
    const QRect& g = memory.geometry;
    return {{"WindowGeometry", Words({g.x(), g.y(), g.width(), g.height()})},
            {"ColumnWidths", Words(memory.columnWidths)},
            {"SortColumn", QString::number(memory.sortColumn)},
            {"SortOrder", memory.sortOrder == Qt::AscendingOrder ? "ascending" : "descending"},
            {"Division", memory.division},
            {"Tab", QString::number(memory.tab)}};
}

WindowMemory FromRemembered(const Remembered& values) {
    const auto value = [&](const char* name) {
        const auto found = values.find(name);
        return found == values.end() ? QString() : found->second;
    };
    WindowMemory memory;
    if (const QList<int> g = Numbers(value("WindowGeometry")); g.size() == 4 && g[2] > 0 && g[3] > 0)
        memory.geometry = QRect(g[0], g[1], g[2], g[3]);
    const QList<int> widths = Numbers(value("ColumnWidths"));
    if (widths.size() == survey::kColumnCount &&
        std::all_of(widths.begin(), widths.end(), [](int w) { return w > 0; }))
        memory.columnWidths = widths;
    bool ok = false;
    if (const int column = value("SortColumn").toInt(&ok);
        ok && column >= 0 && column < survey::kColumnCount) {
        memory.sortColumn = column;
        memory.sortOrder =
            value("SortOrder") == "ascending" ? Qt::AscendingOrder : Qt::DescendingOrder;
    }
    memory.division = value("Division");
    memory.tab = value("Tab") == "1" ? 1 : 0;
    return memory;
}

QString WindowTitle(WorkState state, std::size_t shown, std::size_t total) {
    const QString title = FromUtf8(text::kTitle);
    std::size_t team = 0;
    if (state == WorkState::Scanning) team = shown + 1;
    if (state == WorkState::WaitingForUser) team = shown;
    if (team == 0 || team > total) return title;
    return QStringLiteral("%1 — %2/%3").arg(title).arg(team).arg(total);
}

QPoint PlaceInside(const QRect& frame, const QRect& available) {
    const auto axis = [](int start, int size, int first, int span) {
        return size >= span ? first : std::clamp(start, first, first + span - size);
    };
    return {axis(frame.x(), frame.width(), available.x(), available.width()),
            axis(frame.y(), frame.height(), available.y(), available.height())};
}

MainWindow::MainWindow(const SessionOptions& options, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::MainWindow>()),
      m_session(options),
      m_model(new TeamListModel(this)),
      m_worker(std::make_unique<ScanWorker>(m_session)) {
    m_ui->setupUi(this);
    setMinimumSize(kDesignedSize);
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    for (QWidget* captioned : std::initializer_list<QWidget*>{
             m_ui->useProxyBox, m_ui->proxyLoginLabel, m_ui->proxyPasswordLabel,
             m_ui->proxyServerLabel, m_ui->proxyPortLabel})
        WidenToCaption(captioned);
    m_ui->divisionBox->setEditText(FromUtf8(text::kDivisionPrompt));

    QTreeView* view = m_ui->teamView;
    view->setModel(m_model);
    QHeaderView* header = view->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::DescendingOrder);
    header->setSectionsMovable(false);
    // The designed widths hold under every style (Windows' would widen "И" and "19").
    header->setMinimumSectionSize(1);
    for (int column = 0; column < survey::kColumnCount; ++column)
        header->resizeSection(column, kColumnWidths[column]);
    view->setAccessibleName(QStringLiteral("Список команд"));
    m_ui->divisionBox->setAccessibleName(QStringLiteral("Дивизион"));
    m_ui->stopButton->hide();
    m_ui->statusLine->hide();
    m_ui->missingDataLabel->hide();
    m_statusTimer.setSingleShot(true);
    m_statusTimer.setInterval(kStatusShownMs);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] {
        m_ui->statusLine->hide();
        layOut();
    });

    auto slot = [this](auto handler) {
        return [this, handler](auto&&...) { Guarded(this, [&] { (this->*handler)(); }); };
    };
    connect(m_ui->useProxyBox, &QCheckBox::toggled, this, slot(&MainWindow::onUseProxyToggled));
    connect(m_ui->scanButton, &QPushButton::clicked, this, slot(&MainWindow::onScanClicked));
    connect(m_ui->saveButton, &QPushButton::clicked, this, slot(&MainWindow::onSaveClicked));
    connect(m_ui->stopButton, &QPushButton::clicked, this, slot(&MainWindow::onStopClicked));
    connect(m_ui->divisionBox->lineEdit(), &QLineEdit::returnPressed, this,
            slot(&MainWindow::onScanClicked));
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { Guarded(this, [&] { onHeaderClicked(column); }); });
    // A double click, or Enter on a row.
    connect(view, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { Guarded(this, [&] { onRowActivated(index); }); });

    // The worker's outcomes wait in its buffer; the window takes them once a frame.
    m_worker->moveToThread(&m_thread);
    m_frame.setSingleShot(true);
    m_frame.setInterval(kFrameMs);
    connect(m_worker.get(), &ScanWorker::arrived, this, [this] {
        if (!m_frame.isActive()) m_frame.start();
    });
    connect(&m_frame, &QTimer::timeout, this, slot(&MainWindow::takeArrivals));
    connect(m_worker.get(), &ScanWorker::saved, this, [this](const QString& error, bool written) {
        Guarded(this, [&] { onSaveFinished(error, written); });
    });
    m_thread.start();
    addKeys();

    start();
    applyMemory(FromRemembered(m_session.remembered()));
    applyState();
}

void MainWindow::addKeys() {
    const auto add = [this](QWidget* owner, QKeySequence key, void (MainWindow::*handler)(),
                            const char* text = nullptr) {
        auto* action = new QAction(owner);
        action->setShortcut(key);
        if (text) action->setText(FromUtf8(text));
        action->setShortcutContext(owner == this ? Qt::WindowShortcut : Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, handler] { Guarded(this, [&] { (this->*handler)(); }); });
        owner->addAction(action);
    };
    add(this, QKeySequence(Qt::Key_F5), &MainWindow::onScanClicked);
    add(this, QKeySequence::Save, &MainWindow::onSaveClicked);
    add(this, QKeySequence(Qt::Key_Escape), &MainWindow::onStopClicked);
    QTreeView* view = m_ui->teamView;
    add(view, QKeySequence::Copy, &MainWindow::copySelectedRows, "Копировать");
    auto* selectAll = new QAction(FromUtf8("Выделить всё"), view);
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetShortcut);
    connect(selectAll, &QAction::triggered, view, &QAbstractItemView::selectAll);
    view->addAction(selectAll);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MainWindow::applyMemory(const WindowMemory& memory) {
    resize(memory.geometry.isEmpty() ? kDesignedSize
                                     : memory.geometry.size().expandedTo(kDesignedSize));
    m_position = memory.geometry.isEmpty() ? kDesignedPosition : memory.geometry.topLeft();
    layOut();
    QHeaderView* header = m_ui->teamView->header();
    for (int column = 0; column < memory.columnWidths.size(); ++column)
        header->resizeSection(column, memory.columnWidths[column]);
    m_model->sort(memory.sortColumn, memory.sortOrder);
    header->setSortIndicator(memory.sortColumn, memory.sortOrder);
    m_ui->tabs->setCurrentIndex(memory.tab);
    // A division that is gone from data.ini is simply not picked.
    QComboBox* box = m_ui->divisionBox;
    if (const int index = box->findText(memory.division, Qt::MatchExactly);
        index >= 0 && !memory.division.isEmpty())
        box->setCurrentIndex(index);
    placeOnScreen();
}

WindowMemory MainWindow::memory() const {
    WindowMemory memory;
    memory.geometry = QRect(pos(), size());
    const QHeaderView* header = m_ui->teamView->header();
    for (int column = 0; column < survey::kColumnCount; ++column)
        memory.columnWidths << header->sectionSize(column);
    memory.sortColumn = m_model->sortColumn();
    memory.sortOrder = m_model->sortOrder();
    const QComboBox* box = m_ui->divisionBox;
    const int index = box->currentIndex();
    memory.division = index >= 0 && box->itemText(index) == box->currentText()
                          ? box->currentText()
                          : FromRemembered(m_session.remembered()).division;
    memory.tab = m_ui->tabs->currentIndex();
    return memory;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void MainWindow::layOut() {
    const int dx = std::max(0, width() - kDesignedSize.width());
    const int dy = std::max(0, height() - kDesignedSize.height());
    m_ui->tabs->setGeometry(0, 0, 297 + dx, 321 + dy);
    const int list = 257 + dy - (m_ui->statusLine->isHidden() ? 0 : kStatusHeight);
    m_ui->teamView->setGeometry(0, 0, 289 + dx, list);
    m_ui->statusLine->setGeometry(2, list, 287 + dx, kStatusHeight);
    m_ui->missingDataLabel->setGeometry(8, 24, 273 + dx, std::max(16, list - 32));
    m_ui->scanButton->move(8, 264 + dy);
    m_ui->saveButton->move(58, 264 + dy);
    m_ui->stopButton->move(58, 264 + dy);
    m_ui->divisionBox->setGeometry(128, 265 + dy, 153 + dx, 21);
    m_ui->proxyGroup->resize(289 + dx, 253 + dy);
    // The name column takes the width gained, and gives back the width lost.
    QHeaderView* header = m_ui->teamView->header();
    const int name = header->sectionSize(0) + dx - std::exchange(m_grownBy, dx);
    header->resizeSection(0, std::max(kNarrowestName, name));
}

void MainWindow::showStatus(const QString& text, bool timed) {
    m_ui->statusLine->setText(text);
    m_ui->statusLine->setToolTip(text);
    m_ui->statusLine->show();
    if (timed)
        m_statusTimer.start();
    else
        m_statusTimer.stop();
    layOut();
}

void MainWindow::sayMissingData() {
    const std::filesystem::path file = m_session.dataIniFile();
    std::error_code error;
    m_missingData.clear();
    if (!std::filesystem::exists(file, error))
        m_missingData = QStringLiteral("Нет файла data.ini, дивизионы взять неоткуда. Его искали здесь:\n%1");
    else if (m_divisions && m_divisions->divisionNames().empty())
        m_missingData =
            QStringLiteral("В data.ini нет ни одного дивизиона, или файл не удалось прочитать:\n%1");
    m_missingData = m_missingData.arg(FromPath(file));
    m_ui->missingDataLabel->setText(m_missingData);
}

MainWindow::~MainWindow() {
    m_worker->stop();
    m_thread.quit();
    m_thread.wait();
    // A window destroyed without a close still keeps what the user typed.
    Guarded(nullptr, [this] { saveSettingsOnce(); });
}

void MainWindow::setDecimalSeparator(std::string separator) {
    m_decimalSeparator = separator;
    m_model->setDecimalSeparator(std::move(separator));
}

void MainWindow::start() {
    Guarded(this, [this] {
        const config::LoadedSettings& loaded = m_session.settings();
        if (loaded.settings) applyProxySettings(*loaded.settings);
        if (loaded.error) throw *loaded.error;
        setDecimalSeparator(LocaleDecimalSeparator());
        m_divisions = m_session.loadDivisions();
        fillDivisionList();
        sayMissingData();
    });
}

void MainWindow::saveSettingsOnce() {
    if (std::exchange(m_settingsSaved, true)) return;
    const config::SaveReport report = m_session.saveSettings(proxySettings(), ToRemembered(memory()));
    if (!report.unsure.empty()) ShowDefaultError(nullptr, report.unsure);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The request in flight is dropped and no later team is fetched.
    m_worker->stop();
    setState(WorkState::Closing);
    // No box of this window may outlive it or hold back the close.
    for (QMessageBox* box : findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly)) box->close();
    // The window goes now; an error box outlives it, and the program, until answered.
    Guarded(nullptr, [this] { saveSettingsOnce(); });
    event->accept();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only now does Qt know the frame that has to fit too.
    if (!std::exchange(m_placed, true)) placeOnScreen();
}

void MainWindow::placeOnScreen() {
    QScreen* screen = QGuiApplication::screenAt(m_position);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveTopLeft(m_position);
    move(PlaceInside(frame, screen->availableGeometry()));
}

void MainWindow::onUseProxyToggled() {
    const bool use = m_ui->useProxyBox->isChecked();
    m_ui->proxyLoginEdit->setEnabled(use);
    m_ui->proxyPasswordEdit->setEnabled(use);
    m_ui->proxyServerEdit->setEnabled(use);
    m_ui->proxyPortEdit->setEnabled(use);
}

common::ProxySettings MainWindow::proxySettings() const {
    return {m_ui->useProxyBox->isChecked(), ToCp1251(m_ui->proxyLoginEdit->text()),
            ToCp1251(m_ui->proxyPasswordEdit->text()), ToCp1251(m_ui->proxyServerEdit->text()),
            ToCp1251(m_ui->proxyPortEdit->text())};
}

void MainWindow::applyProxySettings(const common::ProxySettings& settings) {
    m_ui->useProxyBox->setChecked(settings.useProxy);
    m_ui->proxyLoginEdit->setText(FromCp1251(settings.login));
    m_ui->proxyPasswordEdit->setText(FromCp1251(settings.password));
    m_ui->proxyServerEdit->setText(FromCp1251(settings.server));
    m_ui->proxyPortEdit->setText(FromCp1251(settings.port));
}

void MainWindow::fillDivisionList() {
    QComboBox* combo = m_ui->divisionBox;
    const QSignalBlocker quiet(combo);
    const QString shown = combo->currentText();
    combo->clear();
    for (const std::string& name : m_divisions->divisionNames())
        combo->addItem(SectionDisplayName(name, m_divisions->isUtf8()),
                       ToBytes(name));
    combo->setCurrentIndex(-1);
    combo->setEditText(shown);
}


void MainWindow::setState(WorkState state) {
    // Closing is for good.
    if (m_state != WorkState::Closing) m_state = state;
    applyState();
}

void MainWindow::applyState() {
    const bool scanning = m_state == WorkState::Scanning || m_state == WorkState::WaitingForUser;
    const bool idle = m_state == WorkState::Idle;
    const bool working = busy();
    m_ui->scanButton->setText(FromUtf8(scanning ? text::kBusy : text::kScan));
    m_ui->scanButton->setEnabled(idle);
    m_ui->saveButton->setEnabled(m_scanned);
    // Stop stands where Save stands while there is work to stop.
    m_ui->saveButton->setVisible(!working);
    m_ui->stopButton->setVisible(working);
    m_ui->missingDataLabel->setVisible(!m_missingData.isEmpty() && m_model->rowCount() == 0);
    // During the work the Proxy tab may be read, not changed.
    for (QLineEdit* edit : {m_ui->proxyLoginEdit, m_ui->proxyPasswordEdit, m_ui->proxyServerEdit,
                            m_ui->proxyPortEdit})
        edit->setReadOnly(working);
    if (working && !m_blocker) {
        m_blocker = std::make_unique<InputBlocker>(
            this, QList<QWidget*>{m_ui->tabs->tabBar(), m_ui->stopButton, m_ui->statusLine,
                                  m_ui->proxyLoginEdit, m_ui->proxyPasswordEdit,
                                  m_ui->proxyServerEdit, m_ui->proxyPortEdit});
    } else if (!working) {
        m_blocker.reset();
    }
    setWindowTitle(WindowTitle(m_state, static_cast<std::size_t>(m_model->rowCount()), m_scanSize));
}

// The division named in the box; nothing for the prompt or a name data.ini lacks.
std::optional<std::vector<std::int32_t>> MainWindow::chosenTeams() {
    if (!m_divisions) return std::nullopt;
    const QComboBox* box = m_ui->divisionBox;
    const QString typed = box->currentText();
    if (typed == FromUtf8(text::kDivisionPrompt)) return std::nullopt;
    // Read afresh, so that teams added while the program runs count; the selector keeps
    // the divisions it was filled with.
    const int index = box->currentIndex();
    if (typed.trimmed().isEmpty()) return std::nullopt;
    const std::string raw =
        index >= 0 && box->itemText(index) == typed ? FromBytes(box->itemData(index).toByteArray())
        : m_divisions->isUtf8()                     ? ToUtf8(typed)
                                                    : ToCp1251(typed);
    m_divisions = m_session.loadDivisions();
    std::optional<std::vector<std::int32_t>> teams = m_divisions->teamIds(raw);
    if (!teams) showStatus(QStringLiteral("Дивизиона «%1» нет в data.ini").arg(typed), true);
    return teams;
}

void MainWindow::onScanClicked() {
    if (m_state != WorkState::Idle) return;
    const std::optional<std::vector<std::int32_t>> teams = chosenTeams();
    if (!teams) return;
    m_model->clear();
    m_ui->teamView->header()->setSortIndicator(-1, m_model->sortOrder());
    m_scanSize = teams->size();
    m_scanError.clear();
    m_focusBefore = focusWidget();
    setState(WorkState::Scanning);
    ScanJob job{*teams, m_decimalSeparator, proxySettings()};
    QMetaObject::invokeMethod(
        m_worker.get(), [worker = m_worker.get(), job = std::move(job)] { worker->scan(job); },
        Qt::QueuedConnection);
}

void MainWindow::takeArrivals() {
    m_frame.stop();
    Arrivals arrivals = m_worker->take();
    std::optional<std::pair<std::int32_t, std::string>> failure;
    for (const TeamOutcome& outcome : arrivals.outcomes) {
        if (outcome.failure) failure.emplace(outcome.teamId, *outcome.failure);
        if (outcome.error) m_scanError = *outcome.error;
    }
    m_model->append(std::move(arrivals.outcomes));
    if (arrivals.finished) {
        if (m_scanError.empty()) m_scanError = arrivals.error;
        m_scanned = true;
        if (m_failureBox) m_failureBox->close();
        // The list comes back in the order the user last chose.
        if (m_model->sortColumn() >= 0) {
            m_model->sort(m_model->sortColumn(), m_model->sortOrder());
            m_ui->teamView->header()->setSortIndicator(m_model->sortColumn(), m_model->sortOrder());
        }
        setState(WorkState::Idle);
        if (m_focusBefore && m_focusBefore->isEnabled()) m_focusBefore->setFocus();
        // Also after an error: the window must not stay stuck in "Wait".
        if (!m_scanError.empty()) ShowDefaultError(this, std::exchange(m_scanError, {}));
        return;
    }
    if (failure && m_state == WorkState::Scanning) {
        setState(WorkState::WaitingForUser);
        showFailure(failure->first, failure->second);
        return;
    }
    applyState();
}

void MainWindow::showFailure(std::int32_t teamId, const std::string& reason) {
    // Modal only in effect, through the input blocker: Qt would hold back the close
    // button of a window under a modal box, and closing must end the scan.
    auto* box = new QMessageBox(QMessageBox::Information, FromUtf8(text::kRequestFailedTitle),
                                FromUtf8(text::kRequestFailed), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("failureBox"));
    box->setInformativeText(QStringLiteral("Команда %1: %2").arg(teamId).arg(FromUtf8(reason)));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    connect(box, &QDialog::finished, this, [this] {
        if (m_state == WorkState::WaitingForUser) setState(WorkState::Scanning);
        m_worker->resume();
    });
    m_failureBox = box;
    box->show();
}

void MainWindow::onSaveClicked() {
    if (m_state != WorkState::Idle || m_model->rows().empty()) return;
    m_savedRows = m_model->rows().size();
    m_focusBefore = focusWidget();
    setState(WorkState::Saving);
    QMetaObject::invokeMethod(
        m_worker.get(), [worker = m_worker.get(), rows = m_model->rows()] { worker->save(rows); },
        Qt::QueuedConnection);
}

void MainWindow::onSaveFinished(const QString& error, bool written) {
    if (m_state == WorkState::Closing) return;
    setState(WorkState::Idle);
    if (m_focusBefore && m_focusBefore->isEnabled()) m_focusBefore->setFocus();
    const QString file = FromPath(m_session.reportFile());
    if (written)
        showStatus(QStringLiteral("Сохранено команд: %1 — %2").arg(m_savedRows).arg(file), true);
    else if (!error.isEmpty())
        ShowDefaultError(this, ToUtf8(error), QStringLiteral("Файл: %1").arg(file));
}

void MainWindow::onStopClicked() {
    if (!busy()) return;
    // The scan ends as at any end: the rows read so far stay.
    m_worker->cancel();
    if (m_failureBox) m_failureBox->close();
}

void MainWindow::copySelectedRows() {
    QList<int> rows;
    for (const QModelIndex& index : m_ui->teamView->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QGuiApplication::clipboard()->setText(m_model->copyText(rows));
}

void MainWindow::onHeaderClicked(int column) {
    m_model->sortByClick(column);
    m_ui->teamView->header()->setSortIndicator(column, m_model->sortOrder());
}

void MainWindow::onRowActivated(const QModelIndex& index) {
    if (!index.isValid()) return;
    const survey::TeamRow& row = m_model->rows().at(static_cast<std::size_t>(index.row()));
    const QString link = FromUtf8(m_session.browserLink(row.teamId));
    // With no browser the address must not be lost: it stays under the list to be copied.
    if (!QDesktopServices::openUrl(QUrl(link)))
        showStatus(QStringLiteral("Браузер не открылся. Адрес: %1").arg(link), false);
}

const survey::TeamList& MainWindow::teamList() const { return m_model->rows(); }

}  // namespace koravel::app
