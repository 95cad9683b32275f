// The text reports on a small collection in the three set modes: every report's text
// byte for byte, the empty cases, the proposed names and folders, and the file writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "ui/commands/Reports.h"
#include "commands/ReportTestSupport.h"

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

namespace qm::test {
namespace {

struct TWriterHarness {
    explicit TWriterHarness(const std::string& mode, const std::string& refName = "test")
        : collection(mode), writer(collection.roms, collection.files, prompt, refName), hooksScope(hooks) {
        writer.Now = [] { return std::string("5/3/2024 10:00"); };
    }
    TReportCollection collection;
    TScriptedSavePrompt prompt;
    TReportWriter writer;
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope;
    TTempDir out;
};

TEST(ReportWriter, SavesTheChosenFileAndSaysSo) {
    struct TCommand {
        void (TReportWriter::*act)(const TReportScope&);
        const char* defaultName;
        const char* message;
        const char* firstLine;
    } commands[] = {
        {&TReportWriter::ActMiss, "testmiss.txt", "Files 'miss' saved.", "You are missing 4 of 5 known test ROMS"},
        {&TReportWriter::ActHave, "testhave.txt", "Files 'have' saved.", "You have 1 of 5 known test games"},
        {&TReportWriter::ActMissRoms, "testmissrom.txt", "Files 'miss' saved.",
         "You are missing 5 roms (4 games) of 9 known test roms (5 games)"},
        {&TReportWriter::ActMissCrc, "testmisscrc.txt", "Files 'miss' saved.", "Datafile test"},
    };
    for (const TCommand& command : commands) {
        SCOPED_TRACE(command.defaultName);
        TWriterHarness h("unmerged");
        h.prompt.answer = h.out / "report.txt";
        (h.writer.*command.act)(Scope(h.collection));
        ASSERT_EQ(h.prompt.requests.size(), 1u);
        const TSaveFileRequest& request = h.prompt.requests[0];
        EXPECT_EQ(request.DefaultName, command.defaultName);
        EXPECT_EQ(request.Filter, "Text files (*.txt *.TXT)");
        EXPECT_EQ(request.DefaultSuffix, "txt");
        EXPECT_EQ(request.InitialFolder, ReportInitialFolder(h.collection.files));
        ASSERT_EQ(h.hooks.shown.size(), 1u);
        EXPECT_EQ(h.hooks.shown[0].text, command.message);
        EXPECT_EQ(h.hooks.shown[0].type, TMsgDlgType::mtInformation);
        EXPECT_EQ(h.hooks.shown[0].buttons, static_cast<unsigned>(mbOK));
        const std::string text = ReadFile(h.out / "report.txt");
        EXPECT_EQ(text.substr(0, text.find("\r\n")), command.firstLine);
    }
}

TEST(ReportWriter, CrcReportCarriesTheTimeOfWriting) {
    TWriterHarness h("split");
    h.prompt.answer = h.out / "crc.txt";
    h.writer.ActMissCrc(Scope(h.collection));
    EXPECT_EQ(ReadFile(h.out / "crc.txt"),
              "Datafile test\r\nYou are missing 4 roms.\r\nBuilt by Quarmelle on 5/3/2024 10:00.\r\n\r\n[crc]\r\n"
              "33333333\r\n66666666\r\n77777777\r\n");
}

TEST(ReportWriter, NothingToReport) {
    // Every set complete: the game and rom reports say so and write nothing, the CRC
    // report still writes its header.
    TWriterHarness h("split", "a:b?c");
    TReportScope scope;
    scope.ListedClones = {h.collection.roms.Games().FindClone("pacman")};
    h.prompt.answer = h.out / "r.txt";
    h.writer.ActMiss(scope);
    h.writer.ActMissRoms(scope);
    EXPECT_TRUE(h.prompt.requests.empty());
    EXPECT_FALSE(FileExists(h.out / "r.txt"));
    scope.ListedClones = {h.collection.roms.Games().FindClone("mappy")};
    h.writer.ActHave(scope);
    ASSERT_EQ(h.hooks.shown.size(), 3u);
    EXPECT_EQ(h.hooks.shown[0].text, "No games missing");
    EXPECT_EQ(h.hooks.shown[1].text, "No games missing");
    EXPECT_EQ(h.hooks.shown[2].text, "No games available");

    scope.ListedClones = {h.collection.roms.Games().FindClone("pacman")};
    h.writer.ActMissCrc(scope);
    ASSERT_EQ(h.prompt.requests.size(), 1u);
    EXPECT_EQ(h.prompt.requests[0].DefaultName, "a_b_cmisscrc.txt");
    EXPECT_EQ(ReadFile(h.out / "r.txt"),
              "Datafile a:b?c\r\nYou are missing 0 roms.\r\nBuilt by Quarmelle on 5/3/2024 10:00.\r\n\r\n[crc]\r\n");
}

TEST(ReportWriter, CancelWritesNothing) {
    TWriterHarness h("split");
    h.writer.ActMiss(Scope(h.collection));
    EXPECT_EQ(h.prompt.requests.size(), 1u);
    EXPECT_TRUE(h.hooks.shown.empty());
}

TEST(ReportWriter, FailedWriteKeepsTheOldFile) {
    TWriterHarness h("split");
    h.prompt.answer = h.out / "old.txt";
    WriteFile(h.out / "old.txt", "what the user had");
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failAt = 1;
    faulty.failErrno = 28;  // ENOSPC
    TScopedFileSystem fsScope(faulty);
    EXPECT_THROW(h.writer.ActHave(Scope(h.collection)), Exception);
    EXPECT_EQ(ReadFile(h.out / "old.txt"), "what the user had");
    EXPECT_TRUE(h.hooks.shown.empty());
}

TEST(ReportWriter, StartsBesideTheFirstPresentRomPathNeverInsideOne) {
    TReportCollection c("split");
    std::string beside = c.dir.Path();
    beside.erase(beside.find_last_of('/', beside.size() - 2) + 1);
    EXPECT_EQ(ReportInitialFolder(c.files), beside);
    // A rom path that holds the first one as well: never inside either.
    ASSERT_NE(c.files.Paths().AddPath(beside, "", ""), nullptr);
    EXPECT_NE(ReportInitialFolder(c.files).rfind(beside, 0), 0u);
    // No rom path: the home folder.
    TFilesBd none;
    const std::string folder = ReportInitialFolder(none);
    EXPECT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
}

TEST(Reports, MergedModeReportsEachSetOnceUnderItsParent) {
    TReportCollection c("merged");
    TGamesList& games = c.roms.Games();
    const std::vector<TClone*> listed = {games.FindClone("puckman"), games.FindClone("mappy"),
                                         games.FindClone("pacman")};
    EXPECT_EQ(ReportClones(c.roms, listed), (std::vector<TClone*>{games.FindClone("pacman"), games.FindClone("mappy")}));
    TReportScope scope;
    scope.ListedClones = {games.FindClone("puckman")};
    EXPECT_EQ(Text(BuildMissingGamesReport(c.roms, scope, "test")),
              "You are missing 1 of 1 known test ROMS\r\n\r\npacman\r\n");
    c.roms.Split = true;
    EXPECT_EQ(ReportClones(c.roms, listed), listed);
}

// mappyj takes every rom from mappy, which is missing: it needs nothing of its own,
// yet the tree shows it missing, and so must the reports.
TEST(Reports, EachSetIsReportedInTheStateTheTreeShows) {
    const std::string catalogue = std::string(kReportCatalogue) + "mappy|mappyj|mp1.bin|77777777|16|mappy|mp1.bin\n";
    for (const char* mode : {"merged", "split", "unmerged"}) {
        SCOPED_TRACE(mode);
        TReportCollection c(mode, catalogue.c_str());
        TReportScope scope = Scope(c);
        const auto miss = BuildMissingGamesReport(c.roms, scope, "test");
        const auto have = BuildHaveGamesReport(c.roms, scope, "test");
        for (const TClone* clone : ReportClones(c.roms, scope.ListedClones)) {
            const int status = clone->GetStatus();
            const bool complete = status == 2 || status == 6;
            const std::string name = clone->GetDisplayName();
            EXPECT_EQ(std::count(have.begin(), have.end(), name), complete ? 1 : 0) << name;
            EXPECT_EQ(std::count(miss.begin(), miss.end(), name), complete ? 0 : 1) << name;
        }
        if (std::string(mode) != "merged") {
            EXPECT_EQ(std::count(have.begin(), have.end(), "mappyj"), 0);
            EXPECT_EQ(std::count(miss.begin(), miss.end(), "mappyj"), 1);
        }
    }
}

TEST(Reports, SubListSuffixAndHeader) {
    EXPECT_EQ(SubListSuffix("", false), "");
    EXPECT_EQ(SubListSuffix("", true), "");
    EXPECT_EQ(SubListSuffix("/home/u/sublists/shooters.lst", false), " (shooters)");
    EXPECT_EQ(SubListSuffix("/home/u/sublists/shooters.lst", true), " (all except shooters)");
    TReportCollection c("split");
    TReportScope scope = Scope(c);
    scope.SubListFileName = "/s/best.lst";
    scope.AllExcept = true;
    EXPECT_EQ(BuildHaveGamesReport(c.roms, scope, "test")[0], "You have 1 of 5 known test games (all except best)");
    EXPECT_EQ(BuildMissingRomsReport(c.roms, scope, "test")[0],
              "You are missing 5 roms (4 games) of 9 known test roms (5 games) (all except best)");
    EXPECT_EQ(BuildMissingCrcsReport(c.roms, scope, "test", "x")[0], "Datafile test (all except best)");
}

}  // namespace
}  // namespace qm::test
