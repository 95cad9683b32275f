// Writing a new datafile of the chosen, missing or available roms to the file the user picks.
#include "ui/commands/DatafileExport.h"

#include <QDate>
#include <cerrno>
#include <cstdio>
#include <exception>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/DataFile.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/SaveFilePrompt.h"

namespace qm {

namespace {

const char* const kExportAuthor = "Quarmelle 2.70 beta 5";
const char* const kExportEmail = "support@quarmelle.example";
const char* const kExportWeb = "http://quarmelle.example/";

void AddNeeded(const TClone* clone, TCloneRomsList& list, TCloneRomsList& scratch) {
    clone->ListRoms(scratch, true);
    for (TCloneRom* cloneRom : scratch) list.Add(cloneRom);
}

// A fresh folder of the export's own inside the private temporary folder.
std::string MakeWorkFolder() {
    const std::string base = GetTempDirectory();
    for (int i = 1;; ++i) {
        const std::string folder = base + "export-" + std::to_string(i) + "/";
        const int err = Fs().MakeDir(folder);
        if (err == 0) return folder;
        if (err != EEXIST)
            throw Exception(Fmt(_("Cannot create folder %1: %2"), {folder, SysErrorMessage(err)}));
    }
}

// Empties and removes the work folder (only files are put there).
void RemoveWorkFolder(const std::string& folder) {
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) == 0)
        for (const TDirEntry& entry : entries) Fs().Unlink(folder + entry.name);
    Fs().RemoveDir(folder);
}

}  // namespace

std::string ExportVersionText(const TExportDate& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.Year, date.Month, date.Day);
    return text;
}

std::string ExportDateText(const TExportDate& date) {
    return std::to_string(date.Day) + "/" + std::to_string(date.Month) + "/" + std::to_string(date.Year);
}

bool GatherSelection(TExportLayout layout, const std::vector<TCommandObject>& selected, TCloneRomsList& list) {
    list.Clear();
    std::vector<const TCommandObject*> items;
    for (const TCommandObject& object : selected) {
        const bool take = layout == TExportLayout::Games || layout == TExportLayout::Clones
                              ? (object.Game != nullptr || object.Clone != nullptr)
                          : layout == TExportLayout::Files    ? object.File != nullptr
                          : layout == TExportLayout::RomFiles ? object.RomFile != nullptr
                                                              : false;
        if (take) items.push_back(&object);
    }
    if (items.empty()) return false;
    TCloneRomsList scratch;
    TCloneItems clones;
    for (const TCommandObject* object : items) {
        if (object->Game != nullptr) {
            object->Game->ListClones(clones);
            for (const auto& [name, clone] : clones) AddNeeded(clone, list, scratch);
        } else if (object->Clone != nullptr) {
            AddNeeded(object->Clone, list, scratch);
        } else if (object->File != nullptr) {
            for (const auto& entry : object->File->RomFiles)
                if (entry.romFile->CloneRom != nullptr) list.Add(entry.romFile->CloneRom);
        } else if (object->RomFile != nullptr && object->RomFile->CloneRom != nullptr) {
            list.Add(object->RomFile->CloneRom);
        }
    }
    return true;
}

void GatherByState(const TRomsBd& roms, bool found, TCloneRomsList& list) {
    list.Clear();
    TCloneRomsList needed;
    for (const TGame* game : roms.Games()) {
        for (const TClone* clone : game->Clones) {
            clone->ListRoms(needed, true);
            for (TCloneRom* cloneRom : needed)
                if ((cloneRom->Rom->MatchCount > 0) == found) list.Add(cloneRom);
        }
    }
}

void FillExportDatafile(TDatafile& datafile, const TExportHeader& header, const TCloneRomsList& list) {
    datafile.Clear();
    datafile.Version = ExportVersionText(header.Today);
    datafile.Author = kExportAuthor;
    datafile.Email = kExportEmail;
    datafile.Web = kExportWeb;
    datafile.Refname = header.RefName;
    datafile.Date = ExportDateText(header.Today);
    datafile.Comment.clear();
    datafile.GameItems.Reserve(list.Count());
    for (const TCloneRom* cloneRom : list) {
        const TClone* clone = cloneRom->Clone;
        const TGame* game = clone->Game;
        datafile.AddItem(game->Name, game->Description, clone->GetDisplayName(), clone->GetDisplayDescription(),
                         cloneRom->Name, cloneRom->Crc, cloneRom->Rom->Size, std::string(), std::string(), false);
    }
}

void SaveExportDatafile(TDatafile& datafile, const std::string& fileName, TArchiveManager* manager) {
    if (!SameText(FileExtension(fileName), ".zip")) {
        datafile.SaveToFile(fileName);
        return;
    }
    if (manager == nullptr) throw Exception(Fmt(_("Cannot write file %1: %2"), {fileName, _("no archiver")}));
    std::string base = RemoveFileExt(ExtractFileNameAnySep(fileName));
    if (base.empty()) base = "datafile";
    const std::string work = MakeWorkFolder();
    try {
        const std::string datName = work + base + ".dat";
        const std::string zipName = work + base + ".zip";
        datafile.SaveToFile(datName);
        manager->AddFile(zipName, datName);
        // The finished archive replaces the chosen file in one step.
        if (const int err = Fs().CopyFile(zipName, fileName, true))
            throw Exception(Fmt(_("Cannot write file %1: %2"), {fileName, SysErrorMessage(err)}));
    } catch (...) {
        RemoveWorkFolder(work);
        throw;
    }
    RemoveWorkFolder(work);
}

// ---- TDatafileExporter ----------------------------------------------------------------

TDatafileExporter::TDatafileExporter(const TRomsBd& roms, ISaveFilePrompt& prompt, TArchiveManager* manager,
                                     ICrcPlugInSource* plugIns)
    : roms_(roms), prompt_(prompt), manager_(manager), plugIns_(plugIns) {
    Today = [] {
        const QDate today = QDate::currentDate();
        return TExportDate{today.year(), today.month(), today.day()};
    };
}

namespace {

// Calls the end-of-export handler when the export leaves, also on an exception; an
// exception of the handler itself then gives way to the export's own.
class TFinishedCall {
public:
    explicit TFinishedCall(const std::function<void()>& call) : call_(call) {}
    ~TFinishedCall() noexcept(false) {
        if (!call_) return;
        if (std::uncaught_exceptions() > pending_) {
            try {
                call_();
            } catch (...) {
            }
        } else {
            call_();
        }
    }
    TFinishedCall(const TFinishedCall&) = delete;
    TFinishedCall& operator=(const TFinishedCall&) = delete;

private:
    const std::function<void()>& call_;
    int pending_ = std::uncaught_exceptions();
};

}  // namespace

void TDatafileExporter::Export(const TCloneRomsList& list, const std::string& defaultName) {
    TDatafile datafile;
    datafile.SignatureCalculator = plugIns_;
    datafile.ArchiveManager = manager_;
    FillExportDatafile(datafile, TExportHeader{RefName, Today ? Today() : TExportDate{}}, list);
    TSaveFileRequest request;
    request.Title = _("Select datafile destination");
    request.Filter = _("Datafiles") + " (*.dat *.zip *.DAT *.ZIP)";
    request.InitialFolder = DatafilePath;
    request.DefaultSuffix = "dat";
    request.DefaultName = defaultName;
    std::string fileName;
    if (!prompt_.PromptSaveFile(request, fileName)) return;
    SaveExportDatafile(datafile, fileName, manager_);
}

void TDatafileExporter::ActCreateDat(TExportLayout layout, const std::vector<TCommandObject>& selected) {
    TBusyCursor busy;
    TFinishedCall finished(OnFinished);
    TCloneRomsList list;
    if (!GatherSelection(layout, selected, list)) {
        UiHooks().MessageDlg(_("No items selected!"), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    Export(list, "my_" + DatafileName + ".dat");
}

void TDatafileExporter::ActCreateMissDat() {
    TBusyCursor busy;
    TFinishedCall finished(OnFinished);
    TCloneRomsList list;
    GatherByState(roms_, false, list);
    if (list.Empty()) {
        UiHooks().MessageDlg(_("Nothing to do"), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    Export(list, DatafileName + "_miss.dat");
}

void TDatafileExporter::ActCreateHaveDat() {
    TBusyCursor busy;
    TFinishedCall finished(OnFinished);
    TCloneRomsList list;
    GatherByState(roms_, true, list);
    if (list.Empty()) {
        UiHooks().MessageDlg(_("Nothing to do"), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    Export(list, DatafileName + "_have.dat");
}

}  // namespace qm
