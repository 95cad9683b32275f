#pragma once
// The main window: menus, tool bars with the datafile box, the two views, the status
// bar. It only wires widgets: loading and switching datafiles are TAppController's,
// and every command runs through the one TActionDispatcher.
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "ui/ActionDispatcher.h"
#include "ui/AppController.h"
#include "ui/controls/ImageList.h"

class QAction;
class QComboBox;
class QLabel;
class QSplitter;
class QToolBar;
class QTreeWidget;

namespace qm {

class TAboutFrm;
class TDatafileForm;
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

    TAppController& Controller() { return *controller_; }
    TActionDispatcher& Dispatcher() { return *dispatcher_; }
    TProgressFrm& ProgressFrm() { return *progressFrm_; }

    QComboBox* DatafilesCombo() const { return datafilesCombo_; }
    QTreeWidget* VTreeView() const { return vTreeView_; }
    QAction* ActQuit() const { return actQuit_; }
    QAction* ActAbout() const { return actAbout_; }
    QAction* ActContents() const { return actContents_; }
    QAction* ActDatafileManager() const { return actDatafileManager_; }
    QAction* ActOptions() const { return actOptions_; }
    // The preferences dialog, then its choice applied.
    void ActOptionsExecute();
    TDatafileForm* DatafileForm() const { return datafileForm_; }
    const std::vector<QAction*>& FilterActions() const { return filterActions_; }
    QLabel* StatusPanel(int index) const { return statusPanels_.at(static_cast<size_t>(index)); }

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
    void CreateToolBars();
    void CreateViews();
    void CreateStatusBar();
    void FormDestroy();
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

    TImageList flagList_;
    TImageList toolsIconsList_;

    QToolBar* tbMainMenu_ = nullptr;
    QToolBar* tbToolbar_ = nullptr;
    QToolBar* tbDatafileBar_ = nullptr;
    QToolBar* tbFilterbar_ = nullptr;
    QComboBox* datafilesCombo_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QTreeWidget* vTreeView_ = nullptr;
    QWidget* vListView_ = nullptr;
    std::vector<QLabel*> statusPanels_;  // missing, incomplete, complete, datafile
    std::vector<QLabel*> statusIcons_;

    QAction* actQuit_ = nullptr;
    QAction* actAbout_ = nullptr;
    QAction* actContents_ = nullptr;
    QAction* actDatafileManager_ = nullptr;
    QAction* actOptions_ = nullptr;
    std::vector<QAction*> filterActions_;

    std::string helpFolder_;
    std::string lastHelpUrl_;
    bool quitting_ = false;
    bool quitPending_ = false;
    bool destroyed_ = false;
};

}  // namespace qm
