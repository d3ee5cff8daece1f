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

namespace koravel::survey {
namespace {

std::string Cells(const TeamRow& row) {
    std::string cells = row.caption;
    for (const std::string& cell : row.subItems) cells += "|" + cell;
    return cells;
}

// The row's cells joined by "|", then "!" and the message of an error; `rest` takes what
// the reader left of the page.
std::string Read(std::string_view page, std::string_view sep, std::string_view* rest = nullptr) {
    TeamList list;
    Tally tally;
    std::string error;
    try {
        ReadRosterPage(page, list, 42, tally, sep);
    } catch (const common::Error& e) {
        error = std::string("!") + e.what();
    }
    if (rest != nullptr) *rest = page;
    return Cells(list.at(0)) + error;
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
    for (const char* locale : {"C", "ru_RU.UTF-8"}) {
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
        const std::string_view text(bytes.data(), bytes.size());
        const std::size_t from = pick(hay.size() + 3);
        EXPECT_EQ(FindMarker(text, needle, from), text.find(needle, from))
            << "'" << hay << "' '" << needle << "' " << from;
    }
}

// The reader done the slow, obvious way: every move copies the text it keeps.
struct CopyingReader {
    std::string t;

    long Find(std::string_view m) const { return t.find(m) == t.npos ? 0 : t.find(m) + 1; }
    std::string Sub(long i, long n) const {
        i = std::max(i, 1L);
        return n < 0 || i > std::ssize(t) ? "" : t.substr(i - 1, n);
    }
    std::string Between(long a, long b) const { return Sub(a, b - a); }
    void Cut(std::string_view m) { t = Sub(Find(m), std::ssize(t) - Find(m) + 1); }
    void Skip(std::string_view m) { t = Sub(Find(m) + std::ssize(m), std::ssize(t) - Find(m)); }
    std::string Value() const { return Between(Find("value=\"") + 7, Find("\"/")); }

    std::string Read(std::string_view sep) {
        Tally tally;
        Cut(R"(name="Team")");
        std::string row = Between(Find(">") + 1, Find("</a>"));
        Cut(R"(name="Players")");
        row += "|" + Value();
        Cut(R"(name="CoSP")");
        row += "|" + (Value() == " 0 " ? "0" : Value());
        try {
            while (Find("info.php?id=") != 0) {
                Cut("info.php?id=");
                for (int k = 0; k < 3; ++k) Skip("<td><center>");
                tally.Age19Count += common::StrToInt(Between(1, Find("</td>"))) == 19;
                for (int k = 0; k < 2; ++k) Skip("<td><center><b>");
                std::string text;
                for (const char c : Between(1, Find("</td>")))
                    text += c == '.' ? std::string(sep) : std::string(1, c);
                const double talent = common::StrToFloat(text, sep);
                tally.TalentedCount += talent > 1.0;
                tally.MaxTalent = std::max(tally.MaxTalent, talent);
            }
        } catch (const common::Error& e) {
            return row + "!" + e.what();
        }
        return row + "|" + std::to_string(tally.Age19Count) + "|" +
               std::to_string(tally.TalentedCount) + "|" +
               common::FloatToStrG15(tally.MaxTalent, sep);
    }
};

TEST(RosterReader, MatchesCopyingReaderOnRandomPages) {
    // Markers, whole cells and rows, near misses, stray bytes; split at "|".
    const std::string all =
        R"(<a name="Team">|name="Team"|>|</a>|name="Players"|name="CoSP"|value="|"/|value=" 0 "/|)"
        R"(info.php?id=|<td><center>|</td>|<td><center><b>|<td><center>19</td>|<td><center><b>1</td>|)"
        R"(<td><center><b>1.5</td>|<td><center><b>1,5</td>|19| 17|2.25|1e1|x| |.|)"
        R"(<td><centre>|<tr><center><b>|<td><center><i>|vague="|valued"|)"
        "\xC0\xFF|"
        R"(info.php?id=<td><center>a</td><td><center>b</td><td><center>19</td><td><center><b>5|)"
        R"(<a name="Team">B</a><i name="Players" value="20"/><i name="CoSP" value=" 0 "/>)";
    std::vector<std::string> parts;
    for (std::size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 1)
        parts.push_back(all.substr(at, (bar = all.find('|', at)) - at));
    parts.emplace_back(1000, ' ');  // puts markers some way ahead of the reader
    std::mt19937 random(20240611);
    for (int n = 0; n < 400 && !HasFailure(); ++n) {
        std::string page;
        for (auto k = random() % 60; k > 0; --k) page += parts[random() % parts.size()];
        for (const std::string_view sep : {",", ".", ""}) {
            CopyingReader expected{page};
            std::string_view rest;
            EXPECT_EQ(Read(page, sep, &rest), expected.Read(sep)) << page;
            EXPECT_EQ(rest, expected.t);
        }
    }
}

// Records the ids asked for; `stopAt` raises `stop` while that team's page is fetched.
struct Site {
    std::map<std::int32_t, std::string> pages;
    std::int32_t stopAt = 0;
    std::atomic<bool> stop = false;
    std::vector<std::int32_t> asked = {};

    std::optional<std::string> operator()(std::int32_t id) {
        asked.push_back(id);
        stop = id == stopAt;
        return pages.contains(id) ? std::optional(pages.at(id)) : std::nullopt;
    }
};

TEST(Scan, RowsFollowTeamIdsUntilAConversionError) {
    EXPECT_EQ(DivisionPrompt(), common::Utf8ToCp1251("Дивизион"));
    // Read again, the rest of this page would give a name and a players value.
    const std::string page = Page({{"19", "1.5"}}) + R"(<a>tail</a><i name="Players" value="9"/>)";
    Site site{.pages = {{12, page}, {13, page}, {15, Page({{"old", "1"}})}, {16, page}}};
    std::string rows;
    const auto take = [&](TeamRow&& row) {
        rows += Cells(row) + "#" + std::to_string(row.teamId) + " ";
    };
    EXPECT_THROW(RunScan({11, 12, 13, 14, 15, 16}, ",", std::ref(site), take), common::Error);
    EXPECT_EQ(site.asked, (std::vector<std::int32_t>{11, 12, 13, 14, 15}));
    // No tally carries over; the half-read row of 15 comes before the error.
    EXPECT_EQ(rows, "|||0|0|0#11 T|22|3|1|1|1,5#12 T|22|3|1|1|1,5#13 |||0|0|0#14 T|22|3#15 ");
}

TEST(Scan, StopRaisedDuringAFetchDropsThatTeamAndFetchesNoMore) {
    Site site{.pages = {{11, Page({})}, {12, Page({})}, {13, Page({})}}, .stopAt = 13};
    TeamList list = {{"old", {}, 1}};
    EXPECT_FALSE(RunScan({11, 12, 13, 14}, list, ",", std::ref(site), &site.stop));
    EXPECT_EQ(site.asked, (std::vector<std::int32_t>{11, 12, 13}));
    EXPECT_EQ(list.size() == 2 ? list[1].teamId : 0, 12);
    Site idle;
    idle.stop = true;
    EXPECT_FALSE(RunScan({11}, list, ",", std::ref(idle), &idle.stop));
    EXPECT_TRUE(idle.asked.empty());
}

}  // namespace
}  // namespace koravel::survey
