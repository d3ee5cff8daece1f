// The command line as scripts use it, on both systems.
#include "tests/cli/command_line_fixture.h"

namespace koravel::testing {
namespace {

namespace fs = std::filesystem;

const std::string kHeader =
    " \r\n\xCA\xEE\xEC\xE0\xED\xE4\xE0________________\xC8_\xD0\xCF_19_\xD2>1_MaxT\r\n";
const std::string kRule = " \r\n" + std::string(50, '*') + "\r\n";

TEST_F(CommandLine, ScanPrintsEachTeamsRowAndSavesTheBlockUnderTheLocalesSeparator) {
#ifdef _WIN32
    const std::pair<const char*, std::string> locales[] = {{"", Point()}};
#else
    const std::pair<const char*, std::string> locales[] = {{"C.UTF-8", "."}, {"ru_RU.UTF-8", ","}};
#endif
    for (const auto& [locale, sep] : locales) {
        SCOPED_TRACE(locale);
        fs::remove(m_folder / "save.txt");
        const Outcome scan = run({"--scan", "первая", "--save"}, locale);  // case folds
        EXPECT_EQ(scan.status, 0);
        EXPECT_EQ(scan.out,
                  Text("Заря\t10\t12\t2\t1\t1" + sep +
                       "5\nТорпедо\t\t0\t0\t0\t0\nBra vo\t2\t20\t1\t2\t2" + sep + "25\n"));
        EXPECT_EQ(scan.err, "");
        EXPECT_EQ(saved(), kHeader + kZarya + std::string(18, '_') + "10__12__2__1__1" + sep +
                               "5\r\n" + kTorpedo + std::string(16, '_') + "__0__0__0__0\r\n" +
                               "Bra vo" + std::string(17, '_') + "2__20__1__2__2" + sep + "25\r\n" +
                               kRule);
    }
}

// Every team still gets its row, but a script learns the scan was incomplete and
// nothing goes into save.txt. JSON is UTF-8 and "." whatever the locale, and a number
// keeps every digit of the page.
TEST_F(CommandLine, AFailedRequestEndsWithStatusThreeAndSavesNothing) {
    const tools::PageSpec max = {
        "Bra\tvo", "2", "20", {{"18", "2.25"}, {"19", "1.7976931348623157e308"}}};
    m_site.overrideTeam(104, tools::Answer::Http("200 OK", tools::MakeRosterPage(max)));
    const Outcome scan = run({"--scan", "Третья", "--save"});
    EXPECT_EQ(scan.status, 3);
    EXPECT_EQ(scan.out,
              Text("Заря\t10\t12\t2\t1\t1" + Point() + "5\n\t\t\t0\t0\t0\nBra vo\t2\t20\t1\t2\t1" +
                   Point() + "79769313486232E308\n"));
    EXPECT_EQ(scan.err,
              Text("koravel: Произошла ошибка: team 102 (failure status 407 from the proxy)\n"));
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
    const Outcome json = run({"--scan", "Третья", "--json"}, "ru_RU.UTF-8");
    EXPECT_EQ(json.status, 3);
    EXPECT_EQ(
        json.out,
        Text(
            R"j({"id":101,"name":"Заря","players":10,"cosp":12,"aged19":2,"talentsAbove1":1,"maxTalent":1.5})j"
            "\n"
            R"j({"id":102,"error":"failure status 407 from the proxy"})j"
            "\n"
            R"j({"id":104,"name":"Bra\tvo","players":2,"cosp":20,"aged19":1,"talentsAbove1":2,"maxTalent":1.7976931348623157e308})j"
            "\n"));
    // A whole best talent, and none at all, are still floats.
    m_site.overrideTeam(
        104, tools::Answer::Http("200 OK", tools::MakeRosterPage({"W", "1", "1", {{"19", "3"}}})));
    EXPECT_EQ(
        run({"--scan", "Первая", "--json"}).out,
        Text(
            R"j({"id":101,"name":"Заря","players":10,"cosp":12,"aged19":2,"talentsAbove1":1,"maxTalent":1.5})j"
            "\n"
            R"j({"id":103,"name":"Торпедо","players":"","cosp":0,"aged19":0,"talentsAbove1":0,"maxTalent":0.0})j"
            "\n"
            R"j({"id":104,"name":"W","players":1,"cosp":1,"aged19":1,"talentsAbove1":1,"maxTalent":3.0})j"
            "\n"));
}

TEST_F(CommandLine, AnswersUsageAndListingsWithTheirOwnStatus) {
    // arguments, status, standard output, the start of the one line on standard error
    const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
        {{"--version"}, 0, "koravel 0.1.0\n", ""},
        {{"--list"}, 0, "Первая\nВторая\nТретья\nПустая\na\u2028b\u2029\n", ""},
        {{"--list", "--json"},
         0,
         "{\"division\":\"Первая\",\"teams\":[101,103,104]}\n{\"division\":\"Вторая\",\"teams\":"
         "[101,105,104]}\n{\"division\":\"Третья\",\"teams\":[101,102,104]}\n"
         "{\"division\":\"Пустая\",\"teams\":[]}\n{\"division\":\"a\\u2028b\\u2029\",\"teams\":[]}"
         "\n",
         ""},
        {{"--scan=ПУСТАЯ", "--save"}, 0, "", ""},
        {{"--bogus"}, 2, "", "koravel: unknown option '--bogus'"},
        {{"--scan"}, 2, "", "koravel: option '--scan' needs a division"},
        {{"--scan", "Четвёртая", "--json"},
         2,
         "{\"error\":\"no division 'Четвёртая' in data.ini (koravel --list shows them)\"}\n",
         "koravel: no division 'Четвёртая'"},
        {{"--save"}, 2, "", "koravel: --save goes with --scan"},
        {{"--version", "--json"}, 2, "", "koravel: --json goes with --scan or --list"},
        {{"--list", "--version"}, 2, "", "koravel: give one of"},
        {{"--list", "--list"}, 2, "", "koravel: give one of"},
        {{"Первая"}, 2, "", "koravel: unexpected argument 'Первая'"},
        {{"--"}, 2, "", "koravel: nothing to do"},
    };
    for (const auto& [args, status, out, err] : cases) {
        SCOPED_TRACE(args.front());
        const Outcome ran = run(args, "ru_RU.UTF-8");
        EXPECT_EQ(ran.status, status);
        EXPECT_EQ(ran.out, Text(out));
        EXPECT_TRUE(ran.err.starts_with(Text(err))) << ran.err;
        EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), err.empty() ? 0 : 1);
    }
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
}

TEST_F(CommandLine, FindsADivisionOfAWindows1251FileByItsNameInAnyCase) {
    Spit(m_folder / "data.ini", "[\xC2\xF2\xEE\xF0\xE0\xFF]\nteam1=104\n");  // [Вторая]
    EXPECT_EQ(run({"--list"}).out, Text("Вторая\n"));
    EXPECT_EQ(run({"--scan", "вТОРАЯ"}).out, Text("Bra vo\t2\t20\t1\t2\t2" + Point() + "25\n"));
}

// In JSON the error that ends the command is also the last line.
TEST_F(CommandLine, AConversionErrorEndsTheScanAfterTheRowsReadSoFarAndSavesNothing) {
    const Outcome scan = run({"--scan", "Вторая", "--save"});
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(scan.out, Text("Заря\t10\t12\t2\t1\t1" + Point() + "5\n"));
    EXPECT_EQ(scan.err, Text("koravel: 'abc' is not a valid integer value (team 105)\n"));
    EXPECT_EQ(
        run({"--scan", "Вторая", "--json"}).out,
        Text(
            R"j({"id":101,"name":"Заря","players":10,"cosp":12,"aged19":2,"talentsAbove1":1,"maxTalent":1.5})j"
            "\n"
            R"j({"error":"'abc' is not a valid integer value (team 105)"})j"
            "\n"));
    EXPECT_FALSE(fs::exists(m_folder / "save.txt"));
    fs::create_directory(m_folder / "save.txt");
    const Outcome save = run({"--scan", "Первая", "--save", "--json"});
    EXPECT_EQ(save.status, 1);
    EXPECT_TRUE(save.out.ends_with(Text("2.25}\n{\"error\":\"File access denied\"}\n")))
        << save.out;
    EXPECT_EQ(save.err, Text("koravel: File access denied\n"));
}

// Settings that say nonsense never mean "no proxy": nothing goes out.
TEST_F(CommandLine, SettingsThatCannotBeTrustedStopTheScanBeforeAnyRequest) {
    settings({{"UseProxy", "yes"}});
    const Outcome scan = run({"--scan", "Первая"});
    EXPECT_EQ(scan.status, 1);
    EXPECT_TRUE(scan.err.starts_with("koravel: Invalid value 'yes' for 'UseProxy' in "))
        << scan.err;
    EXPECT_EQ(m_site.requests().size(), 0u);
    // Hand-typed, "true" goes through the proxy.
    settings({{"UseProxy", "true"}, {"ProxyServer", "127.0.0.1"}, {"ProxyPort", port()}});
    EXPECT_EQ(run({"--scan", "Первая"}).status, 0);
    EXPECT_TRUE(m_site.requests().at(0).starts_with("POST http://"));
}

}  // namespace
}  // namespace koravel::testing
