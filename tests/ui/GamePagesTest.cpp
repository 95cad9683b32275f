// The game information submenu, and the address of a page as the window's opener hands
// it to QDesktopServices.
#include <gtest/gtest.h>

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QObject>
#include <QUrl>
#include <string>
#include <vector>

#include "commands/GamePagesTestSupport.h"
#include "ui/GameInfoMenu.h"
#include "ui/QtUiHooks.h"

class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QStringList urls;
public slots:
    void Catch(const QUrl& url) { urls << url.toString(QUrl::FullyEncoded); }
};

namespace qm::test {
namespace {

TEST(GamePages, MenuItemsAreExclusiveAndCarryTheirPage) {
    const TQmInfos pages = Pages({{"One", "http://1/"}, {"Two & Three", "http://2/"}});
    QMenu menu;
    QAction gameInfo(QStringLiteral("Game info"));
    std::vector<int> picked;
    FillGameInfoMenu(menu, &gameInfo, BuildGameInfoMenuModel(true, pages, ""), [&](int i) { picked.push_back(i); });
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_TRUE(gameInfo.isEnabled());
    EXPECT_EQ(menu.actions()[1]->text(), QStringLiteral("Two && Three"));
    EXPECT_EQ(CheckedGameInfoPage(menu), 0);
    menu.actions()[1]->trigger();
    EXPECT_EQ(picked, std::vector<int>{1});
    EXPECT_EQ(CheckedGameInfoPage(menu), 1);
    EXPECT_FALSE(menu.actions()[0]->isChecked());

    // Rebuilt without pages: empty, and the command disabled.
    FillGameInfoMenu(menu, &gameInfo, BuildGameInfoMenuModel(true, TQmInfos{}, ""), nullptr);
    EXPECT_TRUE(menu.actions().isEmpty());
    EXPECT_FALSE(gameInfo.isEnabled());
    EXPECT_EQ(CheckedGameInfoPage(menu), -1);
}

TEST_F(GamePagesTest, DesktopServicesGetTheAddress) {
    const TQmInfos pages = Pages({{"Web", "https://w.example/%clonename%"}});
    TGamePages gamePages(pages);
    gamePages.OpenUrl = OpenWithDesktop;  // the window's opener
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Catch");
    gamePages.ActGameInfo(TCommandObject{}, Clone("Pac Man & Co"), 0, "");
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.urls, QStringList{QStringLiteral("https://w.example/pac%20man%20%26%20co")});
}

}  // namespace
}  // namespace qm::test

#include "GamePagesTest.moc"
