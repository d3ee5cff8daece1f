#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtWidgets>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/form1.h"
#include "common/code_page.h"
#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"

using namespace koravel;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string U(int count) { return std::string(static_cast<std::size_t>(count), '_'); }

class CommandLine : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        fs::create_directory(m_folder / "config");
        write("data.ini",
              "[Первая]\nteam1=101\nteam2=102\nteam3=103\nteam4=104\n"
              "[Вторая]\nteam1=101\nteam2=105\nteam3=104\n[Пустая]\n");
        write("config/kelvo.conf", "[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
                                       std::to_string(m_site.port()) + "\n");
        m_site.servePages([](std::int32_t id) {
            const std::map<std::int32_t, tools::PageSpec> teams = {
                {101, {"Заря", "10", "12", {{"19", "1.5"}, {"17", "1"}, {"19", "0.75"}}}},
                {103, {"Торпедо", "", " 0 ", {}}},
                {104, {"Bra\tvo", "2", "20", {{"18", "2.25"}, {"19", "2.25"}}}},
                {105, {"Bad", "5", "3", {{"19", "1"}, {"abc", "1"}}}}};
            tools::PageSpec team = teams.at(id);
            team.teamName = common::Utf8ToCp1251(team.teamName);
            return tools::MakeRosterPage(team);
        });
        m_site.overrideTeam(102, tools::Answer::Http("404 Not Found", ""));
    }

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_folder / name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(m_folder / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The program in the test folder, with no display to open: a window would abort it.
    // A null locale passes this process's own on.
    Outcome run(const std::vector<std::string>& args, const char* locale = "C.UTF-8",
                const std::function<void(qint64 pid)>& meanwhile = {}) const {
        QProcessEnvironment env;
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((m_folder / "config").string()));
        env.insert("QT_QPA_PLATFORM", "no-such-platform");
        for (const char* name : {"LC_ALL", "LANG"}) {
            if (locale == nullptr && qEnvironmentVariableIsSet(name))
                env.insert(name, qEnvironmentVariable(name));
        }
        if (locale != nullptr) env.insert("LC_ALL", locale);
        QStringList arguments;
        for (const std::string& arg : args) arguments << QString::fromStdString(arg);
        QProcess koravel;
        koravel.setProcessEnvironment(env);
        koravel.setWorkingDirectory(QString::fromStdString(m_folder.string()));
        koravel.start(KORAVEL_BINARY, arguments);
        EXPECT_TRUE(koravel.waitForStarted());
        if (meanwhile) meanwhile(koravel.processId());
        EXPECT_TRUE(koravel.waitForFinished(60000));
        const int status = koravel.exitStatus() == QProcess::NormalExit ? koravel.exitCode() : -1;
        return {status, koravel.readAllStandardOutput().toStdString(),
                koravel.readAllStandardError().toStdString()};
    }

    QTemporaryDir m_dir;
    fs::path m_folder = m_dir.path().toStdString();
    tools::FakeSite m_site;
};

// The rows of "Первая" as the pages read, on standard output; a tab in a name prints
// as a space.
std::string Rows(const std::string& separator) {
    return "Заря\t10\t12\t2\t1\t1" + separator + "5\n" + "\t\t\t0\t0\t0\n" +
           "Торпедо\t\t0\t0\t0\t0\n" + "Bra vo\t2\t20\t1\t2\t2" + separator + "25\n";
}

// The same rows as a report block in save.txt, in Windows-1251.
std::string Block(const std::string& separator) {
    return common::Utf8ToCp1251(" \r\nКоманда________________И_РП_19_Т>1_MaxT\r\n" +
                                ("Заря" + U(18) + "10__12__2__1__1" + separator + "5\r\n") +
                                (U(27) + "0__0__0\r\n") + ("Торпедо" + U(18) + "0__0__0__0\r\n") +
                                ("Bra\tvo" + U(17) + "2__20__1__2__2" + separator + "25\r\n") +
                                " \r\n" + std::string(50, '*') + "\r\n");
}

TEST_F(CommandLine, ScanPrintsEachTeamsRowAndSavesTheBlockUnderTheLocalesSeparator) {
    for (const auto& [locale, separator] : {std::pair{"C.UTF-8", "."}, {"ru_RU.UTF-8", ","}}) {
        SCOPED_TRACE(locale);
        fs::remove(m_folder / "save.txt");
        const Outcome scan = run({"--scan", "первая", "--save"}, locale);  // case folds
        EXPECT_EQ(scan.status, 0);
        EXPECT_EQ(scan.out, Rows(separator));
        // The failed request is reported, and the scan goes on.
        EXPECT_TRUE(scan.err.starts_with("koravel: Произошла ошибка: team 102")) << scan.err;
        EXPECT_EQ(std::count(scan.err.begin(), scan.err.end(), '\n'), 1);
        EXPECT_EQ(read("save.txt"), Block(separator));
    }
}

TEST_F(CommandLine, AnswersUsageAndListingsWithTheirOwnStatus) {
    // arguments, status, standard output, the start of the one line on standard error
    const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
        {{"--version"}, 0, "koravel 0.1.0\n", ""},
        {{"--list"}, 0, "Первая\nВторая\nПустая\n", ""},
        {{"--scan=ПУСТАЯ", "--save"}, 0, "", ""},
        {{"--bogus"}, 2, "", "koravel: unknown option '--bogus'"},
        {{"--scan"}, 2, "", "koravel: option '--scan' needs a division"},
        {{"--scan", "Третья"}, 2, "", "koravel: no division 'Третья'"},
        {{"--save"}, 2, "", "koravel: --save goes with --scan"},
        {{"--list", "--version"}, 2, "", "koravel: give one of"},
        {{"Первая"}, 2, "", "koravel: unexpected argument 'Первая'"},
    };
    for (const auto& [args, status, out, err] : cases) {
        SCOPED_TRACE(args.front());
        const Outcome outcome = run(args, "ru_RU.UTF-8");
        EXPECT_EQ(outcome.status, status);
        EXPECT_EQ(outcome.out, out);
        EXPECT_TRUE(outcome.err.starts_with(err)) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), err.empty() ? 0 : 1);
    }
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
    EXPECT_NE(run({"--help"}).out.find("--scan DIVISION [--save]"), std::string::npos);
    // A locale without Cyrillic letters gets them spelt out, never stray bytes.
    EXPECT_EQ(run({"--list"}, "C").out, "Pervaya\nVtoraya\nPustaya\n");
}

TEST_F(CommandLine, FindsADivisionOfAWindows1251FileByItsNameInAnyCase) {
    write("data.ini", common::Utf8ToCp1251("[Вторая]\nteam1=104\n"));
    EXPECT_EQ(run({"--list"}).out, "Вторая\n");
    EXPECT_EQ(run({"--scan", "вТОРАЯ"}).out, "Bra vo\t2\t20\t1\t2\t2.25\n");
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
}

TEST_F(CommandLine, AConversionErrorEndsTheScanAfterTheRowsReadSoFarAndSavesNothing) {
    const Outcome scan = run({"--scan", "Вторая", "--save"});
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(scan.out, "Заря\t10\t12\t2\t1\t1.5\n");
    EXPECT_EQ(scan.err, "koravel: 'abc' is not a valid integer value (team 105)\n");
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
}

TEST_F(CommandLine, CtrlCStopsWhileTheSiteHoldsTheRequestAndSavesNothing) {
    m_site.overrideTeam(102, tools::Answer::Silent("", std::chrono::seconds(3)));
    write("save.txt", "earlier\r\n");
    const Outcome scan = run({"--scan", "Первая", "--save"}, "C.UTF-8", [this](qint64 pid) {
        EXPECT_TRUE(m_site.waitForRequests(2, std::chrono::seconds(10)));
        kill(static_cast<pid_t>(pid), SIGINT);
    });
    EXPECT_EQ(scan.status, 130);
    EXPECT_EQ(scan.out, "Заря\t10\t12\t2\t1\t1.5\n");
    EXPECT_EQ(scan.err, "");
    EXPECT_EQ(read("save.txt"), "earlier\r\n");
    EXPECT_EQ(m_site.requests().size(), 2u);
}

TEST_F(CommandLine, SavesTheSameBytesAsTheWindowAfterTheSameScan) {
    {
        app::TForm1 form(
            {QString::fromStdString((m_folder / "config/kelvo.conf").string()), m_folder, {}, {}});
        form.show();
        QTimer answer;  // the failed request's box
        QObject::connect(&answer, &QTimer::timeout, [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible())
                    box->button(QMessageBox::Ok)->click();
        });
        answer.start(10);
        form.findChild<QComboBox*>("DivCombo")->setCurrentIndex(0);
        form.findChild<QPushButton*>("Button1")->click();
        form.findChild<QPushButton*>("Button2")->click();
    }
    const std::string window = read("save.txt");
    fs::remove(m_folder / "save.txt");
    EXPECT_EQ(run({"--scan", "Первая", "--save"}, nullptr).status, 0);
    EXPECT_EQ(read("save.txt"), window);
    EXPECT_EQ(window.size(), Block(".").size());  // the scan in the window did run
}

}  // namespace

int main(int argc, char* argv[]) {
    // The window test needs the application, the child processes its event dispatcher.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
