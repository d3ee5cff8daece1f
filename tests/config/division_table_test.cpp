#include "config/division_table.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <tuple>

namespace koravel::config {
namespace {

namespace fs = std::filesystem;
using Ids = std::vector<std::int32_t>;
using Names = std::vector<std::string>;

const std::string kHungary1 = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-1";  // Венгрия-1 in Windows-1251
const std::string kHungary2 = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-2";  // Венгрия-2
const std::string kHungary1Upper = "\xC2\xC5\xCD\xC3\xD0\xC8\xDF-1";  // ВЕНГРИЯ-1
const std::string kLong = "Центральноафриканская Республика-";        // 68 bytes in UTF-8

std::string WorkedExample(const std::string& line3) {
    return "[" + kHungary1 + "]\r\nteam1=311\r\n" + line3 + "\r\nteam3=402\r\n[" + kHungary2 +
           "]\r\nteam2=517\r\nteam1=509\r\nteam4=533\r\n";
}

// "team1=" and a value of `zeros` zeros and "37", then team2.
std::string LongValue(std::size_t zeros) {
    return "[a]\nteam1=" + std::string(zeros, '0') + "37\nteam2=8\n";
}

TEST(DivisionTable, ReadsTeamsUpToTheFirstGapOrZero) {
    std::string twelve = "[a]\n";
    for (int n : {10, 2, 12, 1, 11, 9, 3, 8, 4, 7, 5, 6})
        twelve += "team" + std::to_string(n) + "=" + std::to_string(100 + n) + "\n";
    const std::vector<std::tuple<std::string, std::string, Ids>> cases = {
        {WorkedExample("team2=318"), kHungary1, {311, 318, 402}},
        {WorkedExample("team2=318"), kHungary2, {509, 517}},
        {WorkedExample("team2=0"), kHungary1, {311}},
        {WorkedExample("team2=abc"), kHungary1, {311}},
        {"[a]\nteam1=0\nteam2=5\n", "a", {}},
        {"[a]\nteam1=$1F\nteam2=0x1F\nteam3=31\nteam4=-5\nteam5=  +7\nteam6=8x\n",
         "a",
         {31, 31, 31, -5, 7}},
        {"[a]\nteam01=9\nTEAM1=5\nTeAm2=6\nteam03=7\n", "A", {5, 6}},
        {twelve, "a", {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112}},
        // The first of two equal keys wins; a second section of the name adds missing keys.
        {"[a]\nteam1=1\n[A]\nteam1=2\nteam2=3\n", "a", {1, 3}},
        {"[a]\n  team1=5\n\tteam2 = \"6\" \n   [b]\n  team1=7\n", "a", {5, 6}},
        {"team1=5\n[a]\nteam1=6\n", "", {}},
        {"[a]\n;team1=5\nteam1 5\n", "a", {}},
        // Lines of 199, 200, 2047, 2048 and 10000 bytes, values of 2047 and 2048.
        {LongValue(191), "a", {37, 8}},
        {LongValue(192), "a", {37, 8}},
        {LongValue(2039), "a", {37, 8}},
        {LongValue(2040), "a", {37, 8}},
        {LongValue(2045), "a", {37, 8}},
        {LongValue(2046), "a", {3, 8}},
        {LongValue(9992), "a", {}},
        {"[a]\nteam1=37" + std::string(9992, ' ') + "\nteam2=8", "a", {37, 8}},
        {";" + std::string(9999, '[') + "\n[a]\nteam1=5\nnote=" + std::string(9000, 'x') +
             "team2=6\n",
         "a",
         {5}},
        {"[a]\nteam1" + std::string(300, ' ') + "=5\n" + std::string(300, 'k') + "=6\n", "a", {5}},
    };
    for (const auto& [ini, division, ids] : cases)
        EXPECT_EQ(TeamIdsIn(ini, division), ids) << ini.substr(0, 80);
}

TEST(DivisionTable, FoldsLetterCaseWithinTheFilesOwnEncoding) {
    const std::string utf8 = "\xEF\xBB\xBF[Венгрия-1]\r\nteam1=311\r\n[Árpád]\nteam1=7\n";
    const std::string cp1251 = "[" + kHungary1 + "]\nteam1=311\n[\xA8\xAF\x80]\nteam1=7\n";
    const std::vector<std::tuple<std::string, std::string, Ids>> cases = {
        {utf8, "ВЕНГРИЯ-1", {311}},
        {utf8, "венгрия-1", {311}},
        {utf8, "ÁRPÁD", {7}},
        {utf8, "ÉRPÁD", {}},
        {utf8, kHungary1, {}},  // Windows-1251 bytes name nothing in a UTF-8 file
        {cp1251, kHungary1Upper, {311}},
        {cp1251, "\xB8\xBF\x90", {7}},  // ё ї ђ find Ё Ї Ђ
        {cp1251, "ВЕНГРИЯ-1", {}},
        {"[" + kLong + "1]\nteam1=1\n[" + kLong + "2]\nteam1=2\n", kLong + "2", {2}},
    };
    for (const auto& [ini, division, ids] : cases)
        EXPECT_EQ(TeamIdsIn(ini, division), ids) << division;
}

TEST(DivisionTable, ListsEverySectionOnceInFileOrder) {
    std::string many;
    for (int n = 0; n < 3000; ++n) many += "[division " + std::to_string(n) + "]\n";
    // "\xD0\xB0" is valid UTF-8 (а), yet in a Windows-1251 file it is Р° and stays apart
    // from А (\xC0); р° (\xF0\xB0) is its small form.
    const std::string cp1251 = "[\xD0\xB0]\n[\xC0]\n[\xF0\xB0]\n[\xE0]\n[\xD0\x90]\n";
    const std::vector<std::tuple<std::string, Names, bool>> cases = {
        {"[first]\n; nothing yet\n[second]\nteam1=5\n[third]", {"first", "second", "third"}, true},
        {"[" + kHungary1 + "]\n[" + kHungary1Upper + "]\n[Abc]\n[ABC]\n",
         {kHungary1, "Abc"},
         false},
        {"\xEF\xBB\xBF[Венгрия-1]\r\n[ВЕНГРИЯ-1]", {"Венгрия-1"}, true},
        {"[Á]\n[É]\n[á]\n[Ёж]\n[ёЖ]\n", {"Á", "É", "Ёж"}, true},
        {cp1251, {"\xD0\xB0", "\xC0", "\xD0\x90"}, false},
        {"[" + kLong + "1]\n[" + kLong + "2]\n", {kLong + "1", kLong + "2"}, true},
        {"team1=5\n  [a] ; b]\n[b]", {"a] ; b", "b"}, true},
        {"[" + std::string(300, 'n') + "]\n;" + std::string(10000, 'c') + "\n[m]\n",
         {std::string(300, 'n'), "m"},
         true},
    };
    for (const auto& [ini, names, utf8] : cases) {
        EXPECT_EQ(SectionNamesIn(ini), names) << ini.substr(0, 80);
        EXPECT_EQ(IsUtf8Ini(ini), utf8) << ini.substr(0, 80);
    }
    EXPECT_EQ(SectionNamesIn(many).size(), 3000u);
    EXPECT_EQ(SectionNamesIn(many).back(), "division 2999");
}

TEST(DivisionTable, ReadsTheFileAfreshAtEveryChoice) {
    const QTemporaryDir dir;
    const DivisionTable table(DataIniPath(dir.path().toStdString()));
    EXPECT_EQ(table.sectionNames(), Names{});
    std::ofstream(table.file(), std::ios::binary) << "[a]\nteam1=1\n[b]\nteam1=3\n";
    EXPECT_EQ(table.sectionNames(), (Names{"a", "b"}));
    std::ofstream(table.file(), std::ios::binary | std::ios::app) << "team2=4\n[\xC0]\n";
    EXPECT_EQ(table.teamIds("b"), (Ids{3, 4}));
    EXPECT_FALSE(table.isUtf8());
}

// The count of sections read by a child process, or -1 when it does not finish within
// two seconds: a read that blocks or never ends fails the test instead of hanging it.
int SectionsReadBy(const fs::path& file) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(2);
        const DivisionTable table(file);
        const std::size_t found = table.sectionNames().size() + table.teamIds("a").size();
        ::_exit(static_cast<int>(std::min<std::size_t>(found, 100)));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DivisionTable, ReadsOnlyRegularFilesUpTo16MiB) {
    const QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const std::string entry = "[a]\nteam1=5\n;";
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
    fs::create_directory(root / "dir");
    fs::create_symlink("/dev/zero", root / "zero");
    std::ofstream(root / "full", std::ios::binary) << entry << std::string((16 << 20) - 13, 'x');
    std::ofstream(root / "over", std::ios::binary) << entry << std::string((16 << 20) - 12, 'x');
    const std::vector<std::pair<const char*, int>> cases = {
        {"fifo", 0}, {"dir", 0}, {"zero", 0}, {"missing", 0}, {"full", 2}, {"over", 0}};
    for (const auto& [name, found] : cases) EXPECT_EQ(SectionsReadBy(root / name), found) << name;
}

TEST(DivisionTable, PathJoinsWithExactlyOneSeparator) {
    for (const char* dir : {"games/kelvo", "games/kelvo/"})
        EXPECT_EQ(DataIniPath(dir).string(), "games/kelvo/data.ini") << dir;
}

}  // namespace
}  // namespace koravel::config
