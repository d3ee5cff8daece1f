#include <QtTest>
#include <QtWidgets>

#include <sys/file.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "app/error_display.h"
#include "app/main_window.h"
#include "common/code_page.h"
#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"
#include "tools/testing/files.h"

using namespace koravel;
using namespace std::chrono_literals;

namespace {

QString Bars(int count) { return QString(count, '_'); }

// A report block as users' existing save.txt files hold it.
QString Block(const QStringList& rows) {
    return " \r\nКоманда" + Bars(16) + "И_РП_19_Т>1_MaxT\r\n" + rows.join("\r\n") + "\r\n \r\n" +
           QString(50, '*') + "\r\n";
}

// Players "", "2", "2,5", "10" and the talents of 30x sort differently as text and as
// numbers; 40x carry 20 MB in one cell.
std::map<std::int32_t, tools::PageSpec> Teams() {
    static const std::string huge(20u << 20, 'x');
    return {
        {101, {common::Utf8ToCp1251("Заря"), "10", "12", {{"19", "1.5"}}}},
        {102, {"alpha", "2,5", "7", {}}},
        {103, {common::Utf8ToCp1251("Торпедо"), "", "5", {}}},
        {104, {"Bravo", "2", "20", {}}},
        {301, {"A", "1", "1", {{"18", "2.25"}}}},
        {302, {"B", "1", "1", {{"19", "10"}}}},
        {303, {"C", "1", "1", {{"18", "0.5"}}}},
        {304, {"D", "1", "1", {{"18", "1.5"}, {"18", "1"}}}},
        {401, {huge, "1", "1", {}}},
        {402, {"Age", "1", "1", {{huge, "1"}}}},
    };
}

// A working folder with data.ini, settings that reach `site` as the proxy, and the
// window over them.
struct Desk {
    QTemporaryDir dir;
    tools::FakeSite site;
    std::unique_ptr<app::MainWindow> window;

    Desk() {
        testing::Spit(path("data.ini"),
                      "[Первая]\nteam1=101\nteam2=102\nteam3=103\nteam4=104\n"
                      "[Вторая]\nteam1=301\nteam2=302\nteam3=303\nteam4=304\n[Пустая]\n");
        site.servePages([teams = Teams()](std::int32_t id) {
            return tools::MakeRosterPage(teams.contains(id) ? teams.at(id) : tools::DemoTeam(id));
        });
        testing::Spit(path("settings.ini"),
                      "[Koravel]\nSiteHost=site.test\nSiteWebHost=web.test\nUseProxy=1\n"
                      "ProxyServer=127.0.0.1\nProxyPort=" +
                          std::to_string(site.port()));
    }
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    void open(const char* settings = "settings.ini") {
        window = std::make_unique<app::MainWindow>(
            app::SessionOptions{path(settings), dir.path().toStdString(), {}, {}});
        window->show();
    }
    template <class T = QWidget>
    T* w(const char* name) const {
        return window->findChild<T*>(name);
    }
    void click(const char* name) const { QTest::mouseClick(w(name), Qt::LeftButton); }
    void scan(int division = 0) const {
        w<QComboBox>("divisionBox")->setCurrentIndex(division);
        click("scanButton");
    }
    // One "cell|cell|..." per row; `columns` 1 for the names only.
    QStringList rows(int columns = 6) const {
        QStringList all;
        const QAbstractItemModel* model = w<QTreeView>("teamView")->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < columns; ++c) cells << model->index(r, c).data().toString();
            all << cells.join('|');
        }
        return all;
    }
};

// This test program again, in a process of its own: a close ends a program, and the
// system locale and screen are fixed per process.
std::unique_ptr<QProcess> Again(const QStringList& environment, const QStringList& arguments = {}) {
    auto child = std::make_unique<QProcess>();
    child->setEnvironment(QProcess::systemEnvironment() + environment);
    child->start(QCoreApplication::applicationFilePath(), arguments);
    return child;
}

bool ABoxIsOpen() {
    const QWidgetList tops = QApplication::topLevelWidgets();
    return std::any_of(tops.begin(), tops.end(), [](QWidget* top) {
        return qobject_cast<QMessageBox*>(top) != nullptr && top->isVisible();
    });
}

// The window closed at one stage of a scan or a save, as the real program would be: it
// prints "closing" just before, and the test measures from there to the process's end.
enum class Stage { Request, FailureBox, HugeRow, LockWait };

int CloseAt(Stage stage, const std::string& folder) {
    Desk desk;
    desk.site.overrideTeam(102, stage == Stage::FailureBox
                                    ? tools::Answer::Http("404 Not Found", "")
                                    : tools::Answer::Silent("", 10s));
    testing::Spit(desk.path("data.ini"), stage == Stage::HugeRow ? "[H]\nteam1=401\nteam2=102\n"
                                                                 : "[P]\nteam1=101\nteam2=102\n");
    desk.open();
    desk.w<QLineEdit>("proxyLoginEdit")->setText("kept");
    const int lock =
        ::open((desk.dir.filePath("save.txt")).toLocal8Bit().constData(), O_RDWR | O_CREAT, 0600);
    if (stage == Stage::LockWait) {
        ::flock(lock, LOCK_EX);
        desk.site.overrideTeam(102, tools::Answer::Http("200 OK", ""));
    }
    desk.scan();
    bool saving = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (stage == Stage::LockWait && !saving && !desk.window->busy()) {
            desk.click("saveButton");
            saving = true;
        }
        const bool ready = stage == Stage::FailureBox ? ABoxIsOpen()
                           : stage == Stage::LockWait
                               ? saving && desk.window->busy()
                               : desk.site.requests().size() == 2 && desk.rows().size() == 1;
        // Rows show as they come: no failure may be what brings the first one up.
        if (stage != Stage::FailureBox && ABoxIsOpen()) QApplication::exit(3);
        if (!ready) return;
        poll.stop();
        std::printf("closing\n");
        std::fflush(stdout);
        desk.window->windowHandle()->close();
    });
    poll.start(5);
    const int status = QApplication::exec();
    desk.window.reset();
    ::close(lock);
    std::filesystem::copy_file(desk.path("settings.ini"), folder + "/settings.ini");
    std::filesystem::copy_file(desk.path("save.txt"), folder + "/save.txt");
    return status;
}

}  // namespace

class MainWindowTest final : public QObject {
    Q_OBJECT

    std::unique_ptr<Desk> m_desk;
    QList<QUrl> m_urls;
    QTimer m_boxAnswerer;
    QStringList m_boxes;  // "<owner> <title> <icon>: <text>"
    std::function<void(QMessageBox*)> m_whileBoxOpen;
    const QString m_stop = "MainWindow Window_tests stop: ";

    Desk& d() { return *m_desk; }
    // Until the scan or save is over and its boxes are answered.
    void waitForTheWork() {
        QTRY_VERIFY_WITH_TIMEOUT(!d().window->busy(), 20000);
        QTRY_VERIFY(!ABoxIsOpen());
    }
    void clickHeader(int column) {
        QHeaderView* header = d().w<QTreeView>("teamView")->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {x, header->height() / 2});
    }
    QString saved() {
        return QString::fromStdString(common::Cp1251ToUtf8(testing::Slurp(d().path("save.txt"))));
    }
    // Both buttons, as "Клац on Сэйв off".
    QString buttons() {
        QString all;
        for (auto* b : {d().w<QPushButton>("scanButton"), d().w<QPushButton>("saveButton")})
            all += b->text() + (b->isEnabled() ? " on " : " off ");
        return all.trimmed();
    }
    QStringList takeBoxes() { return std::exchange(m_boxes, {}); }
    // The box, then the four edits' texts; "(off)" marks a disabled edit.
    QStringList proxyTab() {
        QStringList tab{d().w<QCheckBox>("useProxyBox")->isChecked() ? "ticked" : "clear"};
        for (auto* edit : d().window->findChildren<QLineEdit*>(QRegularExpression("^proxy")))
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
                if (!box || !box->isVisible() || box->property("seen").toBool()) continue;
                box->setProperty("seen", true);
                const QMap<int, QString> icons{{QMessageBox::Information, "info"},
                                               {QMessageBox::Critical, "stop"}};
                const QWidget* owner = box->parentWidget();
                m_boxes << QString("%1 %2 %3: %4")
                               .arg(owner ? owner->objectName() : "none", box->windowTitle(),
                                    icons.value(box->icon(), "other"), box->text()) +
                               (box->informativeText().isEmpty() ? "" : " / " + box->informativeText());
                if (m_whileBoxOpen) m_whileBoxOpen(box);
                if (box->isVisible()) box->button(QMessageBox::Ok)->click();
                return;
            }
        });
        m_boxAnswerer.start(10);
    }
    void init() {
        m_desk = std::make_unique<Desk>();
        m_urls.clear();
        QDesktopServices::setUrlHandler("http", this, "openUrl");
    }
    void cleanup() {
        QDesktopServices::unsetUrlHandler("http");
        m_whileBoxOpen = {};
        m_desk.reset();
        QTest::qWait(30);
        QVERIFY(takeBoxes().isEmpty());  // no box went unchecked
    }

    void startsReadyWithTheDivisionsOfDataIniAndTheProxyTab() {
        d().open();
        QCOMPARE(d().w<QComboBox>("divisionBox")->currentText(), "Дивизион");
        QCOMPARE(d().w<QComboBox>("divisionBox")->itemText(2), "Пустая");
        d().click("scanButton");  // the prompt keeps the scan from running
        QCOMPARE(buttons(), "Клац on Сэйв off");
        QCOMPARE(d().site.requests().size(), 0u);
        const QString port = QString::number(d().site.port());
        QCOMPARE(proxyTab(), (QStringList{"ticked", "", "", "127.0.0.1", port}));
        d().click("useProxyBox");
        QCOMPARE(proxyTab(),
                 (QStringList{"clear", " (off)", " (off)", "127.0.0.1 (off)", port + " (off)"}));
        d().click("useProxyBox");
        QCOMPARE(proxyTab(), (QStringList{"ticked", "", "", "127.0.0.1", port}));
        QCOMPARE(app::ErrorText("ошибка"), "ошибка.");  // a letter sorts after "."
        QCOMPARE(app::ErrorText(std::string(5000, 'x')), QString(1000, 'x') + "….");
    }

    // The handler returns at once; the title tells which team is fetched of how many.
    void scanGoesOnAfterAFailedRequestAndDropsInputButStopsAtAnUnreadableAge() {
        d().site.overrideTeam(102, tools::Answer::Http("404 Not Found", ""));
        d().site.overrideTeam(
            103, tools::Answer::Http("200 OK",
                                     tools::MakeRosterPage({"Bad", "5", "3", {{"abc", "1"}}})));
        d().open();
        d().window->setDecimalSeparator(",");
        QString titleWithTheBox;
        m_whileBoxOpen = [&](QMessageBox*) {  // the failure's box, not the error's after it
            if (!titleWithTheBox.isEmpty()) return;
            titleWithTheBox = d().window->windowTitle();
            clickHeader(1);
            QTest::keyClicks(d().w<QComboBox>("divisionBox"), "x");
            // The Proxy tab may be looked at, not changed.
            QTabBar* tabs = d().w<QTabWidget>("tabs")->tabBar();
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
            QTest::keyClicks(d().w<QLineEdit>("proxyServerEdit"), "9");
            QTest::mouseClick(d().w<QCheckBox>("useProxyBox"), Qt::LeftButton);
            QCOMPARE(proxyTab().mid(0, 4), (QStringList{"ticked", "", "", "127.0.0.1"}));
            QCOMPARE(d().w<QTabWidget>("tabs")->currentIndex(), 1);
        };
        d().scan();
        QVERIFY(d().window->busy());
        QCOMPARE(d().window->windowTitle(), "Koravel — 1/4");
        waitForTheWork();
        QCOMPARE(titleWithTheBox, "Koravel — 2/4");
        QCOMPARE(d().window->windowTitle(), "Koravel");
        QCOMPARE(d().w<QComboBox>("divisionBox")->currentText(), "Первая");
        QCOMPARE(takeBoxes(), (QStringList{"MainWindow :/ info: Произошла ошибка / Команда 102: failure status 404",
                                           m_stop + "'abc' is not a valid integer value."}));
        QCOMPARE(d().rows(), (QStringList{"Заря|10|12|1|1|1,5", "102|||0|0|0", "Bad|5|3|||"}));
        QCOMPARE(buttons(), "Клац on Сэйв on");
        const std::string first = d().site.requests().at(0);
        QVERIFY(first.starts_with("POST http://site.test:80/xml/school/roster.php?id=101 "));
        QVERIFY(first.find("\r\nHost: site.test\r\n") != std::string::npos);
    }

    void sortSaveAndDoubleClickFollowTheHeaderClicks() {
        d().open();
        d().window->setDecimalSeparator(",");
        d().scan();
        waitForTheWork();
        auto* view = d().w<QTreeView>("teamView");
        view->setCurrentIndex(view->model()->index(2, 0));  // team 103
        // Column clicked, the names after it; the first moves rows in a four-cycle.
        const std::pair<int, QStringList> clicks[] = {
            {1, {"Торпедо", "Bravo", "alpha", "Заря"}},
            {1, {"Заря", "alpha", "Bravo", "Торпедо"}},
            {2, {"Торпедо", "alpha", "Заря", "Bravo"}},
            {0, {"Торпедо", "Заря", "Bravo", "alpha"}}};  // Latin before Cyrillic, a-z folded
        QHeaderView* header = view->header();
        for (const auto& [column, names] : clicks) {
            clickHeader(column);
            QCOMPARE(d().rows(1), names);
            QCOMPARE(header->sortIndicatorSection(), column);
            const int selected = view->selectionModel()->selectedRows().at(0).row();
            QCOMPARE(d().window->teamList().at(static_cast<std::size_t>(selected)).teamId, 103);
        }
        d().click("saveButton");
        waitForTheWork();
        QCOMPARE(
            saved(),
            Block({"Торпедо" + Bars(16) + "__5__0__0__0", "Заря" + Bars(18) + "10__12__1__1__1,5",
                   "Bravo" + Bars(18) + "2__20__0__0__0", "alpha" + Bars(17) + "2,5__7__0__0__0"}));
        const QPoint row1 = view->visualRect(view->model()->index(1, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row1);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, row1);
        QCOMPARE(m_urls, QList<QUrl>{QUrl("http://web.test/xml/school/roster.php?id=101")});
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(d().w<QLabel>("statusLine")->text(),
                 "Сохранено команд: 4 — " + d().dir.filePath("save.txt"));
        QDesktopServices::unsetUrlHandler("http");  // no browser: the address stays to be copied
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, row1);
        QCOMPARE(d().w<QLabel>("statusLine")->text(),
                 "Браузер не открылся. Адрес: http://web.test/xml/school/roster.php?id=101");
    }

    // F5 scans, Escape stops keeping the rows read so far, Ctrl+S saves, Enter on a row
    // opens it and in the division box scans; the focus comes back where it was.
    void theStandardKeysScanStopSaveOpenAndCopy() {
        d().site.overrideTeam(102, tools::Answer::Http(
                                       "200 OK", tools::MakeRosterPage({"al\tpha\x7f", "2", "7", {}})));
        d().site.overrideTeam(103, tools::Answer::Silent("", 10s));
        d().open();
        QVERIFY(QTest::qWaitForWindowActive(d().window.get()));
        auto* box = d().w<QComboBox>("divisionBox");
        box->setCurrentIndex(0);
        box->setFocus();
        d().window->setDecimalSeparator(".");
        QTest::keyClick(box, Qt::Key_F5);
        QTRY_COMPARE(d().rows(1), (QStringList{"Заря", "al\tpha\x7f"}));
        QVERIFY(d().w<QPushButton>("stopButton")->isVisible());
        QTest::keyClick(d().w<QTabWidget>("tabs")->tabBar(), Qt::Key_Escape);
        waitForTheWork();
        QCOMPARE(d().rows(1).size(), 2);
        QCOMPARE(d().site.requests().size(), 3u);
        QVERIFY(box->hasFocus());
        QTest::keyClick(box, Qt::Key_S, Qt::ControlModifier);
        waitForTheWork();
        QVERIFY(saved().contains("Заря"));
        auto* view = d().w<QTreeView>("teamView");
        view->setFocus();
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 "Команда\tИ\tРП\t19\tТ>1\tMaxT\nЗаря\t10\t12\t1\t1\t1.5\nal pha \t2\t7\t0\t0\t0\n");
        view->setCurrentIndex(view->model()->index(1, 0));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(m_urls, QList<QUrl>{QUrl("http://web.test/xml/school/roster.php?id=102")});
        box->setEditText("вторая");  // letter case aside, a division
        QTest::keyClick(box, Qt::Key_Return);
        waitForTheWork();
        QCOMPARE(d().rows(1), (QStringList{"A", "B", "C", "D"}));
        box->setEditText("Третья");
        d().click("scanButton");
        QCOMPARE(d().window->busy(), false);
        QCOMPARE(d().w<QLabel>("statusLine")->text(), "Дивизиона «Третья» нет в data.ini");
        QFile::remove(d().dir.filePath("save.txt"));
        QDir(d().dir.path()).mkdir("save.txt");
        QTest::keyClick(box, Qt::Key_S, Qt::ControlModifier);
        waitForTheWork();
        QCOMPARE(takeBoxes(), QStringList{m_stop + "File access denied. / Файл: " +
                                          d().dir.filePath("save.txt")});
    }

    // The real system locale gives the separator of the list and save.txt; a small screen
    // moves the window in by the least distance (offscreen frames are 302 x 325).
    void theSystemLocaleAndScreenDecideInAProcessOfTheirOwn() {
        if (!qEnvironmentVariableIsSet("KORAVEL_CHILD")) {
            for (const auto& [locale, size, scale] :
                 {std::tuple{"C.UTF-8", R"("width": 1920, "height": 1080)", "1"},
                  std::tuple{"ru_RU.UTF-8", R"("width": 640, "height": 480)", "1"},
                  std::tuple{"C.UTF-8", R"("width": 1280, "height": 800)", "2"}}) {
                testing::Spit(
                    d().path("screen.json"),
                    std::string(R"({"screens": [{"name": "s", "x": 0, "y": 0, "dpr": 1, )") + size +
                        "}]}");
                const auto child = Again({QString("LC_ALL=") + locale, "KORAVEL_CHILD=1",
                                          QString("QT_SCALE_FACTOR=") + scale,
                                          "QT_QPA_PLATFORM=offscreen:configfile=" +
                                              QString::fromStdString(d().path("screen.json"))},
                                         {"theSystemLocaleAndScreenDecideInAProcessOfTheirOwn"});
                QVERIFY(child->waitForFinished(60000));
                QVERIFY2(child->exitCode() == 0,
                         qPrintable(locale + ("\n" + child->readAllStandardError())));
            }
            return;
        }
        d().open();
        // At twice the scale, 1280 x 800 is 640 x 400 to the window.
        const QSize screen = QGuiApplication::primaryScreen()->size();
        QCOMPARE(d().window->frameGeometry().topLeft(),
                 screen.width() == 1920 ? QPoint(547, 397)
                 : screen.height() == 480 ? QPoint(338, 155) : QPoint(340, 77));
        const QString sep = qgetenv("LC_ALL").startsWith("ru_RU") ? "," : ".";
        d().scan(1);
        waitForTheWork();
        QCOMPARE(d().rows(), (QStringList{"A|1|1|0|1|2" + sep + "25", "B|1|1|1|1|10",
                                          "C|1|1|0|0|0" + sep + "5", "D|1|1|0|1|1" + sep + "5"}));
        clickHeader(5);  // ascending by number, not by text
        d().click("saveButton");
        waitForTheWork();
        QCOMPARE(saved(), Block({"C" + Bars(22) + "1__1__0__0__0" + sep + "5",
                                 "D" + Bars(22) + "1__1__0__1__1" + sep + "5",
                                 "A" + Bars(22) + "1__1__0__1__2" + sep + "25",
                                 "B" + Bars(22) + "1__1__1__1__10"}));
    }

    // Each close a process of its own, two busy loops beside it: the program must end
    // within a second of the close, drop the request, and save the settings.
    void closingAtAnyStageEndsTheProgramUnderLoad() {
        QProcess loops[2];
        for (QProcess& loop : loops) loop.start("sh", {"-c", "while :; do :; done"});
        const int rounds = qEnvironmentVariableIntValue("KORAVEL_CLOSE_ROUNDS");
        for (int stage = 0; stage < 4; ++stage) {
            for (int round = 0; round < (rounds > 0 ? rounds : 3); ++round) {
                const QTemporaryDir out;
                const auto child = Again({"KORAVEL_CLOSE_AT=" + QString::number(stage),
                                          "KORAVEL_CLOSE_OUT=" + out.path()});
                QString said;
                while (!said.contains("closing") && child->waitForReadyRead(30000))
                    said += child->readAllStandardOutput();
                QVERIFY2(said.contains("closing"),
                         qPrintable(QString("stage %1: %2").arg(stage).arg(said)));
                QVERIFY2(child->waitForFinished(5000),
                         qPrintable(QString("stage %1 hangs").arg(stage)));
                QCOMPARE(child->exitCode(), 0);
                QVERIFY(testing::Slurp(out.filePath("settings.ini").toStdString())
                            .find("ProxyLogin=kept") != std::string::npos);
                QCOMPARE(testing::Slurp(out.filePath("save.txt").toStdString()), "");
            }
        }
        for (QProcess& loop : loops) {
            loop.kill();
            loop.waitForFinished();
        }
    }

    // The list area says where data.ini was looked for, as a label assistive tools read.
    void aMissingOrEmptyDataIniIsSaidInTheListArea() {
        const QString file = d().dir.filePath("data.ini");
        for (const auto& [content, said] :
             {std::pair{"", "В data.ini нет ни одного дивизиона, или файл не удалось прочитать:\n"},
              std::pair{"-", "Нет файла data.ini, дивизионы взять неоткуда. Его искали здесь:\n"}}) {
            if (std::string(content) == "-") QFile::remove(file); else testing::Spit(d().path("data.ini"), content);
            d().open();
            QCOMPARE(d().w<QLabel>("missingDataLabel")->text(), said + file);
            QVERIFY(d().w<QLabel>("missingDataLabel")->isVisible());
        }
        QCOMPARE(d().window->findChild<QTreeView*>("teamView")->accessibleName(), "Список команд");
        QCOMPARE(d().w<QTreeView>("teamView")->model()->headerData(4, Qt::Horizontal, Qt::ToolTipRole),
                 "Игроков школы с талантом больше 1");
    }

    // The designed size is the smallest; the name column takes the room. Size, widths,
    // sort, division and tab come back at the next start, and a close that changes
    // nothing writes nothing.
    void theWindowGrowsAndRemembersWhatTheUserLeft() {
        d().open();
        QCOMPARE(d().window->minimumSize(), QSize(298, 321));
        QCOMPARE(d().window->size(), QSize(298, 321));
        d().window->resize(398, 421);
        QHeaderView* header = d().w<QTreeView>("teamView")->header();
        QCOMPARE(header->sectionSize(0), 210);
        QCOMPARE(d().w<QTreeView>("teamView")->size(), QSize(389, 357));
        header->resizeSection(1, 40);
        clickHeader(5);
        d().w<QComboBox>("divisionBox")->setCurrentIndex(1);
        d().w<QTabWidget>("tabs")->setCurrentIndex(1);
        d().window->move(100, 50);
        QVERIFY(d().window->close());
        const std::string settings = testing::Slurp(d().path("settings.ini"));
        for (const char* line : {"\nColumnWidths=210 40 28 26 35 50\n", "\nDivision=Вторая\n",
                                 "\nSortColumn=5\n", "\nSortOrder=ascending\n", "\nTab=1\n",
                                 "\nWindowGeometry=100 50 398 421"})
            QVERIFY2(settings.find(line) != std::string::npos, line);
        d().open();
        QCOMPARE(d().window->size(), QSize(398, 421));
        header = d().w<QTreeView>("teamView")->header();
        QCOMPARE(header->sectionSize(0) * 100 + header->sectionSize(1), 21040);
        QCOMPARE(header->sortIndicatorSection(), 5);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(d().w<QComboBox>("divisionBox")->currentText(), "Вторая");
        QCOMPARE(d().w<QTabWidget>("tabs")->currentIndex(), 1);
        QVERIFY(d().window->close());
        QCOMPARE(testing::Slurp(d().path("settings.ini")), settings);
        testing::Spit(d().path("data.ini"), "[Первая]\nteam1=101\n");  // Вторая is gone
        d().open();
        QCOMPARE(d().w<QComboBox>("divisionBox")->currentText(), "Дивизион");
        d().window->resize(298, 321);  // the room is given back
        QCOMPARE(d().w<QTreeView>("teamView")->header()->sectionSize(0), 110);
    }

    // The window manager's close reaches the window while the error box is open: Qt drops
    // it for a window that a modal window blocks.
    void aHugeCellNeitherStallsTheListNorTheErrorBoxNorTheClose() {
        testing::Spit(d().path("data.ini"), "[H]\nteam1=401\nteam2=402\n");
        d().open();
        bool closed = false;
        m_whileBoxOpen = [&](QMessageBox*) {
            closed = QGuiApplication::modalWindow() == nullptr && d().window->windowHandle()->close();
        };
        d().scan(0);
        waitForTheWork();
        QVERIFY(closed);
        QCOMPARE(d().rows(), (QStringList{QString(1000, 'x') + "|1|1|0|0|0", "Age|1|1|||"}));
        QCOMPARE(d().window->teamList().at(0).name.size(), std::size_t{20} << 20);  // all saved
        QCOMPARE(takeBoxes(), QStringList{m_stop + "'" + QString(256, 'x') +
                                          "…' is not a valid integer value."});
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

    // A start-up error ends start-up at its step; the window opens all the same, and
    // what it could not read it does not write over at close.
    void aSettingsErrorEndsStartUpAndIsNeverWrittenOver() {
        const std::string shape = "[Koravel]\nUseProxy=1\nProxyLogin=a, b\n";
        testing::Spit(d().path("shape.conf"), shape);
        d().open("shape.conf");
        QTRY_COMPARE(m_boxes, QStringList{m_stop + "Invalid data type for 'ProxyLogin'"});
        m_boxes.clear();
        QCOMPARE(d().w<QComboBox>("divisionBox")->count(), 6);  // the layout's own
        d().w<QLineEdit>("proxyLoginEdit")->setText("new");
        QVERIFY(d().window->close());
        QCOMPARE(testing::Slurp(d().path("shape.conf")), shape);
        testing::Spit(d().path("plain"), "not a folder");
        d().open("plain/kelvo.conf");
        QVERIFY(d().window->close());
        QTRY_COMPARE(m_boxes, QStringList{"none Window_tests stop: Failed to create key Koravel."});
        m_boxes.clear();
    }
};

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    if (const QByteArray stage = qgetenv("KORAVEL_CLOSE_AT"); !stage.isEmpty())
        return CloseAt(static_cast<Stage>(stage.toInt()),
                       qEnvironmentVariable("KORAVEL_CLOSE_OUT").toStdString());
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
