#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <tuple>
#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "common/code_page.h"
#include "common/error.h"
#include "survey/report.h"
#include "survey/team_order.h"

namespace koravel::survey {
namespace {

namespace fs = std::filesystem;

// First letters of the captions; every row's id must still be its caption's first letter.
std::string Order(const TeamList& list) {
    std::string order;
    for (const TeamRow& row : list) {
        order += row.caption.substr(0, 1);
        EXPECT_EQ(row.teamId, row.caption[0]);
    }
    return order;
}

TEST(TeamOrder, EveryClickFlipsTheDirectionWhateverTheColumn) {
    TeamList list = {
        {"Bravo", {"10", "3"}, 'B'}, {"alpha", {"2", "1"}, 'a'}, {"Charlie", {"5", "7"}, 'C'}};
    SortState state;
    // И ascending, И descending, РП ascending, Команда descending
    const std::vector<std::pair<int, std::string>> clicks = {
        {1, "aCB"}, {1, "BCa"}, {2, "aBC"}, {0, "CBa"}};
    for (const auto& [column, order] : clicks) {
        SortByHeader(list, state, column, ",");
        EXPECT_EQ(Order(list), order) << column;
    }
}

TEST(TeamOrder, NumberColumnsSortByValueInTheLocaleFormat) {
    // nullptr: a cell that a half-filled row lacks. Unreadable texts count as 0, values
    // within the tolerance are equal, and equal rows keep their order.
    const std::vector<std::tuple<const char*, std::vector<const char*>, std::string>> cases = {
        {",", {"10", "2,5", "", nullptr, "-1"}, "ecdba"},
        {".", {"1", "2,5", "0.5", "x"}, "bdca"},
        {".", {"0.0000000000000002", "0.00000000000000001", "0"}, "bca"},
        {".", {"1.0000000000000002E20", "1E20"}, "ba"}};
    for (const auto& [sep, texts, order] : cases) {
        TeamList list;
        for (const char* text : texts) {
            const char name = static_cast<char>('a' + list.size());
            list.push_back(
                {{name}, std::vector<std::string>(text ? 5 : 0, text ? text : ""), name});
        }
        SortState state;
        SortByHeader(list, state, 5, sep);
        EXPECT_EQ(Order(list), order);
    }
}

TEST(TeamOrder, NamesCompareByCodePageWithOnlyLatinFolded) {
    EXPECT_EQ(CompareNames("abc", "ABC"), 0);
    // Each first before its second: Latin before Cyrillic; Ё and ё before the other
    // Cyrillic letters; capitals before small letters.
    const std::vector<std::pair<std::string, std::string>> ordered = {
        {"abc", "abcd"},  {"a", "_"},       {"Z9", "\xC0"},          {"\xA8", "\xC0"},
        {"\xB8", "\xC0"}, {"\xDF", "\xE0"}, {"\xC0\xE1", "\xE0\xE1"}};
    for (const auto& [first, second] : ordered) {
        EXPECT_LT(CompareNames(first, second), 0) << first << " " << second;
        EXPECT_GT(CompareNames(second, first), 0) << first << " " << second;
    }
}

std::string Cp(std::string_view utf8) { return common::Utf8ToCp1251(utf8); }

TeamList Example() {
    return {{Cp("Торпедо"), {"18", "7", "3", "2", "2,5"}, 'T'},
            {Cp("Заря"), {"9", "12", "1", "0", "0,75"}, 'Z'},
            {Cp("Футбольный клуб Северянин"), {"14", "5", "2", "1", "1,5"}, 'F'}};
}

const std::string kExampleBlock =
    Cp(" \r\n"
       "Команда________________И_РП_19_Т>1_MaxT\r\n"
       "Торпедо_______________18__7__3__2__2,5\r\n"
       "Заря___________________9__12__1__0__0,75\r\n"
       "Футбольный клуб Северянин_14__5__2__1__1,5\r\n"
       " \r\n"
       "**************************************************\r\n");

TEST(ReportBlock, ListsTheRowsInDisplayOrder) {
    TeamList list = Example();
    EXPECT_EQ(ReportBlock(list), kExampleBlock);
    SortState state;
    SortByHeader(list, state, 1, ",");
    const std::string block = ReportBlock(list);
    EXPECT_LT(block.find(Cp("Заря")), block.find(Cp("Футбольный")));
    EXPECT_LT(block.find(Cp("Футбольный")), block.find(Cp("Торпедо")));
}

TEST(ReportBlock, FillPutsShortPlayersTextsUnderTheHeader) {
    // Name length, players text, fill. Rows hold no later cells, so these also show that
    // missing cells are written empty.
    const std::vector<std::tuple<int, std::string, int>> cases = {
        {22, "12", 0}, {22, "1", 1}, {23, "", 1}, {25, "7", 1}, {3, "", 20}, {3, "100", 19}};
    for (const auto& [length, players, fill] : cases) {
        const std::string name(length, 'N'), block = ReportBlock({{name, {players}, 0}});
        const auto at = block.find("\r\n", 3) + 2;
        EXPECT_EQ(block.substr(at, block.find("\r\n", at) - at),
                  name + std::string(fill, '_') + players + std::string(8, '_'));
    }
}

}  // namespace
}  // namespace koravel::survey
