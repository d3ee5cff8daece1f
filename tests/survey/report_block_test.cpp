#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "survey/report.h"

namespace koravel::survey {
namespace {

TEST(ReportBlock, FillPutsShortPlayersTextsUnderTheHeaderAndNoCellBreaksALine) {
    // Name length, players text, fill. Rows hold no later cells, so these also show that
    // missing cells are written empty.
    const std::vector<std::tuple<int, std::string, int>> cases = {
        {22, "12", 0}, {22, "1", 1}, {23, "", 1}, {25, "7", 1}, {3, "", 20}, {3, "100", 19}};
    for (const auto& [length, players, fill] : cases) {
        const std::string name(length, 'N'),
            block = ReportBlock({{.name = name, .players = players}});
        const auto at = block.find("\r\n", 3) + 2;
        std::string line = name;
        line.append(fill, '_').append(players).append(8, '_');
        EXPECT_EQ(block.substr(at, block.find("\r\n", at) - at), line);
    }
    TeamRow forged{.name = "A\r\n \r\n*****\x1b[2J", .players = "1\t2", .cosp = "\x7f"};
    forged.maxTalent = "\x98\n";
    // Only C0 goes: DEL and 0x98 are the page's own bytes.
    EXPECT_EQ(
        ReportBlock({forged}).substr(44),
        "A     ***** [2J_______1 2__\x7f______\x98 \r\n \r\n" + std::string(50, '*') + "\r\n");
}

}  // namespace
}  // namespace koravel::survey
