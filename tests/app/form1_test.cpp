#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cctype>
#include <functional>
#include <memory>

#include "app/error_display.h"
#include "app/form1.h"
#include "common/code_page.h"
#include "config/scrambler.h"
#include "survey/report.h"
#include "survey/scan.h"
#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"

using namespace koravel;
using tools::Answer;
using tools::PageSpec;

namespace {

QString Cp(std::string_view bytes) { return QString::fromStdString(common::Cp1251ToUtf8(bytes)); }

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* parent = nullptr;
};

// Answers every modal message box with OK, after `whileOpen` had its turn.
class BoxAnswerer final {
public:
    explicit BoxAnswerer(std::function<void()> whileOpen = {}) : m_whileOpen(std::move(whileOpen)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen.push_back({box->windowTitle(), box->text(), box->icon(), box->parentWidget()});
            if (m_whileOpen) m_whileOpen();
            box->button(QMessageBox::Ok)->click();
        });
        m_timer.start(10);
    }
    std::vector<SeenBox> seen;

private:
    QTimer m_timer;
    std::function<void()> m_whileOpen;
};

// The password byte that equals its mask scrambles to a zero byte.
std::string PasswordWithZeroScrambledByte() {
    for (std::string prefix = "p"; prefix.size() < 64; prefix += 'q') {
        const auto mask = static_cast<unsigned char>(
            config::Encrypt(prefix + '\0', config::StartKey, config::Multiplier, config::Increment)
                .back());
        if (std::isalnum(mask)) return prefix + static_cast<char>(mask);
    }
    return {};
}

}  // namespace

class UrlCatcher final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};

class Form1Test final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<tools::FakeSite> m_site;
    UrlCatcher m_urls;

    QString settingsFile() const { return m_dir->filePath("settings.ini"); }
    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void writeSettings(const QByteArray& extra = {}) {
        writeFile(settingsFile(), "[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
                                      QByteArray::number(m_site->port()) + "\n" + extra);
    }
    std::unique_ptr<app::TForm1> makeForm() {
        app::FormOptions options;
        options.settingsFile = settingsFile();
        options.workingDirectory = m_dir->filePath("work").toStdString();
        options.limits.connect = std::chrono::seconds(5);
        options.limits.idle = std::chrono::seconds(5);
        auto form = std::make_unique<app::TForm1>(options);
        form->setDecimalSeparator(".");
        form->show();
        return form;
    }
    void serve(std::int32_t id, const PageSpec& spec) {
        m_site->overrideTeam(id, Answer::Http("200 OK", tools::MakeRosterPage(spec)));
    }
    template <class T>
    static T* child(QWidget& form, const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }
    static void scan(app::TForm1& form, int division) {
        child<QComboBox>(form, "DivCombo")->setCurrentIndex(division);
        QTest::mouseClick(child<QPushButton>(form, "Button1"), Qt::LeftButton);
    }
    static void clickHeader(app::TForm1& form, int column) {
        QHeaderView* header = child<QTreeView>(form, "ListView1")->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    static std::vector<std::int32_t> order(const app::TForm1& form) {
        std::vector<std::int32_t> ids;
        for (const auto& row : form.teamList()) ids.push_back(row.teamId);
        return ids;
    }
    static void verifyReady(app::TForm1& form) {
        QCOMPARE(child<QPushButton>(form, "Button1")->text(), QStringLiteral("Клац"));
        QVERIFY(child<QPushButton>(form, "Button1")->isEnabled());
        QVERIFY(child<QPushButton>(form, "Button2")->isEnabled());
    }
    // Teams 101..104 with distinct players, CoSP and names, for the ordering tests.
    void serveFourTeams() {
        serve(101, {common::Utf8ToCp1251("Заря"), "9", "12", {{"19", "1.5"}}, 101});
        serve(102, {"alpha", "18", "7", {}, 102});
        serve(103, {common::Utf8ToCp1251("Торпедо"), "14", "5", {}, 103});
        serve(104, {"Bravo", "3", "20", {}, 104});
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir(m_dir->path()).mkdir("work"));
        writeFile(m_dir->filePath("work/data.ini"),
                  "[Первая]\nteam1=101\nteam2=102\nteam3=103\nteam4=104\n"
                  "[Вторая]\nteam2=202\nteam1=201\nteam4=204\n[Пустая]\n");
        m_site = std::make_unique<tools::FakeSite>();
        m_site->servePages();
        writeSettings();
        m_urls.urls.clear();
        QDesktopServices::setUrlHandler("http", &m_urls, "open");
    }
    void cleanup() {
        QDesktopServices::unsetUrlHandler("http");
        m_site.reset();
        m_dir.reset();
    }

    void startsOnMainTabWithDivisionsInFileOrder() {
        auto form = makeForm();
        QCOMPARE(form->objectName(), QStringLiteral("Form1"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Koravel"));
        QCOMPARE(form->size(), QSize(298, 321));
        QCOMPARE(child<QTabWidget>(*form, "PageControl1")->currentWidget()->objectName(),
                 QStringLiteral("TabSheet1"));
        QCOMPARE(child<QPushButton>(*form, "Button1")->text(), QStringLiteral("Клац"));
        QVERIFY(child<QPushButton>(*form, "Button1")->isEnabled());
        QVERIFY(!child<QPushButton>(*form, "Button2")->isEnabled());
        auto* combo = child<QComboBox>(*form, "DivCombo");
        QCOMPARE(combo->currentText(), QStringLiteral("Дивизион"));
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QStringLiteral("Первая"));
        QCOMPARE(combo->itemText(2), QStringLiteral("Пустая"));
        auto* header = child<QTreeView>(*form, "ListView1")->header();
        QCOMPARE(header->count(), 6);
        QCOMPARE(header->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Т>1"));
        QCOMPARE(header->sectionSize(0), 110);

        combo->setCurrentIndex(1);  // keys found by name, the list ends at the gap
        QCOMPARE(form->teamIds(), (std::vector<std::int32_t>{201, 202}));
    }

    void withoutDataIniTheLayoutItemsAreGone() {
        QVERIFY(QFile::remove(m_dir->filePath("work/data.ini")));
        auto form = makeForm();
        QCOMPARE(child<QComboBox>(*form, "DivCombo")->count(), 0);
        QCOMPARE(child<QComboBox>(*form, "DivCombo")->currentText(), QStringLiteral("Дивизион"));
    }

    void settingsErrorStopsStartUpButTheWindowOpens() {
        writeSettings("ProxyLogin=a, b\n");  // a list, not a text
        BoxAnswerer answerer;
        auto form = makeForm();
        QCOMPARE(answerer.seen.size(), std::size_t{1});
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        QCOMPARE(answerer.seen[0].title, QStringLiteral("App_tests"));
        QCOMPARE(answerer.seen[0].text, QStringLiteral("Invalid data type for 'ProxyLogin'"));
        QVERIFY(child<QCheckBox>(*form, "CheckBox1")->isChecked());  // read before the error
        auto* combo = child<QComboBox>(*form, "DivCombo");
        QCOMPARE(combo->count(), 6);
        combo->setCurrentIndex(0);
        QVERIFY(form->teamIds().empty());
    }

    void promptTextKeepsTheScanFromRunning() {
        auto form = makeForm();
        scan(*form, 0);
        QCOMPARE(form->teamList().size(), std::size_t{4});
        const auto requests = m_site->requests().size();
        child<QComboBox>(*form, "DivCombo")->setEditText(QStringLiteral("Дивизион"));
        QTest::mouseClick(child<QPushButton>(*form, "Button1"), Qt::LeftButton);
        QCOMPARE(m_site->requests().size(), requests);
        QCOMPARE(form->teamList().size(), std::size_t{4});
    }

    void scanReadsEveryTeamInOrderThroughTheProxy() {
        auto form = makeForm();
        for (int round = 0; round < 2; ++round) {  // a second scan starts from an empty list
            scan(*form, 0);
            survey::TeamList expected;
            for (std::int32_t id : {101, 102, 103, 104})
                survey::ScanTeam(expected, id, tools::DemoPage(id), ".");
            QCOMPARE(form->teamList().size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                QCOMPARE(form->teamList()[i].teamId, expected[i].teamId);
                QCOMPARE(form->teamList()[i].caption, expected[i].caption);
                QCOMPARE(form->teamList()[i].subItems, expected[i].subItems);
            }
            verifyReady(*form);
        }
        QVERIFY(m_site->requests().at(0).starts_with("POST http://"));
        QCOMPARE(child<QTreeView>(*form, "ListView1")->model()->index(0, 0).data().toString(),
                 Cp(form->teamList()[0].caption));
    }

    void failedRequestIsReportedAndTheScanGoesOnWithAnEmptyRow() {
        serveFourTeams();
        m_site->overrideTeam(102, Answer::Http("404 Not Found", ""));
        auto form = makeForm();
        bool closed = true;
        BoxAnswerer answerer([&] {
            clickHeader(*form, 1);  // input during the scan is dropped, not replayed
            closed = form->close();
        });
        scan(*form, 0);
        QCOMPARE(answerer.seen.size(), std::size_t{1});
        QCOMPARE(answerer.seen[0].text, QStringLiteral("Произошла ошибка"));
        QCOMPARE(answerer.seen[0].title, QStringLiteral(":/"));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Information);
        QCOMPARE(answerer.seen[0].parent, form.get());
        QVERIFY(!closed);
        QVERIFY(form->isVisible());
        QCOMPARE(order(*form), (std::vector<std::int32_t>{101, 102, 103, 104}));
        QCOMPARE(form->teamList()[1].caption, std::string());
        QCOMPARE(form->teamList()[1].subItems, (std::vector<std::string>{"", "", "0", "0", "0"}));
        verifyReady(*form);
        clickHeader(*form, 1);  // the first effective click sorts ascending
        QCOMPARE(order(*form), (std::vector<std::int32_t>{102, 104, 101, 103}));
    }

    void ageThatIsNotANumberEndsTheScanButNotTheWindow() {
        serveFourTeams();
        serve(103, {"Bad", "5", "3", {{"abc", "1"}}, 103});
        auto form = makeForm();
        BoxAnswerer answerer;
        scan(*form, 0);
        QCOMPARE(answerer.seen.size(), std::size_t{1});
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        QCOMPARE(answerer.seen[0].text, QStringLiteral("'abc' is not a valid integer value."));
        QCOMPARE(order(*form), (std::vector<std::int32_t>{101, 102, 103}));
        QCOMPARE(form->teamList()[2].subItems, (std::vector<std::string>{"5", "3"}));
        verifyReady(*form);
    }

    void headerClicksAlternateAndKeepTheSelectedTeam() {
        serveFourTeams();
        auto form = makeForm();
        scan(*form, 0);
        auto* view = child<QTreeView>(*form, "ListView1");
        view->setCurrentIndex(view->model()->index(2, 0));  // team 103
        clickHeader(*form, 1);
        QCOMPARE(order(*form), (std::vector<std::int32_t>{104, 101, 103, 102}));
        clickHeader(*form, 1);
        QCOMPARE(order(*form), (std::vector<std::int32_t>{102, 103, 101, 104}));
        clickHeader(*form, 2);
        QCOMPARE(order(*form), (std::vector<std::int32_t>{103, 102, 101, 104}));
        clickHeader(*form, 0);  // Latin before Cyrillic, a-z folded
        QCOMPARE(order(*form), (std::vector<std::int32_t>{103, 101, 104, 102}));
        QCOMPARE(view->selectionModel()->selectedRows().at(0).row(), 0);
    }

    void numbersSortAsNumbersInTheLocaleFormat() {
        serve(101, {"A", "10", "1", {}, 101});
        serve(102, {"B", "2,5", "1", {}, 102});
        serve(103, {"C", "", "1", {}, 103});
        serve(104, {"D", "10", "1", {}, 104});
        auto form = makeForm();
        form->setDecimalSeparator(",");
        scan(*form, 0);
        clickHeader(*form, 1);
        QCOMPARE(order(*form), (std::vector<std::int32_t>{103, 102, 101, 104}));
    }

    void saveWritesTheListInItsSortedOrder() {
        serveFourTeams();
        auto form = makeForm();
        scan(*form, 0);
        clickHeader(*form, 2);
        QTest::mouseClick(child<QPushButton>(*form, "Button2"), Qt::LeftButton);
        QFile file(m_dir->filePath("work/save.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::string saved = file.readAll().toStdString();
        QCOMPARE(saved, survey::ReportBlock(form->teamList()));
        QVERIFY(saved.find(common::Utf8ToCp1251("Торпедо")) < saved.find("alpha"));
    }

    void doubleClickOpensTheTeamOfTheRow() {
        serveFourTeams();
        writeSettings("SiteWebHost=web.test\n");
        auto form = makeForm();
        scan(*form, 0);
        clickHeader(*form, 1);
        auto* view = child<QTreeView>(*form, "ListView1");
        const QPoint row1 = view->visualRect(view->model()->index(1, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row1);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, row1);
        QCOMPARE(m_urls.urls, QList<QUrl>{QUrl("http://web.test/xml/school/roster.php?id=101")});

        const QPoint below(row1.x(), view->viewport()->height() - 2);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, below);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(m_urls.urls.size(), 1);
    }

    void proxySettingsSurviveTheNextStart_data() {
        QTest::addColumn<QByteArray>("password");
        QTest::newRow("zero scrambled byte")
            << QByteArray::fromStdString(PasswordWithZeroScrambledByte());
        QTest::newRow("300 bytes") << QByteArray(300, 'k').replace(7, 3, "Zx9");
    }
    void proxySettingsSurviveTheNextStart() {
        QFETCH(QByteArray, password);
        QVERIFY(!password.isEmpty());
        {
            auto form = makeForm();
            child<QLineEdit>(*form, "proxylogin")->setText(QStringLiteral("Юзер"));
            child<QLineEdit>(*form, "proxypasswd")->setText(QString::fromLatin1(password));
            form->close();
        }
        auto form = makeForm();
        QVERIFY(child<QCheckBox>(*form, "CheckBox1")->isChecked());
        QVERIFY(child<QLineEdit>(*form, "proxypasswd")->isEnabled());
        QCOMPARE(child<QLineEdit>(*form, "proxylogin")->text(), QStringLiteral("Юзер"));
        QCOMPARE(child<QLineEdit>(*form, "proxypasswd")->text(), QString::fromLatin1(password));
        QCOMPARE(child<QLineEdit>(*form, "proxyport")->text(), QString::number(m_site->port()));
    }

    void clearBoxAtCloseKeepsTheStoredProxy() {
        {
            auto form = makeForm();
            child<QLineEdit>(*form, "proxylogin")->setText("user");
            form->close();
        }
        {
            auto form = makeForm();
            child<QCheckBox>(*form, "CheckBox1")->setChecked(false);
            child<QLineEdit>(*form, "proxylogin")->setText("changed");
            form->close();
        }
        auto form = makeForm();
        QVERIFY(!child<QCheckBox>(*form, "CheckBox1")->isChecked());
        QVERIFY(!child<QLineEdit>(*form, "proxylogin")->isEnabled());
        QCOMPARE(child<QLineEdit>(*form, "proxylogin")->text(), QStringLiteral("user"));
        QCOMPARE(child<QLineEdit>(*form, "proxyserver")->text(), QStringLiteral("127.0.0.1"));
    }

    void checkBoxTogglesTheEditsAndKeepsTheirTexts() {
        auto form = makeForm();
        auto* box = child<QCheckBox>(*form, "CheckBox1");
        QTest::mouseClick(box, Qt::LeftButton);
        for (const char* name : {"proxylogin", "proxypasswd", "proxyserver", "proxyport"})
            QVERIFY(!child<QLineEdit>(*form, name)->isEnabled());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(child<QLineEdit>(*form, "proxyport")->isEnabled());
        QCOMPARE(child<QLineEdit>(*form, "proxyport")->text(), QString::number(m_site->port()));
    }

    void errorMessagesGetAFullStopOnlyAfterCharactersAboveIt() {
        QCOMPARE(app::ErrorText("value"), QStringLiteral("value."));
        QCOMPARE(app::ErrorText("for 'X'"), QStringLiteral("for 'X'"));
        QCOMPARE(app::ErrorText("done."), QStringLiteral("done."));
        QCOMPARE(app::ErrorText("(5)"), QStringLiteral("(5)"));
        QCOMPARE(app::ErrorText(""), QString());
        QCOMPARE(app::ErrorText("\xEE\xF8\xE8\xE1\xEA\xE0"), QStringLiteral("ошибка."));
        QCOMPARE(app::ErrorTitle("KORAVEL.EXE"), QStringLiteral("Koravel"));
        QCOMPARE(app::ErrorTitle("my.app.bin"), QStringLiteral("My"));
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
