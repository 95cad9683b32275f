#include "ui/Main.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "catalogue/config.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "filesdb/RomFileStatus.h"
#include "ui/About.h"
#include "ui/commands/HelpPages.h"
#include "ui/ProgressFrm.h"
#include "ui/SkinLoader.h"
#include "ui/SplashFrm.h"
#include "ui/QtUiHooks.h"
#include "ui/commands/TextConv.h"
#include "ui/WindowPlace.h"
#include "ui/commands/OptionsModel.h"
#include "ui/ViewActionStates.h"
#include "ui/commands/FileCommands.h"
#include "ui/ListSelection.h"
#include "ui/MainStatusBar.h"
#include "ui/ScanFrm.h"
#include "ui/SubListMenu.h"
#include "ui/NameFilterBox.h"
#include "ui/commands/FixPipeline.h"
#include "ui/GameInfoMenu.h"
#include "ui/datafilefrm.h"
#include "ui/optionsfrm.h"
#include "ui/skin.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm {

namespace {

// The settings key of the tool bars' layout, in the program's own section.
constexpr const char* kToolBarsKey = "ToolBars";

}  // namespace

TMainFrm::TMainFrm(TSplashForm* splash)
    : splash_(splash),
      dispatcher_(std::make_unique<TActionDispatcher>()),
      progressFrm_(std::make_unique<TProgressFrm>()),
      flagList_(DefaultFlagList()),
      toolsIconsList_(DefaultToolsIconsList()) {
    setObjectName("MainFrm");
    setWindowTitle("Quarmelle");
    controller_ = std::make_unique<TAppController>(*this);
    progressFrm_->SetOnCancel([this] { controller_->ProgressFrmCancel(); });
    if (splash_) splash_->OnSkip = [this] { controller_->CancelLoading(); };
    dispatcher_->OnBeforeCommand = [this] { statusBar()->clearMessage(); };
    dispatcher_->OnIdle = [this] {
        if (quitPending_) ActQuitExecute();
    };
    OpenUrl = [](const std::string& url) { OpenWithDesktop(url); };

    savePrompt_ = std::make_unique<TQtSaveFilePrompt>(this);
    CreateActions();
    CreateViews();
    ConnectCommands();
    skinForm_ = std::make_unique<TSkinForm>();
    resize(900, 600);
}

TMainFrm::~TMainFrm() {
    FormDestroy();
    // The views hold pointers into the databases the controller frees.
    if (vTreeView_) vTreeView_->Clear();
    if (vListView_) vListView_->Clear();
    // The datafile manager uses the controller's archive manager: it goes first, and
    // its close no longer reaches this window.
    if (datafileForm_) {
        datafileForm_->OnClosed = nullptr;
        datafileForm_->OnDatafilesChanged = nullptr;
        delete datafileForm_;
        datafileForm_ = nullptr;
    }
    if (splash_) delete splash_;
}

void TMainFrm::CreateActions() {
    using enum TActionId;
    actAbout_ = new QAction(ui::ToQ(_("&About")), this);
    actAbout_->setObjectName("About2");
    dispatcher_->Connect(actAbout_, [this] { About2Click(); });
    actContents_ = new QAction(ui::ToQ(_("&Content")), this);
    actContents_->setObjectName("Content1");
    actContents_->setShortcut(QKeySequence::HelpContents);
    dispatcher_->Connect(actContents_, [this] { ShowHelp(kHelpContents); });

    datafilesCombo_ = new QComboBox;
    datafilesCombo_->setObjectName("DatafilesCombo");
    datafilesCombo_->setMinimumContentsLength(24);
    datafilesCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // Only a choice of the user loads a datafile: activated is not emitted for
    // selections made from code. A choice while busy is dropped and the box shows the
    // loaded datafile again.
    connect(datafilesCombo_, &QComboBox::activated, this, [this](int) {
        const bool ran = dispatcher_->Run([this] { controller_->DatafilesComboChange(); });
        if (!ran) {
            const std::string current = controller_->CurrentDatafileName();
            int index = -1;
            const auto& items = controller_->DatafileItems();
            for (size_t i = 0; i < items.size(); ++i)
                if (SameText(items[i].Text, current)) index = static_cast<int>(i);
            SelectDatafile(index);
        }
    });

    actions_ = std::make_unique<TMainActions>(this);
    actions_->Build(this, datafilesCombo_, actContents_, actAbout_);
    A(ActConfiguration)->setEnabled(false);  // until the dialog exists

    dispatcher_->Connect(A(ActQuit), [this] { ActQuitExecute(); });
    dispatcher_->Connect(A(ActScan), [this] { ActScanExecute(); });
    dispatcher_->Connect(A(ActConfiguration), [this] { ActOptionsExecute(); });
    // Not a command itself: showing the manager fills its list through the dispatcher.
    connect(A(ActDatafileManager), &QAction::triggered, this, [this] {
        if (!datafileForm_ || dispatcher_->Busy()) return;
        datafileForm_->show();
        datafileForm_->raise();
    });
    for (TActionId id : {ActTVGood, ActTVBadName, ActTVIncomplete, ActTVUnknown, ActTVMissing})
        dispatcher_->Connect(A(id), [this, id] {
            if (TVFilterClick(*actions_, id, *Config, *vTreeView_)) RebuildTree(true);
        });
    for (TActionId id : {ActDBPlayable, ActDBMissing, ActDBIncomplete, ActDBClones, ActDBSets})
        dispatcher_->Connect(A(id), [this, id] {
            if (!DBFilterClick(*actions_, id, *Config, *vTreeView_)) return;
            RebuildTree(true);
            UpdateStatusCounters();
            ShowDatabaseInfo();
        });
    dispatcher_->Connect(A(ActSelectMain), [this] { vListView_->SelectMainSets(); });
    dispatcher_->Connect(A(ActSelectClones), [this] { vListView_->SelectClones(); });
    dispatcher_->Connect(A(ActSelectNgdk), [this] { vListView_->SelectNoGoodDump(); });
    dispatcher_->Connect(A(ActSelectAll), [this] { SelectAllRows(*vListView_); });
    dispatcher_->Connect(A(ActInvertSelection), [this] { InvertSelection(*vListView_); });

    subLists_ = std::make_unique<TSubListMenu>(*actions_);
    subLists_->OnNewAction = [this](QAction* action) {
        dispatcher_->Connect(action, [this, action] { SubListItemClick(action); });
    };
    for (TActionId id : {ActAll, ActAllExcept})
        dispatcher_->Connect(A(id), [this, action = A(id)] { SubListItemClick(action); });

    nameBox_ = new TNameFilterBox(actions_->NameFilterBox(), actions_->GoButton(), this);
    nameBox_->RunCommand = [this](const std::function<void()>& command) { return dispatcher_->Run(command); };
    nameBox_->OnApply = [this](const std::string& pattern) {
        vTreeView_->RegularExpression = pattern;
        vListView_->RegularExpression = pattern;
        RebuildTree(true);
    };
}

QAction* TMainFrm::A(TActionId id) const { return actions_->Action(id); }

QAction* TMainFrm::ActQuit() const { return A(TActionId::ActQuit); }
QAction* TMainFrm::ActDatafileManager() const { return A(TActionId::ActDatafileManager); }
QAction* TMainFrm::ActOptions() const { return A(TActionId::ActConfiguration); }
QMenu* TMainFrm::GamePropertiesMenu() const { return actions_->GamePropertiesMenu(); }

void TMainFrm::SubListItemClick(QAction* action) {
    TBusyCursor cursor;
    subLists_->Click(action);
    Config->SubListFileName = subLists_->AppliedFile();
    ApplySubList();
    RebuildTree(true);
    UpdateStatusCounters();
    ShowDatabaseInfo();
}

void TMainFrm::CreateViews() {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("Splitter1");
    vTreeView_ = new TQMVirtualTreeView;
    vTreeView_->setObjectName("VTreeView");
    vListView_ = new TQMVirtualListView;
    vListView_->setObjectName("VListView");
    status_ = std::make_unique<TMainStatusBar>(statusBar(), splitter_);
    // Each view with its own status line below it.
    for (auto [view, line] : {std::pair<QWidget*, QLabel*>{vTreeView_, status_->TreeViewStatus()},
                              std::pair<QWidget*, QLabel*>{vListView_, status_->ListViewStatus()}}) {
        auto* pane = new QWidget;
        auto* layout = new QVBoxLayout(pane);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        layout->addWidget(view, 1);
        layout->addWidget(line);
        // A long status text is cut, never a reason for the pane to widen.
        line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        splitter_->addWidget(pane);
    }
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 2);
    splitter_->setSizes({300, 600});
    setCentralWidget(splitter_);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(vTreeView_), static_cast<QAbstractItemView*>(vListView_)})
        view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(vTreeView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (dispatcher_->Busy()) return;
        UpdateActions();
        actions_->PopupMenuTV()->popup(vTreeView_->viewport()->mapToGlobal(at));
    });
    connect(vListView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (dispatcher_->Busy()) return;
        actions_->PopupMenuLV()->popup(vListView_->viewport()->mapToGlobal(at));
    });
    // Both views read every clone under its own name (split on) and merge roms as the
    // profile says (SetViewsMerged), whatever mode the rom database is in meanwhile.
    for (TChildCollector* view : {static_cast<TChildCollector*>(vTreeView_), static_cast<TChildCollector*>(vListView_)}) {
        view->SplitMergeMode = smManual;
        view->Split = true;
        view->Merged = false;
    }
    vTreeView_->SetImages(&flagList_, true);
    vListView_->SetImages(&flagList_, false);
    vTreeView_->ShownGames = &shownGames_;
    vTreeView_->ShownClones = &shownClones_;
    vListView_->ShownGames = &shownGames_;
    vListView_->ShownClones = &shownClones_;
    vTreeView_->SetQmVirtualListView(vListView_);
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    status_->SetGlyphs(flagList_);
    UpdateStatus();
}

void TMainFrm::FormCreate() {
    helpFolder_ = FindHelpFolder(Config->GetHomePath() + "help/", Config->ShippedFolder("help/"));
    controller_->Create(helpFolder_);
    WireViews();
    RestoreToolBars();
    datafileForm_ = new TDatafileForm(&controller_->ArchiveManager(), this);
    datafileForm_->setWindowFlag(Qt::Window);
    datafileForm_->RunCommand = [this](const std::function<void()>& command) { return dispatcher_->Run(command); };
    ConnectHelpKey(datafileForm_, kHelpDatafileManager);
    // What the manager changed in the datafile folder shows in the datafile box.
    auto refresh = [this] { dispatcher_->Run([this] { controller_->LoadDatafilesList(); }); };
    datafileForm_->OnClosed = refresh;
    datafileForm_->OnDatafilesChanged = refresh;
    skinForm_->SkinPath = Config->GetSkinPath();
    skinForm_->Target.FlagList = &flagList_;
    skinForm_->Target.ToolsIconsList = &toolsIconsList_;
    skinForm_->Target.SetMainMenuImages = [this](bool withImages) { actions_->SetMainMenuImages(this, withImages); };
    skinForm_->ApplySkin();
    actions_->SetImages(toolsIconsList_, flagList_);
    MakeOptionsIcons();
    scanFrm_ = std::make_unique<TScanFrm>(controller_->RomsBd(), controller_->SignatureCalculator(),
                                          controller_->ArchiveManager(), controller_->FilesBd(), dispatcher_.get());
    scanFrm_->SetImages(&flagList_);
    scanFrm_->OnRebuildMainTree = [this] { RebuildTree(true); };
    scanFrm_->OnUpdateMainStatus = [this] {
        UpdateStatus();
        UpdateActions();
    };
    scanFrm_->OnLog = [this](const std::string& line) { controller_->LogLine(line); };
    scanFrm_->OnHelp = [this](int context) { ShowHelp(context); };
    UpdateStatus();
    controller_->LoadAtStartUp();
}

void TMainFrm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (!Config) return;
    SaveColumnWidths();
    SaveToolBars();
    controller_->Shutdown();
}

void TMainFrm::SaveToolBars() {
    Config->WriteString(Config->Section, kToolBarsKey, saveState().toBase64().toStdString());
}

void TMainFrm::RestoreToolBars() {
    const std::string state = Config->ReadString(Config->Section, kToolBarsKey, "");
    if (!state.empty()) restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)));
}

void TMainFrm::ActQuitExecute() {
    quitPending_ = false;
    if (!quitting_) {
        TWidgetPlace main(this);
        TSplitterPlace split(splitter_);
        TWidgetPlace dat(datafileForm_);
        TWidgetPlace scan(scanFrm_.get());
        // A collapsed pane (or a window never laid out) keeps the width saved before.
        Config->SaveFormPositions(&main, split.Collapsed() ? nullptr : &split, datafileForm_ ? &dat : nullptr,
                                  scanFrm_ ? &scan : nullptr);
        quitting_ = true;
    }
    close();
    QCoreApplication::quit();
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        event->accept();
        return;
    }
    if (dispatcher_->Busy()) {
        // A close that arrives while an operation processes messages stops the
        // operation; the program ends once it has wound down.
        event->ignore();
        controller_->CancelLoading();
        quitPending_ = true;
        return;
    }
    event->ignore();
    ActQuitExecute();
}

void TMainFrm::ShowHelp(int context) {
    if (helpFolder_.empty()) {
        UiHooks().MessageDlg(_("Help file not found !"), TMsgDlgType::mtError, mbOK);
        return;
    }
    lastHelpUrl_ = QUrl::fromLocalFile(ui::ToQ(helpFolder_ + HelpPageName(context))).toString().toStdString();
    if (OpenUrl) OpenUrl(lastHelpUrl_);
}

void TMainFrm::SetOptionsForm(TFrmOptions* options) {
    frmOptions_ = options;
    ActOptions()->setEnabled(options != nullptr);
    if (!options) return;
    ConnectHelpKey(options, kHelpPreferences);
    options->SetIcons(&optionsIcons_);
}

void TMainFrm::MakeOptionsIcons() {
    // The preferences' four sections, in the skin's pictures: the archive folder (where
    // removed roms move to), the temporary folder (cleared), the compression (a zip) and
    // the set structure (the games database).
    optionsIcons_.Clear();
    optionsIcons_.Add(toolsIconsList_.At(8));
    optionsIcons_.Add(toolsIconsList_.At(11));
    optionsIcons_.Add(flagList_.At(kImageZipOffset + kImageGood));
    optionsIcons_.Add(flagList_.At(24));
}

void TMainFrm::ConnectHelpKey(QWidget* window, int context) {
    auto* key = new QShortcut(QKeySequence::HelpContents, window);
    key->setContext(Qt::WindowShortcut);
    connect(key, &QShortcut::activated, this, [this, context] { ShowHelp(context); });
}

void TMainFrm::ActOptionsExecute() {
    if (!frmOptions_) return;
    frmOptions_->FilesBd = &controller_->FilesBd();
    TOptionsTargets targets;
    targets.RomsBd = &controller_->RomsBd();
    targets.FilesBd = &controller_->FilesBd();
    targets.ArchiveManager = &controller_->ArchiveManager();
    targets.OnMergedChanged = [this](bool merged) { SetViewsMerged(merged); };
    targets.OnStatusBar = [this] { UpdateStatus(); };
    targets.OnRefresh = [this] {
        RefreshScan();
        RebuildTree(true);
        UpdateStatus();
    };
    if (ActConfigurationExecute(*frmOptions_, targets)) controller_->SetMergeBackupDir();
}

void TMainFrm::About2Click() {
    if (!aboutFrm_) return;
    aboutFrm_->Config = Config;
    aboutFrm_->PlugIn = &controller_->CrcPlugIn();
    aboutFrm_->exec();
}

// ---- IMainView ------------------------------------------------------------------

void TMainFrm::SetDatafileItems(const std::vector<std::string>& texts) {
    QSignalBlocker block(datafilesCombo_);
    datafilesCombo_->clear();
    for (const std::string& text : texts) datafilesCombo_->addItem(ui::ToQ(text));
    datafilesCombo_->setCurrentIndex(-1);
}

void TMainFrm::SelectDatafile(int index) {
    QSignalBlocker block(datafilesCombo_);
    datafilesCombo_->setCurrentIndex(index);
}

int TMainFrm::SelectedDatafile() const { return datafilesCombo_->currentIndex(); }

std::string TMainFrm::DatafileText() const {
    const int index = datafilesCombo_->currentIndex();
    const auto& items = controller_->DatafileItems();
    if (index < 0 || static_cast<size_t>(index) >= items.size()) return {};
    return items[static_cast<size_t>(index)].Text;
}

void TMainFrm::ProgressStart() { progressFrm_->Start(this); }
void TMainFrm::ProgressStop() { progressFrm_->Stop(); }
void TMainFrm::ProgressReset() { progressFrm_->Reset(); }
void TMainFrm::ProgressPosition(int value) { progressFrm_->SetPosition(value); }
void TMainFrm::ProgressWaitString(const std::string& text) { progressFrm_->SetWaitString(text); }

TInfosEvent TMainFrm::SplashInfos() {
    QPointer<TSplashForm> splash(splash_);
    return [splash](const std::string& text) {
        if (splash) splash->SetInfoText(text);
    };
}

TProgressEvent TMainFrm::SplashProgress() {
    QPointer<TSplashForm> splash(splash_);
    return [splash](int value) {
        if (splash) splash->SetProgress(value);
    };
}

void TMainFrm::SplashSetVersion(const std::string& text) {
    if (splash_) splash_->SetVersionText(text);
}

void TMainFrm::SplashEnableSkip() {
    if (splash_) splash_->EnableSkip();
}

void TMainFrm::FreeSplash() {
    delete splash_;
    splash_ = nullptr;
}

void TMainFrm::ClearTree() {
    vListView_->Clear();
    vTreeView_->Clear();
    // The catalogue is about to go: the scan window lets go of it too.
    if (scanFrm_) scanFrm_->ForgetCatalogue();
}

void TMainFrm::RebuildTree(bool keepFocus) {
    vTreeView_->Rebuild(keepFocus);
    // Every rebuild counts the games root again (a name filter, a fix, a refresh): the
    // status bar shows what it counted.
    UpdateStatusCounters();
    ShowDatabaseInfo();
    if (keepFocus && vTreeView_->FirstSelected().isValid()) return;
    vTreeView_->SetSelectedString(TQMVirtualTreeView::GamesRootText());
    const QModelIndex root = vTreeView_->FirstSelected();
    if (root.isValid()) vTreeView_->expand(root);
}

void TMainFrm::FocusTree() {
    if (isVisible()) vTreeView_->setFocus();
}

void TMainFrm::SetViewsMerged(bool merged) {
    vTreeView_->Merged = merged;
    vListView_->Merged = merged;
}

void TMainFrm::ResetSubListAndFilter() {
    subLists_->Reset();
    Config->SubListFileName.clear();
    ApplySubList();
    nameBox_->Reset();
}

void TMainFrm::ApplySubList() {
    qm::ApplySubList(&controller_->RomsBd(), Config->Emulator->Split(), subLists_->Names(), subLists_->AllExcept(),
                     shownGames_, shownClones_);
    vTreeView_->ResetRomCount();
}

void TMainFrm::CheckFilterActions() { qm::CheckFilterActions(*actions_, *Config); }

void TMainFrm::ApplyFilters() { qm::ApplyFilters(*actions_, *Config, *vTreeView_); }

void TMainFrm::BuildMenus() {
    // The sub-lists: a list that vanished from the folder is no longer applied.
    if (subLists_->Build(Config->GetSubListPath())) {
        Config->SubListFileName = subLists_->AppliedFile();
        ApplySubList();
        RebuildTree(true);
        UpdateStatusCounters();
        ShowDatabaseInfo();
    }
    QMenu& pages = *actions_->GamePropertiesMenu();
    QAction* gameInfo = A(TActionId::ActGameInfo);
    const TGameInfoMenu model = BuildGameInfoMenuModel(Config->DataFileOpen, controller_->XmlConfigParser().Infos,
                                                       Config->GetGameUrl());
    FillGameInfoMenu(pages, gameInfo, model, [this](int index) {
        TGamePages(controller_->XmlConfigParser().Infos).PickPage(*Config, index);
    });
    // The command itself heads its drop-down, above the pages.
    QAction* first = pages.actions().isEmpty() ? nullptr : pages.actions().first();
    pages.insertAction(first, gameInfo);
    if (first) pages.insertSeparator(first);
}

void TMainFrm::UpdateStatus() {
    UpdateStatusBar();
    UpdateStatusCounters();
    ShowDatabaseInfo();
}

void TMainFrm::UpdateStatusBar() { status_->SetTexts(StatusBarTexts(*vListView_, Config->Emulator.get())); }
void TMainFrm::UpdateStatusCounters() { status_->SetCounters(StatusCounterTexts(*vTreeView_)); }
void TMainFrm::ShowDatabaseInfo() { status_->SetDatabaseInfo(DatabaseInfoText(*vTreeView_)); }

void TMainFrm::VTreeViewChange(bool fromTree) {
    // The views are emptied once more as the window goes, maybe after the settings.
    if (!Config) return;
    const TDataFile* dataFile = Config->DataFileOpen ? Config->DataFile.get() : nullptr;
    status_->SetItemText(
        ItemStatusText(ItemTextSourceOf(fromTree, *vTreeView_, *vListView_, dataFile, Config->Emulator->Split())));
    UpdateStatusBar();
    UpdateActions();
}

void TMainFrm::UpdateActions() {
    ApplyActionStates(*actions_, ComputeActionStates(SelectionOfViews(datafilesCombo_->currentIndex() >= 0,
                                                                      vTreeView_, vListView_)));
}

void TMainFrm::RefreshScan() {
    if (scanFrm_) scanFrm_->RefreshScan();
}

void TMainFrm::ActScanExecute() {
    if (!scanFrm_) return;
    scanFrm_->show();
    scanFrm_->raise();
    scanFrm_->activateWindow();
}

void TMainFrm::SaveColumnWidths() {
    if (!vListView_->ColumnSection().empty()) vListView_->SaveColumnWidths();
}

void TMainFrm::LoadColumnWidths(const std::string& refName) { vListView_->LoadColumnWidths(refName); }

void TMainFrm::LoadFormPositions() {
    TWidgetPlace main(this);
    // A splitter has no width of its own before the window is laid out: the pane width
    // is kept here and given to it once the window is shown.
    TSplitPosition split;
    TWidgetPlace dat(datafileForm_);
    Config->LoadFormPositions(&main, &split, datafileForm_ ? &dat : nullptr);
    splitRestore_ = split.Position();
}

void TMainFrm::ShowMainWindow() {
    setWindowTitle(ui::ToQ(std::string("Quarmelle ") + kProgramVersion));
    show();
    if (splitRestore_ > 0) TSplitterPlace(splitter_).SetPosition(splitRestore_);
    splitRestore_ = 0;
    vTreeView_->setFocus();
}

}  // namespace qm
