#pragma once
// The datafile manager: the datafiles of the datafile folder (add, delete, refresh,
// build one from MAME) and the releases the update sites offer (filtered by folder,
// downloaded when checked). The window only wires widgets to the logic of
// DatafileFolder, ReleaseView and MameDatBuilder.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/QMXmlParser.h"

class QAction;
class QComboBox;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace qm {

class TArchiveManager;
class TDatUtil;
class TLocalDatafileModel;
class TMameDatFrm;
class TProgressFrm;
class TReleaseModel;
class TSearchTreeView;
class TWebReleases;

class TDatafileForm : public QDialog {
    Q_OBJECT
public:
    // archives: the main window's archive manager (not owned; the settings' one when
    // null).
    explicit TDatafileForm(TArchiveManager* archives = nullptr, QWidget* parent = nullptr);
    ~TDatafileForm() override;

    // ---- What the program around the window provides (each has a default) ----
    // Called after the datafile folder may have changed (add, delete, download, build),
    // so that the main window refreshes its datafile list.
    std::function<void()> OnDatafilesChanged;
    // Called when the window is closed (Close, Escape or the title bar).
    std::function<void()> OnClosed;
    // Runs each of the window's commands (the main window's dispatcher: a download keeps
    // messages flowing, and no other command may start inside it); false when dropped.
    // Unset: the window keeps a busy flag of its own.
    std::function<bool(const std::function<void()>& command)> RunCommand;
    // The files to add (the open dialog by default); empty: nothing chosen.
    std::function<std::vector<std::string>()> ChooseDatafiles;
    // The MAME executable (the open dialog by default); empty: cancelled.
    std::function<std::string()> ChooseMameExe;
    // Shows the dialog modally (exec by default); true for Build.
    std::function<bool(TMameDatFrm&)> RunMameDialog;
    // The update sites (every update site of config.xml in the settings' xml folder by
    // default).
    std::function<TQmWebUpdates()> UpdateSites;
    // The datutil wrapper the build uses (the settings' by default).
    std::function<TDatUtil*()> DatUtil;
    // Opens a web page in the browser (the desktop by default).
    std::function<void(const std::string&)> OpenWebPage;

    // ---- Handlers ----
    void FillLocalTree();
    void ActRefreshExecute() { FillLocalTree(); }
    void ActDeleteFileExecute();
    void ActAddExecute();
    void ActMameImportExecute();
    void PageControl1Change(int index);
    void RefreshBtnClick();
    void FolderComboClick() { FillReleaseTree(); }
    void DownloadBtnClick();
    void FillFolderCombo();
    void FillReleaseTree();

    // ---- Parts, for the main window and the tests ----
    QTabWidget* PageControl1() const { return pageControl_; }
    QWidget* TabLocal() const { return tabLocal_; }
    QWidget* TabWeb() const { return tabWeb_; }
    QStatusBar* StatusBar1() const { return statusBar_; }
    TSearchTreeView* VirtualStringTree1() const { return localTree_; }
    TSearchTreeView* VirtualStringTree2() const { return releaseTree_; }
    TLocalDatafileModel& LocalModel() const { return *localModel_; }
    TReleaseModel& ReleaseModel() const { return *releaseModel_; }
    QComboBox* FolderCombo() const { return folderCombo_; }
    QPushButton* RefreshBtn() const { return refreshBtn_; }
    QPushButton* DownloadBtn() const { return downloadBtn_; }
    QAction* ActRefresh() const { return actRefresh_; }
    QAction* ActAdd() const { return actAdd_; }
    QAction* ActMameImport() const { return actMameImport_; }
    QAction* ActDeleteFile() const { return actDeleteFile_; }
    TWebReleases& WebReleases() const { return *webReleases_; }
    TProgressFrm& ProgressFrm1() const { return *progressFrm_; }
    TMameDatFrm& MameDatFrm() const { return *mameDatFrm_; }
    bool WebListPending() const { return webListPending_; }
    bool SiteShown() const { return siteShown_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Runs a command: dropped while another runs, hourglass, every error in a box.
    void Run(const std::function<void()>& command);
    void ClearWebList();
    std::string DatafileFolder() const;
    TArchiveManager& Archives();

    TArchiveManager* archives_;
    std::unique_ptr<TArchiveManager> ownArchives_;
    std::unique_ptr<TWebReleases> webReleases_;
    std::unique_ptr<TProgressFrm> progressFrm_;
    TMameDatFrm* mameDatFrm_;
    bool webListPending_ = true;
    bool siteShown_ = false;
    bool busy_ = false;

    QTabWidget* pageControl_;
    QWidget* tabLocal_;
    QWidget* tabWeb_;
    QStatusBar* statusBar_;
    TSearchTreeView* localTree_;
    TSearchTreeView* releaseTree_;
    TLocalDatafileModel* localModel_;
    TReleaseModel* releaseModel_;
    QComboBox* folderCombo_;
    QPushButton* refreshBtn_;
    QPushButton* downloadBtn_;
    QAction* actRefresh_;
    QAction* actAdd_;
    QAction* actMameImport_;
    QAction* actDeleteFile_;
};

// The home page of the site that serves a release list: its scheme and host.
std::string SiteHomePage(const std::string& listUrl);
// "host:port" as the settings give the proxy, split; no port: 0.
void SplitProxy(const std::string& server, std::string& host, int& port);

}  // namespace qm
