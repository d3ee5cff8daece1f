#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "survey/team_list.h"

namespace koravel::survey {

enum class SortOrder { Ascending, Descending };

// Numeric order of the cells in `column` read in the locale's number format (texts that
// do not read count as 0). Returns -1, 0 or 1, the other way round for Descending.
int CompareCells(const TeamRow& a, const TeamRow& b, int column, SortOrder order,
                 std::string_view decimalSeparator);

// Name order: Windows-1251 byte values with only a-z folded to A-Z; shorter first on a
// common prefix. Returns <0, 0, >0.
int CompareNames(std::string_view a, std::string_view b);

// The list sorted by `column` (names as text, the others as numbers) as a permutation:
// entry k is the current position of the row that goes to position k. Rows that compare
// equal keep their order.
std::vector<std::size_t> SortedOrder(const TeamList& list, int column, SortOrder order,
                                     std::string_view decimalSeparator);

// Puts the rows in the order a permutation from SortedOrder gives; anything but a
// permutation of the list's positions leaves the list as it is.
void ApplyOrder(TeamList& list, const std::vector<std::size_t>& order);

}  // namespace koravel::survey
