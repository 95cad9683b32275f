// The start-up, datafile switch and shut-down of the main window, without a widget.
#include "ui/commands/AppController.h"

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/DatUtil.h"
#include "catalogue/config.h"
#include "platform/FileSystem.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

void Box(const std::string& text, TMsgDlgType type) { UiHooks().MessageDlg(text, type, mbOK); }

std::string SlashedUnlessEmpty(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

std::string FileNotFoundText() {
    return _("File Not Found.") + "\n" + _("No datafiles loaded. Choose a new file from the main window.");
}

}  // namespace

TAppController::TAppController(IMainView& view)
    : view_(view),
      romsBd_(std::make_unique<TRomsBd>()),
      crcPlugIn_(std::make_unique<TCrcPlugIn>()),
      xmlConfigParser_(std::make_unique<TQmXmlConfigParser>()),
      archiveManager_(std::make_unique<TArchiveManager>()),
      signatureCalculator_(std::make_unique<TSignatureCalculator>()),
      filesBd_(std::make_unique<TFilesBd>()) {
    filesBd_->SetRomsBd(romsBd_.get());
    filesBd_->SetSubmitRoms(true);
    OnLog = [](const std::string& line) {
        if (Config) Config->SendToLogWindow(line);
    };
}

TAppController::~TAppController() {
    filesBd_.reset();
    if (Config) {
        if (Config->ArchiveManager == archiveManager_.get()) Config->ArchiveManager = nullptr;
        if (Config->RomsBd == romsBd_.get()) Config->RomsBd = nullptr;
    }
}

void TAppController::LogLine(const std::string& text) {
    if (OnLog) OnLog(text);
}

bool TAppController::DatafileOpen() const { return Config && Config->DataFileOpen; }

void TAppController::ClearAbortFlags() {
    filesBd_->Paths().Abort = false;
    romsBd_->SetAbort(false);
}

void TAppController::ForgetDatafile() {
    // The previous datafile's profile must not stay in force: a rom path command would
    // store the (now empty) path list into its emulator's section.
    Config->CloseDataFile();
    Config->EmulatorSection.clear();
}

void TAppController::CancelLoading() {
    romsBd_->SetAbort(true);
    filesBd_->Paths().Abort = true;
    // A datafile being converted by datutil stops too.
    if (Config != nullptr && Config->DatUtil != nullptr) Config->DatUtil->Abort = true;
}

void TAppController::DoInfos(const std::string& text) {
    view_.ProgressWaitString(text);
    ProcessPendingMessages();
}

void TAppController::DoProgress(int value) { view_.ProgressPosition(value); }

void TAppController::SetEvents(const TInfosEvent& infos, const TProgressEvent& progress) {
    romsBd_->OnInfos = infos;
    romsBd_->OnProgress = progress;
    filesBd_->OnInfos = infos;
    filesBd_->OnProgress = progress;
}

void TAppController::Create(const std::string& helpFolder) {
    LogLine(std::string("Welcome to Quarmelle ") + kProgramVersion);
    Config->ArchiveManager = archiveManager_.get();
    Config->RomsBd = romsBd_.get();
    crcPlugIn_->SetPath(Config->GetPluginPath());
    crcPlugIn_->SetShippedPath(Config->ShippedFolder("plugin/"));
    xmlConfigParser_->SetConfigXmlFileName(Config->GetXmlPath() + "config.xml");
    if (helpFolder.empty()) Box(_("Help file not found !"), TMsgDlgType::mtError);
    if (LowerCase(kProgramVersion).find("beta") != std::string::npos)
        Box(_("This release is a beta version and is available only for testing purpose. Backup your files."),
            TMsgDlgType::mtInformation);

    Config->ProgramVersion = kProgramVersion;
    // Every fixed work name lives in this process's own temporary folder.
    const std::string temp = Config->GetPrivateTempPath();
    signatureCalculator_->SetCrcPlugIn(crcPlugIn_.get());
    signatureCalculator_->SetArchiveManager(archiveManager_.get());
    signatureCalculator_->SetTempDir(temp);
    filesBd_->SetSignatureCalculator(signatureCalculator_.get());
    filesBd_->SetCachePath(Config->GetCachePath());
    filesBd_->SetCompressionLevel(Config->CompLevel());

    filesBd_->OnCreateFile = nullptr;
    filesBd_->OnCreateRomFile = nullptr;
    filesBd_->OnRemoveFile = nullptr;
    filesBd_->OnRemoveRomFile = nullptr;
    filesBd_->OnRenameFile = nullptr;
    filesBd_->OnLog = [this](const std::string& line) { LogLine(line); };
    romsBd_->OnLog = [this](const std::string& line) { LogLine(line); };

    archiveManager_->SetTempDir(temp);
    archiveManager_->SetCompressionLevel(Config->CompLevel());
    filesBd_->SetArchiveManager(archiveManager_.get());
    filesBd_->SetTempDir(temp);
    SetMergeBackupDir();
}

void TAppController::SetMergeBackupDir() {
    // A merge that could not place every rom leaves the rest here, below the archive
    // folder, where it survives a reboot (not in the temporary folder).
    filesBd_->MergeBackupDir = Config->GetArchivePath() + "merged/";
}

void TAppController::ApplyEmulatorSettings() {
    const TEmulator& emulator = *Config->Emulator;
    romsBd_->Split = emulator.Split();
    romsBd_->MergeRoms = emulator.Merge();
    filesBd_->FileCaseOptions = emulator.SetsCase();
    filesBd_->RomFileCaseOptions = emulator.RomsCase();
}

void TAppController::LoadAtStartUp() {
    try {
        SetEvents(view_.SplashInfos(), view_.SplashProgress());
        LoadDatafilesList();

        bool loaded = true;  // false: steps up to the filters are skipped
        try {
            try {
                Config->Emulator->RomPaths().Clear();
                Config->OpenDataFile(Config->GetLastDataFile(), Config->GetLastZippedDataFile());
                crcPlugIn_->SetFileName(Config->DataFile->PlugIn);
            } catch (const EDataFileNotFound&) {
                Box(FileNotFoundText(), TMsgDlgType::mtError);
                loaded = false;
            } catch (const EBadDataFile& e) {
                Box(e.Message(), TMsgDlgType::mtError);
            } catch (const EDllNotFound&) {
                filesBd_->ClearPaths();
                view_.SelectDatafile(-1);
                currentDatafileName_.clear();
                filesBd_->Paths().Abort = false;
                Config->CloseDataFile();
                throw;
            } catch (const std::exception& e) {
                Box(Fmt(_("Error while loading datafile %1"), {Config->GetLastDataFile()}) + "\n" + FailureText(e),
                    TMsgDlgType::mtError);
                loaded = false;
            }
            if (loaded) {
                view_.SplashSetVersion(Config->DataFile->GetName());
                ApplyEmulatorSettings();
                const std::string temp = Config->GetPrivateTempPath();
                archiveManager_->SetTempDir(temp);
                archiveManager_->SetCompressionLevel(Config->CompLevel());
                filesBd_->SetTempDir(temp);
                filesBd_->SetPlugInSuggeredExtension(Config->Emulator->FixExtension());

                LoadDatafile();
                view_.ApplySubList();
                view_.SetViewsMerged(Config->Emulator->Merge());

                LoadRomPaths();
                filesBd_->MatchAll();
                romsBd_->RecalculateStatus();

                view_.CheckFilterActions();
            }
        } catch (const EAbortOperation&) {
            Box(_("Operation aborted."), TMsgDlgType::mtWarning);
            ProcessPendingMessages(true);
            ClearAbortFlags();
        } catch (const Exception& e) {
            Box(e.Message(), TMsgDlgType::mtError);
        }
        if (loaded) view_.ApplyFilters();

        SetEmulatorRefName();
        view_.RebuildTree(true);
        view_.UpdateStatus();
        view_.BuildMenus();
        view_.LoadFormPositions();
        view_.UpdateActions();
        view_.FreeSplash();
        view_.ShowMainWindow();
        SetEvents([this](const std::string& text) { DoInfos(text); }, [this](int value) { DoProgress(value); });
    } catch (const std::exception& e) {
        UiHooks().MessageDlg(e.what(), TMsgDlgType::mtError, mbAbort);
        throw;
    }
}

void TAppController::SetEmulatorRefName() {
    // A config.xml that does not parse keeps what was read before its fault; the user is
    // told where the fault lies, once for each fault (not at every datafile change).
    std::string fault;
    const auto parse = [&](const std::string& name) {
        try {
            xmlConfigParser_->SetEmulatorRefName(name);
        } catch (const qmxmlparser::EBadConfigFile& e) {
            fault = e.Message();
        } catch (...) {
            // No config.xml: no game pages and no update sites, as the file is optional.
        }
    };
    parse("");
    // The game information pages of config.xml know every MAME build as "mame".
    const std::string refName = Config->DataFile->RefName;
    parse(LowerCase(refName).find("mame") != std::string::npos ? "mame" : refName);
    if (!fault.empty() && fault != configFaultShown_) Box(fault, TMsgDlgType::mtWarning);
    configFaultShown_ = fault;
}

void TAppController::LoadRomPaths() {
    TRomPaths& paths = Config->Emulator->RomPaths();
    size_t index = 0;
    while (index < paths.Count()) {
        const TRomPath entry = paths.Items(index);
        if (const std::string refusal = Config->RomPathRefusal(SlashedUnlessEmpty(entry.Path)); !refusal.empty()) {
            Box(refusal + "\n" + _("Path removed from the list."), TMsgDlgType::mtWarning);
            paths.Delete(index);
            continue;
        }
        try {
            if (AddRomPath(entry.Path, entry.VolumeName, entry.Serial) == nullptr) {
                Box(Fmt(_("Can't find rom directory %1. It is removed from the list."), {entry.Path}),
                    TMsgDlgType::mtWarning);
                paths.Delete(index);
                continue;  // the same index holds the next entry now
            }
        } catch (const EAbortOperation&) {
            // A cancelled path stays listed, empty; the user only skipped its loading.
            Box(_("Operation aborted, this path will be empty."), TMsgDlgType::mtError);
            const int known = filesBd_->Paths().IndexOf(SlashedUnlessEmpty(entry.Path));
            if (known >= 0) filesBd_->Paths().GetPath(known)->ClearFiles();
            view_.SplashEnableSkip();
        } catch (const std::exception& e) {
            // Only a folder that is gone leaves the settings; any other failure (a cache
            // that cannot be written, a file that cannot be read) keeps the user's path.
            if (FolderExists(SlashedUnlessEmpty(entry.Path))) {
                Box(Fmt(_("Error loading %1."), {entry.Path}) + "\n" + e.what(), TMsgDlgType::mtWarning);
            } else {
                Box(Fmt(_("Error loading %1."), {entry.Path}) + "\n" + e.what() + "\n" +
                        _("Path removed from the list."),
                    TMsgDlgType::mtWarning);
                paths.Delete(index);
                continue;
            }
        }
        ++index;
    }
    paths.SaveToIni();
}

TPath* TAppController::AddRomPath(const std::string& path, const std::string& volumeName,
                                   const std::string& serial) {
    LogLine("Adding path " + path + "...");
    try {
        TPath* added = filesBd_->AddPath(SlashedUnlessEmpty(path), serial, volumeName);
        if (added == nullptr) return nullptr;
        added->Load(false);
        if (folderDialogStart_.empty() && added->IsVolumeAvailable()) {
            TDiskInfo disk;
            disk.SetDisk(added->GetPath());
            folderDialogStart_ = disk.Disk();
        }
        LogLine("Path added.");
        return added;
    } catch (...) {
        ClearAbortFlags();
        view_.SplashEnableSkip();
        view_.ProgressReset();
        throw;
    }
}

void TAppController::SelectOpenDatafile() {
    const std::string name = Config->DataFile->GetName();
    for (size_t i = 0; i < datafileItems_.size(); ++i)
        if (SameText(datafileItems_[i].Text, name)) view_.SelectDatafile(static_cast<int>(i));
}

void TAppController::AbortedDatafileLoading() {
    filesBd_->ClearPaths();
    view_.SelectDatafile(-1);
    currentDatafileName_.clear();
    filesBd_->Paths().Abort = false;
    view_.RebuildTree(false);
    Config->CloseDataFile();
    throw EAbortOperation(_("Operation aborted."));
}

void TAppController::LoadDatafile() {
    LogLine("Loading datafile " + Config->DataFile->FileName);
    TFinally end([this] {
        currentDatafileName_ = view_.DatafileText();
        ClearAbortFlags();
        LogLine("Datafile loaded.");
    });
    try {
        if (!currentDatafileName_.empty()) view_.SaveColumnWidths();
        romsBd_->SetDatafileName(Config->DataFile->FileName);
        romsBd_->LoadDatabase();
        romsBd_->DoInfos(_("Updating display..."));
        SelectOpenDatafile();
        view_.LoadColumnWidths(Config->DataFile->RefName);
    } catch (const romsbd::EAbortDataFileLoading&) {
        AbortedDatafileLoading();
    } catch (const datafile::EAbortDataFileLoading&) {
        // The reader's own abort class: Cancel pressed while the lines are read.
        AbortedDatafileLoading();
    } catch (const filesbd::EAbortPathLoading&) {
        filesBd_->ClearPaths();
        ClearAbortFlags();
        view_.RebuildTree(false);
        throw EAbortOperation(_("Operation aborted."));
    } catch (const std::exception& e) {
        Box(e.what(), TMsgDlgType::mtError);
        throw EAbortOperation(_("Operation aborted."));
    }
}

void TAppController::LoadDatafilesList() {
    view_.ProgressWaitString(_("Loading datafiles list..."));
    TDatafileList list = ListDatafiles(Config->GetDatafilePath(), *archiveManager_,
                                       Config->DataFileOpen ? Config->DataFile->GetName() : std::string());
    datafileItems_ = std::move(list.Items);
    std::vector<std::string> texts;
    texts.reserve(datafileItems_.size());
    for (const TDatafileItem& item : datafileItems_) texts.push_back(item.Text);
    view_.SetDatafileItems(texts);
    view_.SelectDatafile(list.Selected);
    currentDatafileName_ = view_.DatafileText();
}

void TAppController::DatafilesComboChange() {
    const std::string text = view_.DatafileText();
    const int selected = view_.SelectedDatafile();
    if (text.empty() || SameText(text, currentDatafileName_)) return;
    if (selected < 0 || static_cast<size_t>(selected) >= datafileItems_.size()) return;
    const TDatafileItem item = datafileItems_[static_cast<size_t>(selected)];

    currentDatafileName_ = text;
    view_.ProgressPosition(0);
    DoInfos(_("Preparing datafile..."));
    view_.ProgressStart();
    TBusyCursor cursor;
    TFinally end([this] {
        view_.ProgressStop();
        ClearAbortFlags();
        view_.FocusTree();
    });
    ProcessPendingMessages(true);

    // Everything of the datafile loaded before goes, the files before the roms.
    Config->Emulator->RomPaths().Clear();
    view_.ClearTree();
    filesBd_->ClearPaths();
    romsBd_->Clear();
    view_.ResetSubListAndFilter();
    view_.UpdateStatus();
    folderDialogStart_.clear();
    ProcessPendingMessages(true);

    const std::string folder = Config->GetDatafilePath();
    auto open = [&] {
        DoInfos(_("Preparing datafile..."));
        if (item.InArchive())
            Config->OpenDataFile(folder + item.FileName, item.EntryName);
        else
            Config->OpenDataFile(folder + item.FileName, "");
    };
    // The plug-in is part of opening: a missing one is an error of the open.
    auto settings = [&] {
        crcPlugIn_->SetFileName(Config->DataFile->PlugIn);
        ApplyEmulatorSettings();
    };
    auto failed = [&](const std::string& message) {
        Box(Fmt(_("Error while loading datafile %1"), {text}) + "\n" + message, TMsgDlgType::mtError);
        ForgetDatafile();
        view_.SelectDatafile(-1);
        currentDatafileName_.clear();
        romsBd_->Clear();
        view_.RebuildTree(true);
        view_.UpdateActions();
    };
    try {
        open();
        settings();
    } catch (const EDataFileNotFound&) {
        ForgetDatafile();
        romsBd_->Clear();
        ClearAbortFlags();
        view_.RebuildTree(false);
        // Nothing stays half-selected: the box shows no datafile, the commands that need
        // one are off, and choosing the file again once it is back loads it.
        view_.SelectDatafile(-1);
        currentDatafileName_.clear();
        view_.UpdateActions();
        Box(FileNotFoundText(), TMsgDlgType::mtError);
        return;
    } catch (const EBadDataFile& e) {
        Box(e.Message(), TMsgDlgType::mtError);
        try {
            settings();
        } catch (const std::exception& e2) {
            failed(e2.what());
            return;
        }
    } catch (const std::exception& e) {
        failed(FailureText(e));
        return;
    }

    try {
        LoadDatafile();
        LoadRomPaths();
    } catch (const EAbortOperation&) {
        Box(_("Operation aborted."), TMsgDlgType::mtWarning);
        ProcessPendingMessages(true);
        ClearAbortFlags();
    } catch (const std::exception& e) {
        Box(e.what(), TMsgDlgType::mtError);
    }

    romsBd_->RecalculateStatus();
    DoInfos(_("Updating display..."));
    filesBd_->MatchAll();
    SetEmulatorRefName();
    view_.BuildMenus();
    view_.SetViewsMerged(Config->Emulator->Merge());
    view_.CheckFilterActions();
    view_.ApplyFilters();
    view_.ApplySubList();
    view_.RebuildTree(false);
    view_.UpdateStatus();
    view_.UpdateActions();
    view_.RefreshScan();
    ProcessPendingMessages(true);
}

void TAppController::Shutdown() { LogLine("Bye"); }

}  // namespace qm
