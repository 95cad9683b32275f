#pragma once
// The four text reports of the Report menu: games missing, games available, missing roms
// by game and the CRCs of missing roms. The builders are pure (lines from the rom
// database and the clones the tree lists); TReportWriter adds the save dialog, the
// messages and the file.
//
// In merged mode the tree's list holds every clone, but a clone other than the parent
// has nothing of its own to show and would count as complete; the reports then list
// the parent sets only, the sets the mode shows.
#include <functional>
#include <string>
#include <vector>

namespace qm {

class TClone;
class TFilesBd;
class TRomsBd;
class ISaveFilePrompt;

// What the tree view lists at the moment, as the reports read it.
struct TReportScope {
    std::vector<TClone*> ListedClones;  // the tree's ListClones, in order
    int RomCount = 0;                   // the tree's GetRomCount
    int CloneCount = 0;                 // the tree's GetCloneCount
    std::string SubListFileName;        // the active sub-list; empty when none
    bool AllExcept = false;             // the sub-list is applied in all-except mode
};

// " (name)", " (all except name)" or empty, name being the sub-list's file name
// without folder and extension.
std::string SubListSuffix(const std::string& subListFileName, bool allExcept);

// The listed clones the reports go through: all of them when sets are split; when they
// are merged, the parent clone of each set any of whose clones is listed, once, in the
// order of the first.
std::vector<TClone*> ReportClones(const TRomsBd& roms, const std::vector<TClone*>& listed);

// Each builder gives the report's lines, header included, or no line at all when the
// report has nothing to say (the CRC report always has its header).
std::vector<std::string> BuildMissingGamesReport(const TRomsBd& roms, const TReportScope& scope,
                                                 const std::string& refName);
std::vector<std::string> BuildHaveGamesReport(const TRomsBd& roms, const TReportScope& scope,
                                              const std::string& refName);
std::vector<std::string> BuildMissingRomsReport(const TRomsBd& roms, const TReportScope& scope,
                                                const std::string& refName);
std::vector<std::string> BuildMissingCrcsReport(const TRomsBd& roms, const TReportScope& scope,
                                                const std::string& refName, const std::string& builtOn);

// The lines as the file holds them: each followed by CR LF.
std::string ReportFileText(const std::vector<std::string>& lines);

// The save dialog's starting folder: the folder of the first rom path whose volume is
// present, else the user's home folder.
std::string ReportInitialFolder(const TFilesBd& files);

class TReportWriter {
public:
    // None owned. refName: the open datafile's reference name ("no name" when it has
    // none), used in the texts and, made a valid file name, in the proposed file names.
    TReportWriter(const TRomsBd& roms, const TFilesBd& files, ISaveFilePrompt& prompt, std::string refName);

    // The current date and time as the CRC report shows it; the system's short format
    // unless replaced (tests fix it).
    std::function<std::string()> Now;

    // The menu commands. Each shows its message box through UiHooks() and writes only
    // the file the user chose; a failed write raises qm::Exception with the reason.
    void ActMiss(const TReportScope& scope);
    void ActHave(const TReportScope& scope);
    void ActMissRoms(const TReportScope& scope);
    void ActMissCrc(const TReportScope& scope);

    // The name the dialog proposes for suffix ("miss.txt", "have.txt", ...).
    std::string DefaultFileName(const std::string& suffix) const;

private:
    // Asks for the file and writes lines; false when the user cancelled.
    bool Save(const std::vector<std::string>& lines, const std::string& suffix);

    const TRomsBd& roms_;
    const TFilesBd& files_;
    ISaveFilePrompt& prompt_;
    std::string refName_;
};

}  // namespace qm
