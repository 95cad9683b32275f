#pragma once
// The preferences' reach into the files database, kept in a file of its own: the files
// database's case rules (filesdb/CaseRules.h) and the emulator profile's
// (catalogue/Emulator.h) declare the same case enumeration twice, so no file may
// include both. Case codes cross here as plain integers.
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class TArchiveManager;
class TFilesBd;

// The folders of the files database's rom paths, each ending with "/".
std::vector<std::string> FilesBdRomPaths(const TFilesBd& filesBd);
// The working folder and compression level of the files database and, through it, of
// its archive manager; of the archive manager alone when no database is given. An empty
// tempDir leaves the working folder as it is.
void ApplyWorkSettings(TFilesBd* filesBd, TArchiveManager* manager, const std::string& tempDir, int compLevel);
// The case rules and the extension fixing used when naming files and roms.
void ApplyNamingRules(TFilesBd& filesBd, int setsCase, int romsCase, bool fixExtension);
void MatchAllFiles(TFilesBd& filesBd);
// A name as a case code writes it (the samples of the preferences' Fix page).
std::string CaseSample(std::string_view text, int caseCode);

}  // namespace qm
