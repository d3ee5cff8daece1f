#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "survey/team_list.h"

// The command line's JSON Lines: one object a line, UTF-8 whatever the locale, numbers
// with ".", and nothing in them that a terminal would take as a command or a reader as
// a line end.
namespace koravel::app::json {

// A complete row; its best talent with all the digits the page gave.
std::string Team(const survey::TeamRow& row);
std::string FailedTeam(std::int32_t teamId, std::string_view reason);
// `message` in UTF-8.
std::string Error(std::string_view message);
// `name` in UTF-8.
std::string Division(std::string_view name, const std::vector<std::int32_t>& teamIds);

}  // namespace koravel::app::json
