#include "config/division_table.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace koravel::config {
namespace {

using Ids = std::vector<std::int32_t>;
using Names = std::vector<std::string>;

// "Венгрия-1", "Венгрия-2" in Windows-1251
const std::string kHungary1 = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-1";
const std::string kHungary2 = "\xC2\xE5\xED\xE3\xF0\xE8\xFF-2";
// "ВЕНГРИЯ-1" in Windows-1251
const std::string kHungary1Upper = "\xC2\xC5\xCD\xC3\xD0\xC8\xDF-1";

class DivisionTableTest : public ::testing::Test {
protected:
    std::filesystem::path dir() const { return m_dir.path().toStdString(); }

    DivisionTable write(const std::string& bytes) const {
        const auto file = DataIniPath(dir());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        return DivisionTable(file);
    }

    void append(const std::string& bytes) const {
        std::ofstream(DataIniPath(dir()), std::ios::binary | std::ios::app) << bytes;
    }

private:
    QTemporaryDir m_dir;
};

std::string WorkedExample(const std::string& line3) {
    return "[" + kHungary1 + "]\r\nteam1=311\r\n" + line3 + "\r\nteam3=402\r\n[" + kHungary2 +
           "]\r\nteam2=517\r\nteam1=509\r\nteam4=533\r\n";
}

TEST_F(DivisionTableTest, WorkedExampleListsBothDivisionsAndReadsUpToTheGap) {
    const DivisionTable table = write(WorkedExample("team2=318"));
    EXPECT_EQ(table.sectionNames(), (Names{kHungary1, kHungary2}));
    EXPECT_EQ(table.teamIds(kHungary1), (Ids{311, 318, 402}));
    EXPECT_EQ(table.teamIds(kHungary2), (Ids{509, 517}));
}

TEST_F(DivisionTableTest, ValueThatReadsAsZeroEndsTheList) {
    for (const char* line3 : {"team2=0", "team2=abc", "team2=", "team2=99999999999"}) {
        const DivisionTable table = write(WorkedExample(line3));
        EXPECT_EQ(table.teamIds(kHungary1), (Ids{311})) << line3;
    }
    EXPECT_EQ(write("[a]\nteam1=0\nteam2=5\n").teamIds("a"), Ids{});
}

TEST_F(DivisionTableTest, MissingFileGivesNothingAndNoError) {
    const DivisionTable table(DataIniPath(dir()));
    EXPECT_EQ(table.sectionNames(), Names{});
    EXPECT_EQ(table.teamIds(kHungary1), Ids{});
    EXPECT_EQ(table.teamIds(""), Ids{});
}

TEST_F(DivisionTableTest, ValuesAreIntegerTexts) {
    const DivisionTable table =
        write("[a]\nteam1=$1F\nteam2=0x1F\nteam3=31\nteam4=-5\nteam5=  +7\nteam6=8x\n");
    EXPECT_EQ(table.teamIds("a"), (Ids{31, 31, 31, -5, 7}));
}

TEST_F(DivisionTableTest, KeyNamesIgnoreCaseButNotLeadingZeros) {
    const DivisionTable table = write("[a]\nTEAM1=5\nTeAm2=6\nteam03=7\nteam3x=8\n[b]\nteam01=9\n");
    EXPECT_EQ(table.teamIds("a"), (Ids{5, 6}));
    EXPECT_EQ(table.teamIds("b"), Ids{});
}

TEST_F(DivisionTableTest, TeamsComeInNumberOrderWhateverTheLineOrder) {
    const DivisionTable table = write(
        "[a]\nteam10=110\nteam2=102\nteam12=112\nteam1=101\nteam11=111\nteam9=109\n"
        "team3=103\nteam8=108\nteam4=104\nteam7=107\nteam5=105\nteam6=106\n");
    EXPECT_EQ(table.teamIds("a"),
              (Ids{101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112}));
}

TEST_F(DivisionTableTest, EveryCallReadsTheFileAfresh) {
    const DivisionTable table = write("[a]\nteam1=1\nteam2=2\n[b]\nteam1=3\n");
    EXPECT_EQ(table.teamIds("a"), (Ids{1, 2}));
    EXPECT_EQ(table.teamIds("a"), (Ids{1, 2}));

    append("team2=4\n");
    EXPECT_EQ(table.teamIds("b"), (Ids{3, 4}));
}

TEST_F(DivisionTableTest, SectionNamesIgnoreCaseInBothCodePages) {
    const DivisionTable table = write("[" + kHungary1 + "]\nteam1=1\n[" + kHungary1Upper +
                                      "]\nteam1=2\nteam2=3\n[Abc]\n[ABC]\n");
    EXPECT_EQ(table.sectionNames(), (Names{kHungary1, "Abc"}));
    // The first of two equal keys wins; the later section adds the keys the first lacks.
    EXPECT_EQ(table.teamIds(kHungary1Upper), (Ids{1, 3}));
    EXPECT_EQ(table.teamIds("abc"), Ids{});
    // "ВенгриЯ-1", Ё and ё, Ї and ї
    EXPECT_EQ(write("[\xC2\xE5\xED\xE3\xF0\xE8\xDF-1 \xA8\xAF]\nteam1=7\n")
                  .teamIds("\xE2\xE5\xED\xE3\xF0\xE8\xFF-1 \xB8\xBF"),
              Ids{7});
}

TEST_F(DivisionTableTest, WindowsFileWithCrLfAndCp1251) {
    const DivisionTable table = write("; made on Windows\r\n[" + kHungary1 +
                                      "]\r\nteam1=311\r\nteam2 = 318 \r\n\r\n[x]\r\nteam1=1");
    EXPECT_EQ(table.sectionNames(), (Names{kHungary1, "x"}));
    EXPECT_EQ(table.teamIds(kHungary1), (Ids{311, 318}));
    EXPECT_EQ(table.teamIds("X"), Ids{1});
}

TEST_F(DivisionTableTest, Utf8FileWithByteOrderMark) {
    const std::string utf8 = "Венгрия-1";
    const DivisionTable table = write("\xEF\xBB\xBF[" + utf8 + "]\r\nteam1=311\r\n");
    EXPECT_EQ(table.sectionNames(), Names{utf8});
    EXPECT_EQ(table.teamIds(utf8), Ids{311});
    EXPECT_EQ(table.teamIds(kHungary1Upper), Ids{311});
    EXPECT_EQ(table.teamIds("ВЕНГРИЯ-1"), Ids{311});
}

TEST_F(DivisionTableTest, SectionsWithoutKeysAreListed) {
    const DivisionTable table = write("[first]\n; nothing yet\n[second]\nteam1=5\n[third]");
    EXPECT_EQ(table.sectionNames(), (Names{"first", "second", "third"}));
    EXPECT_EQ(table.teamIds("first"), Ids{});
}

TEST_F(DivisionTableTest, LongNamesAreKeptWholeAndApart) {
    // 34 Cyrillic letters: 68 bytes in UTF-8, the same first 49 bytes in both names
    const std::string stem = "Центральноафриканская Республика-";
    const DivisionTable table = write("[" + stem + "1]\nteam1=1\n[" + stem + "2]\nteam1=2\n");
    EXPECT_EQ(table.sectionNames(), (Names{stem + "1", stem + "2"}));
    EXPECT_EQ(table.teamIds(stem + "2"), Ids{2});
}

TEST(DivisionTableText, OverlongLineDoesNotSpillIntoAKey) {
    // Wherever a line buffer ends, the rest of the line must not come back as a key.
    for (std::size_t filler = 1; filler < 4200; ++filler) {
        const std::string text = "[a]\nteam1=5\nnote=" + std::string(filler, 'x') + "team2=6\n";
        ASSERT_EQ(TeamIdsIn(text, "a"), Ids{5}) << filler;
    }
}

TEST_F(DivisionTableTest, IndentedKeysCount) {
    const DivisionTable table = write("[a]\n  team1=5\n\tteam2=6\n   [b]\n  team1=7\n");
    EXPECT_EQ(table.sectionNames(), (Names{"a", "b"}));
    EXPECT_EQ(table.teamIds("a"), (Ids{5, 6}));
}

TEST_F(DivisionTableTest, EmptyNameFindsNoKeysOutsideSections) {
    const DivisionTable table = write("team1=5\n[a]\nteam1=6\n");
    EXPECT_EQ(table.sectionNames(), Names{"a"});
    EXPECT_EQ(table.teamIds(""), Ids{});
}

TEST(DataIniPath, JoinsWithExactlyOneSeparator) {
    const std::filesystem::path deep = std::filesystem::path("games") / std::string(70, 'd');
    EXPECT_EQ(DataIniPath(deep), deep / "data.ini");
    EXPECT_EQ(DataIniPath("games/kelvo/").generic_string(), "games/kelvo/data.ini");
    EXPECT_EQ(DataIniPath("/").generic_string(), "/data.ini");
}

}  // namespace
}  // namespace koravel::config
