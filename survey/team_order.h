#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "survey/team_list.h"

namespace koravel::survey {

// The list's sort state for the whole run: one direction flag for all columns,
// flipped by every header click; the first click sorts ascending.
struct SortState {
    int column = 0;
    bool ascending = false;
};

// Numeric order of sub-item |param| - 1 read in the locale's number format (texts that
// do not read count as 0), reversed for a negative param. Returns -1, 0 or 1.
int CompareCells(const TeamRow& a, const TeamRow& b, int param, std::string_view decimalSeparator);

// Name order: Windows-1251 byte values with only a-z folded to A-Z; shorter first on a
// common prefix. Returns <0, 0, >0.
int CompareNames(std::string_view a, std::string_view b);

// A header click on `column`: flips the direction, remembers the column and returns the
// new order (names as text, the others as numbers) as a permutation: entry k is the
// current position of the row that goes to position k. Rows that compare equal keep
// their order.
std::vector<std::size_t> HeaderClickOrder(const TeamList& list, SortState& state, int column,
                                          std::string_view decimalSeparator);

// Puts the rows in the order a permutation from HeaderClickOrder gives; anything but a
// permutation of the list's positions leaves the list as it is.
void ApplyOrder(TeamList& list, const std::vector<std::size_t>& order);

// A header click applied to the list.
void SortByHeader(TeamList& list, SortState& state, int column, std::string_view decimalSeparator);

}  // namespace koravel::survey
