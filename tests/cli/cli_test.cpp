#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/run_program.h"
#include "tests/support/test_support.h"
#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"

namespace koravel {
namespace {

namespace fs = std::filesystem;
using testing::Ran;
using testing::Slurp;
using testing::Spit;

// Team names as the site sends them, in Windows-1251.
const std::string kZarya = "\xC7\xE0\xF0\xFF";                // Заря
const std::string kTorpedo = "\xD2\xEE\xF0\xEF\xE5\xE4\xEE";  // Торпедо
const std::string kHeader =
    " \r\n\xCA\xEE\xEC\xE0\xED\xE4\xE0________________\xC8_\xD0\xCF_19_\xD2>1_MaxT\r\n";
const std::string kRule = " \r\n" + std::string(50, '*') + "\r\n";

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        fs::create_directory(m_folder / "config");
        Spit(m_folder / "data.ini",
             "[Первая]\nteam1=101\nteam2=103\nteam3=104\n"
             "[Вторая]\nteam1=101\nteam2=105\nteam3=104\n"
             "[Третья]\nteam1=101\nteam2=102\nteam3=104\n[Пустая]\n");
        Spit(m_folder / "config/kelvo.conf",
             "[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
                 std::to_string(m_site.port()) + "\n");
        m_site.servePages([](std::int32_t id) {
            const std::map<std::int32_t, tools::PageSpec> teams = {
                {101, {kZarya, "10", "12", {{"19", "1.5"}, {"17", "1"}, {"19", "0.75"}}}},
                {103, {kTorpedo, "", " 0 ", {}}},
                {104, {"Bra\tvo", "2", "20", {{"18", "2.25"}, {"19", "2.25"}}}},
                {105, {"Bad", "5", "3", {{"19", "1"}, {"abc", "1"}}}},
                {106, {"\x1b]0;pwned\x07\xC0\r\n\x1b[2J\x9b", "1", "1", {{"19\x1b[A", "1"}}}}};
            return tools::MakeRosterPage(teams.at(id));
        });
        // From the proxy, which the fake site stands for here.
        m_site.overrideTeam(102, tools::Answer::Http("407 Proxy Authentication Required", ""));
    }

    testing::Run program(std::vector<std::string> args, const char* locale = "C.UTF-8") const {
        args.insert(args.begin(), KORAVEL_BINARY);
        return {args,
                {"XDG_CONFIG_HOME=" + (m_folder / "config").string(),
                 "LC_ALL=" + std::string(locale), "QT_QPA_PLATFORM=no-such-platform"},
                m_folder};
    }
    Ran run(std::vector<std::string> args, const char* locale = "C.UTF-8") const {
        return program(std::move(args), locale)();
    }
    std::string saved() const { return Slurp(m_folder / "save.txt"); }

    QTemporaryDir m_dir;
    fs::path m_folder = m_dir.path().toStdString();
    tools::FakeSite m_site;
};

TEST_F(CommandLine, ScanPrintsEachTeamsRowAndSavesTheBlockUnderTheLocalesSeparator) {
    for (const auto& [locale, sep] : {std::pair{"C.UTF-8", "."}, {"ru_RU.UTF-8", ","}}) {
        SCOPED_TRACE(locale);
        fs::remove(m_folder / "save.txt");
        const Ran scan = run({"--scan", "первая", "--save"}, locale);  // case folds
        EXPECT_EQ(scan.status, 0);
        EXPECT_EQ(scan.out, "Заря\t10\t12\t2\t1\t1" + std::string(sep) +
                                "5\nТорпедо\t\t0\t0\t0\t0\nBra vo\t2\t20\t1\t2\t2" + sep + "25\n");
        EXPECT_EQ(scan.err, "");
        EXPECT_EQ(saved(), kHeader + kZarya + std::string(18, '_') + "10__12__2__1__1" + sep +
                               "5\r\n" + kTorpedo + std::string(16, '_') + "__0__0__0__0\r\n" +
                               "Bra vo" + std::string(17, '_') + "2__20__1__2__2" + sep + "25\r\n" +
                               kRule);
    }
}

// Every team still gets its row, but a script learns the scan was incomplete and
// nothing goes into save.txt.
TEST_F(CommandLine, AFailedRequestEndsWithStatusThreeAndSavesNothing) {
    const Ran scan = run({"--scan", "Третья", "--save"});
    EXPECT_EQ(scan.status, 3);
    EXPECT_EQ(scan.out, "Заря\t10\t12\t2\t1\t1.5\n\t\t\t0\t0\t0\nBra vo\t2\t20\t1\t2\t2.25\n");
    EXPECT_EQ(scan.err,
              "koravel: Произошла ошибка: team 102 (failure status 407 from the proxy)\n");
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
    const Ran json = run({"--scan", "Третья", "--json"}, "ru_RU.UTF-8");
    EXPECT_EQ(json.status, 3);
    EXPECT_EQ(
        json.out,
        R"j({"id":101,"name":"Заря","players":10,"cosp":12,"aged19":2,"talentsAbove1":1,"maxTalent":1.5})j"
        "\n"
        R"j({"id":102,"error":"failure status 407 from the proxy"})j"
        "\n"
        R"j({"id":104,"name":"Bra\tvo","players":2,"cosp":20,"aged19":1,"talentsAbove1":2,"maxTalent":2.25})j"
        "\n");
}

TEST_F(CommandLine, AnswersUsageAndListingsWithTheirOwnStatus) {
    // arguments, status, standard output, the start of the one line on standard error
    const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
        {{"--version"}, 0, "koravel 0.1.0\n", ""},
        {{"--list"}, 0, "Первая\nВторая\nТретья\nПустая\n", ""},
        {{"--list", "--json"},
         0,
         "{\"division\":\"Первая\",\"teams\":[101,103,104]}\n{\"division\":\"Вторая\",\"teams\":"
         "[101,105,104]}\n{\"division\":\"Третья\",\"teams\":[101,102,104]}\n"
         "{\"division\":\"Пустая\",\"teams\":[]}\n",
         ""},
        {{"--scan=ПУСТАЯ", "--save"}, 0, "", ""},
        {{"--bogus"}, 2, "", "koravel: unknown option '--bogus'"},
        {{"--scan"}, 2, "", "koravel: option '--scan' needs a division"},
        {{"--scan", "Четвёртая"}, 2, "", "koravel: no division 'Четвёртая'"},
        {{"--save"}, 2, "", "koravel: --save goes with --scan"},
        {{"--version", "--json"}, 2, "", "koravel: --json goes with --scan or --list"},
        {{"--list", "--version"}, 2, "", "koravel: give one of"},
        {{"--list", "--list"}, 2, "", "koravel: give one of"},
        {{"Первая"}, 2, "", "koravel: unexpected argument 'Первая'"},
    };
    for (const auto& [args, status, out, err] : cases) {
        SCOPED_TRACE(args.front());
        const Ran ran = run(args, "ru_RU.UTF-8");
        EXPECT_EQ(ran.status, status);
        EXPECT_EQ(ran.out, out);
        EXPECT_TRUE(ran.err.starts_with(err)) << ran.err;
        EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), err.empty() ? 0 : 1);
    }
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
    const std::string help = run({"--help"}).out;
    for (const char* part : {"--scan DIVISION [--save] [--json]", "\"talentsAbove1\"", "3 a team"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
    // A locale without Cyrillic letters gets them spelt out, never stray bytes.
    EXPECT_EQ(run({"--list"}, "C").out, "Pervaya\nVtoraya\nTret`ya\nPustaya\n");
}

// Results that cannot be written are a failure, said on standard error.
TEST_F(CommandLine, OutputThatCannotBeWrittenFailsWithAMessage) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--list"},
                                                 {"--help"},
                                                 {"--version"},
                                                 {"--scan", "Первая", "--save"}}) {
        testing::Run full = program(args);
        full.outFile = "/dev/full";
        const Ran ran = full();
        EXPECT_EQ(ran.status, 1) << args.front();
        EXPECT_EQ(ran.err, "koravel: cannot write to standard output: No space left on device\n");
    }
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
}

TEST_F(CommandLine, FindsADivisionOfAWindows1251FileByItsNameInAnyCase) {
    Spit(m_folder / "data.ini", "[\xC2\xF2\xEE\xF0\xE0\xFF]\nteam1=104\n");  // [Вторая]
    EXPECT_EQ(run({"--list"}).out, "Вторая\n");
    EXPECT_EQ(run({"--scan", "вТОРАЯ"}).out, "Bra vo\t2\t20\t1\t2\t2.25\n");
}

TEST_F(CommandLine, AConversionErrorEndsTheScanAfterTheRowsReadSoFarAndSavesNothing) {
    const Ran scan = run({"--scan", "Вторая", "--save"});
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(scan.out, "Заря\t10\t12\t2\t1\t1.5\n");
    EXPECT_EQ(scan.err, "koravel: 'abc' is not a valid integer value (team 105)\n");
    EXPECT_EQ(
        run({"--scan", "Вторая", "--json"}).out,
        R"j({"id":101,"name":"Заря","players":10,"cosp":12,"aged19":2,"talentsAbove1":1,"maxTalent":1.5})j"
        "\n"
        R"j({"error":"'abc' is not a valid integer value (team 105)"})j"
        "\n");
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
}

// Settings that cannot be read, or say nonsense, never mean "no proxy": nothing goes out.
TEST_F(CommandLine, SettingsThatCannotBeTrustedStopTheScanBeforeAnyRequest) {
    const fs::path conf = m_folder / "config/kelvo.conf";
    Spit(conf, "[Koravel]\nUseProxy=yes\n");
    EXPECT_EQ(run({"--scan", "Первая"}).err, "koravel: Invalid value 'yes' for 'UseProxy' in " +
                                                 conf.string() + " (1 or 0, true or false)\n");
    fs::remove(conf);
    ::mkfifo(conf.c_str(), 0600);
    const Ran fifo = run({"--scan", "Первая"});
    EXPECT_EQ(fifo.status, 1);
    EXPECT_EQ(fifo.err,
              "koravel: Cannot read the settings file " + conf.string() + ": not a regular file\n");
    EXPECT_EQ(m_site.requests().size(), 0u);
    // Hand-typed, "true" goes through the proxy.
    fs::remove(conf);
    Spit(conf, "[Koravel]\nUseProxy=true\nProxyServer=127.0.0.1\nProxyPort=" +
                   std::to_string(m_site.port()));
    EXPECT_EQ(run({"--scan", "Первая"}).status, 0);
    EXPECT_TRUE(m_site.requests().at(0).starts_with("POST http://"));
}

// Text from the site never drives the terminal; a pipe or a file gets it as it is.
TEST_F(CommandLine, SiteTextReachesATerminalOnlyAsVisibleEscapes) {
    Spit(m_folder / "data.ini", "[E]\nteam1=106\n");
    testing::Run onTerminal = program({"--scan", "E"});
    onTerminal.outTerminal = onTerminal.errTerminal = true;
    const Ran terminal = onTerminal();
    EXPECT_EQ(terminal.status, 1);
    // A terminal ends its lines with CR LF; the progress is drawn, then wiped.
    EXPECT_EQ(terminal.err,
              "1/1\r\x1b[Kkoravel: '19\\x1b[A' is not a valid integer value (team 106)\r\n");
    // A hostile name: a window title, a cleared screen, a C1 control (0x98) and a line break.
    m_site.overrideTeam(
        101, tools::Answer::Http(
                 "200 OK",
                 tools::MakeRosterPage({"\x1b]0;pwned\x07\xC0\r\n\x1b[2J\x98\x9b", "1", "1", {}})));
    Spit(m_folder / "data.ini", "[E]\nteam1=101\n");
    EXPECT_EQ(onTerminal().out, "\\x1b]0;pwned\\x07А  \\x1b[2J\\x98›\t1\t1\t0\t0\t0\r\n");
    // Only standard error is a terminal: the log file gets the text, and no progress.
    testing::Run logged = program({"--scan", "E"});
    logged.errTerminal = true;
    logged.outFile = m_folder / "log.txt";
    EXPECT_EQ(logged().err, "1/1\r\x1b[K");
    EXPECT_EQ(Slurp(m_folder / "log.txt"), "\x1b]0;pwned\x07А  \x1b[2J\u0098›\t1\t1\t0\t0\t0\n");
}

TEST_F(CommandLine, CtrlCStopsWhileTheSiteHoldsTheRequestOrTheFileIsLockedAndSavesNothing) {
    m_site.overrideTeam(103, tools::Answer::Silent("", std::chrono::seconds(10)));
    Spit(m_folder / "save.txt", "earlier\r\n");
    testing::Run scan = program({"--scan", "Первая", "--save"});
    scan.meanwhile = [this](pid_t pid) {
        EXPECT_TRUE(m_site.waitForRequests(2, std::chrono::seconds(10)));
        ::kill(pid, SIGINT);
    };
    const Ran stopped = scan();
    EXPECT_EQ(stopped.status, 130);
    EXPECT_EQ(stopped.out, "Заря\t10\t12\t2\t1\t1.5\n");
    EXPECT_EQ(stopped.err, "");
    EXPECT_EQ(m_site.requests().size(), 2u);
    // The request itself was dropped, not waited out.
    EXPECT_TRUE(m_site.waitForHangUps(1, std::chrono::seconds(2)));
    // After the last row, while another program holds save.txt.
    m_site.overrideTeam(103, tools::Answer::Http("200 OK", ""));
    const int held = ::open((m_folder / "save.txt").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_SH), 0);
    scan.meanwhile = [this](pid_t pid) {
        EXPECT_TRUE(m_site.waitForRequests(5, std::chrono::seconds(10)));
        ::usleep(300'000);
        ::kill(pid, SIGINT);
    };
    EXPECT_EQ(scan().status, 130);
    ::close(held);
    EXPECT_EQ(saved(), "earlier\r\n");
}

}  // namespace
}  // namespace koravel
