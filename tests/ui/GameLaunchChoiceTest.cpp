// Which file the Play command runs for each kind of object, and which clone the game
// pages are opened for.
#include <gtest/gtest.h>

#include "archive/DiskInfo.h"
#include "ui/commands/GameLaunch.h"
#include "ui/GameLaunchTestSupport.h"
#include "ui/commands/GamePages.h"
#include "commands/ReportTestSupport.h"
#include "ui/commands/ViewTypes.h"

namespace qm::test {

struct TLaunchCollection {
    explicit TLaunchCollection(const std::string& mode) : collection(mode) {
        // A zip under a wrong name holding the whole of mappy.
        TFile* wrong = collection.Zip("mapy.zip");
        wrong->AddRomFile("mp1.bin", "77777777", 0, 16, "");
        wrong->AddRomFile("mp2.bin", "66666666", 0, 16, "");
        collection.files.MatchAll();
        collection.roms.RecalculateStatus();
    }
    TReportCollection collection;
};

std::shared_ptr<TLaunchCollection> MakeLaunchCollection(const std::string& mode) {
    return std::make_shared<TLaunchCollection>(mode);
}

TCommandObject LaunchObject(TLaunchCollection& c, const std::string& what) {
    const size_t colon = what.find(':');
    const std::string kind = what.substr(0, colon);
    const std::string name = what.substr(colon + 1);
    TGamesList& games = c.collection.roms.Games();
    if (kind == "game") return TCommandObject::Of(games.FindGame(name));
    if (kind == "clone") return TCommandObject::Of(games.FindClone(name));
    if (kind == "file") return TCommandObject::Of(c.collection.path->Files().Find(name));
    if (kind == "romfile") {
        const size_t slash = name.find('/');
        TFile* file = c.collection.path->Files().Find(name.substr(0, slash));
        return TCommandObject::Of(file->RomFiles[file->RomFiles.IndexOf(name.substr(slash + 1))]);
    }
    if (kind == "clonerom") {
        const size_t slash = name.find('/');
        return TCommandObject::Of(games.FindClone(name.substr(0, slash))->FindCloneRom(name.substr(slash + 1)));
    }
    ADD_FAILURE() << what;
    return {};
}

// The rom path as the files database holds it: one spelling of the folder.
std::string LaunchRomPath(TLaunchCollection& c) { return AbsolutePath(c.collection.dir.Path()) + "/"; }

namespace {

TEST(GameLaunchChoice, ThingToRunByObject) {
    struct TCase {
        const char* mode;
        const char* object;
        bool confirm;
        const char* target;  // "@" stands for the rom path
    } cases[] = {
        {"unmerged", "game:pacman", false, "@pacman.zip"},
        {"unmerged", "clone:pacman", false, "@pacman.zip"},
        {"unmerged", "clonerom:pacman/pm2.bin", false, "@pacman.zip"},
        // Files are run as they are, whatever their state.
        {"unmerged", "file:digdug.zip", false, "@digdug.zip"},
        {"unmerged", "romfile:digdug.zip/55555555", false, "@digdug.zip"},
        {"unmerged", "file:galaga", false, "@galaga/"},
        // A file missing a rom, or under a wrong name, is not playable: the last one
        // collected is offered.
        {"unmerged", "game:digdug", true, "@digdug.zip"},
        {"unmerged", "clone:galaga", true, "@galaga/"},
        {"unmerged", "clone:mappy", true, "@mapy.zip"},
        // Nothing collected: the bare name, for the emulator to look for.
        {"unmerged", "clone:puckman", true, "puckman"},
        {"merged", "game:pacman", true, "@pacman.zip"},
        {"split", "clone:puckman", true, "puckman"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.object);
        auto collection = MakeLaunchCollection(c.mode);
        const TPlayChoice choice = ChoosePlayTarget(LaunchObject(*collection, c.object));
        EXPECT_TRUE(choice.Found);
        EXPECT_EQ(choice.Confirm, c.confirm);
        std::string target = c.target;
        if (target[0] == '@') target = LaunchRomPath(*collection) + target.substr(1);
        EXPECT_EQ(choice.Target, target);
    }
    EXPECT_FALSE(ChoosePlayTarget(TCommandObject{}).Found);
    TCommandObject other;
    other.Other = true;
    EXPECT_FALSE(ChoosePlayTarget(other).Found);
}

TEST(GameLaunchChoice, CloneOfTheObjectForThePages) {
    auto c = MakeLaunchCollection("split");
    struct TCase {
        const char* object;
        const char* clone;
    } cases[] = {
        {"game:pacman", "pacman"},          {"clone:puckman", "puckman"}, {"clonerom:puckman/pk2.bin", "puckman"},
        {"file:digdug.zip", "digdug"},      {"romfile:pacman.zip/22222222", "pacman"},
    };
    for (const TCase& tc : cases) {
        const TClone* clone = CloneOfObject(LaunchObject(*c, tc.object));
        ASSERT_NE(clone, nullptr) << tc.object;
        EXPECT_EQ(clone->Name, tc.clone) << tc.object;
    }
    EXPECT_EQ(CloneOfObject(TCommandObject{}), nullptr);
}

TEST(GameLaunchChoice, ViewObjectsBecomeCommandObjects) {
    auto c = MakeLaunchCollection("split");
    const TCommandObject game = LaunchObject(*c, "game:pacman");
    const TCommandObject file = LaunchObject(*c, "file:pacman.zip");
    EXPECT_EQ(CommandObjectOf(TViewObject(game.Game)).Game, game.Game);
    EXPECT_EQ(CommandObjectOf(TViewObject(file.File)).File, file.File);
    EXPECT_TRUE(CommandObjectOf(TViewObject{}).IsNil());
    EXPECT_TRUE(CommandObjectOf(TViewObject(static_cast<TGame*>(nullptr))).IsNil());
    const TCommandObject path = CommandObjectOf(TViewObject(file.File->Path));
    EXPECT_TRUE(path.Other);
    EXPECT_FALSE(path.IsNil());
}

}  // namespace
}  // namespace qm::test
