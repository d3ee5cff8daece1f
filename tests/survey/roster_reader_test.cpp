#include "survey/roster_reader.h"

#include <gtest/gtest.h>

#include "common/code_page.h"
#include "common/error.h"
#include "tools/fake_site/roster_page.h"

namespace koravel::survey {
namespace {

using tools::MakeRosterPage;
using tools::PageSpec;
using Cells = std::vector<std::string>;

struct Reading {
    TeamRow row;
    std::string rest;
    Tally tally;
    std::string error;
};

Reading Read(std::string_view page, std::string_view sep = ",") {
    TeamList list;
    Reading r;
    try {
        ReadRosterPage(page, list, 42, r.tally, sep);
    } catch (const common::Error& e) {
        r.error = e.what();
    }
    EXPECT_EQ(list.size(), 1u);
    if (!list.empty()) r.row = list.front();
    r.rest = std::string(page);
    return r;
}

std::string Page(std::vector<tools::PlayerSpec> roster, std::string cosp = "3") {
    return MakeRosterPage({common::Utf8ToCp1251("Торпедо"), "22", std::move(cosp), roster});
}

bool StartsWith(const std::string& text, std::string_view start) {
    return text.rfind(start, 0) == 0;
}

TEST(RosterReader, WorkedExampleUnderEitherSeparator) {
    const std::string page = Page({{"19", "1.5"}, {"17", "1"}, {"19", "0.75"}}, " 0 ");
    const Reading comma = Read(page, ",");
    EXPECT_EQ(comma.row.caption, common::Utf8ToCp1251("Торпедо"));
    EXPECT_EQ(comma.row.subItems, (Cells{"22", "0", "2", "1", "1,5"}));
    EXPECT_EQ(comma.row.teamId, 42);
    EXPECT_TRUE(StartsWith(comma.rest, "0.75</td>"));  // the last talent read
    EXPECT_EQ(Read(page, ".").row.subItems, (Cells{"22", "0", "2", "1", "1.5"}));
}

TEST(RosterReader, PagesWithoutPlayerRowsCountNothing) {
    const Reading r = Read(Page({}));
    EXPECT_EQ(r.row.subItems, (Cells{"22", "3", "0", "0", "0"}));
    EXPECT_TRUE(StartsWith(r.rest, R"(name="CoSP")"));
    const Reading empty = Read("");
    EXPECT_EQ(empty.row.caption, "");
    EXPECT_EQ(empty.row.subItems, (Cells{"", "", "0", "0", "0"}));
}

TEST(RosterReader, CountsOnlyAgeNineteenAndTalentAboveOne) {
    const Reading r =
        Read(Page({{"18", "1"}, {"19", "1.01"}, {"20", "0.5"}, {" +19", "1"}, {"0x13", "-2"}}));
    EXPECT_EQ(r.row.subItems, (Cells{"22", "3", "3", "1", "1,01"}));
    EXPECT_EQ(Read(Page({{"18", "2.25"}, {"17", "2.25"}})).row.subItems[4], "2,25");
    EXPECT_EQ(Read(Page({{"18", "-1"}, {"17", "0"}})).row.subItems[4], "0");
    EXPECT_EQ(Read(Page({{"18", "1.5"}}), "").row.subItems[4], "15");  // points just vanish
}

TEST(RosterReader, OnlyBlankZeroBlankCoSPBecomesZero) {
    for (const auto& [cosp, shown] : std::vector<std::pair<std::string, std::string>>{
             {" 0 ", "0"}, {"0", "0"}, {"  0", "  0"}, {" 0", " 0"}, {" 0  ", " 0  "}})
        EXPECT_EQ(Read(Page({}, cosp)).row.subItems[1], shown) << cosp;
}

TEST(RosterReader, NameIsCopiedByteForByte) {
    const std::string name = "<b>\xC7\xE0\xF0\xFF</b> &amp; \"x\"";
    EXPECT_EQ(Read(MakeRosterPage({name, "1", "2", {}})).row.caption, name);
    // Without the Team marker the whole page is searched.
    const Reading r =
        Read(R"(<p>Alpha</a><i name="Players" value="3"/><i name="CoSP" value="4"/>)");
    EXPECT_EQ(r.row.caption, "Alpha");
    EXPECT_EQ(r.row.subItems, (Cells{"3", "4", "0", "0", "0"}));
    // An end before the start, or none, gives nothing.
    EXPECT_EQ(Read(R"(<a name="Team"Alpha</a>)").row.caption, "");
    EXPECT_EQ(Read(R"(<a name="Team">Alpha)").row.caption, "");
}

TEST(RosterReader, ConversionErrorsLeaveHalfFilledRow) {
    const Reading r = Read(Page({{"19", "2"}, {"19 ", "1"}}));
    EXPECT_EQ(r.error, "'19 ' is not a valid integer value");
    EXPECT_EQ(r.row.subItems, (Cells{"22", "3"}));
    EXPECT_EQ(r.tally.Age19Count, 1);
    EXPECT_EQ(r.tally.MaxTalent, 2.0);
    EXPECT_TRUE(StartsWith(r.rest, "19 </td>"));
    EXPECT_EQ(Read(Page({{"", "1"}})).error, "'' is not a valid integer value");

    const std::string comma = Page({{"18", "1,5"}});
    EXPECT_EQ(Read(comma, ".").error, "'1,5' is not a valid floating point value");
    EXPECT_EQ(Read(comma, ",").row.subItems[4], "1,5");
    // The message quotes the text after the points were replaced.
    EXPECT_EQ(Read(Page({{"18", "1.5.0"}}), ",").error,
              "'1,5,0' is not a valid floating point value");
}

TEST(RosterReader, MissingMarkersShiftByFixedWidths) {
    // No "<td><center>": each skip drops 11 characters, each bold skip 14; no value marker:
    // the value starts at the seventh character.
    const std::string page = R"(name="Players"/ info.php?id=)" + std::string(21, 'x') + "19</td>" +
                             std::string(21, 'y') + "1.5</td>";
    EXPECT_EQ(Read(page).row.subItems, (Cells{"Players", "Players", "1", "1", "1,5"}));
    // A value end before the value start gives nothing.
    EXPECT_EQ(Read(MakeRosterPage({"T", "/5", "1", {}})).row.subItems[0], "");
}

TEST(RosterReader, DemoTeamsReadCleanly) {
    for (std::int32_t id : {1, 77, 1234, 99999}) {
        const PageSpec spec = tools::DemoTeam(id);
        EXPECT_EQ(spec.teamName, tools::DemoTeam(id).teamName);
        int age19 = 0;
        for (const auto& p : spec.roster) age19 += p.age == "19";
        const Reading r = Read(MakeRosterPage(spec), ".");
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.row.caption, spec.teamName);
        EXPECT_EQ(r.row.subItems[0], spec.players);
        EXPECT_EQ(r.row.subItems[2], std::to_string(age19));
    }
}

}  // namespace
}  // namespace koravel::survey
