#include "ui/views/ListColumnWidths.h"

#include <memory>

#include "archive/stringsTools.h"
#include "catalogue/config.h"

namespace qm {

std::string ProgramIniFileName() {
    const std::string program = TConfig::ProgramFileName();
    return TConfig::HomeFolderFor(program) + ExtractFileNameAnySep(program) + ".ini";
}

void ReadColumnWidths(const std::string& iniFile, const std::string& section, TColumnWidths& widths) {
    const std::shared_ptr<TIniFile> ini = TIniFile::Open(iniFile);
    for (auto& [key, width] : widths) width = ini->ReadInteger(section, key, width);
}

int WriteColumnWidths(const std::string& iniFile, const std::string& section, const TColumnWidths& widths) {
    const std::shared_ptr<TIniFile> ini = TIniFile::Open(iniFile);
    ini->BeginUpdate();
    try {
        for (const auto& [key, width] : widths) ini->WriteInteger(section, key, width);
    } catch (...) {
        ini->EndUpdate();
        throw;
    }
    return ini->EndUpdate();
}

}  // namespace qm
