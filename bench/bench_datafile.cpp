// Loads a datafile with TDatafile and prints one line:
//   items=N resources=N load_ms=N peak_rss_mb=N page_faults=N
// items and resources count the game and resource items; peak_rss_mb is the peak
// resident size of the whole process; page_faults the page faults of the whole process
// (in a virtual machine each one is dear: they can outweigh the parse).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "catalogue/DataFile.h"
#include "platform/Exception.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_datafile FILE\n");
        return 2;
    }
    qm::TDatafile datafile;
    datafile.SetDataFileName(argv[1]);
    const auto start = std::chrono::steady_clock::now();
    try {
        datafile.LoadFromFile();
    } catch (const qm::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("items=%zu resources=%zu load_ms=%lld peak_rss_mb=%ld page_faults=%ld\n", datafile.GetGameCount(),
                datafile.ResourceItems.Count(), static_cast<long long>(ms), usage.ru_maxrss / 1024,
                usage.ru_minflt + usage.ru_majflt);
    return 0;
}
