#pragma once
// What the main window does at start-up, when another datafile is chosen and at the
// end, without a widget: it owns the databases and the components that serve them,
// loads the last datafile with its rom paths, switches datafiles and reports through
// IMainView (the window, or a fake in tests) and the message box hooks.
#include <memory>
#include <string>
#include <vector>

#include "catalogue/QMXmlParser.h"
#include "catalogue/RomsBd.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "archive/archivemanager.h"
#include "platform/Progress.h"
#include "ui/commands/DatafileList.h"

namespace qm {

class TPath;

// The program's version, as the welcome line, the caption and the settings show it.
inline constexpr const char* kProgramVersion = "2.70 beta 5";

// The main window as the loading code sees it. Most calls belong to the views, filters
// and menus; a window without them yet leaves those calls empty.
class IMainView {
public:
    virtual ~IMainView() = default;

    // The datafile box. Setting items or a selection from here never starts a load.
    virtual void SetDatafileItems(const std::vector<std::string>& texts) = 0;
    virtual void SelectDatafile(int index) = 0;  // -1: none
    virtual int SelectedDatafile() const = 0;
    virtual std::string DatafileText() const = 0;

    // The progress window, with the main window locked while it is up.
    virtual void ProgressStart() = 0;
    virtual void ProgressStop() = 0;
    virtual void ProgressReset() = 0;
    virtual void ProgressPosition(int value) = 0;
    virtual void ProgressWaitString(const std::string& text) = 0;

    // The splash window while start-up loads; its calls do nothing once it is gone.
    virtual TInfosEvent SplashInfos() = 0;
    virtual TProgressEvent SplashProgress() = 0;
    virtual void SplashSetVersion(const std::string& text) = 0;
    virtual void SplashEnableSkip() = 0;
    virtual void FreeSplash() = 0;

    // Views, filters and menus.
    virtual void ClearTree() = 0;
    // Rebuilt from the databases, "Games database" selected and its node expanded.
    virtual void RebuildTree(bool keepFocus) = 0;
    virtual void FocusTree() = 0;
    virtual void SetViewsMerged(bool merged) = 0;
    // No sublist, every game shown, the name filter back to "*".
    virtual void ResetSubListAndFilter() = 0;
    virtual void ApplySubList() = 0;
    // The ten filter actions checked as the settings say.
    virtual void CheckFilterActions() = 0;
    virtual void ApplyFilters() = 0;
    virtual void BuildMenus() = 0;    // sublists and game information pages
    virtual void UpdateStatus() = 0;  // counters, database information, status bar
    virtual void UpdateActions() = 0;
    virtual void RefreshScan() = 0;
    virtual void SaveColumnWidths() = 0;
    virtual void LoadColumnWidths(const std::string& refName) = 0;

    // The end of start-up.
    virtual void LoadFormPositions() = 0;
    virtual void ShowMainWindow() = 0;
};

class TAppController {
public:
    explicit TAppController(IMainView& view);
    // The files database goes before the rom database (its rom files detach from the
    // roms as they are freed): the members are declared in that order's reverse.
    ~TAppController();
    TAppController(const TAppController&) = delete;
    TAppController& operator=(const TAppController&) = delete;

    TRomsBd& RomsBd() { return *romsBd_; }
    TCrcPlugIn& CrcPlugIn() { return *crcPlugIn_; }
    TArchiveManager& ArchiveManager() { return *archiveManager_; }
    TSignatureCalculator& SignatureCalculator() { return *signatureCalculator_; }
    TFilesBd& FilesBd() { return *filesBd_; }
    TQmXmlConfigParser& XmlConfigParser() { return *xmlConfigParser_; }

    // One line to the log window; tests listen here as well.
    TLogEvent OnLog;
    void LogLine(const std::string& text);

    // The components wired from the settings (the welcome line, the beta warning, the
    // plug-in, cache and temporary folders, compression level). Before the window.
    void Create(const std::string& helpFolder);
    // Loads the last datafile and its rom paths while the splash window is up, then
    // shows the main window. An error that escapes every guard is shown (with Abort)
    // and raised again: the program ends.
    void LoadAtStartUp();

    // The datafile box.
    void LoadDatafilesList();
    // The box's choice changed (by the user: the box reports activations only).
    void DatafilesComboChange();
    const std::vector<TDatafileItem>& DatafileItems() const { return datafileItems_; }
    const std::string& CurrentDatafileName() const { return currentDatafileName_; }
    bool DatafileOpen() const;

    // Loads the open datafile into the rom database; raises EAbortOperation on failure.
    void LoadDatafile();
    // One rom path into the files database; nullptr when it cannot be added.
    TPath* AddRomPath(const std::string& path, const std::string& volumeName, const std::string& serial);

    // Cancel of the splash or progress window: both loops stop at their next check.
    void CancelLoading();
    void ProgressFrmCancel() { CancelLoading(); }

    // Where the folder dialog starts: the volume of the first rom path that loaded.
    const std::string& FolderDialogStart() const { return folderDialogStart_; }

    // After start-up, the databases report to the progress window.
    void DoInfos(const std::string& text);
    void DoProgress(int value);

    // Where merges leave what they could not place; follows the archive folder.
    void SetMergeBackupDir();

    // The end: column widths are the view's; "Bye" goes last.
    void Shutdown();

private:
    void ClearAbortFlags();
    // No datafile is open after a failed switch, and no emulator section is in force.
    void ForgetDatafile();
    void SetEvents(const TInfosEvent& infos, const TProgressEvent& progress);
    void ApplyEmulatorSettings();
    // Every rom path of the emulator, each under its own guard, then the list stored.
    void LoadRomPaths();
    void SetEmulatorRefName();
    void SelectOpenDatafile();
    // Cancel while the catalogue loads: no datafile stays open. Raises EAbortOperation.
    [[noreturn]] void AbortedDatafileLoading();

    IMainView& view_;
    std::unique_ptr<TRomsBd> romsBd_;
    std::unique_ptr<TCrcPlugIn> crcPlugIn_;
    std::unique_ptr<TQmXmlConfigParser> xmlConfigParser_;
    std::unique_ptr<TArchiveManager> archiveManager_;
    std::unique_ptr<TSignatureCalculator> signatureCalculator_;
    std::unique_ptr<TFilesBd> filesBd_;

    std::vector<TDatafileItem> datafileItems_;
    std::string currentDatafileName_;
    std::string folderDialogStart_;
    std::string configFaultShown_;  // the config.xml fault the user was last told of
};

}  // namespace qm
