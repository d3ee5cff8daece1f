#include "config/division_table.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <tuple>

namespace koravel::config {
namespace {

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

TEST(DivisionTable, ReadsTeamsUpToTheFirstGapOrZero) {
    std::string twelve = "[a]\n";
    for (int n : {10, 2, 12, 1, 11, 9, 3, 8, 4, 7, 5, 6})
        twelve += "team" + std::to_string(n) + "=" + std::to_string(100 + n) + "\n";
    const std::string utf8 = "\xEF\xBB\xBF[Венгрия-1]\r\nteam1=311\r\n";
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
        {utf8, kHungary1Upper, {311}},
        {utf8, "ВЕНГРИЯ-1", {311}},
        // The first of two equal keys wins; a second section of the name adds missing keys.
        {"[a]\nteam1=1\n[A]\nteam1=2\nteam2=3\n", "a", {1, 3}},
        {"[\xA8\xAF\x80]\nteam1=7\n", "\xB8\xBF\x90", {7}},  // Ё Ї Ђ against ё ї ђ
        {"[" + kLong + "1]\nteam1=1\n[" + kLong + "2]\nteam1=2\n", kLong + "2", {2}},
        {"[a]\n  team1=5\n\tteam2 = 6 \n   [b]\n  team1=7\n", "a", {5, 6}},
        {"team1=5\n[a]\nteam1=6\n", "", {}},
    };
    for (const auto& [ini, division, ids] : cases) EXPECT_EQ(TeamIdsIn(ini, division), ids) << ini;
}

TEST(DivisionTable, ListsEverySectionOnceInFileOrder) {
    const std::vector<std::pair<std::string, Names>> cases = {
        {"[first]\n; nothing yet\n[second]\nteam1=5\n[third]", {"first", "second", "third"}},
        {"[" + kHungary1 + "]\n[" + kHungary1Upper + "]\n[Abc]\n[ABC]\n", {kHungary1, "Abc"}},
        {"\xEF\xBB\xBF[Венгрия-1]\r\n", {"Венгрия-1"}},
        {"[" + kLong + "1]\n[" + kLong + "2]\n", {kLong + "1", kLong + "2"}},
        {"team1=5\n  [a]\n[b]", {"a", "b"}},
    };
    for (const auto& [ini, names] : cases) EXPECT_EQ(SectionNamesIn(ini), names) << ini;
}

TEST(DivisionTable, OverlongLineDoesNotSpillIntoAKey) {
    // Wherever a line buffer ends, the rest of the line must not come back as a key.
    for (std::size_t filler = 1; filler < 4200; ++filler) {
        const std::string text = "[a]\nteam1=5\nnote=" + std::string(filler, 'x') + "team2=6\n";
        ASSERT_EQ(TeamIdsIn(text, "a"), Ids{5}) << filler;
    }
}

TEST(DivisionTable, ReadsTheFileAfreshAtEveryChoice) {
    const QTemporaryDir dir;
    const DivisionTable table(DataIniPath(dir.path().toStdString()));
    EXPECT_EQ(table.sectionNames(), Names{});
    std::ofstream(table.file(), std::ios::binary) << "[a]\nteam1=1\n[b]\nteam1=3\n";
    EXPECT_EQ(table.sectionNames(), (Names{"a", "b"}));
    std::ofstream(table.file(), std::ios::binary | std::ios::app) << "team2=4\n";
    EXPECT_EQ(table.teamIds("b"), (Ids{3, 4}));
}

TEST(DivisionTable, PathJoinsWithExactlyOneSeparator) {
    for (const char* dir : {"games/kelvo", "games/kelvo/"})
        EXPECT_EQ(DataIniPath(dir).string(), "games/kelvo/data.ini") << dir;
}

}  // namespace
}  // namespace koravel::config
