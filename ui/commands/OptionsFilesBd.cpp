// The preferences' reach into the files database.
#include "ui/commands/OptionsFilesBd.h"

#include "archive/archivemanager.h"
#include "filesdb/CaseRules.h"
#include "filesdb/filesBd.h"

namespace qm {

namespace {

TCaseOptions CaseOf(int code) {
    return code >= coDatabase && code <= coDontCare ? static_cast<TCaseOptions>(code) : coDontCare;
}

}  // namespace

std::vector<std::string> FilesBdRomPaths(const TFilesBd& filesBd) {
    std::vector<std::string> paths;
    for (int i = 0; i < filesBd.GetPathCount(); ++i) paths.push_back(filesBd.GetPath(i)->GetPath());
    return paths;
}

void ApplyWorkSettings(TFilesBd* filesBd, TArchiveManager* manager, const std::string& tempDir, int compLevel) {
    if (filesBd != nullptr) {
        if (!tempDir.empty()) filesBd->SetTempDir(tempDir);
        filesBd->SetCompressionLevel(compLevel);
        if (manager == nullptr || manager == filesBd->ArchiveManager()) return;
    }
    if (manager != nullptr) {
        if (!tempDir.empty()) manager->SetTempDir(tempDir);
        manager->SetCompressionLevel(compLevel);
    }
}

void ApplyNamingRules(TFilesBd& filesBd, int setsCase, int romsCase, bool fixExtension) {
    filesBd.FileCaseOptions = CaseOf(setsCase);
    filesBd.RomFileCaseOptions = CaseOf(romsCase);
    filesBd.SetPlugInSuggeredExtension(fixExtension);
}

void MatchAllFiles(TFilesBd& filesBd) { filesBd.MatchAll(); }

std::string CaseSample(std::string_view text, int caseCode) { return ApplyCaseOption(text, CaseOf(caseCode)); }

}  // namespace qm
