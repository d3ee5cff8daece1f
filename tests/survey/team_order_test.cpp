#include "survey/team_order.h"

#include <gtest/gtest.h>

namespace koravel::survey {
namespace {

TeamRow Row(std::string name, std::vector<std::string> cells, std::int32_t id = 0) {
    return {std::move(name), std::move(cells), id};
}

std::vector<std::int32_t> Ids(const TeamList& list) {
    std::vector<std::int32_t> ids;
    for (const TeamRow& row : list) ids.push_back(row.teamId);
    return ids;
}

using Order = std::vector<std::int32_t>;

TEST(TeamOrder, HeaderClicksAlternateDirectionAcrossColumns) {
    TeamList list = {Row("Bravo", {"10", "3"}, 1), Row("alpha", {"2", "7"}, 2),
                     Row("Charlie", {"5", "1"}, 3)};
    SortState state;
    ListView1ColumnClick(list, state, 1, ",");
    EXPECT_EQ(Ids(list), (Order{2, 3, 1}));
    EXPECT_TRUE(state.ascending);
    ListView1ColumnClick(list, state, 1, ",");
    EXPECT_EQ(Ids(list), (Order{1, 3, 2}));
    ListView1ColumnClick(list, state, 2, ",");
    EXPECT_EQ(Ids(list), (Order{3, 1, 2}));
    ListView1ColumnClick(list, state, 0, ",");
    EXPECT_EQ(Ids(list), (Order{3, 1, 2}));  // Charlie, Bravo, alpha
    EXPECT_EQ(state.column, 0);
    EXPECT_FALSE(state.ascending);
}

TEST(TeamOrder, NumbersSortByValueInLocaleFormat) {
    TeamList list = {Row("a", {"10"}, 1), Row("b", {"2,5"}, 2), Row("c", {""}, 3),
                     Row("d", {"x"}, 4), Row("e", {"-1"}, 5)};
    SortState state;
    ListView1ColumnClick(list, state, 1, ",");
    EXPECT_EQ(Ids(list), (Order{5, 3, 4, 2, 1}));  // equal texts keep their order
    // Under a point separator "2,5" is no number and counts as 0.
    list = {Row("a", {"1"}, 1), Row("b", {"2,5"}, 2), Row("c", {"0.5"}, 3)};
    state = {};
    ListView1ColumnClick(list, state, 1, ".");
    EXPECT_EQ(Ids(list), (Order{2, 3, 1}));
}

TEST(TeamOrder, NumbersEqualWithinRelativeTolerance) {
    const auto cmp = [](const char* a, const char* b, int param = 1) {
        return NumericSortProc(Row("", {a}), Row("", {b}), param, ".");
    };
    EXPECT_EQ(cmp("0", "0.00000000000000001"), 0);
    EXPECT_EQ(cmp("0", "0.0000000000000002"), -1);
    EXPECT_EQ(cmp("0.00000000000000001", "-0.00000000000000001"), 0);
    // Large values get no looser than their own precision.
    EXPECT_EQ(cmp("1E20", "1.0000000000000002E20"), -1);
    EXPECT_EQ(cmp("1", "2", -1), 1);
}

TEST(TeamOrder, HalfFilledRowsSortAsEmptyCells) {
    TeamList list = {Row("a", {"5", "1", "2", "3", "4"}, 1), Row("b", {"9", "5"}, 2),
                     Row("c", {"1", "3", "0", "0", "-4"}, 3)};
    SortState state;
    ListView1ColumnClick(list, state, 5, ".");
    EXPECT_EQ(Ids(list), (Order{3, 2, 1}));
    ListView1ColumnClick(list, state, 2, ".");
    EXPECT_EQ(Ids(list), (Order{2, 3, 1}));
}

TEST(TeamOrder, NamesFoldOnlyLatinSmallLetters) {
    EXPECT_EQ(CompareNames("abc", "ABC"), 0);
    EXPECT_LT(CompareNames("abc", "abcd"), 0);
    EXPECT_LT(CompareNames("a", "_"), 0);  // 'A' < '_' < 'a'
    EXPECT_LT(CompareNames("Z9", "\xC0"), 0);
    // Cyrillic: Ё and ё, then all capitals, then all small letters.
    EXPECT_LT(CompareNames("\xA8", "\xC0"), 0);
    EXPECT_LT(CompareNames("\xB8", "\xC0"), 0);
    EXPECT_LT(CompareNames("\xDF", "\xE0"), 0);  // Я before а
    EXPECT_NE(CompareNames("\xE0", "\xC0"), 0);
}

TEST(TeamOrder, NameSortKeepsTeamIds) {
    TeamList list = {Row("\xE0\xE1", {}, 1), Row("\xC0\xE1", {}, 2), Row("ABC", {}, 3),
                     Row("abc", {}, 4)};
    SortState state;
    ListView1ColumnClick(list, state, 0, ",");
    EXPECT_EQ(Ids(list), (Order{3, 4, 2, 1}));
    EXPECT_EQ(list[3].caption, "\xE0\xE1");
    ListView1ColumnClick(list, state, 0, ",");
    EXPECT_EQ(Ids(list), (Order{1, 2, 3, 4}));
}

}  // namespace
}  // namespace koravel::survey
