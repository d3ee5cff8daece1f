#include "config/division_table.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#ifndef _WIN32
#include <sys/stat.h>

#include "tools/testing/child_process.h"
#endif

#include <fstream>
#include <tuple>

namespace koravel::config {
namespace {

namespace fs = std::filesystem;
using Ids = std::vector<std::int32_t>;
using Names = std::vector<std::string>;

const std::string kHungary1 = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-1";  // Венгрия-1 in Windows-1251
const std::string kHungary1Upper = "\xC2\xC5\xCD\xC3\xD0\xC8\xDF-1";  // ВЕНГРИЯ-1
const std::string kWorked = "[" + kHungary1 + "]\r\nteam1=311\r\nteam2=318\r\nteam3=402\r\n" +
                            "[b]\r\nteam2=517\r\nteam1=509\r\nteam4=533\r\n[\xA8\xAF\x80]\nteam1=7";
const std::string kUtf8 = "\xEF\xBB\xBF[Венгрия-1]\r\nteam1=311\r\n[Árpád]\nteam1=7\n";

// "team1=" and a value of `zeros` zeros and "37", then team2.
std::string LongValue(std::size_t zeros) {
    return "[a]\nteam1=" + std::string(zeros, '0') + "37\nteam2=8\n";
}

TEST(DivisionTable, ReadsTeamsUpToTheFirstGapOrZero) {
    std::string twelve = "[a]\n";
    for (int n : {10, 2, 12, 1, 11, 9, 3, 8, 4, 7, 5, 6})
        twelve += "team" + std::to_string(n) + "=" + std::to_string(100 + n) + "\n";
    const std::vector<std::tuple<std::string, std::string, Ids>> cases = {
        {kWorked, kHungary1Upper, {311, 318, 402}},
        {kWorked, "B", {509, 517}},
        {kWorked, "\xB8\xBF\x90", {7}},  // ё ї ђ find Ё Ї Ђ in a Windows-1251 file
        {kWorked, "ВЕНГРИЯ-1", {}},
        {kUtf8, "ВЕНГРИЯ-1", {311}},
        {kUtf8, "ÁRPÁD", {7}},
        {kUtf8, "ÉRPÁD", {}},
        {kUtf8, kHungary1, {}},  // Windows-1251 bytes name nothing in a UTF-8 file
        {"[a]\nteam1=1\nteam2=0\nteam3=5\n[c]\nteam1=abc\n", "a", {1}},
        {"[a]\nteam1=$1F\nteam2=0x1F\nteam3=-5\nteam4=  +7\nteam5=8x\n", "a", {31, 31, -5, 7}},
        {"[a]\nteam01=9\nTEAM1=5\nTeAm2=6\nteam03=7\n", "A", {5, 6}},
        {twelve, "a", {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112}},
        // The first of two equal keys wins; a second section of the name adds missing keys.
        {"[a]\nteam1=1\n[A]\nteam1=2\nteam2=3\n", "a", {1, 3}},
        {"[a]\n  team1=5\n\tteam2 = \"6\" \n   [b]\n  team1=7\n", "a", {5, 6}},
        {"team1=5\n[a]\nteam1=6\n", "", {}},
        // A line that starts with "[" starts a section, whatever follows.
        {"[a]\nteam1=1\n[b\nteam2=2\n", "a", {1}},
        {std::string("[a]\nteam1=1\n[b\0x]\nteam1=2\n", 26), "b", {2}},
        {"[a]\n;team1=5\nteam1 5\n", "a", {}},
        // Lines of 199, 200, 2047, 2048 and 10000 bytes; values of 2047 and 2048.
        {LongValue(191), "a", {37, 8}},
        {LongValue(192), "a", {37, 8}},
        {LongValue(2039), "a", {37, 8}},
        {LongValue(2040), "a", {37, 8}},
        {LongValue(2045), "a", {37, 8}},
        {LongValue(2046), "a", {3, 8}},
        {LongValue(9992), "a", {}},
        {"[a]\nteam1=37" + std::string(9992, ' ') + "\nteam2=8", "a", {37, 8}},
        {";" + std::string(9999, '[') + "\n[a]\nteam1=5\nx=" + std::string(9000, 'x') + "team2=6\n",
         "a",
         {5}},
        {"[a]\nteam1" + std::string(300, ' ') + "=5\n" + std::string(300, 'k') + "=6\n", "a", {5}},
    };
    for (const auto& [ini, division, ids] : cases)
        EXPECT_EQ(DivisionTable::Parse(ini).teamIds(division).value_or(Ids{}), ids)
            << division << " in " << ini.substr(0, 60);
}

TEST(DivisionTable, ListsEverySectionOnceInFileOrderInTheFilesEncoding) {
    std::string many;
    for (int n = 0; n < 3000; ++n) many += "[division " + std::to_string(n) + "]\n";
    // "\xD0\xB0" is valid UTF-8 (а), yet in a Windows-1251 file it is Р° and stays apart
    // from А (\xC0); р° (\xF0\xB0) is its small form.
    const std::string cp1251 = "[\xD0\xB0]\n[\xC0]\n[\xF0\xB0]\n[\xE0]\n[\xD0\x90]\n";
    const std::string n300(300, 'n');
    const std::vector<std::tuple<std::string, Names, bool>> cases = {
        {"[first]\n; nothing yet\n[second]\nteam1=5\n[third]", {"first", "second", "third"}, true},
        {kWorked + "\n[" + kHungary1Upper + "]\n[B]", {kHungary1, "b", "\xA8\xAF\x80"}, false},
        {kUtf8 + "[ВЕНГРИЯ-1]", {"Венгрия-1", "Árpád"}, true},
        {"[Á]\n[É]\n[á]\n[Ёж]\n[ёЖ]\n", {"Á", "É", "Ёж"}, true},
        {cp1251, {"\xD0\xB0", "\xC0", "\xD0\x90"}, false},
        {"team1=5\n  [a] ; b]\n[b]", {"a] ; b", "b"}, true},
        {"[a\n[b]]\n", {"a", "b]"}, true},
        {"[" + n300 + "]\n;" + std::string(10000, 'c') + "\n[m]\n", {n300, "m"}, true},
    };
    for (const auto& [ini, names, utf8] : cases) {
        const DivisionTable table = DivisionTable::Parse(ini);
        EXPECT_EQ(table.divisionNames(), names) << ini.substr(0, 60);
        EXPECT_EQ(table.isUtf8(), utf8) << ini.substr(0, 60);
        for (const std::string& name : names) EXPECT_TRUE(table.teamIds(name)) << name;
    }
    EXPECT_EQ(DivisionTable::Parse(many).divisionNames().size(), 3000u);
    EXPECT_EQ(DivisionTable::Parse("[a]\n").teamIds("b"), std::nullopt);
}

// The count of sections and teams read, where it can be in a child process that gives
// up after ten seconds (a 16 MiB file under the sanitizers is slow): a read that blocks
// or never ends fails instead of hanging.
int FoundIn(const fs::path& file) {
    const auto found = [&] {
        const DivisionTable table = DivisionTable::Load(file);
        return static_cast<int>(table.divisionNames().size() +
                                table.teamIds("a").value_or(Ids{}).size());
    };
#ifdef _WIN32
    return found();
#else
    const std::string said = testing::InChild([&] { return std::to_string(found()); }, 10);
    return said.starts_with("killed") ? -1 : std::stoi(said);
#endif
}

TEST(DivisionTable, ReadsOnlyRegularFilesUpTo16MiBAsTheyStandWhenLoaded) {
    const QTemporaryDir dir;
    const fs::path root = fs::path(dir.path().toStdU16String());
    std::vector<std::pair<const char*, int>> cases = {
        {"dir", 0}, {"missing", 0}, {"full", 2}, {"over", 0}};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root / "zero");
    // Sparse: read whole, it would take more memory than the machine has.
    std::ofstream(root / "huge", std::ios::binary) << "[a]\nteam1=5\n";
    fs::resize_file(root / "huge", std::uintmax_t{1} << 40);
    cases.insert(cases.end(), {{"fifo", 0}, {"zero", 0}, {"huge", 0}});
#endif
    fs::create_directory(root / "dir");
    std::ofstream(root / "full", std::ios::binary)
        << "[a]\nteam1=5\n;" << std::string(16777203, 'x');
    std::ofstream(root / "over", std::ios::binary)
        << "[a]\nteam1=5\n;" << std::string(16777204, 'x');
    for (const auto& [name, found] : cases) EXPECT_EQ(FoundIn(root / name), found) << name;

    // In a folder whose name no single-byte code page holds.
    const fs::path folder = root / u8"Дивизионы Ёж";
    fs::create_directory(folder);
    const fs::path file = DataIniPath(folder);
    EXPECT_EQ(file, folder / "data.ini");
    std::ofstream(file, std::ios::binary) << "[a]\nteam1=1\n[b]\nteam1=3\n";
    const DivisionTable before = DivisionTable::Load(file);
    std::ofstream(file, std::ios::binary | std::ios::app) << "team2=4\n[\xC0]\n";
    EXPECT_EQ(before.teamIds("b"), Ids{3});
    EXPECT_EQ(before.divisionNames(), (Names{"a", "b"}));
    const DivisionTable after = DivisionTable::Load(file);
    EXPECT_EQ(after.teamIds("b"), (Ids{3, 4}));
    EXPECT_FALSE(after.isUtf8());
    EXPECT_EQ(DataIniPath("games/kelvo/"), fs::path("games/kelvo/data.ini"));
}

}  // namespace
}  // namespace koravel::config
