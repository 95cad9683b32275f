#include "ui/datafilefrm.h"

#include <QAction>
#include <QApplication>
#include <QHideEvent>
#include <QShowEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/DatUtil.h"
#include "catalogue/config.h"
#include "catalogue/webreleases.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/DatafileFolder.h"
#include "ui/DatafileModels.h"
#include "ui/commands/MameDatBuilder.h"
#include "ui/MameDatDlg.h"
#include "ui/ProgressFrm.h"
#include "ui/commands/ReleaseView.h"
#include "ui/QtUiHooks.h"
#include "ui/commands/TextConv.h"

namespace qm {

using ui::FromQ;
using ui::ToQ;

std::string SiteHomePage(const std::string& listUrl) {
    const std::string url = AddHttpPrefix(listUrl);
    const size_t scheme = url.find("://");
    const size_t slash = url.find('/', scheme + 3);
    return slash == std::string::npos ? url + "/" : url.substr(0, slash + 1);
}

void SplitProxy(const std::string& server, std::string& host, int& port) {
    host = server;
    port = 0;
    const size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon + 1 == server.size()) return;
    const std::string digits = server.substr(colon + 1);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        digits.size() > 5)
        return;
    host = server.substr(0, colon);
    port = std::stoi(digits);
}

TDatafileForm::TDatafileForm(TArchiveManager* archives, QWidget* parent)
    : QDialog(parent), archives_(archives) {
    setWindowTitle(ToQ(_("Datafile manager")));
    setMinimumSize(467, 270);
    resize(560, 360);

    pageControl_ = new QTabWidget(this);
    tabLocal_ = new QWidget;
    tabWeb_ = new QWidget;
    pageControl_->addTab(tabLocal_, ToQ(_("&Local datafiles")));
    pageControl_->addTab(tabWeb_, ToQ(_("&Web datafiles")));
    statusBar_ = new QStatusBar(this);
    statusBar_->setSizeGripEnabled(false);

    // ---- Local tab ----
    localModel_ = new TLocalDatafileModel(this);
    localModel_->SetCaption(ToQ(_("Datafile name")));
    localModel_->SetIcon(QApplication::style()->standardIcon(QStyle::SP_FileIcon));
    localTree_ = new TSearchTreeView(tabLocal_);
    localTree_->setModel(localModel_);
    localTree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    localTree_->setSortingEnabled(true);
    localTree_->sortByColumn(0, Qt::AscendingOrder);

    actRefresh_ = new QAction(ToQ(_("&Refresh")), this);
    actRefresh_->setShortcut(QKeySequence(Qt::Key_F5));
    actAdd_ = new QAction(ToQ(_("&Add...")), this);
    actMameImport_ = new QAction(ToQ(_("&Mame import...")), this);
    actDeleteFile_ = new QAction(ToQ(_("&Delete")), this);
    actDeleteFile_->setShortcut(QKeySequence(Qt::Key_Delete));
    actDeleteFile_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    for (QAction* a : {actRefresh_, actAdd_, actMameImport_}) tabLocal_->addAction(a);
    localTree_->addAction(actDeleteFile_);
    connect(actRefresh_, &QAction::triggered, this, [this] { Run([this] { ActRefreshExecute(); }); });
    connect(actAdd_, &QAction::triggered, this, [this] { Run([this] { ActAddExecute(); }); });
    connect(actMameImport_, &QAction::triggered, this, [this] { Run([this] { ActMameImportExecute(); }); });
    connect(actDeleteFile_, &QAction::triggered, this, [this] { Run([this] { ActDeleteFileExecute(); }); });

    auto* localButtons = new QVBoxLayout;
    for (QAction* a : {actRefresh_, actAdd_, actMameImport_, actDeleteFile_}) {
        auto* button = new QPushButton(a->text(), tabLocal_);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, a, &QAction::trigger);
        localButtons->addWidget(button);
    }
    localButtons->addStretch(1);
    auto* localClose = new QPushButton(ToQ(_("&Close")), tabLocal_);
    localClose->setAutoDefault(false);
    connect(localClose, &QPushButton::clicked, this, &QDialog::close);
    localButtons->addWidget(localClose);
    auto* localLayout = new QHBoxLayout(tabLocal_);
    localLayout->addWidget(localTree_, 1);
    localLayout->addLayout(localButtons);

    // ---- Web tab ----
    releaseModel_ = new TReleaseModel(this);
    releaseTree_ = new TSearchTreeView(tabWeb_);
    releaseTree_->setModel(releaseModel_);
    releaseTree_->setItemDelegate(new TGridDelegate(releaseTree_));
    releaseTree_->setSelectionBehavior(QAbstractItemView::SelectRows);
    releaseTree_->setSortingEnabled(true);
    releaseTree_->sortByColumn(rcName, Qt::AscendingOrder);
    releaseTree_->header()->setStretchLastSection(true);
    folderCombo_ = new QComboBox(tabWeb_);
    folderCombo_->setMinimumWidth(140);
    refreshBtn_ = new QPushButton(ToQ(_("&Refresh")), tabWeb_);
    downloadBtn_ = new QPushButton(ToQ(_("&Download")), tabWeb_);
    auto* webClose = new QPushButton(ToQ(_("&Close")), tabWeb_);
    for (QPushButton* b : {refreshBtn_, downloadBtn_, webClose}) b->setAutoDefault(false);
    connect(folderCombo_, &QComboBox::activated, this, [this] { Run([this] { FolderComboClick(); }); });
    connect(refreshBtn_, &QPushButton::clicked, this, [this] { Run([this] { RefreshBtnClick(); }); });
    connect(downloadBtn_, &QPushButton::clicked, this, [this] { Run([this] { DownloadBtnClick(); }); });
    connect(webClose, &QPushButton::clicked, this, &QDialog::close);
    auto* webBar = new QHBoxLayout;
    webBar->addWidget(folderCombo_);
    webBar->addStretch(1);
    webBar->addWidget(refreshBtn_);
    webBar->addWidget(downloadBtn_);
    webBar->addWidget(webClose);
    auto* webLayout = new QVBoxLayout(tabWeb_);
    webLayout->addWidget(releaseTree_, 1);
    webLayout->addLayout(webBar);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(pageControl_, 1);
    layout->addWidget(statusBar_);
    connect(pageControl_, &QTabWidget::currentChanged, this,
            [this](int index) { Run([this, index] { PageControl1Change(index); }); });

    // ---- Progress window and web releases ----
    progressFrm_ = std::make_unique<TProgressFrm>();
    progressFrm_->SetTitle(_("Please wait..."));
    progressFrm_->SetWaitString(_("Processing..."));
    progressFrm_->SetCancelMessage(_("Cancelling. Please wait..."));
    progressFrm_->SetShowCancelButton(true);
    progressFrm_->SetShowProgressBar(true);
    progressFrm_->SetMin(0);
    progressFrm_->SetMax(100);

    webReleases_ = std::make_unique<TWebReleases>();
    if (Config) {
        webReleases_->ListFileName = Config->GetHomePath() + "quarmelle.inf";
        webReleases_->DownloadDir = Config->GetDatafilePath();
        std::string host;
        int port = 0;
        SplitProxy(Config->GetProxyServer(), host, port);
        webReleases_->SetProxy(host);
        webReleases_->SetProxyPort(port);
    }
    webReleases_->OnProgressText = [this](const std::string& text) { progressFrm_->SetWaitString(text); };
    webReleases_->OnProgressPosition = [this](int position) { progressFrm_->SetPosition(position); };
    progressFrm_->SetOnCancel([this] { webReleases_->Abort(); });

    mameDatFrm_ = new TMameDatFrm(this);

    // ---- Defaults of what the program around provides ----
    ChooseDatafiles = [this] {
        std::vector<std::string> files;
        const QStringList names = QFileDialog::getOpenFileNames(
            this, ToQ(_("Select one or more datafiles.")), {}, ToQ(_("Quarmelle datafiles (*.zip *.dat)")));
        for (const QString& name : names) files.push_back(FromQ(name));
        return files;
    };
    ChooseMameExe = [this] {
        return FromQ(QFileDialog::getOpenFileName(this, ToQ(_("Select a mame program.")), QStringLiteral("/usr/games"),
                                                  ToQ(_("All files (*)"))));
    };
    RunMameDialog = [](TMameDatFrm& dialog) { return dialog.exec() == QDialog::Accepted; };
    UpdateSites = [] {
        TQmXmlConfigParser parser;
        parser.SetConfigXmlFileName((Config ? Config->GetXmlPath() : std::string()) + "config.xml");
        parser.Parse("");
        return parser.WebUpdates;
    };
    DatUtil = []() -> TDatUtil* { return Config ? Config->DatUtil.get() : nullptr; };
    OpenWebPage = [](const std::string& url) { OpenWithDesktop(url); };
}

TDatafileForm::~TDatafileForm() = default;

TArchiveManager& TDatafileForm::Archives() {
    if (archives_) return *archives_;
    if (Config && Config->ArchiveManager) return *Config->ArchiveManager;
    if (!ownArchives_) {
        ownArchives_ = std::make_unique<TArchiveManager>();
        ownArchives_->SetTempDir(GetTempDirectory());
    }
    return *ownArchives_;
}

std::string TDatafileForm::DatafileFolder() const { return Config ? Config->GetDatafilePath() : std::string(); }

void TDatafileForm::Run(const std::function<void()>& command) {
    if (RunCommand) {
        RunCommand([&command] {
            try {
                command();
            } catch (const webreleases::ESilentAbort&) {
            }
        });
        return;
    }
    if (busy_) return;
    busy_ = true;
    try {
        command();
    } catch (const webreleases::ESilentAbort&) {
    } catch (const std::exception& e) {
        UiHooks().MessageDlg(e.what(), TMsgDlgType::mtError, mbOK);
    }
    busy_ = false;
}

void TDatafileForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    Run([this] {
        FillLocalTree();
        pageControl_->setCurrentWidget(tabLocal_);
    });
}

void TDatafileForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Escape and the window's own close button hide the window as well as Close does.
    if (!event->spontaneous() && OnClosed) OnClosed();
}

void TDatafileForm::FillLocalTree() {
    TBusyCursor busy;
    localModel_->SetRows(ListLocalDatafiles(DatafileFolder(), Archives()));
    localModel_->sort(0, localTree_->header()->sortIndicatorOrder());
}

void TDatafileForm::ActDeleteFileExecute() {
    const QModelIndexList selected = localTree_->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    if (UiHooks().MessageDlg(_("Delete selected datafile(s) ?"), TMsgDlgType::mtWarning, mbYes | mbNo) != mrYes)
        return;
    std::vector<size_t> rows;
    for (const QModelIndex& index : selected) rows.push_back(static_cast<size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    std::vector<TLocalDatafile> all = localModel_->Rows();
    std::vector<size_t> removed;
    struct TRefill {
        TDatafileForm& form;
        std::vector<TLocalDatafile>& all;
        std::vector<size_t>& removed;
        ~TRefill() {
            // The rows that are gone leave the list, also when a later one failed.
            const int next = RowAfterRemoval(all.size(), removed);
            std::vector<TLocalDatafile> left;
            for (size_t i = 0; i < all.size(); ++i)
                if (std::find(removed.begin(), removed.end(), i) == removed.end()) left.push_back(all[i]);
            form.localModel_->SetRows(std::move(left));
            form.localModel_->sort(0, form.localTree_->header()->sortIndicatorOrder());
            if (next >= 0) {
                const QModelIndex index = form.localModel_->index(next, 0);
                form.localTree_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            }
            if (!removed.empty() && form.OnDatafilesChanged) form.OnDatafilesChanged();
        }
    } refill{*this, all, removed};
    TBusyCursor busy;
    for (const size_t row : rows) {
        DeleteLocalDatafile(all[row], Archives());
        removed.push_back(row);
    }
}

void TDatafileForm::ActAddExecute() {
    const std::vector<std::string> files = ChooseDatafiles ? ChooseDatafiles() : std::vector<std::string>{};
    if (files.empty()) return;
    const int added = AddDatafiles(files, DatafileFolder());
    FillLocalTree();
    if (added > 0 && OnDatafilesChanged) OnDatafilesChanged();
}

void TDatafileForm::ActMameImportExecute() {
    const std::string exe = ChooseMameExe ? ChooseMameExe() : std::string();
    if (exe.empty()) return;
    TDatUtil* datUtil = DatUtil ? DatUtil() : nullptr;
    if (!datUtil) return;
    datUtil->MameExe = exe;
    mameDatFrm_->SetExeFile(exe);
    mameDatFrm_->DestinationFolder = [this] { return DatafileFolder(); };
    if (!RunMameDialog || !RunMameDialog(*mameDatFrm_)) return;
    {
        // The emulator and datutil can run for minutes: Cancel stops the one running.
        progressFrm_->SetOnCancel([datUtil] { datUtil->Abort = true; });
        progressFrm_->SetWaitString(_("Creating dat..."));
        progressFrm_->Start(this);
        TFinally end([this] {
            progressFrm_->Stop();
            progressFrm_->SetOnCancel([this] { webReleases_->Abort(); });
        });
        BuildMameDatafile(*datUtil, mameDatFrm_->Request(), DatafileFolder(), Config ? Config->ProgramVersion : "",
                          MameDatafileVersionToday(),
                          [this](const std::string& text) { statusBar_->showMessage(ToQ(text)); });
    }
    if (OnDatafilesChanged) OnDatafilesChanged();
}

void TDatafileForm::PageControl1Change(int index) {
    if (pageControl_->widget(index) != tabWeb_ || !webListPending_) return;
    webListPending_ = false;
    RefreshBtnClick();
}

void TDatafileForm::ClearWebList() {
    folderCombo_->clear();
    releaseModel_->Clear();
}

void TDatafileForm::RefreshBtnClick() {
    progressFrm_->Start(this);
    try {
        releaseModel_->Clear();
        webReleases_->Sites.clear();
        const TQmWebUpdates sites = UpdateSites ? UpdateSites() : TQmWebUpdates{};
        webReleases_->Sites = ReleaseSiteEntries(sites);
        webReleases_->DownloadReleaseLists();
        FillFolderCombo();
        FillReleaseTree();
    } catch (const webreleases::ESilentAbort&) {
        ClearWebList();
    } catch (const std::exception& e) {
        UiHooks().MessageDlg(e.what(), TMsgDlgType::mtError, mbOK);
        ClearWebList();
    }
    progressFrm_->Stop();
}

void TDatafileForm::FillFolderCombo() {
    const QString kept = folderCombo_->currentText();
    const std::vector<std::string> folders = ReleaseFolders(webReleases_->Releases);
    folderCombo_->clear();
    for (const std::string& folder : folders) folderCombo_->addItem(ToQ(folder));
    std::vector<std::string> shown;
    for (int i = 0; i < folderCombo_->count(); ++i) shown.push_back(FromQ(folderCombo_->itemText(i)));
    folderCombo_->setCurrentIndex(KeptFolderIndex(shown, FromQ(kept)));
}

void TDatafileForm::FillReleaseTree() {
    if (webReleases_->Releases.Count() == 0) {
        releaseModel_->Clear();
        return;
    }
    releaseModel_->SetRows(ReleaseRowsOf(webReleases_->Releases, FromQ(folderCombo_->currentText())));
    releaseTree_->resizeColumnToContents(rcName);
}

void TDatafileForm::DownloadBtnClick() {
    const std::vector<const TWebRecord*> records = releaseModel_->CheckedRecords();
    if (records.empty()) {
        UiHooks().MessageDlg(_("Check datafiles you want to download."), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    struct TFinish {
        TDatafileForm& form;
        ~TFinish() {
            form.progressFrm_->Stop();
            try {
                form.FillReleaseTree();
                form.FillLocalTree();
            } catch (const std::exception& e) {
                UiHooks().MessageDlg(e.what(), TMsgDlgType::mtError, mbOK);
            }
            if (form.OnDatafilesChanged) form.OnDatafilesChanged();
        }
    };
    TBusyCursor busy;
    progressFrm_->Start(this);
    TFinish finish{*this};
    if (!siteShown_) {
        siteShown_ = true;
        if (OpenWebPage) OpenWebPage(SiteHomePage(records.front()->SiteUrl));
    }
    progressFrm_->SetMax(static_cast<int>(records.size()));
    progressFrm_->SetPosition(0);
    webReleases_->DownloadDir = DatafileFolder();
    webReleases_->ArchiveManager = &Archives();
    DownloadReleases(*webReleases_, records,
                     {[this](const std::string& text) { progressFrm_->SetWaitString(text); },
                      [this] { progressFrm_->StepIt(); }, [this] { return progressFrm_->Cancelled(); }});
}

}  // namespace qm
