#include "app/form1.h"

#include <initializer_list>
#include <system_error>
#include <utility>

#include <QByteArray>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFont>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QThread>
#include <QUrl>

#include "app/error_display.h"
#include "app/input_blocker.h"
#include "app/team_list_model.h"
#include "common/code_page.h"
#include "config/scrambler.h"
#include "survey/report.h"
#include "survey/scan.h"
#include "ui_form1.h"

namespace koravel::app {

namespace {

constexpr int kColumnWidths[survey::kColumnCount] = {110, 26, 28, 26, 35, 50};

QString FromCp1251(std::string_view bytes) {
    return QString::fromStdString(common::Cp1251ToUtf8(bytes));
}

std::string ToCp1251(const QString& text) { return common::Utf8ToCp1251(text.toStdString()); }

// A name keeps the raw bytes of data.ini as its lookup key; it is shown in the file's
// one encoding.
QString SectionDisplayName(const std::string& raw, bool utf8) {
    return utf8 ? QString::fromStdString(raw) : FromCp1251(raw);
}

// A separator that does not fit the two characters the page reader allows is left
// empty, as an unreadable locale value would be.
std::string LocaleDecimalSeparator() {
    std::string separator = ToCp1251(QLocale::system().decimalPoint());
    if (separator.size() > 2) separator.clear();
    return separator;
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

TForm1::TForm1(FormOptions options, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::TForm1>()),
      m_model(new TeamListModel(this)),
      m_store(MakeStore(options.settingsFile)),
      m_workingDirectory(StartDirectory(options.workingDirectory)),
      m_limits(options.limits) {
    m_ui->setupUi(this);
    move(547, 397);
    setFixedSize(298, 321);
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
        m_site = options.site.value_or(
            site::SiteAddress{m_store.siteHost().value_or(site::DefaultSiteHost()), 80});
        m_siteWebHost = m_store.siteWebHost().value_or(site::DefaultSiteWebHost());
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
        m_table.emplace(config::DataIniPath(m_workingDirectory));
        FillDivisionList();
    });
}

void TForm1::FormDestroy() {
    m_destroyed = true;
    m_table.reset();
    Guarded(this, [this] { SaveSettings(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The scan holds the GUI thread's stack; closing under it would pull the window away.
    if (m_scanning) {
        event->ignore();
        return;
    }
    if (!m_destroyed) FormDestroy();
    event->accept();
}

void TForm1::LoadSettings() {
    const config::LoadedSettings loaded = m_store.load();
    if (loaded.settings) applyProxySettings(*loaded.settings);
    if (loaded.error) throw *loaded.error;
}

void TForm1::SaveSettings() { m_store.save(proxySettings()); }

std::string TForm1::Encrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                            std::uint32_t increment) const {
    return config::Encrypt(text, startKey, multiplier, increment);
}

std::string TForm1::Decrypt(std::string_view text, std::uint32_t startKey, std::uint32_t multiplier,
                            std::uint32_t increment) const {
    return config::Decrypt(text, startKey, multiplier, increment);
}

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
    if (m_table) {
        const std::vector<std::string> names = m_table->sectionNames();
        const bool utf8 = m_table->isUtf8();
        for (const std::string& name : names)
            combo->addItem(SectionDisplayName(name, utf8), QByteArray(name.data(), name.size()));
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(shown);
}

void TForm1::DivComboChange() {
    TeamIds.clear();
    if (!m_table) return;
    std::string division;
    if (const int index = m_ui->DivCombo->currentIndex(); index >= 0)
        division = m_ui->DivCombo->itemData(index).toByteArray().toStdString();
    TeamIds = m_table->teamIds(division);
}

std::optional<std::string> TForm1::fetch(const site::RosterRequest& request) const {
    std::optional<std::string> page;
    const site::Limits limits = m_limits;
    // Off the GUI thread so that the window keeps painting while the site answers.
    std::unique_ptr<QThread> worker(QThread::create([&page, &request, limits] {
        try {
            site::Reply answer = site::SendRosterRequest(request, limits);
            if (answer.ok()) page = std::move(answer.body);
        } catch (...) {
            page.reset();
        }
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    return page;
}

std::optional<std::string> TForm1::GetUrlClick(std::size_t index) {
    const site::RosterRequest request =
        site::BuildRosterRequest(TeamIds.at(index), proxySettings(), m_site);
    std::optional<std::string> page = fetch(request);
    if (!page) {
        QMessageBox box(QMessageBox::Information, QStringLiteral(":/"),
                        QStringLiteral("Произошла ошибка"), QMessageBox::Ok, this);
        box.exec();
    }
    return page;
}

void TForm1::Button1Click() {
    if (m_scanning) return;
    if (m_ui->DivCombo->currentText() == FromCp1251(survey::DivisionPrompt())) return;

    m_model->clear();
    m_ui->Button1->setText(QStringLiteral("Wait"));
    m_ui->Button1->setEnabled(false);
    {
        const InputBlocker blocker(this);
        m_scanning = true;
        Guarded(this, [&] {
            std::size_t index = 0;
            survey::RunScan(
                TeamIds, DecimalSeparator, [&](std::int32_t) { return GetUrlClick(index++); },
                [&](survey::TeamRow&& row) {
                    survey::TeamList one;
                    one.push_back(std::move(row));
                    m_model->append(std::move(one));
                    m_ui->ListView1->doItemsLayout();
                    repaint();
                });
        });
        m_scanning = false;
    }
    // Also after an error: the window must not stay stuck in "Wait".
    m_ui->Button1->setText(QStringLiteral("Клац"));
    m_ui->Button1->setEnabled(true);
    m_ui->Button2->setEnabled(true);
}

void TForm1::Button2Click() {
    survey::AppendReport(m_workingDirectory / "save.txt", m_model->rows());
}

void TForm1::ListView1ColumnClick(int column) {
    m_model->columnClick(column, m_sortState, DecimalSeparator);
}

void TForm1::ListView1DblClick() {
    const QModelIndexList selected = m_ui->ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    const survey::TeamRow& row = m_model->rows().at(selected.first().row());
    QDesktopServices::openUrl(
        QUrl(QString::fromStdString(site::BrowserLink(m_siteWebHost, row.teamId))));
}

const survey::TeamList& TForm1::teamList() const { return m_model->rows(); }

}  // namespace koravel::app
