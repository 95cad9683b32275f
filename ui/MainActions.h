#pragma once
// The commands of the main window as data: one entry per action (object name, category,
// caption, hint, shortcut, check mark, pictures), and TMainActions, which makes one
// QAction per entry and lays them out in the menu bar, the tool bars and the pop-up
// menus of the two views. Nothing here runs a command: the window connects every action
// through its TActionDispatcher.
#include <array>

#include <QObject>

#include "ui/commands/ActionIds.h"

class QAction;
class QComboBox;
class QMainWindow;
class QMenu;
class QToolBar;
class QToolButton;

namespace qm {

class TImageList;

struct TActionDef {
    TActionId Id;
    const char* Name;      // the object name
    const char* Category;  // "" when none
    const char* Caption;   // untranslated; goes through _() when the action is made
    const char* Hint;      // untranslated, "" when none
    const char* Shortcut;  // QKeySequence's portable text, "" when none
    bool Checkable;
    bool Checked;  // at creation
    bool Visible;
    int IconIndex;  // into the tool icons, -1 when none
    int FlagIndex;  // into the status pictures (the filter bar), -1 when none
};

// The entry of an action; every id has one.
const TActionDef& ActionDef(TActionId id);

class TMainActions final : public TActionChecks {
public:
    // The actions become children of parent.
    explicit TMainActions(QObject* parent);
    TMainActions(const TMainActions&) = delete;
    TMainActions& operator=(const TMainActions&) = delete;

    QAction* Action(TActionId id) const { return actions_[static_cast<size_t>(Index(id))]; }
    bool Checked(TActionId id) const override;
    void SetChecked(TActionId id, bool checked) override;
    // nullptr when no action has that object name.
    QAction* FindAction(const char* objectName) const;

    // Pictures: the tool icons for every action with an icon index, the status pictures
    // for the filter-bar actions (which have no tool icon).
    void SetImages(const TImageList& toolsIcons, const TImageList& flags);
    // Whether the items of the menu bar's menus show their pictures (a skin's tool icons
    // fit there only at the menu's own height).
    void SetMainMenuImages(QMainWindow* window, bool withImages);

    // The menu bar, the tool bars and the pop-up menus on window. contents and about are
    // the window's help items, datafilesCombo its datafile box (both stay the window's).
    void Build(QMainWindow* window, QComboBox* datafilesCombo, QAction* contents, QAction* about);

    // Made by Build.
    QMenu* SubListMenu() const { return subList_; }
    QMenu* PopupMenuTV() const { return popupTV_; }
    QMenu* PopupMenuLV() const { return popupLV_; }
    // The game information drop-down: ActGameInfo, then the pages added at run time.
    QMenu* GamePropertiesMenu() const { return gameProperties_; }
    QMenu* FixMenu() const { return fixMenu_; }
    QMenu* AdvancedMenu() const { return advanced_; }
    // The Tools menu's "Refresh All" item: its own item, so that it is enabled whatever
    // state the action has; the window runs the action's command from it.
    QAction* RefreshAllItem() const { return refreshAllItem_; }
    // The name filter box (editable, typed text never added as an item) and its button.
    QComboBox* NameFilterBox() const { return nameFilter_; }
    QToolButton* GoButton() const { return go_; }
    QToolBar* MainToolBar() const { return tbToolbar_; }
    QToolBar* DatafileBar() const { return tbDatafileBar_; }
    QToolBar* FilterToolBar() const { return tbToolbar1_; }
    QToolBar* FilterBar() const { return tbFilterbar_; }
    QToolButton* FixButton() const { return fixButton_; }
    QToolButton* GameInfoButton() const { return gameInfoButton_; }

private:
    void BuildMenuBar(QMainWindow* window, QAction* contents, QAction* about);
    void BuildToolBars(QMainWindow* window, QComboBox* datafilesCombo);
    void BuildPopups(QMainWindow* window);
    QMenu* SelectionMenu(QWidget* parent, const char* caption);
    QMenu* ShellMenu(QWidget* parent);

    std::array<QAction*, kActionCount> actions_{};
    QMenu* subList_ = nullptr;
    QMenu* popupTV_ = nullptr;
    QMenu* popupLV_ = nullptr;
    QMenu* gameProperties_ = nullptr;
    QMenu* fixMenu_ = nullptr;
    QMenu* advanced_ = nullptr;
    QAction* refreshAllItem_ = nullptr;
    QComboBox* nameFilter_ = nullptr;
    QToolButton* go_ = nullptr;
    QToolBar* tbToolbar_ = nullptr;
    QToolBar* tbDatafileBar_ = nullptr;
    QToolBar* tbToolbar1_ = nullptr;
    QToolBar* tbFilterbar_ = nullptr;
    QToolButton* fixButton_ = nullptr;
    QToolButton* gameInfoButton_ = nullptr;
};

}  // namespace qm
