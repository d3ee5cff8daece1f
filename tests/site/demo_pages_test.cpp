#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "site/roster_request.h"
#include "survey/roster_reader.h"
#include "survey/team_list.h"
#include "tests/site/fetch.h"
#include "tools/fake_site/fake_site.h"

namespace koravel::site {
namespace {

using tools::Answer;
using tools::FakeSite;

// What the demo site serves must read like the game site's pages, whichever way the
// program asks for them.
TEST(DemoSitePages, ReadCleanlyDirectAndThroughTheProxyPath) {
    FakeSite site;
    site.servePages();
    const common::ProxySettings viaSite{true, "", "", FakeSite::host(),
                                        std::to_string(site.port())};
    for (const std::int32_t id : {1, 345, -7, 2147483647}) {
        const auto direct = SendRosterRequest(BuildRosterRequest(id, {}, AddressOf(site)));
        const auto proxied =
            SendRosterRequest(BuildRosterRequest(id, viaSite, {"game.example", 80}));
        ASSERT_TRUE(direct.has_value()) << id;
        EXPECT_EQ(proxied, direct) << id;

        survey::TeamList list;
        survey::Tally tally;
        std::string_view page = *direct;
        ASSERT_NO_THROW(survey::ReadRosterPage(page, list, id, tally, ","));
        ASSERT_EQ(list.size(), 1u);
        EXPECT_FALSE(list[0].caption.empty()) << id;
        EXPECT_EQ(list[0].subItems.size(), 5u) << id;
    }
}

TEST(DemoSitePages, OverriddenTeamGetsItsScriptedAnswer) {
    FakeSite site;
    site.servePages();
    site.overrideTeam(3, Answer::Http("404 Not Found", ""));
    EXPECT_EQ(SendRosterRequest(BuildRosterRequest(3, {}, AddressOf(site))), std::nullopt);
    EXPECT_EQ(SendRosterRequest(BuildRosterRequest(4, {}, AddressOf(site))), tools::DemoPage(4));
}

}  // namespace
}  // namespace koravel::site
