#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <tuple>

#include "common/error.h"
#include "common/number_text.h"
#include "survey/roster_reader.h"

namespace koravel::survey {
namespace {

// The reader done the slow, obvious way: every move copies the text it keeps.
class CopyingReader final {
public:
    explicit CopyingReader(std::string page) : PageText(std::move(page)) {}

    std::string PageText;
    std::string caption;
    std::vector<std::string> cells;
    Tally tally;

    void Read(std::string_view sep) {
        Cut(R"(name="Team")");
        const long a = Find(">") + 1, b = Find("</a>");
        caption = Sub(a, b - a);
        Cut(R"(name="Players")");
        cells.push_back(Value());
        Cut(R"(name="CoSP")");
        cells.push_back(Value());
        if (cells[1] == " 0 ") cells[1] = "0";
        while (Find("info.php?id=") != 0) {
            Cut("info.php?id=");
            for (int k = 0; k < 3; ++k) Skip("<td><center>");
            if (common::StrToInt(CellText()) == 19) ++tally.Age19Count;
            for (int k = 0; k < 2; ++k) Skip("<td><center><b>");
            std::string talent;
            for (char c : CellText()) talent += c == '.' ? std::string(sep) : std::string(1, c);
            const double t = common::StrToFloat(talent, sep);
            if (t > 1.0) ++tally.TalentedCount;
            if (t > tally.MaxTalent) tally.MaxTalent = t;
        }
        cells.push_back(std::to_string(tally.Age19Count));
        cells.push_back(std::to_string(tally.TalentedCount));
        cells.push_back(common::FloatToStrG15(tally.MaxTalent, sep));
    }

private:
    long Length() const { return static_cast<long>(PageText.size()); }
    long Find(const std::string& m) const {
        const auto p = PageText.find(m);
        return PageText.empty() || p == std::string::npos ? 0 : static_cast<long>(p) + 1;
    }
    std::string Sub(long index, long count) const {
        if (index < 1) index = 1;
        if (PageText.empty() || count < 0 || index > Length()) return "";
        return PageText.substr(static_cast<std::size_t>(index - 1),
                               static_cast<std::size_t>(count));
    }
    void Cut(const std::string& m) {
        const long p = Find(m);
        PageText = Sub(p, Length() - p + 1);
    }
    void Skip(const std::string& m) {
        const long q = Find(m);
        PageText = Sub(q + static_cast<long>(m.size()), Length() - q);
    }
    std::string CellText() const { return Sub(1, Find("</td>") - 1); }
    std::string Value() const {
        const long a = Find(R"(value=")") + 7, b = Find(R"("/)");
        return Sub(a, b - a);
    }
};

// Pages glued from markers, whole player rows and stray bytes, split at '|'.
std::string RandomPage(std::mt19937& random) {
    static const std::vector<std::string> fragments = [] {
        const std::string all =
            R"(<a name="Team">|name="Team"|>|</a>|Alpha|name="Players"|name="CoSP"|value="|"/|)"
            R"(value=" 0 "/|info.php?id=|info.php?id=|<td><center>|<td><center><b>|</td>|)"
            R"(<td><center>19</td>|<td><center>18</td>|<td><center><b>1.5</td>|)"
            R"(<td><center><b>1</td>|<td><center><b>0.75</td>|<td><center><b>1,5</td>|)"
            R"(info.php?id=1<td><center>a</td><td><center>b</td><td><center>19</td>)"
            R"(<td><center><b>5</td><td><center><b>1.5</td>|)"
            R"(info.php?id=2<td><center>c</td><td><center>d</td><td><center>17</td>)"
            R"(<td><center><b>6</td><td><center><b>0.25</td>|)"
            "19| 17|2.25|1e1|x| |<|\"|/|.|-|\xC0\xFF";
        std::vector<std::string> parts;
        for (std::size_t at = 0, bar; at <= all.size(); at = bar + 1) {
            bar = std::min(all.find('|', at), all.size());
            parts.push_back(all.substr(at, bar - at));
        }
        return parts;
    }();
    std::string page;
    const auto count = random() % 80;
    for (unsigned k = 0; k < count; ++k) page += fragments[random() % fragments.size()];
    return page;
}

TEST(RosterReader, MatchesCopyingReaderOnRandomPages) {
    std::mt19937 random(20240611);
    for (int n = 0; n < 400; ++n) {
        const std::string page = RandomPage(random);
        for (const std::string_view sep : {",", ".", ""}) {
            CopyingReader expected(page);
            std::optional<std::string> expectedError;
            try {
                expected.Read(sep);
            } catch (const common::Error& e) {
                expectedError = e.what();
            }
            std::string_view PageText = page;
            TeamList list;
            Tally tally;
            std::optional<std::string> error;
            try {
                ReadRosterPage(PageText, list, 7, tally, sep);
            } catch (const common::Error& e) {
                error = e.what();
            }
            SCOPED_TRACE(page);
            ASSERT_EQ(list.size(), 1u);
            EXPECT_EQ(error, expectedError);
            EXPECT_EQ(std::tie(list[0].caption, list[0].subItems, PageText),
                      std::tie(expected.caption, expected.cells, expected.PageText));
            EXPECT_EQ(std::tie(tally.Age19Count, tally.TalentedCount, tally.MaxTalent),
                      std::tie(expected.tally.Age19Count, expected.tally.TalentedCount,
                               expected.tally.MaxTalent));
            if (HasFailure()) return;  // one failing page tells enough
        }
    }
}

}  // namespace
}  // namespace koravel::survey
