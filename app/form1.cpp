#include "app/form1.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <initializer_list>
#include <mutex>
#include <system_error>
#include <utility>

#include <QByteArray>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "app/decimal_separator.h"
#include "app/error_display.h"
#include "app/input_blocker.h"
#include "app/team_list_model.h"
#include "common/code_page.h"
#include "common/proxy_settings.h"
#include "config/division_table.h"
#include "survey/report.h"
#include "survey/scan.h"
#include "survey/team_list.h"
#include "survey/team_order.h"
#include "ui_form1.h"

namespace koravel::app {

namespace {

constexpr int kColumnWidths[survey::kColumnCount] = {110, 26, 28, 26, 35, 50};
constexpr QPoint kDesignedPosition(547, 397);
// Rows arriving from the scan are shown, and the window painted, once a frame.
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

config::SettingsStore MakeStore(const QString& file) {
    return file.isEmpty() ? config::SettingsStore() : config::SettingsStore(file);
}

std::filesystem::path StartDirectory(const std::filesystem::path& given) {
    if (!given.empty()) return given;
    std::error_code error;
    auto current = std::filesystem::current_path(error);
    return error ? std::filesystem::path(".") : current;
}

}  // namespace

QPoint PlaceInside(const QRect& frame, const QRect& available) {
    const auto axis = [](int start, int size, int first, int span) {
        return size >= span ? first : std::clamp(start, first, first + span - size);
    };
    return {axis(frame.x(), frame.width(), available.x(), available.width()),
            axis(frame.y(), frame.height(), available.y(), available.height())};
}

struct TForm1::State {
    std::filesystem::path workingDirectory;
    site::Limits limits;
    site::SiteAddress site;
    std::string siteWebHost;
    std::optional<config::DivisionTable> table;
    survey::SortState sortState;
    bool placed = false;

    // The running scan. `stop` also drops the request in flight.
    std::atomic<bool> stop{false};
    bool closeRequested = false;
    QMessageBox* failureBox = nullptr;
    std::mutex arrivedMutex;
    survey::TeamList arrived;  // read by the worker, not yet shown
};

TForm1::TForm1(FormOptions options, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::TForm1>()),
      m_d(std::make_unique<State>()),
      m_model(new TeamListModel(this)),
      m_store(MakeStore(options.settingsFile)) {
    m_d->workingDirectory = StartDirectory(options.workingDirectory);
    m_d->limits = options.limits;
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
             m_ui->CheckBox1, m_ui->proxyloginLabel, m_ui->proxypasswdLabel, m_ui->proxyserverLabel,
             m_ui->proxyportLabel})
        WidenToCaption(captioned);

    m_ui->DivCombo->setEditText(FromCp1251(survey::DivisionPrompt()));

    QTreeView* view = m_ui->ListView1;
    view->setModel(m_model);
    QHeaderView* header = view->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    for (int column = 0; column < survey::kColumnCount; ++column)
        header->resizeSection(column, kColumnWidths[column]);

    Guarded(this, [&] {
        m_d->site = options.site.value_or(
            site::SiteAddress{m_store.siteHost().value_or(site::DefaultSiteHost()), 80});
        m_d->siteWebHost = m_store.siteWebHost().value_or(site::DefaultSiteWebHost());
    });

    auto slot = [this](auto handler) {
        return [this, handler](auto&&...) { Guarded(this, [&] { (this->*handler)(); }); };
    };
    connect(m_ui->CheckBox1, &QCheckBox::toggled, this, slot(&TForm1::CheckBox1Click));
    connect(m_ui->Button1, &QPushButton::clicked, this, slot(&TForm1::Button1Click));
    connect(m_ui->Button2, &QPushButton::clicked, this, slot(&TForm1::Button2Click));
    // Typing and picking both count as a change; a pick may keep the text, typing may
    // keep the index, so both signals lead to the (idempotent) handler.
    connect(m_ui->DivCombo, &QComboBox::currentTextChanged, this, slot(&TForm1::DivComboChange));
    connect(m_ui->DivCombo, &QComboBox::currentIndexChanged, this, slot(&TForm1::DivComboChange));
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { Guarded(this, [&] { ListView1ColumnClick(column); }); });
    connect(view, &QAbstractItemView::doubleClicked, this, slot(&TForm1::ListView1DblClick));

    FormCreate();
}

TForm1::~TForm1() {
    if (!m_destroyed) FormDestroy();
}

void TForm1::FormCreate() {
    // An error ends start-up at its step; the window opens all the same.
    Guarded(this, [this] {
        LoadSettings();
        DecimalSeparator = LocaleDecimalSeparator();
        m_d->table.emplace(config::DataIniPath(m_d->workingDirectory));
        FillDivisionList();
    });
}

void TForm1::FormDestroy() {
    m_destroyed = true;
    m_d->table.reset();
    Guarded(this, [this] { SaveSettings(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (m_scanning) {
        // The scan holds the GUI thread's stack: end it, and close once it has let go.
        m_d->stop = true;
        m_d->closeRequested = true;
        if (m_d->failureBox) m_d->failureBox->done(QMessageBox::Ok);
        event->ignore();
        return;
    }
    if (!m_destroyed) FormDestroy();
    event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only now does Qt know the frame that has to fit too.
    if (!std::exchange(m_d->placed, true)) placeOnScreen();
}

void TForm1::placeOnScreen() {
    QScreen* screen = QGuiApplication::screenAt(kDesignedPosition);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveTopLeft(kDesignedPosition);
    move(PlaceInside(frame, screen->availableGeometry()));
}

void TForm1::LoadSettings() {
    const config::LoadedSettings loaded = m_store.load();
    if (loaded.settings) applyProxySettings(*loaded.settings);
    if (loaded.error) throw *loaded.error;
}

void TForm1::SaveSettings() { m_store.save(proxySettings()); }

void TForm1::CheckBox1Click() {
    const bool use = m_ui->CheckBox1->isChecked();
    m_ui->proxylogin->setEnabled(use);
    m_ui->proxypasswd->setEnabled(use);
    m_ui->proxyserver->setEnabled(use);
    m_ui->proxyport->setEnabled(use);
}

common::ProxySettings TForm1::proxySettings() const {
    return {m_ui->CheckBox1->isChecked(), ToCp1251(m_ui->proxylogin->text()),
            ToCp1251(m_ui->proxypasswd->text()), ToCp1251(m_ui->proxyserver->text()),
            ToCp1251(m_ui->proxyport->text())};
}

void TForm1::applyProxySettings(const common::ProxySettings& settings) {
    m_ui->CheckBox1->setChecked(settings.UseProxy);
    m_ui->proxylogin->setText(FromCp1251(settings.ProxyLogin));
    m_ui->proxypasswd->setText(FromCp1251(settings.ProxyPasswd));
    m_ui->proxyserver->setText(FromCp1251(settings.ProxyServer));
    m_ui->proxyport->setText(FromCp1251(settings.ProxyPort));
}

void TForm1::FillDivisionList() {
    QComboBox* combo = m_ui->DivCombo;
    const QSignalBlocker quiet(combo);
    const QString shown = combo->currentText();
    combo->clear();
    if (m_d->table) {
        const std::vector<std::string> names = m_d->table->sectionNames();
        const bool utf8 = m_d->table->isUtf8();
        for (const std::string& name : names)
            combo->addItem(SectionDisplayName(name, utf8), QByteArray(name.data(), name.size()));
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(shown);
}

void TForm1::DivComboChange() {
    TeamIds.clear();
    if (!m_d->table) return;
    std::string division;
    if (const int index = m_ui->DivCombo->currentIndex(); index >= 0)
        division = m_ui->DivCombo->itemData(index).toByteArray().toStdString();
    TeamIds = m_d->table->teamIds(division);
}

std::optional<std::string> TForm1::fetchPage(std::int32_t teamId,
                                             const common::ProxySettings& proxy) {
    const site::RosterRequest request = site::BuildRosterRequest(teamId, proxy, m_d->site);
    site::Reply reply = site::SendRosterRequest(request, m_d->limits, &m_d->stop);
    if (reply.ok()) return std::move(reply.body);
    // The worker waits for the box: the next request goes out once it is answered.
    if (!m_d->stop)
        QMetaObject::invokeMethod(this, &TForm1::showFailure, Qt::BlockingQueuedConnection);
    return std::nullopt;
}

void TForm1::showFailure() {
    if (m_d->stop) return;
    showArrivedRows();  // the rows before the failed team stand behind the box
    QMessageBox box(QMessageBox::Information, QStringLiteral(":/"),
                    QStringLiteral("Произошла ошибка"), QMessageBox::Ok, this);
    // Modal only in effect, through the input blocker: Qt would hold back the close
    // button of a window under a modal box, and closing must end the scan.
    box.setWindowModality(Qt::NonModal);
    QEventLoop loop;
    connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    m_d->failureBox = &box;
    box.show();
    loop.exec();
    m_d->failureBox = nullptr;
}

void TForm1::showArrivedRows() {
    survey::TeamList rows;
    {
        const std::lock_guard lock(m_d->arrivedMutex);
        rows.swap(m_d->arrived);
    }
    if (rows.empty()) return;
    m_model->append(std::move(rows));
    update();
}

void TForm1::Button1Click() {
    if (m_scanning) return;
    if (m_ui->DivCombo->currentText() == FromCp1251(survey::DivisionPrompt())) return;

    m_model->clear();
    m_ui->Button1->setText(QStringLiteral("Wait"));
    m_ui->Button1->setEnabled(false);
    std::exception_ptr error;
    {
        const InputBlocker blocker(this);
        m_scanning = true;
        m_d->stop = false;
        m_d->closeRequested = false;
        const std::vector<std::int32_t> ids = TeamIds;
        const std::string separator = DecimalSeparator;
        const common::ProxySettings proxy = proxySettings();
        const auto fetch = [this, &proxy](std::int32_t id) { return fetchPage(id, proxy); };
        const auto takeRow = [this](survey::TeamRow&& row) {
            const std::lock_guard lock(m_d->arrivedMutex);
            m_d->arrived.push_back(std::move(row));
        };
        // One worker for the whole scan, while the GUI thread waits in a loop of its own:
        // it keeps painting, shows the rows and answers for the failure messages.
        std::unique_ptr<QThread> worker(QThread::create([&] {
            try {
                survey::RunScan(ids, separator, fetch, takeRow, &m_d->stop);
            } catch (...) {
                error = std::current_exception();
            }
        }));
        QEventLoop loop;
        connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        // Rows are picked up once a frame: the worker never waits for the GUI thread
        // and never wakes it per team.
        QTimer frame;
        connect(&frame, &QTimer::timeout, this, &TForm1::showArrivedRows);
        frame.start(kFrameMs);
        worker->start();
        loop.exec();
        // Only a quitting application leaves the loop before the worker is done; the
        // worker may be waiting for a box then, which needs this thread's events.
        if (!worker->isFinished()) m_d->stop = true;
        while (!worker->wait(QDeadlineTimer(20))) QCoreApplication::processEvents();
        showArrivedRows();
        m_scanning = false;
        if (error && !m_d->closeRequested) Guarded(this, [&] { std::rethrow_exception(error); });
    }
    // Also after an error: the window must not stay stuck in "Wait".
    m_ui->Button1->setText(QStringLiteral("Клац"));
    m_ui->Button1->setEnabled(true);
    m_ui->Button2->setEnabled(true);
    if (m_d->closeRequested) close();
}

void TForm1::Button2Click() {
    survey::AppendReport(m_d->workingDirectory / "save.txt", m_model->rows());
}

void TForm1::ListView1ColumnClick(int column) {
    m_model->columnClick(column, m_d->sortState, DecimalSeparator);
}

void TForm1::ListView1DblClick() {
    const QModelIndexList selected = m_ui->ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    const survey::TeamRow& row = m_model->rows().at(selected.first().row());
    QDesktopServices::openUrl(
        QUrl(QString::fromStdString(site::BrowserLink(m_d->siteWebHost, row.teamId))));
}

const survey::TeamList& TForm1::teamList() const { return m_model->rows(); }

}  // namespace koravel::app
