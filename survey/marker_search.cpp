#include "survey/marker_search.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace koravel::survey {

namespace {

#if defined(__SSE2__)
template <typename Word>
Word Load(const char* at) {
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// For needles one to two words long. Candidates are the starts where the needle's first
// and last bytes both line up, sixteen starts at a time (in HTML they seldom pair up by
// chance); two overlapping words then compare the whole needle.
template <typename Word>
std::size_t BlockFind(std::string_view text, std::string_view needle, std::size_t from) {
    const std::size_t n = needle.size();
    const char* p = text.data();
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    const Word head = Load<Word>(needle.data());
    const Word tail = Load<Word>(needle.data() + n - sizeof(Word));
    std::size_t i = from;
    for (; i + n + 15 <= text.size(); i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + n - 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask != 0) {
            const std::size_t at = i + static_cast<unsigned>(__builtin_ctz(mask));
            if (Load<Word>(p + at) == head && Load<Word>(p + at + n - sizeof(Word)) == tail)
                return at;
            mask &= mask - 1;
        }
    }
    return text.find(needle, i);  // fewer than sixteen starts left
}
#endif

}  // namespace

std::size_t FindMarker(std::string_view text, std::string_view needle, std::size_t from) {
    if (from > text.size()) return std::string_view::npos;
#if defined(__SSE2__)
    // The markers mostly lie a few dozen bytes ahead, where the setup of memmem or of a
    // searcher costs more than the search itself; without this the reader misses its
    // goal of three memmem passes over the page.
    const std::size_t n = needle.size();
    if (n >= 8 && n <= 16) return BlockFind<std::uint64_t>(text, needle, from);
    if (n >= 4 && n < 8) return BlockFind<std::uint32_t>(text, needle, from);
    if (n >= 2 && n < 4) return BlockFind<std::uint16_t>(text, needle, from);
#endif
    return text.find(needle, from);
}

ForwardMarkers::ForwardMarkers(std::string_view text, std::span<const std::string_view> markers)
    : m_text(text), m_markers(markers), m_hits(markers.size()) {}

std::size_t ForwardMarkers::Find(std::size_t m, std::size_t front) {
    Hit& hit = m_hits[m];
    if (!hit.searched || (hit.at != std::string_view::npos && hit.at < front)) {
        hit.at = FindMarker(m_text, m_markers[m], front);
        hit.searched = true;
    }
    return hit.at;
}

}  // namespace koravel::survey
