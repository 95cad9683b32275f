#pragma once
// The list view's column widths in the settings file, kept apart from the view so that
// the settings unit and the files database need not meet in one translation unit.
#include <string>
#include <utility>
#include <vector>

namespace qm {

// Key and width, in the order they are read or written.
using TColumnWidths = std::vector<std::pair<std::string, int>>;

// The program's own ini file: "<home>/<executable name>.ini".
std::string ProgramIniFileName();

// Reads each key of widths from section, its present value the default. Throws what the
// settings unit throws.
void ReadColumnWidths(const std::string& iniFile, const std::string& section, TColumnWidths& widths);
// Writes every key in order with one rewrite of the file; 0 or the errno of the rewrite.
int WriteColumnWidths(const std::string& iniFile, const std::string& section, const TColumnWidths& widths);

}  // namespace qm
