#include <QtTest>
#include <QtWidgets>

#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "app/error_display.h"
#include "app/form1.h"
#include "common/code_page.h"
#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"

using namespace koravel;

namespace {

QString Bars(int count) { return QString(count, '_'); }

// A report block as users' existing save.txt files hold it.
QString Block(const QStringList& rows) {
    return " \r\nКоманда" + Bars(16) + "И_РП_19_Т>1_MaxT\r\n" + rows.join("\r\n") + "\r\n \r\n" +
           QString(50, '*') + "\r\n";
}

bool IsChild() { return qEnvironmentVariableIsSet("KORAVEL_CHILD"); }

// The system locale and the screen are fixed per process.
void RunChild(const char* slot, const QStringList& environment) {
    QProcess child;
    child.setEnvironment(QProcess::systemEnvironment() + environment +
                         QStringList{"KORAVEL_CHILD=1"});
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {slot});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY2(child.exitCode() == 0, qPrintable(environment.join(' ') + "\n" + child.readAll()));
}

}  // namespace

class Form1Test final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<tools::FakeSite> m_site;
    std::unique_ptr<app::TForm1> m_form;
    QList<QUrl> m_urls;
    QTimer m_boxAnswerer;
    QStringList m_boxes;  // "<owner> <title> <icon>: <text>"
    std::function<void(QMessageBox*)> m_whileBoxOpen;
    const std::string m_huge = std::string(20u << 20, 'x');
    // Players "", "2", "2,5", "10" and the talents of 30x sort differently as text and as
    // numbers.
    const std::map<std::int32_t, tools::PageSpec> m_teams = {
        {101, {common::Utf8ToCp1251("Заря"), "10", "12", {{"19", "1.5"}}}},
        {102, {"alpha", "2,5", "7", {}}},
        {103, {common::Utf8ToCp1251("Торпедо"), "", "5", {}}},
        {104, {"Bravo", "2", "20", {}}},
        {301, {"A", "1", "1", {{"18", "2.25"}}}},
        {302, {"B", "1", "1", {{"19", "10"}}}},
        {303, {"C", "1", "1", {{"18", "0.5"}}}},
        {304, {"D", "1", "1", {{"18", "1.5"}, {"18", "1"}}}},
        {401, {m_huge, "1", "1", {}}},
        {402, {"Age", "1", "1", {{m_huge, "1"}}}},
        {403, {"Talent", "1", "1", {{"18", m_huge}}}}};
    const QString m_stop = "Form1 App_tests stop: ";

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
    void scan(int division = 0) const {
        combo()->setCurrentIndex(division);
        click("Button1");
    }
    void clickHeader(int column) const {
        QHeaderView* header = view()->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {x, header->height() / 2});
    }
    // One "cell|cell|..." per row; `columns` 1 for the names only.
    QStringList rows(int columns = 6) const {
        QStringList all;
        for (int r = 0; r < view()->model()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < columns; ++c)
                cells << view()->model()->index(r, c).data().toString();
            all << cells.join('|');
        }
        return all;
    }
    QString saved() const {
        QFile file(path("save.txt"));
        file.open(QIODevice::ReadOnly);
        return QString::fromStdString(common::Cp1251ToUtf8(file.readAll().toStdString()));
    }
    // Both buttons, as "Клац on Сэйв off".
    QString buttons() const {
        QString all;
        for (auto* b : {w<QPushButton>("Button1"), w<QPushButton>("Button2")})
            all += b->text() + (b->isEnabled() ? " on " : " off ");
        return all.trimmed();
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
        // Every box is recorded and answered with OK, after m_whileBoxOpen had its turn.
        connect(&m_boxAnswerer, &QTimer::timeout, this, [this] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(top);
                if (!box || !box->isVisible()) continue;
                const QMap<int, QString> icons{{QMessageBox::Information, "info"},
                                               {QMessageBox::Critical, "stop"}};
                const QWidget* owner = box->parentWidget();
                m_boxes << QString("%1 %2 %3: %4")
                               .arg(owner ? owner->objectName() : "none", box->windowTitle(),
                                    icons.value(box->icon(), "other"), box->text());
                if (m_whileBoxOpen) m_whileBoxOpen(box);
                if (box->isVisible()) box->button(QMessageBox::Ok)->click();
                return;
            }
        });
        m_boxAnswerer.start(10);
    }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        write("data.ini",
              "[Первая]\nteam1=101\nteam2=102\nteam3=103\nteam4=104\n"
              "[Вторая]\nteam1=301\nteam2=302\nteam3=303\nteam4=304\n[Пустая]\n");
        m_site = std::make_unique<tools::FakeSite>();
        m_site->servePages([this](std::int32_t id) {
            return tools::MakeRosterPage(m_teams.contains(id) ? m_teams.at(id)
                                                              : tools::DemoTeam(id));
        });
        write("settings.ini",
              "[Koravel]\nSiteHost=site.test\nSiteWebHost=web.test\nUseProxy=1\n"
              "ProxyServer=127.0.0.1\nProxyPort=" +
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

    void startsReadyWithTheDivisionsOfDataIniAndTheProxyTab() {
        open();
        QCOMPARE(combo()->currentText(), "Дивизион");
        QCOMPARE(combo()->count(), 3);
        QCOMPARE(combo()->itemText(2), "Пустая");
        click("Button1");  // the prompt keeps the scan from running
        QCOMPARE(buttons(), "Клац on Сэйв off");
        QCOMPARE(m_site->requests().size(), 0u);
        QCOMPARE(proxyTab(), (QStringList{"ticked", "", "", "127.0.0.1", port()}));
        click("CheckBox1");
        QCOMPARE(proxyTab(),
                 (QStringList{"clear", " (off)", " (off)", "127.0.0.1 (off)", port() + " (off)"}));
        QCOMPARE(app::ErrorText("\xEE\xF8\xE8\xE1\xEA\xE0"), "ошибка.");  // bytes above "."
        QCOMPARE(app::ErrorText(std::string(5000, 'x')), QString(1000, 'x') + "….");
    }

    void scanGoesOnAfterAFailedRequestAndDropsInputButStopsAtAnUnreadableAge() {
        m_site->overrideTeam(102, tools::Answer::Http("404 Not Found", ""));
        const std::string badAge = tools::MakeRosterPage({"Bad", "5", "3", {{"abc", "1"}}});
        m_site->overrideTeam(103, tools::Answer::Http("200 OK", badAge));
        open();
        m_form->setDecimalSeparator(",");
        m_whileBoxOpen = [this](QMessageBox*) {
            clickHeader(1);
            QTest::keyClicks(combo(), "x");
        };
        scan();
        QCoreApplication::processEvents();  // dropped input is not replayed now either
        QCOMPARE(combo()->currentText(), "Первая");
        QCOMPARE(takeBoxes(), (QStringList{"Form1 :/ info: Произошла ошибка",
                                           m_stop + "'abc' is not a valid integer value."}));
        QCOMPARE(rows(), (QStringList{"Заря|10|12|1|1|1,5", "|||0|0|0", "Bad|5|3|||"}));
        QCOMPARE(buttons(), "Клац on Сэйв on");
        const std::string first = m_site->requests().at(0);
        QVERIFY(
            first.starts_with("POST http://site.test:80/xml/school/roster.php?id=101 HTTP/1.0"));
        QVERIFY(first.find("\r\nHost: site.test\r\n") != std::string::npos);
    }

    void sortSaveAndDoubleClickFollowTheHeaderClicks() {
        open();
        m_form->setDecimalSeparator(",");
        scan();
        view()->setCurrentIndex(view()->model()->index(2, 0));  // team 103
        // column clicked, the names after it
        const std::pair<int, QStringList> clicks[] = {
            {1, {"Торпедо", "Bravo", "alpha", "Заря"}},
            {1, {"Заря", "alpha", "Bravo", "Торпедо"}},
            {2, {"Торпедо", "alpha", "Заря", "Bravo"}},
            {0, {"Торпедо", "Заря", "Bravo", "alpha"}}};  // Latin before Cyrillic, a-z folded
        for (const auto& [column, names] : clicks) {
            clickHeader(column);
            QCOMPARE(rows(1), names);
        }
        QCOMPARE(view()->selectionModel()->selectedRows().at(0).row(), 0);

        click("Button2");
        QCOMPARE(
            saved(),
            Block({"Торпедо" + Bars(16) + "__5__0__0__0", "Заря" + Bars(18) + "10__12__1__1__1,5",
                   "Bravo" + Bars(18) + "2__20__0__0__0", "alpha" + Bars(17) + "2,5__7__0__0__0"}));

        const QPoint row1 = view()->visualRect(view()->model()->index(1, 0)).center();
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, row1);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, row1);
        QCOMPARE(m_urls, QList<QUrl>{QUrl("http://web.test/xml/school/roster.php?id=101")});
    }

    // The real system locale gives the separator of the list and save.txt; a small screen
    // moves the window in by the least distance (offscreen frames are 302 x 325).
    void theSystemLocaleAndScreenDecideInAProcessOfTheirOwn() {
        if (!IsChild()) {
            for (const auto& [locale, size] :
                 {std::pair{"C.UTF-8", R"("width": 1920, "height": 1080)"},
                  std::pair{"ru_RU.UTF-8", R"("width": 640, "height": 480)"}}) {
                write("screen.json",
                      QByteArray(R"({"screens": [{"name": "s", "x": 0, "y": 0, "dpr": 1, )") +
                          size + "}]}");
                RunChild("theSystemLocaleAndScreenDecideInAProcessOfTheirOwn",
                         {QString("LC_ALL=") + locale,
                          "QT_QPA_PLATFORM=offscreen:configfile=" + path("screen.json")});
            }
            return;
        }
        open();
        const bool small = QGuiApplication::primaryScreen()->size().width() == 640;
        QCOMPARE(m_form->frameGeometry().topLeft(), small ? QPoint(338, 155) : QPoint(547, 397));
        const QString sep = qgetenv("LC_ALL").startsWith("ru_RU") ? "," : ".";
        scan(1);
        QCOMPARE(rows(), (QStringList{"A|1|1|0|1|2" + sep + "25", "B|1|1|1|1|10",
                                      "C|1|1|0|0|0" + sep + "5", "D|1|1|0|1|1" + sep + "5"}));
        clickHeader(5);  // ascending by number, not by text
        click("Button2");
        QCOMPARE(saved(), Block({"C" + Bars(22) + "1__1__0__0__0" + sep + "5",
                                 "D" + Bars(22) + "1__1__0__1__1" + sep + "5",
                                 "A" + Bars(22) + "1__1__0__1__2" + sep + "25",
                                 "B" + Bars(22) + "1__1__1__1__10"}));
    }

    void closingDuringAScanEndsItAndSavesTheSettings_data() {
        QTest::addColumn<bool>("whileBoxOpen");
        QTest::newRow("close button during a request") << false;
        QTest::newRow("while the failure box is open") << true;
    }
    void closingDuringAScanEndsItAndSavesTheSettings() {
        QFETCH(bool, whileBoxOpen);
        // The second team's request hangs or fails while the first row is on screen.
        const auto closeButton = [this] {
            QCOMPARE(rows(1), QStringList{"Заря"});
            m_form->windowHandle()->close();
        };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (m_site->requests().size() < 2 || rows(1).isEmpty()) return;
            poll.stop();
            closeButton();
        });
        m_site->overrideTeam(102, whileBoxOpen
                                      ? tools::Answer::Http("404 Not Found", "")
                                      : tools::Answer::Silent("", std::chrono::seconds(10)));
        if (whileBoxOpen)
            m_whileBoxOpen = [&](QMessageBox* box) {
                closeButton();
                QVERIFY(!box->isVisible());
            };
        else
            poll.start(5);
        open();
        w<QLineEdit>("proxylogin")->setText("kept");
        scan();
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_site->requests().size(), 2u);  // no later team
        // Dropped, not left to run out: the site had more to send.
        if (!whileBoxOpen) QVERIFY(m_site->waitForHangUps(1, std::chrono::seconds(2)));
        QCOMPARE(takeBoxes().size(), whileBoxOpen ? 1 : 0);
        open();
        QCOMPARE(w<QLineEdit>("proxylogin")->text(), "kept");
    }

    void aHugeCellNeitherStallsTheListNorTheErrorBox() {
        write("data.ini", "[H]\nteam1=401\nteam2=402\n[T]\nteam1=403\n");
        open();
        scan(0);
        QCOMPARE(rows(), (QStringList{QString(1000, 'x') + "|1|1|0|0|0", "Age|1|1|||"}));
        QCOMPARE(m_form->teamList().at(0).caption.size(), m_huge.size());  // whole for the report
        scan(1);
        QCOMPARE(rows(), QStringList{"Talent|1|1|||"});
        const QString quoted = m_stop + "'" + QString(256, 'x') + "…' is not a valid ";
        QCOMPARE(takeBoxes(),
                 (QStringList{quoted + "integer value.", quoted + "floating point value."}));
    }

    void placingMovesTheWindowTheLeastDistanceIntoTheScreen() {
        const QRect screen(0, 0, 800, 600);
        // frame, available area, where the frame goes
        const std::tuple<QRect, QRect, QPoint> cases[] = {
            {{547, 397, 300, 325}, {0, 0, 847, 722}, {547, 397}},  // exactly fits
            {{547, 397, 300, 325}, screen, {500, 275}},
            {{-20, -5, 300, 325}, screen, {0, 0}},
            {{547, 397, 900, 700}, screen, {0, 0}},  // too large: the title bar stays in
            {{547, 397, 300, 325}, {1920, 40, 1280, 984}, {1920, 397}}};
        for (const auto& [frame, area, expected] : cases)
            QCOMPARE(app::PlaceInside(frame, area), expected);
    }

    void aSettingsErrorEndsStartUpAndCloseButTheWindowOpensAndCloses() {
        write("shape.conf", "[Koravel]\nUseProxy=1\nProxyLogin=a, b\n");
        write("plain", "not a folder");
        // A load error keeps the values read before it and the layout's six divisions.
        open("shape.conf");
        QCOMPARE(takeBoxes(), QStringList{m_stop + "Invalid data type for 'ProxyLogin'"});
        QCOMPARE(combo()->count(), 6);
        QCOMPARE(proxyTab().at(0), "ticked");
        QVERIFY(m_form->close() && !m_form->isVisible());
        open("plain/kelvo.conf");
        QVERIFY(m_form->close() && !m_form->isVisible());
        QCOMPARE(takeBoxes(), QStringList{m_stop + "Failed to create key Koravel."});
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
