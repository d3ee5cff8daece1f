#include "survey/team_order.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/number_text.h"

namespace koravel::survey {

int CompareCells(const TeamRow& a, const TeamRow& b, int column, SortOrder order,
                 std::string_view decimalSeparator) {
    const double x = common::ParseFloatOr(a.cell(column), decimalSeparator, 0.0);
    const double y = common::ParseFloatOr(b.cell(column), decimalSeparator, 0.0);
    const double tolerance = std::max(std::min(std::fabs(x), std::fabs(y)) * 1E-16, 1E-16);
    int r = 0;
    if (!(std::fabs(x - y) <= tolerance)) r = x < y ? -1 : 1;
    return order == SortOrder::Ascending ? r : -r;
}

int CompareNames(std::string_view a, std::string_view b) {
    const auto fold = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u;
    };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < n; ++k) {
        const int d = static_cast<int>(fold(a[k])) - static_cast<int>(fold(b[k]));
        if (d != 0) return d;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::vector<std::size_t> SortedOrder(const TeamList& list, int column, SortOrder order,
                                     std::string_view decimalSeparator) {
    std::vector<std::size_t> positions(list.size());
    std::iota(positions.begin(), positions.end(), std::size_t{0});
    const bool ascending = order == SortOrder::Ascending;
    if (column == 0) {
        std::stable_sort(positions.begin(), positions.end(), [&](std::size_t x, std::size_t y) {
            const std::string_view a = list[x].name;
            const std::string_view b = list[y].name;
            return ascending ? CompareNames(a, b) < 0 : CompareNames(b, a) < 0;
        });
        return positions;
    }
    std::stable_sort(positions.begin(), positions.end(), [&](std::size_t x, std::size_t y) {
        return CompareCells(list[x], list[y], column, order, decimalSeparator) < 0;
    });
    return positions;
}

void ApplyOrder(TeamList& list, const std::vector<std::size_t>& order) {
    // A stale order (one made for another list) would move rows twice or lose them.
    std::vector<bool> taken(list.size());
    if (order.size() != list.size()) return;
    for (const std::size_t from : order) {
        if (from >= list.size() || taken[from]) return;
        taken[from] = true;
    }
    TeamList sorted;
    sorted.reserve(list.size());
    for (const std::size_t from : order) sorted.push_back(std::move(list[from]));
    list = std::move(sorted);
}

}  // namespace koravel::survey
