// Matching files against the rom database and the status texts: not built yet.
#include "filesdb/filesBd.h"

namespace qm {

TClone* TFile::FindGame() const { return nullptr; }
void TFile::Match() {}
int TFile::GetDuplicateCount() const { return 1; }
std::string TFile::GetStatusText() const { return {}; }
int TFile::GetImageIndex() const { return 0; }
std::string TRomFile::GetStatusText() const { return {}; }
int TRomFile::GetImageIndex() const { return 0; }
std::string RomStatusText(uint8_t) { return {}; }

}  // namespace qm
