#include "survey/roster_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if !defined(__GLIBC__)
#include <functional>
#endif

#include "common/number_text.h"

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

// Markers mostly lie a few dozen bytes ahead, where a call to memmem costs more than the
// search itself; past this many start positions memmem takes over, as it stays fast
// whatever the text.
constexpr std::size_t kNear = 1024;

#if defined(__SSE2__)
template <typename Word>
Word Load(const char* at) {
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// As std::string_view::find, for needles one to two words long.
template <typename Word>
std::size_t BlockFind(std::string_view text, std::string_view needle) {
    const std::size_t n = needle.size();
    const char* p = text.data();
    // Candidates are where both the first and the last byte line up, sixteen starts at a
    // time; in HTML the markers' first and last bytes rarely pair up by chance. Two
    // overlapping words then compare the whole needle.
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    const Word head = Load<Word>(needle.data());
    const Word tail = Load<Word>(needle.data() + n - sizeof(Word));
    std::size_t i = 0;
    for (; i + n + 15 <= text.size(); i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + n - 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask != 0) {
            const char* at = p + i + static_cast<unsigned>(__builtin_ctz(mask));
            if (Load<Word>(at) == head && Load<Word>(at + n - sizeof(Word)) == tail)
                return static_cast<std::size_t>(at - p);
            mask &= mask - 1;
        }
    }
    const std::size_t rest = text.substr(i).find(needle);
    return rest == std::string_view::npos ? rest : i + rest;
}
#endif

// As std::string_view::find.
std::size_t NearFind(std::string_view text, std::string_view needle) {
#if defined(__SSE2__)
    const std::size_t n = needle.size();
    if (n >= 8 && n <= 16) return BlockFind<std::uint64_t>(text, needle);
    if (n >= 4 && n < 8) return BlockFind<std::uint32_t>(text, needle);
    if (n >= 2 && n < 4) return BlockFind<std::uint16_t>(text, needle);
#endif
    return text.find(needle);
}

std::size_t FarFind(std::string_view text, std::string_view needle) {
#if defined(__GLIBC__)
    // glibc's memmem is linear and fast; string_view::find keys on the needle's first
    // byte, and every marker here but one starts with a common '<' or 'n'.
    const void* hit = memmem(text.data(), text.size(), needle.data(), needle.size());
    if (hit == nullptr) return std::string_view::npos;
    return static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
#else
    const auto it = std::search(text.begin(), text.end(),
                                std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    if (it == text.end()) return std::string_view::npos;
    return static_cast<std::size_t>(it - text.begin());
#endif
}

std::size_t Search(std::string_view hay, std::size_t from, std::string_view needle) {
    const std::string_view rest = hay.substr(from);
    // Also keeps a null empty page away from memmem.
    if (rest.size() < needle.size()) return std::string_view::npos;
    const std::size_t nearBytes = std::min(rest.size(), kNear + needle.size() - 1);
    const std::size_t hit = NearFind(rest.substr(0, nearBytes), needle);
    if (hit != std::string_view::npos) return from + hit;
    if (nearBytes == rest.size()) return std::string_view::npos;
    const std::size_t skip = nearBytes - needle.size() + 1;  // starts already ruled out
    const std::size_t far = FarFind(rest.substr(skip), needle);
    return far == std::string_view::npos ? far : from + skip + far;
}

// The page text as the reader sees it: a suffix of the fetched page that only ever
// loses characters at its front. Positions count from 1, as the marker moves use them.
class PageCursor final {
public:
    explicit PageCursor(std::string_view page) : m_page(page) {}

    std::int64_t Length() const { return static_cast<std::int64_t>(m_page.size() - m_front); }
    std::string_view Text() const { return m_page.substr(m_front); }

    std::int64_t Find(Marker m) {
        Hit& hit = m_hits[m];
        // Since text is only dropped from the front, a hit at or past the front is still
        // the first one, and a marker once missing stays missing: each marker's search
        // sweeps the page once in all.
        if (!hit.searched || (hit.at != std::string_view::npos && hit.at < m_front)) {
            hit.at = Search(m_page, m_front, kMarkers[m]);
            hit.searched = true;
        }
        if (hit.at == std::string_view::npos) return 0;
        return static_cast<std::int64_t>(hit.at - m_front) + 1;
    }

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
    struct Hit {
        bool searched = false;
        std::size_t at = 0;
    };

    std::string_view m_page;
    std::size_t m_front = 0;
    std::array<Hit, kMarkerCount> m_hits{};
};

void CutAt(PageCursor& text, Marker m) {
    const std::int64_t p = text.Find(m);
    text.Assign(text.Sub(p, text.Length() - p + 1));
}

void SkipPast(PageCursor& text, Marker m) {
    const std::int64_t q = text.Find(m);
    text.Assign(text.Sub(q + MarkerLength(m), text.Length() - q));
}

std::string_view CellText(PageCursor& text) { return text.Sub(1, text.Find(kCellEnd) - 1); }

std::string_view Value(PageCursor& text) {
    const std::int64_t a = text.Find(kValue) + MarkerLength(kValue);
    const std::int64_t b = text.Find(kValueEnd);
    return text.Sub(a, b - a);
}

// The talent is read with every '.' turned into the separator, as its error message shows.
// Talent texts are short, so the copy stays within the string's inline buffer.
double Talent(std::string_view cell, std::string_view decimalSeparator) {
    std::string text;
    for (const char c : cell) {
        if (c == '.')
            text += decimalSeparator;
        else
            text += c;
    }
    return common::StrToFloat(text, decimalSeparator);
}

void ReadInto(PageCursor& text, TeamList& list, std::int32_t teamId, Tally& tally,
              std::string_view decimalSeparator) {
    CutAt(text, kTeam);
    const std::int64_t a = text.Find(kTagEnd) + 1;
    const std::int64_t b = text.Find(kAnchorEnd);
    list.push_back(TeamRow{std::string(text.Sub(a, b - a)), {}, teamId});
    std::vector<std::string>& cells = list.back().subItems;

    CutAt(text, kPlayers);
    cells.emplace_back(Value(text));

    CutAt(text, kCoSP);
    cells.emplace_back(Value(text));
    if (cells[1] == " 0 ") cells[1] = "0";

    while (text.Find(kInfo) != 0) {
        CutAt(text, kInfo);
        for (int k = 0; k < 3; ++k) SkipPast(text, kCell);
        if (common::StrToInt(CellText(text)) == 19) ++tally.Age19Count;
        for (int k = 0; k < 2; ++k) SkipPast(text, kBoldCell);
        const double talent = Talent(CellText(text), decimalSeparator);
        if (talent > 1.0) ++tally.TalentedCount;
        if (talent > tally.MaxTalent) tally.MaxTalent = talent;
    }

    cells.push_back(std::to_string(tally.Age19Count));
    cells.push_back(std::to_string(tally.TalentedCount));
    cells.push_back(common::FloatToStrG15(tally.MaxTalent, decimalSeparator));
}

}  // namespace

void ReadRosterPage(std::string_view& PageText, TeamList& list, std::int32_t teamId, Tally& tally,
                    std::string_view decimalSeparator) {
    PageCursor text(PageText);
    try {
        ReadInto(text, list, teamId, tally, decimalSeparator);
    } catch (...) {
        // The caller sees the text as it stood at the error.
        PageText = text.Text();
        throw;
    }
    PageText = text.Text();
}

}  // namespace koravel::survey
