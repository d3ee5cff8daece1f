#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <map>
#include <random>

#include "common/code_page.h"
#include "common/error.h"
#include "common/number_text.h"
#include "survey/marker_search.h"
#include "survey/roster_reader.h"
#include "survey/scan.h"
#include "tools/fake_site/roster_page.h"
#include "tools/testing/files.h"

namespace koravel::survey {
namespace {

// The cells joined by "|", without those a row cut short lacks.
std::string Cells(const TeamRow& row) {
    std::string cells = row.name + "|" + row.players + "|" + row.cosp;
    if (row.complete) cells += "|" + row.aged19 + "|" + row.talentsAbove1 + "|" + row.maxTalent;
    return cells;
}

// The row's cells joined by "|", then "!" and the message of an error.
std::string Read(std::string_view page, std::string_view sep) {
    TeamRow row;
    Tally tally;
    const std::optional<std::string> error = ReadRosterPage(page, row, tally, sep);
    return Cells(row) + (error ? "!" + *error : "");
}

std::string Page(std::vector<tools::PlayerSpec> roster, std::string cosp = "3") {
    return tools::MakeRosterPage({"T", "22", std::move(cosp), std::move(roster)});
}

TEST(RosterReader, ReadsPagesIntoRowsWhateverTheProcessLocale) {
    const std::string name = "<b>\xC7\xE0\xF0\xFF</b> &amp; \"x\"";
    // Without "<td><center>" a skip drops 11 characters, a bold skip 14; without the value
    // marker a value starts at the seventh character.
    const std::string unmarked = R"(name="Players"/ info.php?id=)" + std::string(21, 'x') +
                                 "19</td>" + std::string(21, 'y') + "1.5</td>";
    // Each row as read with ","; with "." the same with a point.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {Page({{"19", "1.5"}, {"17", "1"}, {"19", "0.75"}}, " 0 "), "T|22|0|2|1|1,5"},
        {"", "|||0|0|0"},
        {Page({{"18", "1"}, {"19", "1.01"}, {"20", "0.5"}, {" +19", "1"}}), "T|22|3|2|1|1,01"},
        {Page({{"18", "2.25"}, {"17", "2.25"}}), "T|22|3|0|2|2,25"},
        {Page({{"18", "0.5"}}), "T|22|3|0|0|0,5"},
        {Page({{"18", "10"}}), "T|22|3|0|1|10"},
        {Page({{"18", "0.00001"}}), "T|22|3|0|0|0,00001"},
        {Page({{"18", "1E-6"}}), "T|22|3|0|0|1E-6"},
        {Page({}, " 0  "), "T|22| 0  |0|0|0"},
        {tools::MakeRosterPage({name, "1", "2", {}}), name + "|1|2|0|0|0"},
        {R"(<p>Alpha</a><i name="Players" value="3"/><i name="CoSP" value="4"/>)",
         "Alpha|3|4|0|0|0"},
        {unmarked, "|Players|Players|1|1|1,5"},
        {Page({{"19", "2"}, {"19 ", "1"}}), "T|22|3!'19 ' is not a valid integer value"},
    };
    // Under a Russian locale the C library writes and expects ",".
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", testing::kRussianLocale}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
        for (auto [page, row] : cases) {
            EXPECT_EQ(Read(page, ","), row) << locale;
            std::replace(row.begin(), row.end(), ',', '.');
            EXPECT_EQ(Read(page, "."), row) << locale;
        }
        EXPECT_EQ(Read(Page({{"18", "1,5"}}), "."),
                  "T|22|3!'1,5' is not a valid floating point value");
    }
    std::setlocale(LC_ALL, saved.c_str());
}

// Alone and as the reader uses it, from a front that only moves on.
TEST(MarkerSearch, FindsWhatStringViewFindFinds) {
    std::mt19937 random(11);
    const auto pick = [&](std::size_t below) { return below == 0 ? 0 : random() % below; };
    for (int n = 0; n < 30000 && !HasFailure(); ++n) {
        // Small alphabets make matches, near misses and overlaps common.
        const std::string_view alphabet = n % 3 == 0 ? "ab" : n % 3 == 1 ? "<td>/" : "aaab";
        std::string hay;
        for (std::size_t k = pick(n % 10 == 0 ? 300 : 60); k > 0; --k)
            hay += alphabet[pick(alphabet.size())];
        // From the text itself (its very ends and overlaps included) or from nowhere.
        std::string needle = hay;
        if (n % 4 == 0)
            for (needle.clear(); needle.size() < pick(20);)
                needle += alphabet[pick(alphabet.size())];
        needle = needle.substr(pick(needle.size() + 1), pick(20));
        // Exactly as long as the text, so that a read past its end can be caught.
        const std::vector<char> bytes(hay.begin(), hay.end());
        const std::string_view text(bytes.data(), bytes.size()), markers[] = {needle};
        const std::size_t from = pick(hay.size() + 3);
        EXPECT_EQ(FindMarker(text, needle, from), text.find(needle, from)) << hay << "|" << needle;
        ForwardMarkers forward(text, markers);
        for (std::size_t front = from; front <= text.size(); front += pick(9))
            EXPECT_EQ(forward.Find(0, front), text.find(needle, front)) << hay << "|" << needle;
    }
}

// Records the ids asked for; `stopAt` raises `stop` while that team's page is fetched.
struct Site {
    std::map<std::int32_t, std::string> pages;
    std::int32_t stopAt = 0;
    std::atomic<bool> stop = false;
    std::vector<std::int32_t> asked = {};

    Fetched operator()(std::int32_t id) {
        asked.push_back(id);
        stop = id == stopAt;
        if (pages.contains(id)) return {pages.at(id), {}};
        return {std::nullopt, "cut short " + std::to_string(id)};
    }
};

// Each outcome as "id:cells", then "/failure" or "!error"; the scan's state at the end.
std::string Outcomes(Scan& scan, Site& site) {
    std::string told;
    while (std::optional<TeamOutcome> outcome = scan.next(&site.stop)) {
        told += std::to_string(outcome->teamId) + ":" + Cells(outcome->row);
        if (outcome->row.complete) told += "=" + outcome->row.maxTalentNumber;
        if (outcome->failure) told += "/" + *outcome->failure;
        if (outcome->error) told += "!" + *outcome->error;
        told += " ";
    }
    return told + std::to_string(scan.position()) + "/" + std::to_string(scan.size()) +
           (scan.stopped() ? " stopped" : "");
}

TEST(Scan, OneOutcomePerTeamInOrderUntilAConversionError) {
    // Read again, the rest of this page would give a name and a players value. The best
    // talent, for JSON, as the page wrote it.
    const std::string page =
        Page({{"19", "+01.50"}, {"17", "1.5"}}) + R"(<a>tail</a><i name="Players" value="9"/>)";
    Site site{.pages = {{12, page}, {13, page}, {15, Page({{"old", "1"}})}, {16, page}}};
    Scan scan({11, 12, 13, 14, 15, 16}, ",", std::ref(site));
    // No tally carries over; a failed request reads as an empty page.
    EXPECT_EQ(Outcomes(scan, site),
              "11:|||0|0|0=0/cut short 11 12:T|22|3|1|2|1,5=1.50 13:T|22|3|1|2|1,5=1.50 "
              "14:|||0|0|0=0/cut short 14 15:T|22|3!'old' is not a valid integer value 5/6");
    EXPECT_EQ(site.asked, (std::vector<std::int32_t>{11, 12, 13, 14, 15}));
    EXPECT_FALSE(scan.next());
}

TEST(Scan, StopRaisedDuringAFetchDropsThatTeamAndFetchesNoMore) {
    Site site{.pages = {{11, Page({})}, {12, Page({})}, {13, Page({})}}, .stopAt = 13};
    Scan scan({11, 12, 13, 14}, ",", std::ref(site));
    EXPECT_EQ(Outcomes(scan, site), "11:T|22|3|0|0|0=0 12:T|22|3|0|0|0=0 3/4 stopped");
    EXPECT_EQ(site.asked, (std::vector<std::int32_t>{11, 12, 13}));
    Site idle;
    idle.stop = true;
    Scan none({11}, ",", std::ref(idle));
    EXPECT_EQ(Outcomes(none, idle), "0/1 stopped");
    EXPECT_TRUE(idle.asked.empty());
}

}  // namespace
}  // namespace koravel::survey
