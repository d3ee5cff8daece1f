#include "survey/team_order.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "common/number_text.h"

namespace koravel::survey {

int NumericSortProc(const TeamRow& a, const TeamRow& b, int param,
                    std::string_view decimalSeparator) {
    if (param == 0) return 0;
    const int column = static_cast<int>(std::min<long long>(std::llabs(param), INT_MAX));
    const double x = common::StrToFloatDef(a.cell(column), decimalSeparator, 0.0);
    const double y = common::StrToFloatDef(b.cell(column), decimalSeparator, 0.0);
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

void ListView1ColumnClick(TeamList& list, SortState& state, int column,
                          std::string_view decimalSeparator) {
    state.ascending = !state.ascending;
    state.column = column;
    const bool ascending = state.ascending;
    if (ColumnCaption(column) == ColumnCaption(0)) {
        std::stable_sort(list.begin(), list.end(), [&](const TeamRow& x, const TeamRow& y) {
            return ascending ? CompareNames(x.cell(column), y.cell(column)) < 0
                             : CompareNames(y.cell(column), x.cell(column)) < 0;
        });
        return;
    }
    const int param = ascending ? column : -column;
    std::stable_sort(list.begin(), list.end(), [&](const TeamRow& x, const TeamRow& y) {
        return NumericSortProc(x, y, param, decimalSeparator) < 0;
    });
}

}  // namespace koravel::survey
