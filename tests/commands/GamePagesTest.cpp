// The game information pages: the address built for a game (names made safe for a URL,
// the emulator's version shortened), the addresses refused, the menu model, and what is
// opened through the window's opener.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/GamePagesTestSupport.h"
#include "platform/Exception.h"
#include "ui/commands/GamePages.h"

namespace qm::test {
namespace {

TEST(GamePages, EmulatorVersionForAddresses) {
    const std::pair<const char*, const char*> cases[] = {
        {"MAME 0.104u5", "104u5"}, {"0.99 beta", "99b"}, {"0.104u5", "104u5"}, {"v0.37b16", "37b16"},
        {"  Mame  0.78 ", "78"},   {"", ""},              {"BETA 2", "b2"},
    };
    for (const auto& [version, expected] : cases) EXPECT_EQ(UrlEmulatorVersion(version), expected) << version;
}

TEST(GamePages, AddressOfAGame) {
    struct TCase {
        const char* urlTemplate;
        const char* clone;
        const char* game;
        const char* version;
        const char* url;
    } cases[] = {
        {"http://www.Site.com/Game.php?name=%gamename%&clone=%clonename%&v=%emulversion%", "Pac Man & Co", "pacman",
         "MAME 0.104u5", "http://www.site.com/game.php?name=pacman&clone=pac%20man%20%26%20co&v=104u5"},
        // "#", "?" and "%" in a name stay part of it; a placeholder in another case is not one.
        {"https://db.example/%clonename%/%GAMENAME%", "a#b?c%d", "x", "", "https://db.example/a%23b%3fc%25d/%gamename%"},
        // A name that looks like a placeholder is not filled again.
        {"http://x/%clonename%-%emulversion%", "%emulversion%", "g", "0.99 beta", "http://x/%25emulversion%25-99b"},
        // No scheme: a web address.
        {"www.example.com/%gamename%.htm", "c", "Galaga", "", "http://www.example.com/galaga.htm"},
        {"FTP://files.example/%gamename%", "c", "g", "", "ftp://files.example/g"},
    };
    for (const TCase& c : cases) EXPECT_EQ(GameInfoUrl(c.urlTemplate, c.clone, c.game, c.version), c.url);
}

TEST(GamePages, OnlyWebAndFtpAddressesOpen) {
    for (const char* url : {"http://a/", "https://a/b", "ftp://a/", "HTTP://A/"}) EXPECT_TRUE(IsOpenableUrl(url)) << url;
    for (const char* url : {"file:///etc/passwd", "smb://server/share", "mailto:a@b", "javascript:alert(1)", ""})
        EXPECT_FALSE(IsOpenableUrl(url)) << url;
}

TEST(GamePages, MenuModel) {
    const TQmInfos pages = Pages({{"Arcade History", "http://a/%gamename%"},
                                  {"Arcade & More", "http://b/%gamename%"},
                                  {"Maws", "http://c/%gamename%"}});
    struct TCase {
        bool open;
        const char* gameUrl;
        int checked;
        bool enabled;
    } cases[] = {
        {false, "Maws", -1, false},
        {true, "", 0, true},
        {true, "Maws", 2, true},
        {true, "maws", 0, true},  // exact comparison
        // Remembered without "&", as picking stores it.
        {true, "Arcade  More", 1, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.gameUrl);
        const TGameInfoMenu menu = BuildGameInfoMenuModel(c.open, pages, c.gameUrl);
        EXPECT_EQ(menu.Checked, c.checked);
        EXPECT_EQ(menu.Enabled, c.enabled);
        EXPECT_EQ(menu.Captions.size(), c.open ? 3u : 0u);
    }
    const TGameInfoMenu none = BuildGameInfoMenuModel(true, TQmInfos{}, "");
    EXPECT_FALSE(none.Enabled);
    EXPECT_EQ(none.Checked, -1);
}

TEST_F(GamePagesTest, OpensTheCheckedPageForTheFocusedGame) {
    const TQmInfos pages = Pages({{"History", "http://h.example/%gamename%"},
                                  {"Db", "http://db.example/Game.php?set=%clonename%&v=%emulversion%"}});
    TGamePages gamePages(pages);
    std::vector<std::string> opened;
    gamePages.OpenUrl = [&](const std::string& url) {
        opened.push_back(url);
        return true;
    };
    EXPECT_EQ(gamePages.ActGameInfo(TCommandObject{}, Clone("Pac Man & Co"), 1, "MAME 0.104u5"),
              "http://db.example/game.php?set=pac%20man%20%26%20co&v=104u5");
    // The list's object first; a game stands for its parent clone.
    gamePages.ActGameInfo(TCommandObject::Of(roms_.Games().FindGame("pacman")), Clone("Pac Man & Co"), 0, "");
    EXPECT_EQ(opened, (std::vector<std::string>{"http://db.example/game.php?set=pac%20man%20%26%20co&v=104u5",
                                                "http://h.example/pacman"}));
    EXPECT_TRUE(hooks_.shown.empty());

    // No checked page: nothing, silently. No game: said so.
    EXPECT_EQ(gamePages.ActGameInfo(TCommandObject{}, Clone("pacman"), -1, ""), "");
    EXPECT_EQ(gamePages.ActGameInfo(TCommandObject{}, Clone("pacman"), 5, ""), "");
    EXPECT_TRUE(hooks_.shown.empty());
    TCommandObject other;
    other.Other = true;
    EXPECT_EQ(gamePages.ActGameInfo(other, Clone("pacman"), 0, ""), "");
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text, "Select a game.");
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(GamePagesTest, RefusedAndFailedAddresses) {
    const TQmInfos pages = Pages({{"Local", "file:///home/%gamename%"}, {"Web", "http://w/%gamename%"}});
    TGamePages gamePages(pages);
    int calls = 0;
    gamePages.OpenUrl = [&](const std::string&) {
        ++calls;
        return false;
    };
    EXPECT_THROW(gamePages.ActGameInfo(TCommandObject{}, Clone("pacman"), 0, ""), Exception);
    EXPECT_EQ(calls, 0);
    try {
        gamePages.ActGameInfo(TCommandObject{}, Clone("pacman"), 1, "");
        FAIL() << "nothing opened it";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "There is no application associated with the given filename extension.");
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(hooks_.busyDepth, 0);
}

TEST_F(GamePagesTest, PickingAPageRemembersItsCaptionWithoutAmpersands) {
    Cfg().EmulatorSection = "mame";
    const TQmInfos pages = Pages({{"One", "http://1/"}, {"Two & &Three", "http://2/"}});
    TGamePages gamePages(pages);
    gamePages.PickPage(Cfg(), 1);
    EXPECT_EQ(Cfg().GetGameUrl(), "Two  Three");
    EXPECT_EQ(BuildGameInfoMenuModel(true, pages, Cfg().GetGameUrl()).Checked, 1);
    gamePages.PickPage(Cfg(), 7);  // no such page: nothing changes
    EXPECT_EQ(Cfg().GetGameUrl(), "Two  Three");
}

}  // namespace
}  // namespace qm::test
