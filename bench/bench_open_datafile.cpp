// Opens a datafile the way the program does when the user picks it (working copy in the
// private temporary folder, header, emulator profile) and prints one line:
//   bytes=N opens=N open_ms=N per_open_ms=N comment_lines=N peak_rss_mb=N
// The settings and the temporary folder live in a fresh folder under /tmp, removed at
// the end; the datafile itself is only read.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/FilesTools.h"
#include "catalogue/config.h"
#include "platform/Exception.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: bench_open_datafile FILE [OPENS]\n");
        return 2;
    }
    const std::string file = std::filesystem::absolute(argv[1]).string();
    const int opens = argc == 3 ? std::atoi(argv[2]) : 10;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 2;
    }

    char pattern[] = "/tmp/bench-open-XXXXXX";
    if (!::mkdtemp(pattern)) return 2;
    const std::string root = pattern;
    ::setenv("QUARMELLE_HOME", (root + "/home").c_str(), 1);
    ::setenv("TMPDIR", root.c_str(), 1);

    int rc = 0;
    long long ms = 0;
    size_t commentLines = 0;
    {
        qm::TConfig config("/opt/quarmelle/bin/quarmelle");
        const auto start = std::chrono::steady_clock::now();
        try {
            for (int i = 0; i < opens; ++i) {
                config.Emulator->RomPaths().Clear();
                config.OpenDataFile(file, "");
            }
        } catch (const qm::Exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            rc = 1;
        }
        ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        commentLines = config.DataFile->Comment.size();
    }
    qm::RemoveTempDirectory();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    if (rc != 0) return rc;

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("bytes=%lld opens=%d open_ms=%lld per_open_ms=%.2f comment_lines=%zu peak_rss_mb=%ld\n",
                static_cast<long long>(st.st_size), opens, ms, opens > 0 ? static_cast<double>(ms) / opens : 0.0,
                commentLines, usage.ru_maxrss / 1024);
    return 0;
}
