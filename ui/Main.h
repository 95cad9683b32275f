#pragma once
// The main window: menus, tool bars with the datafile box, the two views, the status
// bar. It only wires widgets: loading and switching datafiles are TAppController's,
// and every command runs through the one TActionDispatcher.
#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/ActionDispatcher.h"
#include "ui/commands/AppController.h"
#include "ui/commands/CommandObject.h"
#include "ui/commands/FixPipeline.h"
#include "ui/MainActions.h"
#include "ui/ReportFilePrompt.h"
#include "ui/RomPathCommands.h"
#include "ui/controls/ImageList.h"
#include "ui/commands/ShownLists.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace qm {

class TAboutFrm;
class TChangeCaseForm;
class TDatafileForm;
class TFileCommands;
class TFixPipeline;
class TMainStatusBar;
class TNameFilterBox;
class TSubListMenu;
class TQMVirtualListView;
class TScanFrm;
class TQMVirtualTreeView;
class TReportWriter;
struct TReportScope;
class TFrmOptions;
class TProgressFrm;
class TSkinForm;
class TSplashForm;

class TMainFrm : public QMainWindow, public IMainView {
    Q_OBJECT
public:
    // splash: the window that shows loading while FormCreate runs (may be null).
    explicit TMainFrm(TSplashForm* splash = nullptr);
    ~TMainFrm() override;

    // The start-up sequence: wires the components, loads the last datafile and its rom
    // paths, frees the splash window and shows the main window. Raises what ended the
    // start-up (the program then ends).
    void FormCreate();

    // Windows created after the main window (the main window never creates them).
    void SetAboutForm(TAboutFrm* about) { aboutFrm_ = about; }
    void SetOptionsForm(TFrmOptions* options);
    void SetChangeCaseForm(TChangeCaseForm* form) { changeCaseForm_ = form; }

    TAppController& Controller() { return *controller_; }
    TActionDispatcher& Dispatcher() { return *dispatcher_; }
    TProgressFrm& ProgressFrm() { return *progressFrm_; }

    QComboBox* DatafilesCombo() const { return datafilesCombo_; }
    TQMVirtualTreeView* VTreeView() const { return vTreeView_; }
    TQMVirtualListView* VListView() const { return vListView_; }
    const TShownGames& ShownGames() const { return shownGames_; }
    const TShownClones& ShownClones() const { return shownClones_; }

    // The commands of the rom paths, the repairs, the reports and the game, each as the
    // action of the same name runs it (tests call them directly, outside the dispatcher).
    void ActAddPathExecute();
    void ActRemovePathExecute();
    void ActOpenPathExecute();
    void ActRefreshExecute();
    void ActRebuildExecute();
    void ActRefreshAllExecute();
    void ActRebuildAllExecute();
    void DropFilesOnTree(const std::vector<std::string>& names);
    void ActFixGameExecute();
    void ActMissExecute();
    void ActHaveExecute();
    void ActMissRomsExecute();
    void ActMissCrcExecute();
    void ActCreateDatExecute();
    void ActCreateMissDatExecute();
    void ActCreateHaveDatExecute();
    void ActPlayGameExecute();
    void ActGameInfoExecute();
    void ActParentNodeExecute();
    // A single repair step (TStepMode) and a file command (TShellMode) on the selection.
    void RunFixStepExecute(int mode);
    void RunShellOperationExecute(int mode);
    void ActChangeCaseExecute();
    void ActTestFilesExecute();
    TFileCommands& FileCommands();
    void VListViewDblClick();

    // The rom path commands over the current emulator's rom paths.
    TRomPathCommands& PathCommands();
    // What the tree's focus is to the rom path commands.
    TRomPathCommands::TFocus TreeFocus() const;
    // The repair of the selection as ActFixGame runs it; the pipeline stays for tests.
    TFixPipeline* LastFixPipeline() const { return fixPipeline_.get(); }
    // The focused objects of the list and of the tree, as the commands take them.
    TCommandObject ListFocusedObject() const;
    TCommandObject TreeFocusedObject() const;
    // Where the save dialogs of the reports and exports are asked (tests replace it).
    void SetSaveFilePrompt(std::unique_ptr<ISaveFilePrompt> prompt);
    // The folder dialog of "Add rom path" (tests replace it); caption, start folder.
    std::function<std::string(const std::string&, const std::string&)> ChooseFolder;
    QMenu* GamePropertiesMenu() const;
    // A sub-list item (or All, All except) was clicked.
    void SubListItemClick(QAction* action);
    // The status line of a view and the status bar after a change of the tree (or list).
    void VTreeViewChange(bool fromTree);
    void UpdateStatusBar();
    void UpdateStatusCounters();
    void ShowDatabaseInfo();
    QAction* ActQuit() const;
    QAction* ActAbout() const { return actAbout_; }
    QAction* ActContents() const { return actContents_; }
    QAction* ActDatafileManager() const;
    QAction* ActOptions() const;
    QAction* A(TActionId id) const;
    TMainActions& Actions() { return *actions_; }
    TMainStatusBar& Status() { return *status_; }
    TSubListMenu& SubLists() { return *subLists_; }
    TNameFilterBox& NameFilter() { return *nameBox_; }
    // The preferences dialog, then its choice applied.
    void ActOptionsExecute();
    TDatafileForm* DatafileForm() const { return datafileForm_; }
    TScanFrm* ScanFrm() const { return scanFrm_.get(); }
    void ActScanExecute();

    // Saves the window positions and ends the program (the one quit of every path: the
    // window's close, the Quit action, the menu item).
    void ActQuitExecute();
    // Opens the help page of a help context.
    void ShowHelp(int context);
    void About2Click();

    // Where the help pages are; empty when none were found.
    const std::string& HelpFolder() const { return helpFolder_; }
    // The help page's address last opened (tests read it; nothing opens offscreen).
    const std::string& LastHelpUrl() const { return lastHelpUrl_; }
    // Opens help pages; the default hands them to the desktop.
    std::function<void(const std::string& url)> OpenUrl;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The list's navigation keys: Left and Backspace go to the parent node, Right opens
    // the focused row as a double click does, Enter plays the game.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // IMainView
    void SetDatafileItems(const std::vector<std::string>& texts) override;
    void SelectDatafile(int index) override;
    int SelectedDatafile() const override;
    std::string DatafileText() const override;
    void ProgressStart() override;
    void ProgressStop() override;
    void ProgressReset() override;
    void ProgressPosition(int value) override;
    void ProgressWaitString(const std::string& text) override;
    TInfosEvent SplashInfos() override;
    TProgressEvent SplashProgress() override;
    void SplashSetVersion(const std::string& text) override;
    void SplashEnableSkip() override;
    void FreeSplash() override;
    void ClearTree() override;
    void RebuildTree(bool keepFocus) override;
    void FocusTree() override;
    void SetViewsMerged(bool merged) override;
    void ResetSubListAndFilter() override;
    void ApplySubList() override;
    void CheckFilterActions() override;
    void ApplyFilters() override;
    void BuildMenus() override;
    void UpdateStatus() override;
    void UpdateActions() override;
    void RefreshScan() override;
    void SaveColumnWidths() override;
    void LoadColumnWidths(const std::string& refName) override;
    void LoadFormPositions() override;
    void ShowMainWindow() override;

    void CreateActions();
    void CreateViews();
    void FormDestroy();
    void ConnectCommands();
    // The folder dialog (ChooseFolder when set): the folder chosen, "" when cancelled.
    std::string ChooseFolderDialog(const std::string& caption, const std::string& startFolder);
    void RunReport(void (TReportWriter::*report)(const TReportScope&));
    // F1 in window opens the help page of context.
    void ConnectHelpKey(QWidget* window, int context);
    void WireViews();
    void ProgressStartFor(const std::string& waitText, bool showCancel);
    // The progress window as the repairs drive it.
    TFixProgress RepairProgress();
    void ScrollTreeToSelection();
    void MakeOptionsIcons();
    void SaveToolBars();
    void RestoreToolBars();

    TSplashForm* splash_;
    std::unique_ptr<TActionDispatcher> dispatcher_;
    std::unique_ptr<TProgressFrm> progressFrm_;
    std::unique_ptr<TAppController> controller_;
    std::unique_ptr<TSkinForm> skinForm_;
    TDatafileForm* datafileForm_ = nullptr;  // a child of the window
    TAboutFrm* aboutFrm_ = nullptr;
    TFrmOptions* frmOptions_ = nullptr;
    TChangeCaseForm* changeCaseForm_ = nullptr;
    std::unique_ptr<TFileCommands> fileCommands_;

    TImageList flagList_;
    TImageList toolsIconsList_;
    TImageList optionsIcons_;  // the preferences' section pictures, from the skin

    QComboBox* datafilesCombo_ = nullptr;
    QSplitter* splitter_ = nullptr;
    TQMVirtualTreeView* vTreeView_ = nullptr;
    TQMVirtualListView* vListView_ = nullptr;
    TShownGames shownGames_;
    TShownClones shownClones_;
    std::unique_ptr<TMainActions> actions_;
    std::unique_ptr<TMainStatusBar> status_;
    std::unique_ptr<TSubListMenu> subLists_;
    TNameFilterBox* nameBox_ = nullptr;  // a child of the window
    std::unique_ptr<TRomPathCommands> pathCommands_;
    const void* pathCommandsFor_ = nullptr;  // the rom paths list they were made for
    std::string folderDialogStart_;          // where the next folder dialog opens
    std::unique_ptr<TFixPipeline> fixPipeline_;
    std::unique_ptr<ISaveFilePrompt> savePrompt_;
    QAction* actAbout_ = nullptr;
    QAction* actContents_ = nullptr;

    // Goes before the databases and pictures it shares.
    std::unique_ptr<TScanFrm> scanFrm_;

    std::string helpFolder_;
    std::string lastHelpUrl_;
    int splitRestore_ = 0;  // the tree pane's width, given to the splitter once shown
    bool quitting_ = false;
    bool quitPending_ = false;
    bool destroyed_ = false;
};

}  // namespace qm
