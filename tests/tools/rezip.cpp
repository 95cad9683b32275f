// Rezips one archive and ends: the child that the kill test stops outright.
// Usage: rezip <archive> <work folder>
#include <cstdio>

#include "archive/archivemanager.h"
#include "platform/Exception.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: rezip <archive> <work folder>\n");
        return 2;
    }
    try {
        qm::TArchiveManager manager;
        manager.SetTempDir(argv[2]);
        manager.SetCompressionLevel(9);
        manager.RecompressArchive(argv[1]);
    } catch (const qm::Exception& e) {
        std::fprintf(stderr, "%s\n", e.Message().c_str());
        return 3;
    }
    return 0;
}
