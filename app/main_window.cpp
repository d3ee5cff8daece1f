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
#include "common/code_page.h"
#include "common/proxy_settings.h"
#include "ui_main_window.h"

namespace koravel::app {

namespace {

constexpr int kColumnWidths[survey::kColumnCount] = {110, 26, 28, 26, 35, 50};
constexpr QPoint kDesignedPosition(547, 397);
// Rows arriving from the scan are shown, and the window painted, at most once a frame.
constexpr int kFrameMs = 16;

QString FromCp1251(std::string_view bytes) {
    return QString::fromStdString(common::Cp1251ToUtf8(bytes));
}

std::string ToCp1251(const QString& text) { return common::Utf8ToCp1251(text.toStdString()); }

// A name keeps the raw bytes of data.ini as its lookup key; it is shown in the file's
// one encoding.
QString SectionDisplayName(const std::string& raw, bool utf8) {
    return utf8 ? QString::fromStdString(raw) : FromCp1251(raw);
}

// The layout was measured in an 8-point MS Sans Serif; where only a wider face exists,
// a caption grows to the right instead of being clipped.
void WidenToCaption(QWidget* widget) {
    const int wanted = widget->sizeHint().width();
    if (wanted > widget->width()) widget->resize(wanted, widget->height());
}

}  // namespace

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
    m_ui->divisionBox->setEditText(QString::fromUtf8(text::kDivisionPrompt));

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
    // Typing and picking both count as a change; a pick may keep the text, typing may
    // keep the index, so both signals lead to the (idempotent) handler.
    connect(m_ui->divisionBox, &QComboBox::currentTextChanged, this,
            slot(&MainWindow::onDivisionChanged));
    connect(m_ui->divisionBox, &QComboBox::currentIndexChanged, this,
            slot(&MainWindow::onDivisionChanged));
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { Guarded(this, [&] { onHeaderClicked(column); }); });
    connect(view, &QAbstractItemView::doubleClicked, this, slot(&MainWindow::onRowActivated));

    // The worker reports through queued signals only; none of them waits for this thread.
    m_worker->moveToThread(&m_thread);
    connect(m_worker.get(), &ScanWorker::rowRead, this, &MainWindow::onRowRead);
    connect(m_worker.get(), &ScanWorker::requestFailed, this, &MainWindow::onRequestFailed);
    connect(m_worker.get(), &ScanWorker::finished, this, &MainWindow::onScanFinished);
    connect(m_worker.get(), &ScanWorker::saved, this, &MainWindow::onSaveFinished);
    m_frame.setSingleShot(true);
    m_frame.setInterval(kFrameMs);
    connect(&m_frame, &QTimer::timeout, this, &MainWindow::showArrivedRows);
    m_thread.start();

    start();
}

MainWindow::~MainWindow() {
    m_worker->stop();
    m_thread.quit();
    m_thread.wait();
    // A window destroyed without a close still keeps what the user typed.
    try {
        saveSettingsOnce();
    } catch (...) {
        // Nobody is left to tell.
    }
}

void MainWindow::start() {
    Guarded(this, [this] {
        const config::LoadedSettings& loaded = m_session.settings();
        if (loaded.settings) applyProxySettings(*loaded.settings);
        if (loaded.error) throw *loaded.error;
        m_decimalSeparator = LocaleDecimalSeparator();
        m_divisions = m_session.loadDivisions();
        fillDivisionList();
    });
}

void MainWindow::saveSettingsOnce() {
    if (std::exchange(m_settingsSaved, true)) return;
    m_session.saveSettings(proxySettings());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_closing = true;
    // The request in flight is dropped and no later team is fetched.
    m_worker->stop();
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
                       QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    combo->setCurrentIndex(-1);
    combo->setEditText(shown);
}

void MainWindow::onDivisionChanged() {
    m_teamIds.clear();
    if (!m_divisions) return;
    std::string division;
    if (const int index = m_ui->divisionBox->currentIndex(); index >= 0)
        division = m_ui->divisionBox->itemData(index).toByteArray().toStdString();
    // Read afresh, so that teams added while the program runs count; the selector keeps
    // the divisions it was filled with.
    m_divisions = m_session.loadDivisions();
    m_teamIds = m_divisions->teamIds(division).value_or(std::vector<std::int32_t>{});
}

void MainWindow::beginWork() {
    m_busy = true;
    m_blocker = std::make_unique<InputBlocker>(this);
}

void MainWindow::endWork() {
    m_blocker.reset();
    m_busy = false;
}

void MainWindow::onScanClicked() {
    if (m_busy) return;
    if (m_ui->divisionBox->currentText() == QString::fromUtf8(text::kDivisionPrompt)) return;
    m_model->clear();
    m_arrived.clear();
    m_ui->scanButton->setText(QString::fromUtf8(text::kBusy));
    m_ui->scanButton->setEnabled(false);
    m_scanSize = m_teamIds.size();
    beginWork();
    showArrivedRows();  // the progress in the title
    ScanJob job{m_teamIds, m_decimalSeparator, proxySettings()};
    QMetaObject::invokeMethod(
        m_worker.get(), [worker = m_worker.get(), job = std::move(job)] { worker->scan(job); },
        Qt::QueuedConnection);
}

void MainWindow::onRowRead(const std::shared_ptr<survey::TeamRow>& row) {
    m_arrived.push_back(std::move(*row));
    if (!m_frame.isActive()) m_frame.start();
}

void MainWindow::showArrivedRows() {
    m_frame.stop();
    if (!m_arrived.empty()) {
        m_model->append(std::exchange(m_arrived, {}));
        update();
    }
    // The team being fetched, of how many.
    const std::size_t shown = static_cast<std::size_t>(m_model->rowCount());
    setWindowTitle(m_busy && m_scanSize > 0 && shown < m_scanSize
                       ? QStringLiteral("%1 — %2/%3")
                             .arg(QString::fromUtf8(text::kTitle))
                             .arg(shown + 1)
                             .arg(m_scanSize)
                       : QString::fromUtf8(text::kTitle));
}

void MainWindow::onRequestFailed() {
    if (m_closing) return;
    showArrivedRows();  // the rows before the failed team stand behind the box
    // Modal only in effect, through the input blocker: Qt would hold back the close
    // button of a window under a modal box, and closing must end the scan.
    auto* box =
        new QMessageBox(QMessageBox::Information, QString::fromUtf8(text::kRequestFailedTitle),
                        QString::fromUtf8(text::kRequestFailed), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    ScanWorker* worker = m_worker.get();
    connect(box, &QDialog::finished, box, [worker] { worker->resume(); });
    m_failureBox = box;
    box->show();
}

void MainWindow::onScanFinished(const std::string& error) {
    showArrivedRows();
    endWork();
    showArrivedRows();  // the plain title again
    // Also after an error: the window must not stay stuck in "Wait".
    m_ui->scanButton->setText(QString::fromUtf8(text::kScan));
    m_ui->scanButton->setEnabled(true);
    m_ui->saveButton->setEnabled(true);
    if (!error.empty() && !m_closing) ShowDefaultError(this, error);
}

void MainWindow::onSaveClicked() {
    if (m_busy || m_model->rows().empty()) return;
    beginWork();
    QMetaObject::invokeMethod(
        m_worker.get(), [worker = m_worker.get(), rows = m_model->rows()] { worker->save(rows); },
        Qt::QueuedConnection);
}

void MainWindow::onSaveFinished(const std::string& error) {
    endWork();
    if (!error.empty() && !m_closing) ShowDefaultError(this, error);
}

void MainWindow::onHeaderClicked(int column) {
    m_model->headerClicked(column, m_sortState, m_decimalSeparator);
}

void MainWindow::onRowActivated() {
    const QModelIndexList selected = m_ui->teamView->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    const survey::TeamRow& row =
        m_model->rows().at(static_cast<std::size_t>(selected.first().row()));
    QDesktopServices::openUrl(QUrl(QString::fromStdString(m_session.browserLink(row.teamId))));
}

const survey::TeamList& MainWindow::teamList() const { return m_model->rows(); }

}  // namespace koravel::app
