#pragma once
// Temporary: the three archive-manager calls the signature calculator uses, over
// libzip, until the archive manager itself is merged. Names and behaviour follow the
// archive manager's; removed once it lands.
#include <string>

#include "archive/archive.h"

namespace qm {

class TArchiveManager {
public:
    std::string TempDir = "/tmp/";

    // True for a name ending in ".zip" in any letter case.
    bool IsArchive(const std::string& fileName) const;
    // Appends one item per entry; archive exceptions on failure.
    void GetFileList(const std::string& archiveName, TArchiveItems& items);
    // Extracts one entry (full name) into destDir; keepPath is not supported here.
    void ExtractFile(const std::string& archiveName, const std::string& fileName, const std::string& destDir,
                     bool keepPath);
};

}  // namespace qm
