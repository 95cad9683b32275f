// The main window's commands over the two views: rom paths, the fix, reports and
// exports, the game launch and pages, and the navigation between the views. Each
// command's logic lives in its own unit; here the window hands it the views' selection
// and answers its events.
#include <QAction>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QUrl>

#include "catalogue/DataFile.h"
#include "ui/ChangeCaseFrm.h"
#include "ui/ViewSelection.h"
#include "ui/commands/FileCommands.h"
#include "catalogue/config.h"
#include "platform/Text.h"
#include "ui/commands/DatafileExport.h"
#include "ui/commands/FixPipeline.h"
#include "ui/QtLaunchWindow.h"
#include "ui/GameInfoMenu.h"
#include "ui/Main.h"
#include "ui/ProgressFrm.h"
#include "ui/SubListMenu.h"
#include "ui/commands/Reports.h"
#include "ui/commands/TextConv.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm {

namespace {

TExportLayout ExportLayoutOf(THeaderLayout layout) {
    switch (layout) {
        case hlGames: return TExportLayout::Games;
        case hlClones: return TExportLayout::Clones;
        case hlClonesRoms: return TExportLayout::ClonesRoms;
        case hlFiles: return TExportLayout::Files;
        case hlRomFiles: return TExportLayout::RomFiles;
        case hlnone: break;
    }
    return TExportLayout::Games;
}

// The open datafile's header; nullptr while none is open.
const TDataFile* OpenDataFile() { return Config->DataFileOpen ? Config->DataFile.get() : nullptr; }

// The header gives "no name" for a datafile without one.
std::string OpenRefName() {
    const TDataFile* dataFile = OpenDataFile();
    return dataFile ? dataFile->RefName : "no name";
}

}  // namespace

void TMainFrm::ConnectCommands() {
    using enum TActionId;
    const std::pair<TActionId, void (TMainFrm::*)()> commands[] = {
        {ActAddPath, &TMainFrm::ActAddPathExecute},
        {ActRemovePath, &TMainFrm::ActRemovePathExecute},
        {ActOpenPath, &TMainFrm::ActOpenPathExecute},
        {ActRefresh, &TMainFrm::ActRefreshExecute},
        {ActRefreshAll, &TMainFrm::ActRefreshAllExecute},
        {ActRebuild, &TMainFrm::ActRebuildExecute},
        {ActRebuildAll, &TMainFrm::ActRebuildAllExecute},
        {ActFixGame, &TMainFrm::ActFixGameExecute},
        {ActMiss, &TMainFrm::ActMissExecute},
        {ActHave, &TMainFrm::ActHaveExecute},
        {ActMissRoms, &TMainFrm::ActMissRomsExecute},
        {ActMissCrc, &TMainFrm::ActMissCrcExecute},
        {ActCreateDat, &TMainFrm::ActCreateDatExecute},
        {ActCreateMissDat, &TMainFrm::ActCreateMissDatExecute},
        {ActCreateHaveDat, &TMainFrm::ActCreateHaveDatExecute},
        {ActPlayGame, &TMainFrm::ActPlayGameExecute},
        {ActGameInfo, &TMainFrm::ActGameInfoExecute},
        {ActParentNode, &TMainFrm::ActParentNodeExecute},
        {ActChangeCase, &TMainFrm::ActChangeCaseExecute},
        {ActTestFiles, &TMainFrm::ActTestFilesExecute},
    };
    for (const auto& [id, handler] : commands) dispatcher_->Connect(A(id), [this, handler = handler] { (this->*handler)(); });
    const std::pair<TActionId, int> steps[] = {
        {ActRenameRoms, stRenameRoms},         {ActRemoveUselessFiles, stRemoveUselessFiles},
        {ActRemoveUselessRoms, stRemoveUselessRoms}, {ActImportExternalRom, stImportRoms},
        {ActRenameFiles, stRenameFiles},       {ActCreateDummy, stCreateDummy},
        {ActReZip, stReZip},
    };
    for (const auto& [id, mode] : steps) dispatcher_->Connect(A(id), [this, mode = mode] { RunFixStepExecute(mode); });
    const std::pair<TActionId, int> shell[] = {
        {ActMoveFile, smMove},   {ActDeleteFiles, smDelete}, {ActCopyFile, smCopy},
        {ActLowerCase, smLower}, {ActUpperCase, smUpper},    {ActCapitalize, smCapitalize},
        {ActDBCase, smDatafileCase},
    };
    for (const auto& [id, mode] : shell)
        dispatcher_->Connect(A(id), [this, mode = mode] { RunShellOperationExecute(mode); });

    vTreeView_->OnSelectionChange = [this] { VTreeViewChange(true); };
    vListView_->OnSelectionChange = [this] { VTreeViewChange(false); };
    // The tools menu's own "Refresh All" item runs the command whatever the action's state.
    if (QAction* item = actions_->RefreshAllItem()) dispatcher_->Connect(item, [this] { ActRefreshAllExecute(); });
    vTreeView_->OnDropFiles = [this](const std::vector<std::string>& names) {
        dispatcher_->Run([this, names] { DropFilesOnTree(names); });
    };
    vListView_->OnDoubleClick = [this](const TViewObject&) { dispatcher_->Run([this] { VListViewDblClick(); }); };
    vListView_->installEventFilter(this);
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched != vListView_ || event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Backspace:
            A(TActionId::ActParentNode)->trigger();
            return true;
        case Qt::Key_Right:
            dispatcher_->Run([this] { VListViewDblClick(); });
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (A(TActionId::ActPlayGame)->isEnabled()) A(TActionId::ActPlayGame)->trigger();
            return true;
        default:
            return false;
    }
}

void TMainFrm::WireViews() {
    TRomsBd& roms = controller_->RomsBd();
    TFilesBd& files = controller_->FilesBd();
    for (TChildCollector* view : {static_cast<TChildCollector*>(vTreeView_), static_cast<TChildCollector*>(vListView_)}) {
        view->RomsBd = &roms;
        view->FilesBd = &files;
    }
    // No row may outlive the file or rom file it shows.
    files.OnRemoveFile = [this](TFile* file) {
        vTreeView_->RemoveFile(file);
        vListView_->RemoveFile(file);
    };
    files.OnRemoveRomFile = [this](TRomFile* romFile) { vListView_->RemoveRomFile(romFile); };
    // During a command the views gather the removals and prune once, before the end of
    // the command frees the objects.
    files.OnCommandEnd = [this] { vTreeView_->ApplyRemovals(); };
}

void TMainFrm::SetSaveFilePrompt(std::unique_ptr<ISaveFilePrompt> prompt) { savePrompt_ = std::move(prompt); }

TCommandObject TMainFrm::ListFocusedObject() const { return CommandObjectOf(vListView_->GetFocusedObject()); }
TCommandObject TMainFrm::TreeFocusedObject() const { return CommandObjectOf(vTreeView_->GetFocusedObject()); }

void TMainFrm::ProgressStartFor(const std::string& waitText, bool showCancel) {
    progressFrm_->Reset();
    progressFrm_->SetWaitString(waitText);
    progressFrm_->SetShowCancelButton(showCancel);
    progressFrm_->SetPosition(0);
    progressFrm_->Start(this);
}

std::string TMainFrm::ChooseFolderDialog(const std::string& caption, const std::string& startFolder) {
    if (ChooseFolder) return ChooseFolder(caption, startFolder);
    const QString folder = QFileDialog::getExistingDirectory(this, ui::ToQ(caption), ui::ToQ(startFolder));
    return folder.isEmpty() ? std::string() : ui::FromQ(folder);
}

// ---- Rom paths ------------------------------------------------------------------

TRomPathCommands& TMainFrm::PathCommands() {
    TRomPaths& paths = Config->Emulator->RomPaths();
    // A datafile switch replaces the emulator's list: the commands follow it.
    if (!pathCommands_ || pathCommandsFor_ != &paths) {
        pathCommands_ = std::make_unique<TRomPathCommands>(controller_->FilesBd(), controller_->RomsBd(), paths);
        pathCommandsFor_ = &paths;
        TRomPathCommands& c = *pathCommands_;
        // The folder dialog's start outlives a datafile switch.
        c.SetStartFolderStore(&folderDialogStart_);
        c.ChooseFolder = [this](const std::string& caption, const std::string& start) {
            return ChooseFolderDialog(caption, start);
        };
        c.OpenFolder = [this](const std::string& folder) {
            if (OpenUrl) OpenUrl(QUrl::fromLocalFile(ui::ToQ(folder)).toString().toStdString());
        };
        c.AddRomPath = [this](const std::string& path, const std::string& volume, const std::string& serial) {
            return controller_->AddRomPath(path, volume, serial);
        };
        c.OnProgressStart = [this](const std::string& text, bool cancel) { ProgressStartFor(text, cancel); };
        c.OnProgressStop = [this] { progressFrm_->Stop(); };
        c.OnApplyFilters = [this] { ApplyFilters(); };
        c.OnRebuildTree = [this] { RebuildTree(true); };
        c.OnUpdateStatusCounters = [this] { UpdateStatus(); };
        c.OnRefreshScan = [this] { RefreshScan(); };
        c.OnUpdateActions = [this] { UpdateActions(); };
        c.OnReloadLists = [this] {
            controller_->LoadDatafilesList();
            BuildMenus();
        };
        c.OnClearFixFullPath = [this] {
            if (fixPipeline_) fixPipeline_->FixFullPath = false;
        };
    }
    return *pathCommands_;
}

TRomPathCommands::TFocus TMainFrm::TreeFocus() const {
    TRomPathCommands::TFocus focus;
    if (IsNilObject(vTreeView_->GetFocusedObject())) return focus;
    focus.Path = vTreeView_->GetFocusedPath();
    focus.Kind = focus.Path ? TRomPathCommands::TFocusKind::fkPath : TRomPathCommands::TFocusKind::fkDatabase;
    return focus;
}

void TMainFrm::ActAddPathExecute() { PathCommands().AddPathByDialog(); }
void TMainFrm::ActRemovePathExecute() { PathCommands().RemovePath(vTreeView_->GetFocusedPath()); }
void TMainFrm::ActOpenPathExecute() { PathCommands().OpenPath(vTreeView_->GetFocusedPath()); }
void TMainFrm::ActRefreshExecute() { PathCommands().RefreshPath(TreeFocus(), false); }
void TMainFrm::ActRebuildExecute() { PathCommands().RefreshPath(TreeFocus(), true); }
void TMainFrm::ActRefreshAllExecute() { PathCommands().RefreshAllPaths(false); }
void TMainFrm::ActRebuildAllExecute() { PathCommands().RefreshAllPaths(true); }
void TMainFrm::DropFilesOnTree(const std::vector<std::string>& names) { PathCommands().DropFolders(names); }

// ---- The fix --------------------------------------------------------------------

void TMainFrm::ActFixGameExecute() {
    fixPipeline_ = std::make_unique<TFixPipeline>(controller_->RomsBd(), controller_->FilesBd(),
                                                  TFixSwitches::FromEmulator(*Config->Emulator),
                                                  Config->GetArchivePath());
    TFixPipeline& fix = *fixPipeline_;
    fix.OnLog = [this](const std::string& line) { controller_->LogLine(line); };
    fix.OnCheckPathsModified = [this] { return PathCommands().CheckPathsModified(); };
    fix.OnRebuildTree = [this] { RebuildTree(true); };
    fix.OnUpdateCounters = [this] { UpdateStatus(); };
    fix.OnScrollToSelection = [this] { ScrollTreeToSelection(); };
    fix.Progress = RepairProgress();

    const TCommandSelection views = SelectionFromViews(*vListView_, *vTreeView_);
    TFixSelection selection;
    selection.listRoms = views.listRoms;
    selection.listFiles = views.listFiles;
    selection.treeRoms = views.treeRoms;
    selection.treeFiles = views.treeFiles;
    selection.focusedIsPath = ObjectAs<TPathObject>(vTreeView_->GetFocusedObject()) != nullptr;
    selection.listSelectionEmpty = views.listEmpty;
    fix.Run(selection);
    UpdateActions();
}

TFixProgress TMainFrm::RepairProgress() {
    TFixProgress progress;
    progress.SetWaitString = [this](const std::string& text) { progressFrm_->SetWaitString(text); };
    progress.SetPosition = [this](int position) { progressFrm_->SetPosition(position); };
    progress.SetMax = [this](int maximum) { progressFrm_->SetMax(maximum); };
    progress.SetShowCancelButton = [this](bool show) { progressFrm_->SetShowCancelButton(show); };
    progress.Start = [this] { progressFrm_->Start(this); };
    progress.StepIt = [this] { progressFrm_->StepIt(); };
    progress.Stop = [this] { progressFrm_->Stop(); };
    return progress;
}

void TMainFrm::ScrollTreeToSelection() {
    const QModelIndex index = vTreeView_->FirstSelected();
    if (index.isValid()) vTreeView_->scrollTo(index);
}

// ---- Single steps and file commands ----------------------------------------------

TFileCommands& TMainFrm::FileCommands() {
    if (fileCommands_) return *fileCommands_;
    fileCommands_ = std::make_unique<TFileCommands>(controller_->RomsBd(), controller_->FilesBd());
    TFileCommands& c = *fileCommands_;
    c.ArchivePath = [] { return Config->GetArchivePath(); };
    c.ChooseFolder = [this](const std::string& caption, const std::string& start) {
        return ChooseFolderDialog(caption, start);
    };
    c.AskChangeCase = [this] { return changeCaseForm_ ? changeCaseForm_->Ask() : TChangeCaseResult(); };
    c.OnCheckPathsModified = [this] { return PathCommands().CheckPathsModified(); };
    c.OnLog = [this](const std::string& line) { controller_->LogLine(line); };
    c.OnRebuildTree = [this] { RebuildTree(true); };
    c.OnUpdateCounters = [this] { UpdateStatus(); };
    c.OnUpdateActions = [this] { UpdateActions(); };
    c.OnScrollToSelection = [this] { ScrollTreeToSelection(); };
    c.Progress = RepairProgress();
    c.OnSuspendListChange = [this, saved = std::function<void()>()](bool off) mutable {
        if (off) {
            saved = vListView_->OnSelectionChange;
            vListView_->OnSelectionChange = nullptr;
        } else {
            vListView_->OnSelectionChange = saved;
        }
    };
    return c;
}

void TMainFrm::RunFixStepExecute(int mode) {
    FileCommands().RunFixStep(mode, SelectionFromViews(*vListView_, *vTreeView_));
    UpdateActions();
}

void TMainFrm::RunShellOperationExecute(int mode) {
    FileCommands().RunShellOperation(mode, siBoth, SelectionFromViews(*vListView_, *vTreeView_));
    UpdateActions();
}

void TMainFrm::ActChangeCaseExecute() {
    FileCommands().ActChangeCaseExecute(SelectionFromViews(*vListView_, *vTreeView_));
    UpdateActions();
}

void TMainFrm::ActTestFilesExecute() {
    FileCommands().ActTestFilesExecute(SelectionFromViews(*vListView_, *vTreeView_));
    UpdateActions();
}

// ---- Reports and exports --------------------------------------------------------

namespace {

TReportScope ScopeOf(TQMVirtualTreeView& tree, const TSubListMenu& subLists) {
    TReportScope scope;
    TCloneItems clones;
    tree.ListClones(clones, "");
    scope.ListedClones.reserve(clones.size());
    for (const auto& item : clones) scope.ListedClones.push_back(item.second);
    scope.RomCount = tree.GetRomCount();
    scope.CloneCount = tree.GetCloneCount();
    scope.SubListFileName = Config->SubListFileName;
    scope.AllExcept = subLists.AllExcept();
    return scope;
}

}  // namespace

void TMainFrm::RunReport(void (TReportWriter::*report)(const TReportScope&)) {
    TReportWriter writer(controller_->RomsBd(), controller_->FilesBd(), *savePrompt_, OpenRefName());
    (writer.*report)(ScopeOf(*vTreeView_, *subLists_));
}

void TMainFrm::ActMissExecute() { RunReport(&TReportWriter::ActMiss); }
void TMainFrm::ActHaveExecute() { RunReport(&TReportWriter::ActHave); }
void TMainFrm::ActMissRomsExecute() { RunReport(&TReportWriter::ActMissRoms); }
void TMainFrm::ActMissCrcExecute() { RunReport(&TReportWriter::ActMissCrc); }

namespace {

struct TExportRun {
    TCalculatorPlugInSource<TSignatureCalculator> plugIns;
    TDatafileExporter exporter;
    // A datafile written into the datafile folder shows in the datafile box afterwards.
    TExportRun(TAppController& controller, ISaveFilePrompt& prompt)
        : plugIns(controller.SignatureCalculator()),
          exporter(controller.RomsBd(), prompt, &controller.ArchiveManager(), &plugIns) {
        exporter.RefName = OpenRefName();
        if (const TDataFile* dataFile = OpenDataFile()) exporter.DatafileName = dataFile->GetName();
        exporter.DatafilePath = Config->GetDatafilePath();
        exporter.OnFinished = [&controller] { controller.LoadDatafilesList(); };
    }
};

}  // namespace

void TMainFrm::ActCreateDatExecute() {
    TViewObjects objects;
    vListView_->GetSelectedObjects(objects);
    std::vector<TCommandObject> selected;
    selected.reserve(objects.size());
    for (const TViewObject& object : objects) selected.push_back(CommandObjectOf(object));
    TExportRun run(*controller_, *savePrompt_);
    run.exporter.ActCreateDat(ExportLayoutOf(vListView_->Layout()), selected);
}

void TMainFrm::ActCreateMissDatExecute() {
    TExportRun run(*controller_, *savePrompt_);
    run.exporter.ActCreateMissDat();
}

void TMainFrm::ActCreateHaveDatExecute() {
    TExportRun run(*controller_, *savePrompt_);
    run.exporter.ActCreateHaveDat();
}

// ---- The game -------------------------------------------------------------------

void TMainFrm::ActPlayGameExecute() {
    TQtLaunchWindow window(this);
    TGameLauncher(*Config->Emulator, &window).ActPlayGame(ListFocusedObject(), TreeFocusedObject());
}

void TMainFrm::ActGameInfoExecute() {
    TGamePages pages(controller_->XmlConfigParser().Infos);
    pages.OpenUrl = [this](const std::string& url) {
        if (!OpenUrl) return false;
        OpenUrl(url);
        return true;
    };
    const TDataFile* dataFile = OpenDataFile();
    const std::string version = dataFile ? dataFile->EmuVersion : "";
    pages.ActGameInfo(ListFocusedObject(), TreeFocusedObject(), CheckedGameInfoPage(*GamePropertiesMenu()), version);
}

// ---- Navigation -----------------------------------------------------------------

void TMainFrm::ActParentNodeExecute() {
    const std::string remembered = vTreeView_->SelectedString();
    const QModelIndex index = vTreeView_->FirstSelected();
    if (!index.isValid() || !index.parent().isValid()) return;
    vTreeView_->setCurrentIndex(index.parent());
    // The list now shows the parent's children, with the former item selected.
    vListView_->SetSelectedString(remembered);
}

void TMainFrm::VListViewDblClick() {
    const TViewObject object = vListView_->GetFocusedObject();
    if (IsNilObject(object) || ObjectAs<TCloneRom>(object) || ObjectAs<TRomFile>(object)) return;
    vTreeView_->FocusObject(object);
}

}  // namespace qm
