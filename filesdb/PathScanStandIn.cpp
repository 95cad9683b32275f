// STAND-IN until scanning lands: Load calls Scan, and the cache reader calls AddFile.
// Scan reads nothing; AddFile only lists the file.
#include "filesdb/filesBd.h"

namespace qm {

void TPath::Scan(bool /*rebuild*/) {}

TFile* TPath::AddFile(const std::string& fullName, uint8_t kind) {
    std::string name = fullName;
    while (!name.empty() && name.back() == '/') name.pop_back();
    name = name.substr(name.find_last_of('/') + 1);
    if (TFile* known = Files().Find(name)) return known;
    return NewFile(name, kind, true);
}

}  // namespace qm
