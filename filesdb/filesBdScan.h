#pragma once
// How a scan sees a folder: one listing per folder and scan, holding only what can be
// signed safely. Regular files and folders are taken; a symbolic link is taken as what
// it points to when its target lies inside the rom path; FIFOs, devices, sockets,
// dangling links and links leading out of the rom path are left out (a FIFO would block
// the plug-in that reads it, a link out of the path would list foreign files as ours).
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct TScanEntry {
    std::string name;  // bytes as the system gives them, no folder
    bool isDir = false;
    int64_t size = -1;
    int32_t date = 0;  // DOS date-and-time of the last write; 0 when unknown
    uint64_t inode = 0;
    int64_t changeTime = 0;  // status change, nanoseconds since the epoch
};

struct TScanListing {
    std::vector<TScanEntry> entries;   // sorted by name (byte order)
    std::vector<std::string> skipped;  // names left out, sorted
    int error = 0;                     // errno of opening the folder; 0 when it was read
};

// The DOS date-and-time a scan compares: the cache's kind of value, 0 for a moment that
// has none (after 2107).
int32_t ScanDate(int64_t unixSeconds);
// The status-change time of a stat, in nanoseconds since the epoch.
int64_t ChangeTimeOf(const struct stat& st);

// What a listing needs of one entry's stat.
struct TEntryStat {
    bool found = false;
    mode_t mode = 0;
    int64_t size = 0;
    int32_t date = 0;
    uint64_t inode = 0;
    int64_t ctime = 0;  // nanoseconds
};

// The room a listing works in. A caller that lists on another thread makes it (and
// reserves the listing's entries) on its own: what a thread allocates stays in that
// thread's heap once freed, out of reach of the caller's later work.
struct TListingRoom {
    std::string text;                     // the names read, each followed by a NUL
    std::vector<std::string_view> names;  // views of them, sorted
    std::vector<TEntryStat> stats;        // one for each name
    void Reserve(size_t entries) {
        text.reserve(entries * 24);
        names.reserve(entries);
        stats.reserve(entries);
    }
};

// Lists folder (ending with "/"); links are followed only into realRoot (the resolved
// rom path, ending with "/"). A large folder's entries are measured on up to threads
// threads (0: one per core); the listing is the same for any number.
void ListScanFolder(const std::string& folder, const std::string& realRoot, TScanListing& out, int threads = 1,
                    TListingRoom* room = nullptr);

// The resolved form of a folder, ending with "/"; the folder itself when it cannot be
// resolved.
std::string ResolvedFolder(const std::string& folder);

}  // namespace qm
