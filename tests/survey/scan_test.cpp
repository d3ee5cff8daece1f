#include "survey/scan.h"

#include <gtest/gtest.h>

#include <map>

#include "common/code_page.h"
#include "common/error.h"
#include "tools/fake_site/roster_page.h"

namespace koravel::survey {
namespace {

using Cells = std::vector<std::string>;
using Ids = std::vector<std::int32_t>;

// A site that knows some pages; any other id is a failed request.
struct Site {
    std::map<std::int32_t, std::string> pages;
    Ids asked;

    FetchPage fetcher() {
        return [this](std::int32_t id) -> std::optional<std::string> {
            asked.push_back(id);
            const auto it = pages.find(id);
            return it == pages.end() ? std::nullopt : std::optional(it->second);
        };
    }
};

std::string Page(const std::string& name, std::vector<tools::PlayerSpec> roster) {
    return tools::MakeRosterPage({name, "20", "4", std::move(roster)});
}

TEST(Scan, OneRowPerTeamInOrderWithFreshTallies) {
    EXPECT_EQ(DivisionPrompt(), common::Utf8ToCp1251("Дивизион"));
    Site site;
    site.pages = {{30, Page("C", {{"19", "2"}})}, {10, Page("A", {{"19", "1.5"}})}};
    site.pages[20] = site.pages[10];
    TeamList list(2, TeamRow{"old", {}, 1});
    std::vector<std::size_t> done;
    RunScan({10, 20, 30}, list, ",", site.fetcher(), [&](std::size_t i) {
        EXPECT_EQ(list.size(), i + 1);
        done.push_back(i);
    });
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(done, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(site.asked, (Ids{10, 20, 30}));
    EXPECT_EQ(list[2].teamId, 30);
    EXPECT_EQ(list[2].caption, "C");
    // The same page twice gives the same row: nothing carries over between teams.
    EXPECT_EQ(list[1].subItems, (Cells{"20", "4", "1", "1", "1,5"}));
    EXPECT_EQ(list[0].subItems, list[1].subItems);

    RunScan({}, list, ",", site.fetcher());
    EXPECT_TRUE(list.empty());
}

TEST(Scan, FailedRequestReadsAsEmptyPage) {
    Site site;
    // Read again, the rest of this page would give a name and a players value.
    site.pages[2] = Page("B", {{"17", "1"}}) + R"(<a>tail</a><i name="Players" value="9"/>)";
    TeamList list;
    RunScan({1, 2, 3}, list, ",", site.fetcher());
    ASSERT_EQ(list.size(), 3u);
    for (const std::size_t i : {0u, 2u}) {
        EXPECT_EQ(list[i].caption, "");
        EXPECT_EQ(list[i].subItems, (Cells{"", "", "0", "0", "0"}));
    }
    EXPECT_EQ(list[1].caption, "B");
    EXPECT_EQ(list[2].teamId, 3);
}

TEST(Scan, ConversionErrorStopsAndKeepsEarlierRows) {
    Site site;
    site.pages = {{1, Page("A", {{"19", "1"}})},
                  {2, Page("B", {{"19", "1"}, {"old", "1"}})},
                  {3, Page("C", {})}};
    TeamList list;
    std::size_t afterCalls = 0;
    try {
        RunScan({1, 2, 3}, list, ",", site.fetcher(), [&](std::size_t) { ++afterCalls; });
        FAIL() << "no error";
    } catch (const common::Error& e) {
        EXPECT_STREQ(e.what(), "'old' is not a valid integer value");
    }
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].subItems.size(), 5u);
    EXPECT_EQ(list[1].subItems, (Cells{"20", "4"}));
    EXPECT_EQ(afterCalls, 1u);
    EXPECT_EQ(site.asked, (Ids{1, 2}));
}

}  // namespace
}  // namespace koravel::survey
