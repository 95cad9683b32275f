#pragma once
// The scan window ("Quarmelle scanner"): a top-level window of its own, with its own
// task-bar entry, on which the user drops files, folders and zips to see what they hold
// against the open datafile, and from which the files holding new roms are copied or
// moved into a rom path of the main window. The logic is TScanSession's; this class
// wires it to widgets. Every command runs through the action dispatcher it is given (the
// main window's, so that nothing starts while another command runs).
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/commands/ScanSession.h"
#include "ui/controls/ImageList.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QToolBar;
class QToolButton;
class QTreeWidget;

namespace qm {

class TActionDispatcher;

class TScanFrm : public QMainWindow, private IScanView {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 1003;

    // The main window's databases and components, which must outlive the window's
    // commands (the destructor touches none of them). dispatcher: the main window's; a
    // window of its own when null. The cache, temporary folder and compression level come
    // from the settings when they are loaded.
    TScanFrm(TRomsBd& romsBd, TSignatureCalculator& calculator, TArchiveManager& archiveManager,
             TFilesBd& mainFilesBd, TActionDispatcher* dispatcher = nullptr);
    ~TScanFrm() override;

    TScanSession& Session() { return *session_; }

    // After the main window loaded another datafile (and by Refresh, and on show).
    // Raises nothing: a failure is shown in a box.
    void RefreshScan();
    // Before the main window clears or rebuilds its rom database.
    void ForgetCatalogue() { session_->ForgetCatalogue(); }
    // What a drop from the file manager gives: local file names in drop order.
    void handleDropped(const QStringList& names);

    // The main window's flag images (the default skin's until set; not owned).
    void SetImages(const TImageList* flags);

    // The main window, after a copy or move changed one of its rom paths: the game tree
    // rebuilt, then the status bar and counters.
    std::function<void()> OnRebuildMainTree;
    std::function<void()> OnUpdateMainStatus;
    // One line per file operation, for the log window.
    std::function<void(const std::string&)> OnLog;
    // F1: the help page of kHelpContext.
    std::function<void(int context)> OnHelp;

    QTreeWidget* ScanTreeView() const { return scanTreeView_; }
    QLabel* StatusPanel(int index) const;
    QProgressBar* Gauge() const { return gauge_; }
    QAction* ActClear() const { return actClear_; }
    QAction* ActRefresh() const { return actRefresh_; }
    QAction* ActShowNewRom() const { return actShowNewRom_; }
    QAction* ActSort() const { return actSort_; }
    QAction* ActCopyRom() const { return actCopyRom_; }
    QAction* ActMoveRom() const { return actMoveRom_; }
    QMenu* CopyFileMainMenu() const { return copyFileMainMenu_; }
    QMenu* MoveFileMainMenu() const { return moveFileMainMenu_; }
    QMenu* CopyFileContextMenu() const { return copyFileContextMenu_; }
    QMenu* MoveFileContextMenu() const { return moveFileContextMenu_; }
    QMenu* ContextMenu() const { return contextMenu_; }
    QToolButton* CopyRomBtn() const { return copyRomBtn_; }
    QToolButton* MoveRomBtn() const { return moveRomBtn_; }

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // IScanView
    void SetCountText(const std::string& text) override;
    void SetHandlingText(const std::string& text) override;
    void SetGauge(int percent) override;
    void SetDatafileText(const std::string& text) override;
    void SuspendTreeUpdates(bool suspended) override;
    void ShowTree(const std::vector<TScanNode>& nodes) override;
    void AppendNodes(const std::vector<TScanNode>& nodes) override;
    void SetPathMenus(const std::vector<std::string>& pathTexts) override;
    void SetCopyMoveEnabled(bool enabled) override;
    void SetWindowEnabled(bool enabled) override;

    void CreateActions();
    void CreateMenus();
    void CreateStatusBar();
    void Run(const std::function<void()>& command);
    QAction* NewAction(const std::string& name, const std::string& caption, const std::string& hint, int image);
    void SaveToolBars();
    void RestoreToolBars();

    std::unique_ptr<TActionDispatcher> ownDispatcher_;
    TActionDispatcher* dispatcher_;
    std::unique_ptr<TScanSession> session_;
    TImageList defaultFlags_;
    TImageList toolIcons_;
    const TImageList* flags_;
    int suspendDepth_ = 0;

    QTreeWidget* scanTreeView_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::vector<QLabel*> panels_;
    QProgressBar* gauge_ = nullptr;
    QAction* actClose_ = nullptr;
    QAction* actClear_ = nullptr;
    QAction* actRefresh_ = nullptr;
    QAction* actShowNewRom_ = nullptr;
    QAction* actSort_ = nullptr;
    QAction* actCopyRom_ = nullptr;
    QAction* actMoveRom_ = nullptr;
    QAction* actHelp_ = nullptr;
    QMenu* copyFileMainMenu_ = nullptr;
    QMenu* moveFileMainMenu_ = nullptr;
    QMenu* copyFileContextMenu_ = nullptr;
    QMenu* moveFileContextMenu_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QToolButton* copyRomBtn_ = nullptr;
    QToolButton* moveRomBtn_ = nullptr;
    std::vector<QAction*> pathActions_;  // owned by the window, one copy and one move per path
};

}  // namespace qm
