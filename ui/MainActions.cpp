#include "ui/MainActions.h"

#include <QAction>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "platform/Text.h"
#include "ui/controls/ImageList.h"

namespace qm {

namespace {

QString Q(const char* text) { return QString::fromUtf8(_(text).c_str()); }

// Tool icons: 0 add path, 1 refresh, 2 fix, 3 scan, 4 datafile manager, 5 report,
// 6 play, 7 new roms, 8 move, 9 copy, 10 delete, 11 clear, 13 preferences.
// Status pictures of the filter bar: 0 missing, 1 incomplete, 2 complete, 3 unknown,
// 26 parent sets, 27 clones, 28 sub-list, 29 bad names, 30 information.
#define QM_ACTION(id, category, caption, hint, shortcut, checkable, checked, visible, icon, flag) \
    TActionDef { TActionId::id, #id, category, caption, hint, shortcut, checkable, checked, visible, icon, flag }

constexpr TActionDef kActions[] = {
    QM_ACTION(ActAddPath, "_Paths", "&Add rom path", "Add a new rom path to Quarmelle", "Ctrl+O", false, false, true, 0, -1),
    QM_ACTION(ActRemovePath, "_Paths", "&Close rom path", "Remove selected path from Quarmelle", "", false, false, true, -1, -1),
    QM_ACTION(ActOpenPath, "_Paths", "&Open path", "", "", false, false, true, -1, -1),
    QM_ACTION(ActRefresh, "_Refresh", "&Refresh", "", "F5", false, false, true, 1, -1),
    QM_ACTION(ActRefreshAll, "_Refresh", "Refresh &All", "", "", false, false, true, -1, -1),
    QM_ACTION(ActRebuild, "_Refresh", "Re&build", "", "", false, false, true, -1, -1),
    QM_ACTION(ActRebuildAll, "_Refresh", "Rebuild all", "", "", false, false, true, -1, -1),
    QM_ACTION(ActFixGame, "_Repair", "Fix &game", "", "", false, false, true, 2, -1),
    QM_ACTION(ActRenameRoms, "_Repair", "Rename &Roms", "", "", false, false, true, -1, -1),
    QM_ACTION(ActRenameFiles, "_Repair", "Rename &Files", "", "", false, false, true, -1, -1),
    QM_ACTION(ActImportExternalRom, "_Repair", "Fin&d roms", "", "", false, false, true, 7, -1),
    QM_ACTION(ActRemoveUselessFiles, "_Repair", "Remove &useless files", "", "", false, false, true, 11, -1),
    QM_ACTION(ActRemoveUselessRoms, "_Repair", "Remo&ve useless roms", "", "", false, false, true, -1, -1),
    QM_ACTION(ActCreateDummy, "_Repair", "Create dummy roms", "", "", false, false, true, -1, -1),
    QM_ACTION(ActAdvanced, "_Repair", "Adva&nced", "", "", false, false, true, -1, -1),
    QM_ACTION(ActMoveFile, "_Shell", "&Move file(s) to ...", "", "", false, false, true, 8, -1),
    QM_ACTION(ActCopyFile, "_Shell", "&Copy file(s) to ...", "", "", false, false, true, 9, -1),
    QM_ACTION(ActDeleteFiles, "_Shell", "&Delete files", "", "Del", false, false, true, 10, -1),
    QM_ACTION(ActTestFiles, "_Shell", "&Test file(s)", "", "", false, false, true, -1, -1),
    QM_ACTION(ActReZip, "_Shell", "Re&Zip File(s)", "", "", false, false, true, -1, -1),
    QM_ACTION(ActLowerCase, "_Shell", "Convert to lower case", "", "", false, false, true, -1, -1),
    QM_ACTION(ActUpperCase, "_Shell", "Convert to upper case", "", "", false, false, true, -1, -1),
    QM_ACTION(ActCapitalize, "_Shell", "Capitalize", "", "", false, false, true, -1, -1),
    QM_ACTION(ActDBCase, "_Shell", "Convert to database case", "", "", false, false, true, -1, -1),
    QM_ACTION(ActChangeCase, "_Shell", "Change case...", "", "", false, false, true, -1, -1),
    QM_ACTION(ActDatafileManager, "_Shell", "Open &datafile manager", "", "", false, false, true, 4, -1),
    QM_ACTION(ActCustomZip, "_Shell", "Create custom zip...", "", "", false, false, true, -1, -1),
    QM_ACTION(ActMiss, "_Report", "Save &missing games as ...", "", "", false, false, true, 5, -1),
    QM_ACTION(ActHave, "_Report", "Save &available games as ...", "", "", false, false, true, 5, -1),
    QM_ACTION(ActMissRoms, "_Report", "Save missing &roms as ...", "", "", false, false, true, 5, -1),
    QM_ACTION(ActMissCrc, "_Report", "Save missing &crc as ...", "", "", false, false, true, 5, -1),
    QM_ACTION(ActCreateDat, "_Report", "selected items", "", "", false, false, true, -1, -1),
    QM_ACTION(ActCreateMissDat, "_Report", "missing roms", "", "", false, false, true, -1, -1),
    QM_ACTION(ActCreateHaveDat, "_Report", "available roms", "", "", false, false, true, -1, -1),
    QM_ACTION(ActSelectMain, "_Selection", "Select mains sets", "", "Ctrl+M", false, false, true, -1, -1),
    QM_ACTION(ActSelectClones, "_Selection", "Select clones", "", "Ctrl+N", false, false, true, -1, -1),
    QM_ACTION(ActSelectAll, "_Selection", "Select All", "", "Ctrl+A", false, false, true, -1, -1),
    QM_ACTION(ActSelectNgdk, "_Selection", "Select games with no good dump known", "", "Ctrl+D", false, false, true, -1, -1),
    QM_ACTION(ActInvertSelection, "_Selection", "Invert selection", "", "Ctrl+I", false, false, true, -1, -1),
    QM_ACTION(ActTVGood, "_TVFilter", "&Playable", "", "", true, true, true, -1, 2),
    QM_ACTION(ActTVBadName, "_TVFilter", "&Bad name", "", "", true, true, true, -1, 29),
    QM_ACTION(ActTVIncomplete, "_TVFilter", "&Incomplete", "", "", true, true, true, -1, 1),
    QM_ACTION(ActTVUnknown, "_TVFilter", "&Unknown", "", "", true, true, true, -1, 3),
    QM_ACTION(ActTVMissing, "_TVFilter", "&Missing", "", "", true, true, false, -1, 0),
    QM_ACTION(ActDBPlayable, "_DBFilter", "&Complete", "", "", true, false, true, -1, 2),
    QM_ACTION(ActDBMissing, "_DBFilter", "&Missing", "", "", true, false, true, -1, 0),
    QM_ACTION(ActDBIncomplete, "_DBFilter", "&Incomplete", "", "", true, false, true, -1, 1),
    QM_ACTION(ActDBClones, "_DBFilter", "Show c&lones", "", "", true, false, true, -1, 27),
    QM_ACTION(ActDBSets, "_DBFilter", "Show &sets", "", "", true, false, true, -1, 26),
    QM_ACTION(ActPlayGame, "_Emulator", "&Play game (enter)", "", "", false, false, true, 6, -1),
    QM_ACTION(ActConfiguration, "", "&Preferences...", "", "", false, false, true, 13, -1),
    QM_ACTION(ActQuit, "", "&Quit", "Quit quarmelle", "Alt+F4", false, false, true, -1, -1),
    QM_ACTION(ActScan, "", "Open &scan window", "", "", false, false, true, 3, -1),
    QM_ACTION(ActGameInfo, "", "Game &Information", "", "", false, false, true, -1, 30),
    QM_ACTION(ActParentNode, "", "Parent node", "", "", false, false, true, -1, -1),
    QM_ACTION(ActAll, "", "All", "", "", true, true, true, -1, -1),
    QM_ACTION(ActAllExcept, "", "All except", "", "", true, false, true, -1, -1),
};

#undef QM_ACTION

static_assert(sizeof kActions / sizeof kActions[0] == kActionCount, "one entry per action");

constexpr bool TableInIdOrder() {
    for (int i = 0; i < kActionCount; ++i)
        if (Index(kActions[i].Id) != i) return false;
    return true;
}
static_assert(TableInIdOrder(), "entries in the order of the ids");

}  // namespace

const TActionDef& ActionDef(TActionId id) { return kActions[Index(id)]; }

TMainActions::TMainActions(QObject* parent) {
    for (const TActionDef& def : kActions) {
        auto* action = new QAction(Q(def.Caption), parent);
        action->setObjectName(def.Name);
        if (def.Hint[0] != '\0') {
            action->setToolTip(Q(def.Hint));
            action->setStatusTip(Q(def.Hint));
        }
        if (def.Shortcut[0] != '\0') action->setShortcut(QKeySequence(QString::fromLatin1(def.Shortcut)));
        action->setCheckable(def.Checkable);
        action->setChecked(def.Checked);
        action->setVisible(def.Visible);
        action->setProperty("category", QString::fromLatin1(def.Category));
        actions_[static_cast<size_t>(Index(def.Id))] = action;
    }
    // No command stands behind it.
    Action(TActionId::ActCustomZip)->setEnabled(false);
}

bool TMainActions::Checked(TActionId id) const { return Action(id)->isChecked(); }

void TMainActions::SetChecked(TActionId id, bool checked) { Action(id)->setChecked(checked); }

QAction* TMainActions::FindAction(const char* objectName) const {
    for (QAction* action : actions_)
        if (action->objectName() == QLatin1String(objectName)) return action;
    return nullptr;
}

void TMainActions::SetImages(const TImageList& toolsIcons, const TImageList& flags) {
    for (const TActionDef& def : kActions) {
        QAction* action = Action(def.Id);
        if (def.IconIndex >= 0)
            action->setIcon(QIcon(toolsIcons.At(def.IconIndex)));
        else if (def.FlagIndex >= 0)
            action->setIcon(QIcon(flags.At(def.FlagIndex)));
    }
    if (subList_ != nullptr) subList_->menuAction()->setIcon(QIcon(flags.At(28)));
}

void TMainActions::SetMainMenuImages(QMainWindow* window, bool withImages) {
    std::vector<QMenu*> menus;
    for (QAction* top : window->menuBar()->actions())
        if (top->menu() != nullptr) menus.push_back(top->menu());
    for (size_t i = 0; i < menus.size(); ++i)
        for (QAction* item : menus[i]->actions()) {
            item->setIconVisibleInMenu(withImages);
            if (item->menu() != nullptr) menus.push_back(item->menu());
        }
}

void TMainActions::Build(QMainWindow* window, QComboBox* datafilesCombo, QAction* contents, QAction* about) {
    // The drop-downs and the shared submenus first: the menu bar and the pop-ups use them.
    fixMenu_ = new QMenu(window);
    fixMenu_->setObjectName("FixMenu");
    using enum TActionId;
    fixMenu_->addAction(Action(ActRenameFiles));
    fixMenu_->addSeparator();
    fixMenu_->addAction(Action(ActRenameRoms));
    fixMenu_->addAction(Action(ActImportExternalRom));
    fixMenu_->addSeparator();
    fixMenu_->addAction(Action(ActRemoveUselessFiles));
    fixMenu_->addAction(Action(ActRemoveUselessRoms));
    fixMenu_->addSeparator();
    fixMenu_->addAction(Action(ActCreateDummy));
    fixMenu_->addAction(Action(ActReZip));

    advanced_ = new QMenu(window);
    advanced_->setObjectName("AdvancedMenu");
    advanced_->addAction(Action(ActRenameFiles));
    advanced_->addSeparator();
    advanced_->addAction(Action(ActRenameRoms));
    advanced_->addAction(Action(ActImportExternalRom));
    advanced_->addAction(Action(ActCreateDummy));
    advanced_->addAction(Action(ActChangeCase));
    // The action stands for the submenu wherever it is added; its enabled state is the
    // submenu's.
    Action(ActAdvanced)->setMenu(advanced_);

    subList_ = new QMenu(Q("&SubList"), window);
    subList_->setObjectName("SubList");

    gameProperties_ = new QMenu(window);
    gameProperties_->setObjectName("GamePropertiesMenu");
    gameProperties_->addAction(Action(ActGameInfo));

    BuildMenuBar(window, contents, about);
    BuildToolBars(window, datafilesCombo);
    BuildPopups(window);
}

QMenu* TMainActions::SelectionMenu(QWidget* parent, const char* caption) {
    using enum TActionId;
    auto* menu = new QMenu(Q(caption), parent);
    for (TActionId id : {ActSelectAll, ActSelectMain, ActSelectClones, ActSelectNgdk, ActInvertSelection})
        menu->addAction(Action(id));
    return menu;
}

QMenu* TMainActions::ShellMenu(QWidget* parent) {
    using enum TActionId;
    auto* menu = new QMenu(Q("S&hell operations ..."), parent);
    for (TActionId id : {ActMoveFile, ActCopyFile, ActDeleteFiles, ActTestFiles, ActReZip}) menu->addAction(Action(id));
    return menu;
}

void TMainActions::BuildMenuBar(QMainWindow* window, QAction* contents, QAction* about) {
    using enum TActionId;
    QMenuBar* bar = window->menuBar();
    bar->setObjectName("TBMainMenu");
    bar->setWindowTitle(Q("Main menu"));

    QMenu* file = bar->addMenu(Q("&File"));
    file->addAction(Action(ActAddPath));
    file->addAction(Action(ActOpenPath));
    file->addAction(Action(ActRemovePath));
    file->addSeparator();
    file->addAction(Action(ActScan));
    file->addAction(Action(ActDatafileManager));
    file->addSeparator();
    QMenu* createDat = file->addMenu(Q("Create datafile from..."));
    createDat->addAction(Action(ActCreateMissDat));
    createDat->addAction(Action(ActCreateHaveDat));
    createDat->addAction(Action(ActCreateDat));
    file->addSeparator();
    file->addAction(Action(ActConfiguration));
    file->addSeparator();
    file->addAction(Action(ActQuit));

    QMenu* edit = bar->addMenu(Q("&Edit"));
    for (TActionId id : {ActSelectAll, ActSelectMain, ActSelectClones, ActSelectNgdk, ActInvertSelection})
        edit->addAction(Action(id));

    QMenu* database = bar->addMenu(Q("&Database"));
    QMenu* dbFilter = database->addMenu(Q("&Filter"));
    dbFilter->addAction(Action(ActDBPlayable));
    dbFilter->addAction(Action(ActDBIncomplete));
    dbFilter->addAction(Action(ActDBMissing));
    dbFilter->addSeparator();
    dbFilter->addAction(Action(ActDBSets));
    dbFilter->addAction(Action(ActDBClones));
    database->addMenu(subList_);

    QMenu* roms = bar->addMenu(Q("&Roms"));
    QMenu* tvFilter = roms->addMenu(Q("&Filter"));
    for (TActionId id : {ActTVGood, ActTVBadName, ActTVIncomplete, ActTVUnknown, ActTVMissing})
        tvFilter->addAction(Action(id));
    roms->addSeparator();
    roms->addAction(Action(ActFixGame));
    roms->addAction(Action(ActAdvanced));
    roms->addAction(Action(ActRemoveUselessFiles));
    roms->addAction(Action(ActRemoveUselessRoms));
    roms->addSeparator();
    roms->addMenu(ShellMenu(window));

    QMenu* tools = bar->addMenu(Q("&Tools"));
    tools->addAction(Action(ActRefresh));
    tools->addAction(Action(ActRebuild));
    refreshAllItem_ = tools->addAction(Q("Refresh &All"));
    refreshAllItem_->setObjectName("RefreshAll1");
    tools->addAction(Action(ActRebuildAll));
    tools->addSeparator();
    tools->addAction(Action(ActPlayGame));

    QMenu* report = bar->addMenu(Q("Re&port"));
    report->addAction(Action(ActMiss));
    report->addAction(Action(ActHave));
    report->addSeparator();
    report->addAction(Action(ActMissRoms));
    report->addAction(Action(ActMissCrc));

    QMenu* help = bar->addMenu(Q("&Help"));
    if (contents != nullptr) help->addAction(contents);
    if (about != nullptr) help->addAction(about);
}

void TMainActions::BuildToolBars(QMainWindow* window, QComboBox* datafilesCombo) {
    using enum TActionId;
    tbToolbar_ = window->addToolBar(Q("Tool bar"));
    tbToolbar_->setObjectName("TBToolbar");
    tbToolbar_->addAction(Action(ActAddPath));
    tbToolbar_->addAction(Action(ActRefresh));
    fixButton_ = new QToolButton(tbToolbar_);
    fixButton_->setObjectName("FixButton");
    fixButton_->setDefaultAction(Action(ActFixGame));
    fixButton_->setMenu(fixMenu_);
    fixButton_->setPopupMode(QToolButton::MenuButtonPopup);
    tbToolbar_->addWidget(fixButton_);
    tbToolbar_->addAction(Action(ActPlayGame));
    tbToolbar_->addAction(Action(ActConfiguration));
    tbToolbar_->addAction(Action(ActScan));
    gameInfoButton_ = new QToolButton(tbToolbar_);
    gameInfoButton_->setObjectName("GameInfoButton");
    gameInfoButton_->setDefaultAction(Action(ActGameInfo));
    gameInfoButton_->setMenu(gameProperties_);
    gameInfoButton_->setPopupMode(QToolButton::MenuButtonPopup);
    tbToolbar_->addWidget(gameInfoButton_);
    tbToolbar_->addAction(Action(ActParentNode));

    tbDatafileBar_ = window->addToolBar(Q("Datafile bar"));
    tbDatafileBar_->setObjectName("TBDatafileBar");
    if (datafilesCombo != nullptr) tbDatafileBar_->addWidget(datafilesCombo);
    tbDatafileBar_->addAction(Action(ActDatafileManager));

    tbToolbar1_ = window->addToolBar(Q("Filter"));
    tbToolbar1_->setObjectName("TBToolbar1");
    nameFilter_ = new QComboBox(tbToolbar1_);
    nameFilter_->setObjectName("CBExprReg");
    nameFilter_->setEditable(true);
    // Enter applies the text; the history is kept by the filter box's owner, not by
    // the combo (which would also emit an activation of its own for a known text).
    nameFilter_->setInsertPolicy(QComboBox::NoInsert);
    nameFilter_->setDuplicatesEnabled(true);
    nameFilter_->setMinimumContentsLength(16);
    nameFilter_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    nameFilter_->setEditText(QStringLiteral("*"));
    tbToolbar1_->addWidget(nameFilter_);
    go_ = new QToolButton(tbToolbar1_);
    go_->setObjectName("RegExprOk");
    go_->setText(Q("Go"));
    tbToolbar1_->addWidget(go_);

    tbFilterbar_ = new QToolBar(Q("Filter bar"), window);
    tbFilterbar_->setObjectName("TBFilterbar");
    window->addToolBar(Qt::LeftToolBarArea, tbFilterbar_);
    tbFilterbar_->addAction(Action(ActDBPlayable));
    tbFilterbar_->addAction(Action(ActDBIncomplete));
    tbFilterbar_->addAction(Action(ActDBMissing));
    tbFilterbar_->addSeparator();
    tbFilterbar_->addAction(Action(ActTVGood));
    tbFilterbar_->addAction(Action(ActTVBadName));
    tbFilterbar_->addAction(Action(ActTVIncomplete));
    tbFilterbar_->addAction(Action(ActTVUnknown));
    tbFilterbar_->addSeparator();
    tbFilterbar_->addAction(Action(ActDBSets));
    tbFilterbar_->addAction(Action(ActDBClones));
    tbFilterbar_->addSeparator();
    tbFilterbar_->addAction(subList_->menuAction());
    if (auto* button = qobject_cast<QToolButton*>(tbFilterbar_->widgetForAction(subList_->menuAction())))
        button->setPopupMode(QToolButton::InstantPopup);
}

void TMainActions::BuildPopups(QMainWindow* window) {
    using enum TActionId;
    popupTV_ = new QMenu(window);
    popupTV_->setObjectName("PopupMenuTV");
    popupTV_->addMenu(SelectionMenu(popupTV_, "&Items selection"));
    popupTV_->addSeparator();
    QMenu* dbFilter = popupTV_->addMenu(Q("&Database Filter"));
    for (TActionId id : {ActDBPlayable, ActDBIncomplete, ActDBMissing, ActDBSets, ActDBClones})
        dbFilter->addAction(Action(id));
    QMenu* pathFilter = popupTV_->addMenu(Q("Pa&th Filter"));
    for (TActionId id : {ActTVGood, ActTVBadName, ActTVIncomplete, ActTVUnknown, ActTVMissing})
        pathFilter->addAction(Action(id));
    popupTV_->addSeparator();
    for (TActionId id : {ActAddPath, ActOpenPath, ActRemovePath, ActRefresh, ActRebuild})
        popupTV_->addAction(Action(id));
    popupTV_->addSeparator();
    popupTV_->addAction(Action(ActFixGame));
    popupTV_->addAction(Action(ActAdvanced));
    popupTV_->addAction(Action(ActRemoveUselessFiles));
    popupTV_->addAction(Action(ActRemoveUselessRoms));
    popupTV_->addSeparator();
    popupTV_->addMenu(ShellMenu(popupTV_));
    popupTV_->addSeparator();
    popupTV_->addAction(Action(ActPlayGame));

    popupLV_ = new QMenu(window);
    popupLV_->setObjectName("PopupMenuLV");
    popupLV_->addAction(Action(ActParentNode));
    popupLV_->addSeparator();
    popupLV_->addMenu(SelectionMenu(popupLV_, "Selection..."));
    popupLV_->addSeparator();
    popupLV_->addAction(Action(ActFixGame));
    popupLV_->addAction(Action(ActAdvanced));
    popupLV_->addAction(Action(ActRemoveUselessFiles));
    popupLV_->addAction(Action(ActRemoveUselessRoms));
    popupLV_->addSeparator();
    popupLV_->addMenu(ShellMenu(popupLV_));
    popupLV_->addSeparator();
    popupLV_->addAction(Action(ActPlayGame));
}

}  // namespace qm
