// Rewrites archives and ends: the child that the kill test stops outright.
// Usage: zip_rewrite rezip|rename|batch <archive> <work folder> [archive...]
// "rename" gives every entry "romN.bin" the name "newN.bin"; "batch" rezips every
// archive given in one durable batch.
#include <cstdio>
#include <string>

#include "archive/archivemanager.h"
#include "platform/Exception.h"
#include "platform/RewriteBatch.h"

int main(int argc, char** argv) {
    const std::string operation = argc >= 4 ? argv[1] : "";
    if (operation != "rezip" && operation != "rename" && operation != "batch") {
        std::fprintf(stderr, "usage: zip_rewrite rezip|rename|batch <archive> <work folder> [archive...]\n");
        return 2;
    }
    try {
        qm::TArchiveManager manager;
        manager.SetTempDir(argv[3]);
        manager.SetCompressionLevel(9);
        if (operation == "batch") {
            qm::TRewriteBatch batch;
            manager.RecompressArchive(argv[2]);
            for (int i = 4; i < argc; ++i) manager.RecompressArchive(argv[i]);
            if (!batch.Commit().empty()) return 3;
        } else if (operation == "rezip") {
            manager.RecompressArchive(argv[2]);
        } else {
            qm::TArchiveItems items;
            manager.GetFileList(argv[2], items);
            qm::TRenameList list;
            for (const qm::TArchiveItem& item : items) {
                const std::string name = item.GetFullName();
                if (name.rfind("rom", 0) == 0) list.push_back(qm::TRenameItem{name, "new" + name.substr(3), 0});
            }
            manager.RenameFiles(argv[2], list);
        }
    } catch (const qm::Exception& e) {
        std::fprintf(stderr, "%s\n", e.Message().c_str());
        return 3;
    }
    return 0;
}
