#include "survey/team_order.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "common/number_text.h"

namespace koravel::survey {

int CompareCells(const TeamRow& a, const TeamRow& b, int param, std::string_view decimalSeparator) {
    if (param == 0) return 0;
    const int column = static_cast<int>(std::min<long long>(std::llabs(param), INT_MAX));
    const double x = common::ParseFloatOr(a.cell(column), decimalSeparator, 0.0);
    const double y = common::ParseFloatOr(b.cell(column), decimalSeparator, 0.0);
    const double tolerance = std::max(std::min(std::fabs(x), std::fabs(y)) * 1E-16, 1E-16);
    int r = 0;
    if (!(std::fabs(x - y) <= tolerance)) r = x < y ? -1 : 1;
    return param > 0 ? r : -r;
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

std::vector<std::size_t> HeaderClickOrder(const TeamList& list, SortState& state, int column,
                                          std::string_view decimalSeparator) {
    state.ascending = !state.ascending;
    state.column = column;
    const bool ascending = state.ascending;
    std::vector<std::size_t> order(list.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (ColumnCaption(column) == ColumnCaption(0)) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
            const std::string_view a = list[x].cell(column);
            const std::string_view b = list[y].cell(column);
            return ascending ? CompareNames(a, b) < 0 : CompareNames(b, a) < 0;
        });
        return order;
    }
    const int param = ascending ? column : -column;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return CompareCells(list[x], list[y], param, decimalSeparator) < 0;
    });
    return order;
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

void SortByHeader(TeamList& list, SortState& state, int column, std::string_view decimalSeparator) {
    ApplyOrder(list, HeaderClickOrder(list, state, column, decimalSeparator));
}

}  // namespace koravel::survey
