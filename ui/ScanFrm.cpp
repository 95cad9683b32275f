#include "ui/ScanFrm.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "catalogue/config.h"
#include "platform/Text.h"
#include "ui/ActionDispatcher.h"
#include "ui/RomPathCommands.h"
#include "ui/SkinLoader.h"
#include "ui/commands/TextConv.h"
#include "ui/WindowPlace.h"

namespace qm {

namespace {


// The settings key of the scan window's tool bar layout, in the program's own section.
constexpr const char* kToolBarsKey = "ScanToolBars";

// Images of the tool icon strip.
constexpr int kImageRefresh = 1;
constexpr int kImageShowNewRom = 7;
constexpr int kImageMove = 8;
constexpr int kImageCopy = 9;
constexpr int kImageClear = 11;
constexpr int kImageSort = 12;

TScanSettings SettingsFromConfig() {
    TScanSettings settings;
    if (!Config) return settings;
    settings.CacheFolder = Config->GetCachePath() + "scan/";
    settings.TempDir = Config->GetPrivateTempPath();
    settings.CompressionLevel = Config->CompLevel();
    return settings;
}

}  // namespace

TScanFrm::TScanFrm(TRomsBd& romsBd, TSignatureCalculator& calculator, TArchiveManager& archiveManager,
                   TFilesBd& mainFilesBd, TActionDispatcher* dispatcher)
    : QMainWindow(nullptr),
      ownDispatcher_(dispatcher ? nullptr : std::make_unique<TActionDispatcher>()),
      dispatcher_(dispatcher ? dispatcher : ownDispatcher_.get()),
      defaultFlags_(DefaultFlagList()),
      toolIcons_(DefaultToolsIconsList()),
      flags_(&defaultFlags_) {
    setObjectName("ScanFrm");
    setWindowTitle(ui::ToQ(_("Quarmelle scanner")));
    setAcceptDrops(true);

    scanTreeView_ = new QTreeWidget(this);
    scanTreeView_->setObjectName("ScanTreeView");
    scanTreeView_->setHeaderHidden(true);
    scanTreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    scanTreeView_->setContextMenuPolicy(Qt::CustomContextMenu);
    // The drops belong to the window, wherever they land.
    scanTreeView_->setAcceptDrops(false);
    setCentralWidget(scanTreeView_);

    CreateActions();
    CreateMenus();
    CreateStatusBar();
    resize(520, 420);

    session_ = std::make_unique<TScanSession>(romsBd, calculator, archiveManager, mainFilesBd,
                                              static_cast<IScanView&>(*this),
                                              SettingsFromConfig());
    session_->OnRebuildMainTree = [this] {
        if (OnRebuildMainTree) OnRebuildMainTree();
    };
    session_->OnUpdateMainStatus = [this] {
        if (OnUpdateMainStatus) OnUpdateMainStatus();
    };
    session_->OnLog = [this](const std::string& line) {
        if (OnLog) OnLog(line);
    };

    if (Config) {
        RestoreToolBars();
        TWidgetPlace place(this);
        Config->LoadScanFormPosition(&place);
    }
    RefreshScan();
}

TScanFrm::~TScanFrm() {
    if (Config) SaveToolBars();
    session_.reset();
}

void TScanFrm::SaveToolBars() {
    Config->WriteString(Config->Section, kToolBarsKey, saveState().toBase64().toStdString());
}

void TScanFrm::RestoreToolBars() {
    const std::string state = Config->ReadString(Config->Section, kToolBarsKey, "");
    if (!state.empty()) restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)));
}

QAction* TScanFrm::NewAction(const std::string& name, const std::string& caption, const std::string& hint,
                             int image) {
    auto* action = new QAction(ui::ToQ(caption), this);
    action->setObjectName(ui::ToQ(name));
    action->setToolTip(ui::ToQ(hint));
    action->setStatusTip(ui::ToQ(hint));
    if (image >= 0) action->setIcon(toolIcons_.At(image));
    return action;
}

void TScanFrm::Run(const std::function<void()>& command) { dispatcher_->Run(command); }

void TScanFrm::CreateActions() {
    actClose_ = NewAction("ActClose", _("&Close"), _("Close scan window"), -1);
    actClose_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(actClose_, &QAction::triggered, this, [this] { close(); });

    actClear_ = NewAction("ActClear", _("C&lear"), _("Clear the window"), kImageClear);
    dispatcher_->Connect(actClear_, [this] { session_->Clear(); });

    actRefresh_ = NewAction("ActRefresh", _("&Refresh"), _("Refresh list"), kImageRefresh);
    actRefresh_->setShortcut(QKeySequence(Qt::Key_F5));
    dispatcher_->Connect(actRefresh_, [this] { session_->RefreshScan(); });

    actShowNewRom_ = NewAction("ActShowNewRom", _("Show &New Rom"), _("Only display new roms"), kImageShowNewRom);
    actShowNewRom_->setCheckable(true);
    dispatcher_->Connect(actShowNewRom_, [this] { session_->SetShowNewRom(actShowNewRom_->isChecked()); });

    actSort_ = NewAction("ActSort", _("&Sort list"), _("Sort the list"), kImageSort);
    dispatcher_->Connect(actSort_, [this] { session_->Sort(); });

    actCopyRom_ = NewAction("ActCopyRom", _("Co&py ..."), _("Copy roms"), kImageCopy);
    actMoveRom_ = NewAction("ActMoveRom", _("&Move ..."), _("Move roms"), kImageMove);

    actHelp_ = new QAction(this);
    actHelp_->setShortcut(QKeySequence::HelpContents);
    connect(actHelp_, &QAction::triggered, this, [this] {
        if (OnHelp) OnHelp(kHelpContext);
    });
    addAction(actHelp_);
    addAction(actClose_);
    addAction(actRefresh_);
}

void TScanFrm::CreateMenus() {
    const auto submenu = [this](const char* name, QAction* action) {
        auto* menu = new QMenu(action->text(), this);
        menu->setObjectName(name);
        menu->menuAction()->setIcon(action->icon());
        menu->menuAction()->setToolTip(action->toolTip());
        return menu;
    };
    copyFileMainMenu_ = submenu("CopyFileMainMenu", actCopyRom_);
    moveFileMainMenu_ = submenu("MoveFileMainMenu", actMoveRom_);
    copyFileContextMenu_ = submenu("CopyFileContextMenu", actCopyRom_);
    moveFileContextMenu_ = submenu("MoveFileContextMenu", actMoveRom_);

    menuBar()->setObjectName("ScanMenu");
    QMenu* files = menuBar()->addMenu(ui::ToQ(_("Files")));
    files->addAction(actClear_);
    files->addMenu(copyFileMainMenu_);
    files->addMenu(moveFileMainMenu_);
    files->addAction(actRefresh_);
    files->addAction(actSort_);
    files->addAction(actShowNewRom_);
    files->addSeparator();
    files->addAction(actClose_);

    toolBar_ = addToolBar(ui::ToQ(_("Scan toolbar")));
    toolBar_->setObjectName("ScanToolbar");
    toolBar_->addAction(actClear_);
    const auto menuButton = [this](const char* name, QAction* action, QMenu* menu) {
        auto* button = new QToolButton(toolBar_);
        button->setObjectName(name);
        button->setIcon(action->icon());
        button->setText(action->text());
        button->setToolTip(action->toolTip());
        button->setMenu(menu);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        // The button's own part offers the same rom paths as its arrow.
        connect(button, &QToolButton::clicked, button, &QToolButton::showMenu);
        toolBar_->addWidget(button);
        return button;
    };
    moveRomBtn_ = menuButton("MoveRomBtn", actMoveRom_, moveFileMainMenu_);
    copyRomBtn_ = menuButton("CopyRomBtn", actCopyRom_, copyFileMainMenu_);
    toolBar_->addAction(actRefresh_);
    toolBar_->addAction(actSort_);
    toolBar_->addSeparator();
    toolBar_->addAction(actShowNewRom_);

    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName("ContextMenu");
    contextMenu_->addAction(actClear_);
    contextMenu_->addAction(actRefresh_);
    contextMenu_->addMenu(copyFileContextMenu_);
    contextMenu_->addMenu(moveFileContextMenu_);
    contextMenu_->addSeparator();
    contextMenu_->addAction(actClose_);
    connect(scanTreeView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        // A right click selects the node under it first.
        if (QTreeWidgetItem* item = scanTreeView_->itemAt(pos)) scanTreeView_->setCurrentItem(item);
        contextMenu_->popup(scanTreeView_->viewport()->mapToGlobal(pos));
    });
}

void TScanFrm::CreateStatusBar() {
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QString("StatusPanel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        panels_.push_back(panel);
    }
    gauge_ = new QProgressBar(this);
    gauge_->setObjectName("Gauge");
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setFixedWidth(100);
    gauge_->setTextVisible(false);
    statusBar()->addWidget(panels_[0]);
    statusBar()->addWidget(gauge_);
    statusBar()->addWidget(panels_[1], 1);
    statusBar()->addPermanentWidget(panels_[2]);
}

QLabel* TScanFrm::StatusPanel(int index) const { return panels_.at(static_cast<size_t>(index)); }

void TScanFrm::SetImages(const TImageList* flags) {
    flags_ = flags ? flags : &defaultFlags_;
    session_->RebuildTree();
}

void TScanFrm::RefreshScan() {
    // Not through the dispatcher: the main window asks while its own command runs.
    try {
        session_->RefreshScan();
    } catch (const std::exception& e) {
        TActionDispatcher::ShowError(e.what());
    }
}

void TScanFrm::handleDropped(const QStringList& names) {
    std::vector<std::string> list;
    list.reserve(static_cast<size_t>(names.size()));
    for (const QString& name : names) list.push_back(ui::FromQ(name));
    Run([this, &list] { session_->Drop(list); });
}

void TScanFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Shown by the program (the main window's command that opens it runs through the
    // dispatcher, so this does not), not given back by the window system (un-minimised).
    if (!event->spontaneous()) RefreshScan();
}

void TScanFrm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void TScanFrm::dropEvent(QDropEvent* event) {
    const std::vector<std::string> names = DroppedFileNames(*event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QStringList list;
    for (const std::string& name : names)
        if (!name.empty()) list.append(ui::ToQ(name));
    handleDropped(list);
}

// ---- IScanView --------------------------------------------------------------------------

void TScanFrm::SetCountText(const std::string& text) { panels_[0]->setText(ui::ToQ(text)); }
void TScanFrm::SetHandlingText(const std::string& text) { panels_[1]->setText(ui::ToQ(text)); }
void TScanFrm::SetGauge(int percent) { gauge_->setValue(percent); }
void TScanFrm::SetDatafileText(const std::string& text) { panels_[2]->setText(ui::ToQ(text)); }

void TScanFrm::SuspendTreeUpdates(bool suspended) {
    suspendDepth_ += suspended ? 1 : -1;
    if (suspendDepth_ < 0) suspendDepth_ = 0;
    scanTreeView_->setUpdatesEnabled(suspendDepth_ == 0);
}

namespace {

QTreeWidgetItem* NewItem(const TScanNode& node, const TImageList& flags) {
    auto* item = new QTreeWidgetItem({ui::ToQ(node.Text)});
    if (node.ImageIndex >= 0) item->setIcon(0, QIcon(flags.At(node.ImageIndex)));
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(node.Children.size()));
    for (const TScanNode& child : node.Children) children.append(NewItem(child, flags));
    item->addChildren(children);
    return item;
}

}  // namespace

void TScanFrm::ShowTree(const std::vector<TScanNode>& nodes) {
    scanTreeView_->clear();
    AppendNodes(nodes);
}

void TScanFrm::AppendNodes(const std::vector<TScanNode>& nodes) {
    // In one batch: a drop of thousands of files inserts them at once.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(nodes.size()));
    for (const TScanNode& node : nodes) items.append(NewItem(node, *flags_));
    scanTreeView_->addTopLevelItems(items);
}

void TScanFrm::SetPathMenus(const std::vector<std::string>& pathTexts) {
    for (QMenu* menu : {copyFileMainMenu_, moveFileMainMenu_, copyFileContextMenu_, moveFileContextMenu_})
        menu->clear();
    // Later: the action that started a copy is still delivering its trigger.
    for (QAction* action : pathActions_) action->deleteLater();
    pathActions_.clear();
    for (const std::string& text : pathTexts) {
        auto* copy = new QAction(ui::ToQ(text), this);
        auto* move = new QAction(ui::ToQ(text), this);
        copy->setObjectName("CopyPath");
        move->setObjectName("MovePath");
        dispatcher_->Connect(copy, [this, text] { session_->CopyMoveRoms(text, false); });
        dispatcher_->Connect(move, [this, text] { session_->CopyMoveRoms(text, true); });
        copyFileMainMenu_->addAction(copy);
        copyFileContextMenu_->addAction(copy);
        moveFileMainMenu_->addAction(move);
        moveFileContextMenu_->addAction(move);
        pathActions_.push_back(copy);
        pathActions_.push_back(move);
    }
}

void TScanFrm::SetCopyMoveEnabled(bool enabled) {
    actCopyRom_->setEnabled(enabled);
    actMoveRom_->setEnabled(enabled);
    for (QMenu* menu : {copyFileMainMenu_, moveFileMainMenu_, copyFileContextMenu_, moveFileContextMenu_})
        menu->menuAction()->setEnabled(enabled);
    copyRomBtn_->setEnabled(enabled);
    moveRomBtn_->setEnabled(enabled);
}

void TScanFrm::SetWindowEnabled(bool enabled) {
    // The window itself stays enabled: the boxes of a copy are parented to it, and a
    // dialog of a disabled window could not be answered.
    scanTreeView_->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
    toolBar_->setEnabled(enabled);
}

}  // namespace qm
