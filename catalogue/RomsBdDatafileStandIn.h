#pragma once
// Temporary: the members of the datafile reader that the rom database uses, until the
// reader lands in DataFile.h.
#include <string>

#include "catalogue/DataFile.h"
#include "platform/Progress.h"

namespace qm {

class TDatafile {
public:
    TDataFileItems GameItems;
    TDataFileItems ResourceItems;
    TProgressEvent OnProgress;
    TInfosEvent OnInfos;
    bool Abort = false;

    const std::string& GetDataFileName() const { return dataFileName_; }
    void SetDataFileName(const std::string& name) { dataFileName_ = name; }

    void AddItem(std::string parentName, std::string parentDescription, std::string gameName,
                 std::string gameDescription, std::string romName, std::string crc, int64_t size,
                 std::string romOf, std::string merge, bool isResource) {
        (isResource ? ResourceItems : GameItems)
            .Add(std::move(parentName), std::move(parentDescription), std::move(gameName),
                 std::move(gameDescription), std::move(romName), std::move(crc), size, std::move(romOf),
                 std::move(merge));
    }
    void Clear() {
        GameItems.Clear();
        ResourceItems.Clear();
    }
    void LoadFromFile() { Clear(); }

private:
    std::string dataFileName_;
};

}  // namespace qm
