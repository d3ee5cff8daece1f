#include <gtest/gtest.h>

#include <tuple>

#include "survey/team_order.h"

namespace koravel::survey {
namespace {

using Order = std::vector<std::size_t>;

TeamRow Row(std::int32_t id, std::string name, std::string players, std::string cosp) {
    return {.teamId = id,
            .name = std::move(name),
            .players = std::move(players),
            .cosp = std::move(cosp)};
}

TEST(TeamOrder, EachSortStartsFromTheOrderTheListIsIn) {
    // "Bravo" and "bravo" are equal in every column and keep their order both ways.
    TeamList list = {Row(1, "Bravo", "10", "3"), Row(2, "alpha", "2", "1"),
                     Row(3, "Charlie", "5", "7"), Row(4, "bravo", "10", "3")};
    const std::vector<std::tuple<int, SortOrder, Order>> sorts = {
        {1, SortOrder::Ascending, {1, 2, 0, 3}},
        {1, SortOrder::Descending, {2, 3, 1, 0}},
        {2, SortOrder::Ascending, {3, 0, 1, 2}},
        {0, SortOrder::Descending, {3, 1, 2, 0}}};
    for (const auto& [column, order, positions] : sorts) {
        EXPECT_EQ(SortedOrder(list, column, order, ","), positions) << column;
        ApplyOrder(list, positions);
    }
    ApplyOrder(list, {0, 0, 1, 2});  // not a permutation: ignored
    std::vector<std::int32_t> ids;
    for (const TeamRow& row : list) ids.push_back(row.teamId);
    EXPECT_EQ(ids, (std::vector<std::int32_t>{3, 1, 4, 2}));
}

TEST(TeamOrder, NumberColumnsSortByValueInTheLocaleFormat) {
    // nullptr: a cell that a half-filled row lacks.
    // Unreadable texts count as 0, values within the tolerance are equal, and equal rows
    // keep their order.
    const std::vector<std::tuple<const char*, std::vector<const char*>, Order>> cases = {
        {",", {"10", "2,5", "", nullptr, "-1"}, {4, 2, 3, 1, 0}},
        {".", {"1", "2,5", "0.5", "x"}, {1, 3, 2, 0}},
        {".", {"0.0000000000000002", "0.00000000000000001", "0"}, {1, 2, 0}},
        {".", {"1.0000000000000002E20", "1E20"}, {1, 0}}};
    for (const auto& [sep, texts, order] : cases) {
        TeamList list;
        for (const char* text : texts)
            list.push_back(text ? TeamRow{.maxTalent = text, .complete = true} : TeamRow{});
        EXPECT_EQ(SortedOrder(list, 5, SortOrder::Ascending, sep), order);
    }
    // More equal rows than an insertion sort takes on, by name and by number.
    const TeamList many(20, TeamRow{.name = "a", .maxTalent = "1", .complete = true});
    for (const int column : {0, 5}) {
        EXPECT_EQ(SortedOrder(many, column, SortOrder::Descending, "."),
                  (Order{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
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

}  // namespace
}  // namespace koravel::survey
