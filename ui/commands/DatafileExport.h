#pragma once
// Writing a new datafile: of the selected items, of every missing rom or of every
// available rom. The gathering is pure (a list of clone roms); TDatafileExporter fills
// a TDatafile, asks for the file and saves it. A file chosen under a ".zip" name becomes
// a zip archive holding the datafile, so that the datafile list can open it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/RomsBd.h"
#include "ui/commands/CommandObject.h"

namespace qm {

class ICrcPlugInSource;
class ISaveFilePrompt;
class TArchiveManager;
class TDatafile;

// The list view's layout, as far as the selection export cares.
enum class TExportLayout { Games, Clones, Files, RomFiles, ClonesRoms };

// A date as the export header writes it.
struct TExportDate {
    int Year = 0;
    int Month = 0;
    int Day = 0;
};
// "yyyymmdd" with month and day on two digits.
std::string ExportVersionText(const TExportDate& date);
// "d/m/yyyy" without leading zeros.
std::string ExportDateText(const TExportDate& date);

// The clone roms each export writes, in order (entries may repeat). False from the
// selection when the layout gives no item at all (nothing selected, or a layout that
// exports nothing).
bool GatherSelection(TExportLayout layout, const std::vector<TCommandObject>& selected, TCloneRomsList& list);
// Every needed listing of every clone of the whole database whose rom is found (have)
// or not found (missing).
void GatherByState(const TRomsBd& roms, bool found, TCloneRomsList& list);

// Header and one item per clone rom.
struct TExportHeader {
    std::string RefName;  // the open datafile's
    TExportDate Today;
};
void FillExportDatafile(TDatafile& datafile, const TExportHeader& header, const TCloneRomsList& list);

// Writes the datafile to fileName: a plain datafile, or, for a ".zip" name (any case), a
// zip archive whose one entry is the datafile named after the archive with ".dat". The
// archive is built in the private temporary folder and put in place whole. Raises
// qm::Exception (or the archive's and the writer's exceptions) on failure; the chosen
// file is then as it was.
void SaveExportDatafile(TDatafile& datafile, const std::string& fileName, TArchiveManager* manager);

class TDatafileExporter {
public:
    // None owned. The manager builds ".zip" exports; plugIns names the plug-in written
    // into the header (the main window's signature calculator).
    TDatafileExporter(const TRomsBd& roms, ISaveFilePrompt& prompt, TArchiveManager* manager,
                      ICrcPlugInSource* plugIns);

    std::string RefName;       // the open datafile's reference name
    std::string DatafileName;  // the open datafile's name without folder and extension
    std::string DatafilePath;  // the datafile folder, where the dialog starts
    // Today's date; the clock's unless replaced (tests fix it).
    std::function<TExportDate()> Today;
    // Runs at the end of every export, whatever happened (the main window reloads its
    // datafile list, so that a datafile written into the datafile folder shows up).
    std::function<void()> OnFinished;

    void ActCreateDat(TExportLayout layout, const std::vector<TCommandObject>& selected);
    void ActCreateMissDat();
    void ActCreateHaveDat();

private:
    void Export(const TCloneRomsList& list, const std::string& defaultName);

    const TRomsBd& roms_;
    ISaveFilePrompt& prompt_;
    TArchiveManager* manager_;
    ICrcPlugInSource* plugIns_;
};

}  // namespace qm
