// The command line on a terminal, under signals and on a full disk: POSIX systems.
#include <signal.h>
#include <sys/file.h>

#include "tests/cli/command_line_fixture.h"
#include "tools/testing/run_program.h"

namespace koravel::testing {
namespace {

namespace fs = std::filesystem;

class Terminal : public CommandLine {
protected:
    Child program(std::vector<std::string> args, const char* locale = "C.UTF-8") const {
        args.insert(args.begin(), KORAVEL_BINARY);
        return {args,
                {"XDG_CONFIG_HOME=" + (m_folder / "config").string(),
                 "LC_ALL=" + std::string(locale), "QT_QPA_PLATFORM=no-such-platform"},
                m_folder};
    }
};

// Results that cannot be written are a failure, said on standard error.
TEST_F(Terminal, OutputThatCannotBeWrittenFailsWithAMessage) {
    using Args = std::vector<std::string>;
    for (const Args& args :
         {Args{"--list"}, {"--help"}, {"--version"}, {"--scan", "Первая", "--save"}}) {
        Child full = program(args);
        full.outFile = "/dev/full";
        const Ran ran = full();
        EXPECT_EQ(ran.status, 1) << args.front();
        EXPECT_EQ(ran.err, "koravel: cannot write to standard output: No space left on device\n");
    }
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
}

// Text from the site never drives the terminal; a pipe or a file gets it as it is.
TEST_F(Terminal, SiteTextReachesATerminalOnlyAsVisibleEscapes) {
    Spit(m_folder / "data.ini", "[E]\nteam1=106\n");
    Child onTerminal = program({"--scan", "E"});
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
    Child logged = program({"--scan", "E"});
    logged.errTerminal = true;
    logged.outFile = m_folder / "log.txt";
    EXPECT_EQ(logged().err, "1/1\r\x1b[K");
    EXPECT_EQ(Slurp(m_folder / "log.txt"), "\x1b]0;pwned\x07А  \x1b[2J\u0098›\t1\t1\t0\t0\t0\n");
}

TEST_F(Terminal, CtrlCStopsWhileTheSiteHoldsTheRequestOrTheFileIsLockedAndSavesNothing) {
    m_site.overrideTeam(103, tools::Answer::Silent("", std::chrono::seconds(10)));
    Spit(m_folder / "save.txt", "earlier\r\n");
    Child scan = program({"--scan", "Первая", "--save"});
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

// cron and env -i run under the C locale: there arguments and output are UTF-8, so that
// every name --list prints is one --scan takes back.
TEST_F(Terminal, TheCLocaleTakesAndWritesUtf8) {
    Spit(m_folder / "data.ini", "[\xD0\x9F\xD1\x83\xD1\x81\xD1\x82\xD0\xB0\xD1\x8F]\nteam1=103\n");
    for (const char* locale : {"C", "POSIX"}) {
        EXPECT_EQ(program({"--list"}, locale)().out,
                  "\xD0\x9F\xD1\x83\xD1\x81\xD1\x82\xD0\xB0\xD1\x8F\n");
        EXPECT_EQ(
            program({"--scan", "\xD0\xBF\xD1\x83\xD1\x81\xD1\x82\xD0\xB0\xD1\x8F"}, locale)().out,
            "\xD0\xA2\xD0\xBE\xD1\x80\xD0\xBF\xD0\xB5\xD0\xB4\xD0\xBE\t\t0\t0\t0\t0\n");
    }
}

}  // namespace
}  // namespace koravel::testing
