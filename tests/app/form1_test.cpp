#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "app/error_display.h"
#include "app/form1.h"
#include "common/code_page.h"
#include "survey/report.h"
#include "survey/scan.h"
#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"

using namespace koravel;
using Ids = std::vector<std::int32_t>;

class Form1Test final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<tools::FakeSite> m_site;
    std::unique_ptr<app::TForm1> m_form;
    QList<QUrl> m_urls;
    QTimer m_boxAnswerer;
    QStringList m_boxes;  // "<owner> <title> <icon>: <text>"
    std::function<void()> m_whileBoxOpen;
    // Players "", "2", "2,5", "10" sort differently as text and as numbers.
    const std::map<std::int32_t, tools::PageSpec> m_teams = {
        {101, {common::Utf8ToCp1251("Заря"), "10", "12", {{"19", "1.5"}}}},
        {102, {"alpha", "2,5", "7", {}}},
        {103, {common::Utf8ToCp1251("Торпедо"), "", "5", {}}},
        {104, {"Bravo", "2", "20", {}}}};

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString port() const { return QString::number(m_site->port()); }
    void write(const QString& name, const QByteArray& bytes) const {
        std::ofstream(path(name).toStdString()) << bytes.toStdString();
    }
    void open(const QString& settingsFile = "settings.ini") {
        m_form = std::make_unique<app::TForm1>(
            app::FormOptions{path(settingsFile), m_dir->path().toStdString(), {}, {}});
        m_form->show();
    }
    template <class T = QWidget>
    T* w(const char* name) const {
        return m_form->findChild<T*>(name);
    }
    QComboBox* combo() const { return w<QComboBox>("DivCombo"); }
    QTreeView* view() const { return w<QTreeView>("ListView1"); }
    void click(const char* name) const { QTest::mouseClick(w(name), Qt::LeftButton); }
    void scan() const {
        combo()->setCurrentIndex(0);
        click("Button1");
    }
    void clickHeader(int column) const {
        QHeaderView* header = view()->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {x, header->height() / 2});
    }
    Ids order() const {
        Ids ids;
        for (const auto& row : m_form->teamList()) ids.push_back(row.teamId);
        return ids;
    }
    QStringList buttons() const {
        QStringList all;
        for (auto* b : {w<QPushButton>("Button1"), w<QPushButton>("Button2")})
            all << b->text() + (b->isEnabled() ? " on" : " off");
        return all;
    }
    QStringList takeBoxes() { return std::exchange(m_boxes, {}); }
    // The box, then the four edits' texts; "(off)" marks a disabled edit.
    QStringList proxyTab() const {
        QStringList tab{w<QCheckBox>("CheckBox1")->isChecked() ? "ticked" : "clear"};
        for (auto* edit : m_form->findChildren<QLineEdit*>(QRegularExpression("^proxy")))
            tab << edit->text() + (edit->isEnabled() ? "" : " (off)");
        return tab;
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_urls.append(url); }

private Q_SLOTS:
    void initTestCase() {
        // Every modal message box is answered with OK, after m_whileBoxOpen had its turn.
        connect(&m_boxAnswerer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            const QString owner = box->parentWidget() ? box->parentWidget()->objectName() : "none";
            const char* icon = box->icon() == QMessageBox::Critical ? "stop" : "info";
            m_boxes << QString("%1 %2 %3: %4").arg(owner, box->windowTitle(), icon, box->text());
            if (m_whileBoxOpen) m_whileBoxOpen();
            box->button(QMessageBox::Ok)->click();
        });
        m_boxAnswerer.start(10);
    }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        write("data.ini",
              "[Первая]\nteam1=101\nteam2=102\nteam3=103\nteam4=104\n"
              "[Вторая]\nteam2=202\nteam1=201\nteam4=204\n[Пустая]\n");
        m_site = std::make_unique<tools::FakeSite>();
        m_site->servePages([this](std::int32_t id) {
            return tools::MakeRosterPage(m_teams.contains(id) ? m_teams.at(id)
                                                              : tools::DemoTeam(id));
        });
        write("settings.ini",
              "[Koravel]\nSiteWebHost=web.test\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
                  port().toUtf8());
        m_urls.clear();
        QDesktopServices::setUrlHandler("http", this, "openUrl");
    }
    void cleanup() {
        QDesktopServices::unsetUrlHandler("http");
        m_whileBoxOpen = {};
        m_form.reset();
        QVERIFY(takeBoxes().isEmpty());  // no box went unchecked
        m_dir.reset();
    }

    void startsReadyOnTheMainTabWithTheDivisionsOfDataIni() {
        open();
        QCOMPARE(m_form->windowTitle(), "Koravel");
        QCOMPARE(m_form->size(), QSize(298, 321));
        QCOMPARE(view()->model()->headerData(4, Qt::Horizontal).toString(), "Т>1");
        QCOMPARE(w<QTabWidget>("PageControl1")->currentWidget()->objectName(), "TabSheet1");
        QCOMPARE(buttons(), (QStringList{"Клац on", "Сэйв off"}));
        QCOMPARE(proxyTab(), (QStringList{"ticked", "", "", "127.0.0.1", port()}));
        QCOMPARE(combo()->currentText(), "Дивизион");
        QCOMPARE(combo()->count(), 3);
        QCOMPARE(combo()->itemText(0), "Первая");
        QCOMPARE(combo()->itemText(2), "Пустая");
        click("Button1");  // the prompt keeps the scan from running
        QCOMPARE(buttons(), (QStringList{"Клац on", "Сэйв off"}));
    }

    void scanGoesOnAfterAFailedRequestButStopsAtAnUnreadableAge() {
        m_site->overrideTeam(102, tools::Answer::Http("404 Not Found", ""));
        const std::string badAge = tools::MakeRosterPage({"Bad", "5", "3", {{"abc", "1"}}});
        m_site->overrideTeam(103, tools::Answer::Http("200 OK", badAge));
        open();
        bool closed = true;
        m_whileBoxOpen = [&] {
            clickHeader(1);  // input during the scan is dropped, not replayed
            closed = m_form->close();
        };
        scan();
        const QString failed = "Form1 :/ info: Произошла ошибка";
        QCOMPARE(
            takeBoxes(),
            (QStringList{failed, "Form1 App_tests stop: 'abc' is not a valid integer value."}));
        QVERIFY(!closed && m_form->isVisible());
        QCOMPARE(order(), (Ids{101, 102, 103}));
        QCOMPARE(m_form->teamList()[2].subItems, (std::vector<std::string>{"5", "3"}));
        QCOMPARE(buttons(), (QStringList{"Клац on", "Сэйв on"}));
        QCOMPARE(app::ErrorText("\xEE\xF8\xE8\xE1\xEA\xE0"), "ошибка.");  // bytes above "."
        QCOMPARE(app::ErrorTitle("KORAVEL.app.EXE"), "Koravel");

        m_site->overrideTeam(103,
                             tools::Answer::Http("200 OK", tools::MakeRosterPage(m_teams.at(103))));
        survey::TeamList expected;
        for (const auto& [id, team] : m_teams) {
            const auto page = id == 102 ? std::nullopt : std::optional(tools::MakeRosterPage(team));
            survey::ScanTeam(expected, id, page, m_form->decimalSeparator());
        }
        scan();  // onto an emptied list
        QCOMPARE(order(), (Ids{101, 102, 103, 104}));
        QCOMPARE(survey::ReportBlock(m_form->teamList()), survey::ReportBlock(expected));
        QCOMPARE(takeBoxes(), QStringList{failed});
        QVERIFY(m_site->requests().at(0).starts_with("POST http://"));
        QCOMPARE(view()->model()->index(2, 0).data().toString(), "Торпедо");
        clickHeader(1);  // the first click that counts sorts ascending
        QCOMPARE(order().back(), 101);
    }

    void sortSaveAndDoubleClickFollowTheHeaderClicks() {
        open();
        m_form->setDecimalSeparator(",");
        scan();
        view()->setCurrentIndex(view()->model()->index(2, 0));  // team 103
        clickHeader(1);
        QCOMPARE(order(), (Ids{103, 104, 102, 101}));
        clickHeader(1);
        QCOMPARE(order(), (Ids{101, 102, 104, 103}));
        clickHeader(2);
        QCOMPARE(order(), (Ids{103, 102, 101, 104}));
        clickHeader(0);  // descending; Latin before Cyrillic, a-z folded
        QCOMPARE(order(), (Ids{103, 101, 104, 102}));
        QCOMPARE(view()->selectionModel()->selectedRows().at(0).row(), 0);

        click("Button2");
        QFile file(path("save.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toStdString(), survey::ReportBlock(m_form->teamList()));

        const QPoint row1 = view()->visualRect(view()->model()->index(1, 0)).center();
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, row1);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, row1);
        QCOMPARE(m_urls, QList<QUrl>{QUrl("http://web.test/xml/school/roster.php?id=101")});
    }

    void proxySettingsSurviveTheNextStarts() {
        // "x" after "p" scrambles to a zero byte; 300 bytes outrun an 8-bit count.
        const QString password = "pxq7" + QString(296, 'k');
        open();
        w<QCheckBox>("CheckBox1")->setChecked(true);
        w<QLineEdit>("proxylogin")->setText("Юзер");
        w<QLineEdit>("proxypasswd")->setText(password);
        QVERIFY(m_form->close());
        open();
        QCOMPARE(proxyTab(), (QStringList{"ticked", "Юзер", password, "127.0.0.1", port()}));
        const QStringList off{"clear", "Юзер (off)", password + " (off)", "127.0.0.1 (off)",
                              port() + " (off)"};
        click("CheckBox1");
        QCOMPARE(proxyTab(), off);
        w<QLineEdit>("proxylogin")->setText("changed");
        QVERIFY(m_form->close());
        open();  // a clear box stores nothing but itself
        QCOMPARE(proxyTab(), off);
    }

    void brokenSettingsStillLetTheWindowOpenAndClose() {
        const QString stop = "Form1 App_tests stop: ";
        const QByteArray shape = "[Koravel]\nUseProxy=1\nProxyLogin=a, b\n";
        // file, its content (null: none), the boxes, the divisions (6: start-up ended early;
        // 0: the layout's items are gone, data.ini being missing)
        const std::tuple<QString, QByteArray, QStringList, int> cases[] = {
            {"new/kelvo.conf", {}, {}, 0},
            {"garbage.conf", QByteArray("\x01[\xff\0=\n[[=]\n", 11), {}, 0},
            {"shape.conf", shape, {stop + "Invalid data type for 'ProxyLogin'"}, 6},
            {"plain/kelvo.conf", {}, {stop + "Failed to create key Koravel."}, 0}};
        write("plain", "not a folder");
        QVERIFY(QFile::remove(path("data.ini")));
        for (const auto& [file, content, boxes, divisions] : cases) {
            if (!content.isNull()) write(file, content);
            open(file);
            QCOMPARE(combo()->count(), divisions);
            // A load error keeps the values read before it.
            QCOMPARE(proxyTab().at(0), divisions == 6 ? "ticked" : "clear");
            QVERIFY(m_form->close() && !m_form->isVisible());
            QCOMPARE(takeBoxes(), boxes);
            if (file.startsWith("plain/")) continue;
            QCOMPARE(std::filesystem::status(path(file).toStdString()).permissions(),
                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        }
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
