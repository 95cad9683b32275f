// The action table and what is built from it on a window: names, captions, shortcuts
// and check marks as the commands need them; the menus, tool bars, drop-downs and pop-ups.
#include <QAction>
#include <QComboBox>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/MainActions.h"
#include "ui/SkinLoader.h"

namespace qm::test {
namespace {

using enum TActionId;
using Strings = std::vector<std::string>;

// The items of a menu: "-" for a separator, the object name of an action of the table,
// else the caption.
Strings Items(const QMenu* menu) {
    Strings items;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            items.push_back("-");
        else if (!action->objectName().isEmpty())
            items.push_back(action->objectName().toStdString());
        else
            items.push_back(action->text().toStdString());
    }
    return items;
}

QMenu* SubMenu(const QMenu* menu, const char* caption) {
    for (QAction* action : menu->actions())
        if (action->menu() != nullptr && action->text() == caption) return action->menu();
    return nullptr;
}

QMenu* TopMenu(QMainWindow& window, const char* caption) {
    for (QAction* action : window.menuBar()->actions())
        if (action->text() == caption) return action->menu();
    return nullptr;
}

TEST(MainActionsTest, OneActionPerEntryWithItsTexts) {
    QObject owner;
    TMainActions actions(&owner);
    std::set<std::string> names;
    for (int i = 0; i < kActionCount; ++i) {
        const TActionDef& def = ActionDef(static_cast<TActionId>(i));
        QAction* action = actions.Action(def.Id);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->objectName().toStdString(), def.Name);
        EXPECT_TRUE(names.insert(def.Name).second) << def.Name;
        EXPECT_EQ(actions.FindAction(def.Name), action);
    }
    EXPECT_EQ(actions.Action(ActAddPath)->text(), "&Add rom path");
    EXPECT_EQ(actions.Action(ActAddPath)->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(actions.Action(ActAddPath)->toolTip(), "Add a new rom path to Quarmelle");
    EXPECT_EQ(actions.Action(ActRefresh)->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(actions.Action(ActDeleteFiles)->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(actions.Action(ActQuit)->shortcut(), QKeySequence("Alt+F4"));
    EXPECT_EQ(actions.Action(ActPlayGame)->text(), "&Play game (enter)");
    EXPECT_EQ(actions.Action(ActSelectNgdk)->shortcut(), QKeySequence("Ctrl+D"));
    EXPECT_EQ(actions.Action(ActFixGame)->property("category").toString(), "_Repair");

    for (TActionId id : {ActTVGood, ActTVBadName, ActTVIncomplete, ActTVUnknown, ActTVMissing}) {
        EXPECT_TRUE(actions.Action(id)->isCheckable());
        EXPECT_TRUE(actions.Action(id)->isChecked()) << "path filters start checked";
    }
    EXPECT_FALSE(actions.Action(ActTVMissing)->isVisible());
    for (TActionId id : {ActDBPlayable, ActDBMissing, ActDBIncomplete, ActDBClones, ActDBSets, ActAll, ActAllExcept})
        EXPECT_TRUE(actions.Action(id)->isCheckable()) << ActionDef(id).Name;
    EXPECT_FALSE(actions.Action(ActFixGame)->isCheckable());
    EXPECT_FALSE(actions.Action(ActCustomZip)->isEnabled()) << "it has no command";
    EXPECT_EQ(QString::fromLatin1(ActionDef(ActAllExcept).Name), "ActAllExcept");

    const TImageList icons = DefaultToolsIconsList();
    const TImageList flags = DefaultFlagList();
    actions.SetImages(icons, flags);
    EXPECT_FALSE(actions.Action(ActAddPath)->icon().isNull());
    EXPECT_FALSE(actions.Action(ActDBSets)->icon().isNull()) << "filter bar pictures";
    EXPECT_TRUE(actions.Action(ActRebuild)->icon().isNull());
}

class MainActionsBuildTest : public ::testing::Test {
protected:
    MainActionsBuildTest() : actions(&window) {
        datafiles = new QComboBox;
        datafiles->setObjectName("DatafilesCombo");
        contents = new QAction("&Content", &window);
        about = new QAction("&About", &window);
        actions.Build(&window, datafiles, contents, about);
    }

    QMainWindow window;
    TMainActions actions;
    QComboBox* datafiles;
    QAction* contents;
    QAction* about;
};

TEST_F(MainActionsBuildTest, MenuBar) {
    Strings tops;
    for (QAction* action : window.menuBar()->actions()) tops.push_back(action->text().toStdString());
    EXPECT_EQ(tops, (Strings{"&File", "&Edit", "&Database", "&Roms", "&Tools", "Re&port", "&Help"}));

    EXPECT_EQ(Items(TopMenu(window, "&File")),
              (Strings{"ActAddPath", "ActOpenPath", "ActRemovePath", "-", "ActScan", "ActDatafileManager", "-",
                       "Create datafile from...", "-", "ActConfiguration", "-", "ActQuit"}));
    EXPECT_EQ(Items(SubMenu(TopMenu(window, "&File"), "Create datafile from...")),
              (Strings{"ActCreateMissDat", "ActCreateHaveDat", "ActCreateDat"}));
    EXPECT_EQ(Items(TopMenu(window, "&Edit")),
              (Strings{"ActSelectAll", "ActSelectMain", "ActSelectClones", "ActSelectNgdk", "ActInvertSelection"}));
    QMenu* database = TopMenu(window, "&Database");
    EXPECT_EQ(Items(SubMenu(database, "&Filter")),
              (Strings{"ActDBPlayable", "ActDBIncomplete", "ActDBMissing", "-", "ActDBSets", "ActDBClones"}));
    EXPECT_EQ(SubMenu(database, "&SubList"), actions.SubListMenu());
    EXPECT_EQ(actions.SubListMenu()->objectName(), "SubList");

    QMenu* roms = TopMenu(window, "&Roms");
    EXPECT_EQ(Items(roms), (Strings{"&Filter", "-", "ActFixGame", "ActAdvanced", "ActRemoveUselessFiles",
                                    "ActRemoveUselessRoms", "-", "S&hell operations ..."}));
    EXPECT_EQ(Items(SubMenu(roms, "&Filter")),
              (Strings{"ActTVGood", "ActTVBadName", "ActTVIncomplete", "ActTVUnknown", "ActTVMissing"}));
    EXPECT_EQ(actions.Action(ActAdvanced)->menu(), actions.AdvancedMenu());
    EXPECT_EQ(Items(actions.AdvancedMenu()),
              (Strings{"ActRenameFiles", "-", "ActRenameRoms", "ActImportExternalRom", "ActCreateDummy", "ActChangeCase"}));
    EXPECT_EQ(Items(SubMenu(roms, "S&hell operations ...")),
              (Strings{"ActMoveFile", "ActCopyFile", "ActDeleteFiles", "ActTestFiles", "ActReZip"}));

    EXPECT_EQ(Items(TopMenu(window, "&Tools")), (Strings{"ActRefresh", "ActRebuild", "RefreshAll1", "ActRebuildAll", "-", "ActPlayGame"}));
    EXPECT_EQ(actions.RefreshAllItem()->text(), "Refresh &All");
    EXPECT_NE(actions.RefreshAllItem(), actions.Action(ActRefreshAll));
    EXPECT_EQ(Items(TopMenu(window, "Re&port")), (Strings{"ActMiss", "ActHave", "-", "ActMissRoms", "ActMissCrc"}));
    QMenu* help = TopMenu(window, "&Help");
    ASSERT_EQ(help->actions().size(), 2);
    EXPECT_EQ(help->actions()[0], contents);
    EXPECT_EQ(help->actions()[1], about);
}

TEST_F(MainActionsBuildTest, ToolBarsAndDropDowns) {
    QToolBar* tools = actions.MainToolBar();
    EXPECT_EQ(tools->objectName(), "TBToolbar");
    EXPECT_EQ(window.toolBarArea(tools), Qt::TopToolBarArea);
    EXPECT_EQ(actions.FixButton()->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_EQ(actions.FixButton()->defaultAction(), actions.Action(ActFixGame));
    EXPECT_EQ(Items(actions.FixMenu()),
              (Strings{"ActRenameFiles", "-", "ActRenameRoms", "ActImportExternalRom", "-", "ActRemoveUselessFiles",
                       "ActRemoveUselessRoms", "-", "ActCreateDummy", "ActReZip"}));
    EXPECT_EQ(actions.GameInfoButton()->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_EQ(actions.GameInfoButton()->menu(), actions.GamePropertiesMenu());
    EXPECT_EQ(Items(actions.GamePropertiesMenu()), Strings{"ActGameInfo"});
    for (TActionId id : {ActAddPath, ActRefresh, ActPlayGame, ActConfiguration, ActScan, ActParentNode})
        EXPECT_TRUE(tools->actions().contains(actions.Action(id))) << ActionDef(id).Name;

    EXPECT_EQ(datafiles->parentWidget(), actions.DatafileBar());
    EXPECT_TRUE(actions.DatafileBar()->actions().contains(actions.Action(ActDatafileManager)));
    EXPECT_EQ(actions.NameFilterBox()->objectName(), "CBExprReg");
    EXPECT_EQ(actions.NameFilterBox()->parentWidget(), actions.FilterToolBar());
    EXPECT_EQ(actions.GoButton()->text(), "Go");

    QToolBar* filters = actions.FilterBar();
    EXPECT_EQ(filters->objectName(), "TBFilterbar");
    EXPECT_EQ(window.toolBarArea(filters), Qt::LeftToolBarArea);
    Strings items;
    for (QAction* action : filters->actions())
        items.push_back(action->isSeparator() ? "-" : action->objectName().isEmpty() ? action->text().toStdString()
                                                                                      : action->objectName().toStdString());
    EXPECT_EQ(items, (Strings{"ActDBPlayable", "ActDBIncomplete", "ActDBMissing", "-", "ActTVGood", "ActTVBadName",
                              "ActTVIncomplete", "ActTVUnknown", "-", "ActDBSets", "ActDBClones", "-", "&SubList"}));
}

TEST_F(MainActionsBuildTest, PopupMenus) {
    QMenu* tv = actions.PopupMenuTV();
    EXPECT_EQ(Items(tv), (Strings{"&Items selection", "-", "&Database Filter", "Pa&th Filter", "-", "ActAddPath",
                                  "ActOpenPath", "ActRemovePath", "ActRefresh", "ActRebuild", "-", "ActFixGame", "ActAdvanced",
                                  "ActRemoveUselessFiles", "ActRemoveUselessRoms", "-", "S&hell operations ...", "-",
                                  "ActPlayGame"}));
    EXPECT_EQ(Items(SubMenu(tv, "&Items selection")).size(), 5u);
    EXPECT_EQ(Items(SubMenu(tv, "&Database Filter")),
              (Strings{"ActDBPlayable", "ActDBIncomplete", "ActDBMissing", "ActDBSets", "ActDBClones"}));
    EXPECT_EQ(Items(SubMenu(tv, "Pa&th Filter")).size(), 5u);
    QMenu* lv = actions.PopupMenuLV();
    EXPECT_EQ(Items(lv), (Strings{"ActParentNode", "-", "Selection...", "-", "ActFixGame", "ActAdvanced",
                                  "ActRemoveUselessFiles", "ActRemoveUselessRoms", "-", "S&hell operations ...", "-",
                                  "ActPlayGame"}));
}

}  // namespace
}  // namespace qm::test
