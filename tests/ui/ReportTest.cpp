// The text reports on a small collection in the three set modes: every report's text
// byte for byte, the empty cases, the proposed names and folders, and the file writing.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "ui/Reports.h"
#include "ui/ReportTestSupport.h"

namespace qm::test {
namespace {

std::string Text(const std::vector<std::string>& lines) { return ReportFileText(lines); }

TReportScope Scope(const TReportCollection& c) {
    TReportScope scope;
    scope.ListedClones = c.Listed();
    scope.RomCount = 9;
    scope.CloneCount = 5;
    return scope;
}

struct TGolden {
    const char* mode;
    const char* miss;
    const char* have;
    const char* missRoms;
    const char* missCrcs;
};

// The reports as the user gets them; merged mode lists the parent sets only, and in
// split mode puckman shows only its own rom, so nothing of it is found.
const TGolden kGolden[] = {
    {"merged",
     "You are missing 4 of 4 known test ROMS\r\n\r\ndigdug\r\ngalaga\r\nmappy\r\npacman\r\n",
     "",
     "You are missing 5 roms (4 games) of 9 known test roms (5 games)\r\n\r\n"
     "digdug\r\n   dd2.bin (66666666)\r\n"
     "galaga\r\n   gg2.bin (00000000)\r\n"
     "mappy (all roms)\r\n   mp1.bin (77777777)\r\n   mp2.bin (66666666)\r\n"
     "pacman\r\n   pk2.bin (33333333)\r\n",
     "Datafile test\r\nYou are missing 4 roms.\r\nBuilt by Quarmelle on NOW.\r\n\r\n[crc]\r\n"
     "33333333\r\n66666666\r\n77777777\r\n"},
    {"split",
     "You are missing 4 of 5 known test ROMS\r\n\r\ndigdug\r\ngalaga\r\nmappy\r\npuckman\r\n",
     "You have 1 of 5 known test games\r\n\r\npacman\r\n",
     "You are missing 5 roms (4 games) of 9 known test roms (5 games)\r\n\r\n"
     "digdug\r\n   dd2.bin (66666666)\r\n"
     "galaga\r\n   gg2.bin (00000000)\r\n"
     "mappy (all roms)\r\n   mp1.bin (77777777)\r\n   mp2.bin (66666666)\r\n"
     "puckman (all roms)\r\n   pk2.bin (33333333)\r\n",
     "Datafile test\r\nYou are missing 4 roms.\r\nBuilt by Quarmelle on NOW.\r\n\r\n[crc]\r\n"
     "33333333\r\n66666666\r\n77777777\r\n"},
    {"unmerged",
     "You are missing 4 of 5 known test ROMS\r\n\r\ndigdug\r\ngalaga\r\nmappy\r\npuckman\r\n",
     "You have 1 of 5 known test games\r\n\r\npacman\r\n",
     "You are missing 5 roms (4 games) of 9 known test roms (5 games)\r\n\r\n"
     "digdug\r\n   dd2.bin (66666666)\r\n"
     "galaga\r\n   gg2.bin (00000000)\r\n"
     "mappy (all roms)\r\n   mp1.bin (77777777)\r\n   mp2.bin (66666666)\r\n"
     "puckman\r\n   pk2.bin (33333333)\r\n",
     "Datafile test\r\nYou are missing 4 roms.\r\nBuilt by Quarmelle on NOW.\r\n\r\n[crc]\r\n"
     "33333333\r\n66666666\r\n77777777\r\n"},
};

TEST(Reports, EveryReportInEveryMode) {
    for (const TGolden& g : kGolden) {
        SCOPED_TRACE(g.mode);
        TReportCollection c(g.mode);
        const TReportScope scope = Scope(c);
        EXPECT_EQ(Text(BuildMissingGamesReport(c.roms, scope, "test")), g.miss);
        EXPECT_EQ(Text(BuildHaveGamesReport(c.roms, scope, "test")), g.have);
        EXPECT_EQ(Text(BuildMissingRomsReport(c.roms, scope, "test")), g.missRoms);
        EXPECT_EQ(Text(BuildMissingCrcsReport(c.roms, scope, "test", "NOW")), g.missCrcs);
    }
}

}  // namespace
}  // namespace qm::test
