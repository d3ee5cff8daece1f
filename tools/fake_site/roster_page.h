#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace koravel::tools {

// Texts go onto the page as given, so a test can plant malformed ages or talents.
struct PlayerSpec {
    std::string age;
    std::string talent;  // written with a point, as the site writes it
};

struct PageSpec {
    std::string teamName;  // Windows-1251
    std::string players;
    std::string cosp;
    std::vector<PlayerSpec> roster;
    std::int32_t teamId = 0;  // only for the page's own links
};

// A youth-school roster page in the site's shape, Windows-1251.
std::string MakeRosterPage(const PageSpec& team);

// A believable team: the same id always gives the same team.
PageSpec DemoTeam(std::int32_t teamId);

// A page that reads cleanly, of about `approxBytes` (some 2,000 player rows per MiB).
std::string SizedPage(std::size_t approxBytes, std::uint32_t seed);

}  // namespace koravel::tools
