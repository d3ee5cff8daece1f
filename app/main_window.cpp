#include "app/main_window.h"

#include <algorithm>
#include <initializer_list>

#include <QByteArray>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QUrl>

#include "app/decimal_separator.h"
#include "app/error_display.h"
#include "app/input_blocker.h"
#include "app/scan_worker.h"
#include "app/team_list_model.h"
#include "app/qt_text.h"
#include "common/proxy_settings.h"
#include "ui_main_window.h"

namespace koravel::app {

namespace {

constexpr int kColumnWidths[survey::kColumnCount] = {110, 26, 28, 26, 35, 50};
constexpr QPoint kDesignedPosition(547, 397);
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

}  // namespace

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
    setFixedSize(298, 321);
    placeOnScreen();
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
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    // The designed widths hold under every style (Windows' would widen "И" and "19").
    header->setMinimumSectionSize(1);
    for (int column = 0; column < survey::kColumnCount; ++column)
        header->resizeSection(column, kColumnWidths[column]);

    auto slot = [this](auto handler) {
        return [this, handler](auto&&...) { Guarded(this, [&] { (this->*handler)(); }); };
    };
    connect(m_ui->useProxyBox, &QCheckBox::toggled, this, slot(&MainWindow::onUseProxyToggled));
    connect(m_ui->scanButton, &QPushButton::clicked, this, slot(&MainWindow::onScanClicked));
    connect(m_ui->saveButton, &QPushButton::clicked, this, slot(&MainWindow::onSaveClicked));
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
    connect(m_worker.get(), &ScanWorker::saved, this,
            [this](const QString& error) { Guarded(this, [&] { onSaveFinished(error); }); });
    m_thread.start();

    start();
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
    });
}

void MainWindow::saveSettingsOnce() {
    if (std::exchange(m_settingsSaved, true)) return;
    m_session.saveSettings(proxySettings());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The request in flight is dropped and no later team is fetched.
    m_worker->stop();
    setState(WorkState::Closing);
    if (m_failureBox) m_failureBox->close();
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
    QScreen* screen = QGuiApplication::screenAt(kDesignedPosition);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveTopLeft(kDesignedPosition);
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
    m_ui->scanButton->setText(FromUtf8(scanning ? text::kBusy : text::kScan));
    m_ui->scanButton->setEnabled(idle || m_state == WorkState::Saving);
    m_ui->saveButton->setEnabled(m_scanned);
    if (busy() && !m_blocker)
        m_blocker = std::make_unique<InputBlocker>(this, QList<QWidget*>{});
    else if (!busy())
        m_blocker.reset();
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
    const std::string raw =
        index >= 0 && box->itemText(index) == typed ? FromBytes(box->itemData(index).toByteArray())
        : m_divisions->isUtf8()                     ? ToUtf8(typed)
                                                    : ToCp1251(typed);
    m_divisions = m_session.loadDivisions();
    return m_divisions->teamIds(raw);
}

void MainWindow::onScanClicked() {
    if (m_state != WorkState::Idle) return;
    const std::optional<std::vector<std::int32_t>> teams = chosenTeams();
    if (!teams) return;
    m_model->clear();
    m_scanSize = teams->size();
    m_scanError.clear();
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
        setState(WorkState::Idle);
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
    setState(WorkState::Saving);
    QMetaObject::invokeMethod(
        m_worker.get(), [worker = m_worker.get(), rows = m_model->rows()] { worker->save(rows); },
        Qt::QueuedConnection);
}

void MainWindow::onSaveFinished(const QString& error) {
    setState(WorkState::Idle);
    if (!error.isEmpty() && m_state != WorkState::Closing)
        ShowDefaultError(this, ToUtf8(error), FromPath(m_session.reportFile()));
}

void MainWindow::onHeaderClicked(int column) { m_model->sortByClick(column); }

void MainWindow::onRowActivated(const QModelIndex& index) {
    if (!index.isValid()) return;
    const survey::TeamRow& row = m_model->rows().at(static_cast<std::size_t>(index.row()));
    QDesktopServices::openUrl(QUrl(FromUtf8(m_session.browserLink(row.teamId))));
}

const survey::TeamList& MainWindow::teamList() const { return m_model->rows(); }

}  // namespace koravel::app
