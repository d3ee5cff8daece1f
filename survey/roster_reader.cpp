#include "survey/roster_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "common/number_text.h"
#include "survey/marker_search.h"

namespace koravel::survey {

namespace {

enum Marker : std::size_t {
    kTeam,
    kTagEnd,
    kAnchorEnd,
    kPlayers,
    kCoSP,
    kValue,
    kValueEnd,
    kInfo,
    kCell,
    kBoldCell,
    kCellEnd,
    kMarkerCount
};

constexpr std::array<std::string_view, kMarkerCount> kMarkers = {
    R"(name="Team")", ">",     "</a>",         R"(name="Players")", R"(name="CoSP")",
    R"(value=")",     R"("/)", "info.php?id=", "<td><center>",      "<td><center><b>",
    "</td>",
};

std::int64_t MarkerLength(Marker m) { return static_cast<std::int64_t>(kMarkers[m].size()); }

// The page text as the moves see it: a tail of the fetched page that only ever loses
// characters at its front. Positions count from 1 and 0 means "not found", as in the moves.
class PageCursor final {
public:
    explicit PageCursor(std::string_view page) : m_page(page), m_markers(page, kMarkers) {}

    std::int64_t Length() const { return static_cast<std::int64_t>(m_page.size() - m_front); }
    std::string_view Text() const { return m_page.substr(m_front); }

    std::int64_t Find(Marker m) {
        const std::size_t at = m_markers.Find(m, m_front);
        return at == std::string_view::npos ? 0 : static_cast<std::int64_t>(at - m_front) + 1;
    }

    // Clamped as the moves need: an index below 1 counts as 1; past the end, a negative
    // count or an empty text give ""; a count past the end stops there.
    std::string_view Sub(std::int64_t index, std::int64_t count) const {
        const std::int64_t length = Length();
        index = std::max<std::int64_t>(index, 1);
        if (length == 0 || count < 0 || index > length) return {};
        count = std::min(count, length - index + 1);
        return m_page.substr(m_front + static_cast<std::size_t>(index - 1),
                             static_cast<std::size_t>(count));
    }

    // Every narrowing move keeps a tail of the text.
    void Assign(std::string_view tail) { m_front = m_page.size() - tail.size(); }

private:
    std::string_view m_page;
    std::size_t m_front = 0;
    ForwardMarkers m_markers;
};

void CutAt(PageCursor& text, Marker m) {
    const std::int64_t p = text.Find(m);
    text.Assign(text.Sub(p, text.Length() - p + 1));
}

void SkipCell(PageCursor& text, Marker m) {
    const std::int64_t q = text.Find(m);
    text.Assign(text.Sub(q + MarkerLength(m), text.Length() - q));
}

std::string_view CellText(PageCursor& text) { return text.Sub(1, text.Find(kCellEnd) - 1); }

std::string_view Value(PageCursor& text) {
    const std::int64_t a = text.Find(kValue) + MarkerLength(kValue);
    const std::int64_t b = text.Find(kValueEnd);
    return text.Sub(a, b - a);
}

// The talent's text with every '.' turned into the separator, as its error message shows.
std::string TalentText(std::string_view cell, std::string_view decimalSeparator) {
    // Sized exactly: a hostile cell may be as large as the page, and growing the copy
    // would hold two of them at once.
    const auto dots = static_cast<std::size_t>(std::count(cell.begin(), cell.end(), '.'));
    std::string text;
    text.reserve(cell.size() - dots + dots * decimalSeparator.size());
    for (const char c : cell) {
        if (c == '.')
            text += decimalSeparator;
        else
            text += c;
    }
    return text;
}

std::optional<std::string> ReadInto(PageCursor& text, TeamRow& row, Tally& tally,
                                    std::string_view decimalSeparator) {
    CutAt(text, kTeam);
    const std::int64_t a = text.Find(kTagEnd) + 1;
    const std::int64_t b = text.Find(kAnchorEnd);
    row.name = text.Sub(a, b - a);

    CutAt(text, kPlayers);
    row.players = Value(text);

    CutAt(text, kCoSP);
    row.cosp = Value(text);
    if (row.cosp == " 0 ") row.cosp = "0";

    while (text.Find(kInfo) != 0) {
        CutAt(text, kInfo);
        for (int k = 0; k < 3; ++k) SkipCell(text, kCell);
        const std::string_view age = CellText(text);
        const std::optional<std::int32_t> years = common::TryParseInteger(age);
        if (!years) return common::IntegerError(age);
        if (*years == 19) ++tally.age19Count;
        for (int k = 0; k < 2; ++k) SkipCell(text, kBoldCell);
        const std::string_view cell = CellText(text);
        const std::string talentText = TalentText(cell, decimalSeparator);
        const std::optional<double> talent = common::TryParseFloat(talentText, decimalSeparator);
        if (!talent) return common::FloatError(talentText);
        if (*talent > 1.0) ++tally.talentedCount;
        if (*talent > tally.maxTalent) {
            tally.maxTalent = *talent;
            tally.bestTalent = cell;
        }
    }

    row.aged19 = std::to_string(tally.age19Count);
    row.talentsAbove1 = std::to_string(tally.talentedCount);
    row.maxTalent = common::FormatFloat15(tally.maxTalent, decimalSeparator);
    row.maxTalentNumber =
        tally.bestTalent.empty()
            ? "0"
            : common::PlainNumber(TalentText(tally.bestTalent, decimalSeparator), decimalSeparator);
    row.complete = true;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadRosterPage(std::string_view& page, TeamRow& row, Tally& tally,
                                          std::string_view decimalSeparator) {
    PageCursor text(page);
    std::optional<std::string> error = ReadInto(text, row, tally, decimalSeparator);
    // The caller sees the text as it stood at an error.
    page = text.Text();
    return error;
}

}  // namespace koravel::survey
