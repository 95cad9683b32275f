// The text reports: their lines built from the databases, written to the file the user picks.
#include "ui/commands/Reports.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <algorithm>
#include <unordered_set>

#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/SaveFilePrompt.h"

namespace qm {

namespace {

bool RomFound(const TCloneRom* cloneRom) { return cloneRom->Rom->MatchCount > 0; }

// Complete as the tree shows it (status 2, or 6 with a bad dump shown). A set whose
// needed list is empty (every rom comes from a parent) is no more complete than what
// it shows.
bool ShownComplete(const TClone* clone) {
    const int status = clone->GetStatus();
    return status == 2 || status == 6;
}

std::vector<std::string> GamesReport(const TRomsBd& roms, const TReportScope& scope, const std::string& refName,
                                     bool complete, const std::string& header) {
    const std::vector<TClone*> clones = ReportClones(roms, scope.ListedClones);
    std::vector<std::string> lines;
    for (const TClone* clone : clones)
        if (ShownComplete(clone) == complete) lines.push_back(clone->GetDisplayName());
    if (lines.empty()) return lines;
    std::string top = Fmt(header, {std::to_string(lines.size()), std::to_string(clones.size()), refName}) +
                      SubListSuffix(scope.SubListFileName, scope.AllExcept);
    lines.insert(lines.begin(), {std::move(top), std::string()});
    return lines;
}

}  // namespace

std::string SubListSuffix(const std::string& subListFileName, bool allExcept) {
    if (subListFileName.empty()) return {};
    const std::string name = RemoveFileExt(ExtractFileNameAnySep(subListFileName));
    return " (" + (allExcept ? Fmt(_("all except %1"), {name}) : name) + ")";
}

std::vector<TClone*> ReportClones(const TRomsBd& roms, const std::vector<TClone*>& listed) {
    std::vector<TClone*> clones;
    clones.reserve(listed.size());
    if (roms.Split) {
        for (TClone* clone : listed)
            if (clone != nullptr) clones.push_back(clone);
        return clones;
    }
    // Each set once, under its parent, where the first of its clones is listed: the
    // tree shows a set when any of its clones passes the sub-list.
    std::unordered_set<const TClone*> seen;
    for (const TClone* clone : listed) {
        TClone* parent = clone != nullptr ? clone->Game->GetParentClone() : nullptr;
        if (parent != nullptr && seen.insert(parent).second) clones.push_back(parent);
    }
    return clones;
}

std::vector<std::string> BuildMissingGamesReport(const TRomsBd& roms, const TReportScope& scope,
                                                 const std::string& refName) {
    return GamesReport(roms, scope, refName, false, _("You are missing %1 of %2 known %3 ROMS"));
}

std::vector<std::string> BuildHaveGamesReport(const TRomsBd& roms, const TReportScope& scope,
                                              const std::string& refName) {
    return GamesReport(roms, scope, refName, true, _("You have %1 of %2 known %3 games"));
}

std::vector<std::string> BuildMissingRomsReport(const TRomsBd& roms, const TReportScope& scope,
                                                const std::string& refName) {
    std::vector<std::string> lines;
    size_t romCount = 0;
    size_t gameCount = 0;
    TCloneRomsList needed;
    for (const TClone* clone : ReportClones(roms, scope.ListedClones)) {
        if (ShownComplete(clone)) continue;
        std::string line = clone->GetDisplayName();
        if (!clone->HasFoundRoms()) line += " (" + _("all roms") + ")";
        lines.push_back(std::move(line));
        ++gameCount;
        clone->ListRoms(needed, true);
        for (const TCloneRom* cloneRom : needed) {
            if (RomFound(cloneRom)) continue;
            lines.push_back("   " + cloneRom->Name + " (" + cloneRom->Crc + ")");
            ++romCount;
        }
    }
    if (romCount == 0) return {};
    std::string top = Fmt(_("You are missing %1 roms (%2 games) of %3 known %4 roms (%5 games)"),
                          {std::to_string(romCount), std::to_string(gameCount), std::to_string(scope.RomCount),
                           refName, std::to_string(scope.CloneCount)}) +
                      SubListSuffix(scope.SubListFileName, scope.AllExcept);
    lines.insert(lines.begin(), {std::move(top), std::string()});
    return lines;
}

std::vector<std::string> BuildMissingCrcsReport(const TRomsBd& roms, const TReportScope& scope,
                                                const std::string& refName, const std::string& builtOn) {
    std::vector<std::string> crcs;
    size_t count = 0;
    TCloneRomsList shown;
    for (const TClone* clone : ReportClones(roms, scope.ListedClones)) {
        if (ShownComplete(clone)) continue;
        clone->ListRoms(shown, false);
        for (const TCloneRom* cloneRom : shown) {
            if (RomFound(cloneRom) || cloneRom->Rom->Kind != rkKnown) continue;
            crcs.push_back(cloneRom->Rom->Crc);
            ++count;
        }
    }
    // Sorted once and made distinct, however many sets share a CRC.
    std::sort(crcs.begin(), crcs.end(),
              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    crcs.erase(std::unique(crcs.begin(), crcs.end(),
                           [](const std::string& a, const std::string& b) { return SameText(a, b); }),
               crcs.end());
    std::vector<std::string> lines;
    lines.reserve(crcs.size() + 5);
    lines.push_back(_("Datafile ") + refName + SubListSuffix(scope.SubListFileName, scope.AllExcept));
    lines.push_back(_("You are missing ") + std::to_string(count) + _(" roms."));
    lines.push_back(_("Built by Quarmelle on ") + builtOn + ".");
    lines.emplace_back();
    lines.emplace_back("[crc]");
    for (std::string& crc : crcs) lines.push_back(std::move(crc));
    return lines;
}

std::string ReportFileText(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const std::string& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string ReportInitialFolder(const TFilesBd& files) {
    // Beside the collection, never inside it: a report saved in a rom path would be an
    // unknown file of that path at its next scan, and a fix could set it aside.
    const TPathsList& paths = files.Paths();
    const auto insideRomPath = [&paths](const std::string& folder) {
        for (int i = 0; i < paths.Count(); ++i)
            if (folder.rfind(paths.GetPath(i)->GetPath(), 0) == 0) return true;
        return false;
    };
    for (int i = 0; i < paths.Count(); ++i) {
        const TPath* path = paths.GetPath(i);
        if (!path->IsVolumeAvailable()) continue;
        std::string folder = path->GetPath();
        while (folder.size() > 1 && insideRomPath(folder))
            folder.erase(folder.find_last_of('/', folder.size() - 2) + 1);
        if (folder.size() > 1) return folder;
        break;
    }
    std::string home = QDir::homePath().toStdString();
    if (home.empty() || home.back() != '/') home += '/';
    return home;
}

// ---- TReportWriter ------------------------------------------------------------------

TReportWriter::TReportWriter(const TRomsBd& roms, const TFilesBd& files, ISaveFilePrompt& prompt,
                             std::string refName)
    : roms_(roms), files_(files), prompt_(prompt), refName_(std::move(refName)) {
    Now = [] { return QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat).toStdString(); };
}

std::string TReportWriter::DefaultFileName(const std::string& suffix) const {
    return MakeValidFileName(refName_) + suffix;
}

bool TReportWriter::Save(const std::vector<std::string>& lines, const std::string& suffix) {
    TSaveFileRequest request;
    request.Filter = _("Text files") + " (*.txt *.TXT)";
    request.InitialFolder = ReportInitialFolder(files_);
    request.DefaultSuffix = "txt";
    request.DefaultName = DefaultFileName(suffix);
    std::string fileName;
    if (!prompt_.PromptSaveFile(request, fileName)) return false;
    if (const int err = Fs().WriteFileAtomic(fileName, ReportFileText(lines)))
        throw Exception(Fmt(_("Cannot write file %1: %2"), {fileName, SysErrorMessage(err)}));
    return true;
}

void TReportWriter::ActMiss(const TReportScope& scope) {
    const std::vector<std::string> lines = BuildMissingGamesReport(roms_, scope, refName_);
    if (lines.empty()) {
        UiHooks().MessageDlg(_("No games missing"), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    if (Save(lines, "miss.txt")) UiHooks().MessageDlg(_("Files 'miss' saved."), TMsgDlgType::mtInformation, mbOK);
}

void TReportWriter::ActHave(const TReportScope& scope) {
    const std::vector<std::string> lines = BuildHaveGamesReport(roms_, scope, refName_);
    if (lines.empty()) {
        UiHooks().MessageDlg(_("No games available"), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    if (Save(lines, "have.txt")) UiHooks().MessageDlg(_("Files 'have' saved."), TMsgDlgType::mtInformation, mbOK);
}

void TReportWriter::ActMissRoms(const TReportScope& scope) {
    const std::vector<std::string> lines = BuildMissingRomsReport(roms_, scope, refName_);
    if (lines.empty()) {
        UiHooks().MessageDlg(_("No games missing"), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    if (Save(lines, "missrom.txt"))
        UiHooks().MessageDlg(_("Files 'miss' saved."), TMsgDlgType::mtInformation, mbOK);
}

void TReportWriter::ActMissCrc(const TReportScope& scope) {
    const std::vector<std::string> lines = BuildMissingCrcsReport(roms_, scope, refName_, Now ? Now() : std::string());
    if (Save(lines, "misscrc.txt"))
        UiHooks().MessageDlg(_("Files 'miss' saved."), TMsgDlgType::mtInformation, mbOK);
}

}  // namespace qm
