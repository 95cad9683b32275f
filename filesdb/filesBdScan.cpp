// Bringing a rom path up to date with its folder: vanished files are dropped, new and
// changed files are signed, unchanged ones keep what the cache gave them.
#include "filesdb/filesBdScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <atomic>
#include <climits>
#include <system_error>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/qmZip.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/CacheFileUnit.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/Threads.h"

namespace qm {

int64_t ChangeTimeOf(const struct stat& st) {
    return static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}

int32_t ScanDate(int64_t unixSeconds) {
    const int32_t date = DosDateTimeFromUnix(unixSeconds);
    return date == -1 ? 0 : date;
}

std::string ResolvedFolder(const std::string& folder) {
    char resolved[PATH_MAX];
    std::string out = ::realpath(folder.c_str(), resolved) != nullptr ? std::string(resolved) : folder;
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

namespace {

// What a listing needs of one entry's stat.
struct TEntryStat {
    bool found = false;
    mode_t mode = 0;
    int64_t size = 0;
    int64_t mtime = 0;
    uint64_t inode = 0;
    int64_t ctime = 0;  // nanoseconds
};

TEntryStat EntryStatOf(const struct stat& st) {
    return {true, st.st_mode, static_cast<int64_t>(st.st_size), static_cast<int64_t>(st.st_mtime),
            static_cast<uint64_t>(st.st_ino), ChangeTimeOf(st)};
}

// Stats the names of a folder, side by side on up to threads threads (0: one per core)
// when the folder is large: a stat is a system call each, and they make most of the
// time of a rescan.
std::vector<TEntryStat> StatEntries(int dirFd, const std::vector<std::string>& names, int threads) {
    std::vector<TEntryStat> stats(names.size());
    constexpr size_t kBlock = 512;
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t from; (from = next.fetch_add(kBlock)) < names.size();) {
            const size_t to = std::min(names.size(), from + kBlock);
            for (size_t i = from; i < to; ++i) {
                struct stat st;
                if (::fstatat(dirFd, names[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                stats[i] = EntryStatOf(st);
            }
        }
    };
    const size_t wanted = threads > 0 ? static_cast<size_t>(threads) : std::thread::hardware_concurrency();
    // A thread is worth its start for some thousand names.
    RunOnThreads(std::max<size_t>(1, std::min(wanted, names.size() / 1024)), work);
    return stats;
}

}  // namespace

void ListScanFolder(const std::string& folder, const std::string& realRoot, TScanListing& out, int threads) {
    out.entries.clear();
    out.skipped.clear();
    out.error = 0;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        out.error = errno;
        return;
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        // The program's own work files are no file of the collection; those a process
        // that is gone left behind (a rewrite killed half way) go.
        if (IsSiblingTemp(e->d_name)) {
            const std::string leftover = folder + e->d_name;
            std::error_code ignored;
            if (SiblingTempLeftOver(leftover)) std::filesystem::remove_all(leftover, ignored);
            continue;
        }
        names.emplace_back(e->d_name);
    }
    const std::vector<TEntryStat> stats = StatEntries(::dirfd(dir), names, threads);
    ::closedir(dir);
    out.entries.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        std::string& name = names[i];
        if (!stats[i].found) {
            out.skipped.push_back(std::move(name));  // vanished since the listing
            continue;
        }
        TEntryStat st = stats[i];
        if (S_ISLNK(st.mode)) {
            char resolved[PATH_MAX];
            const std::string linkName = folder + name;
            struct stat target;
            // Inside means below the root: the root itself (a loop) is not inside.
            if (::realpath(linkName.c_str(), resolved) == nullptr || std::string(resolved).rfind(realRoot, 0) != 0 ||
                ::stat(resolved, &target) != 0) {
                out.skipped.push_back(std::move(name));
                continue;
            }
            st = EntryStatOf(target);
        }
        if (!S_ISREG(st.mode) && !S_ISDIR(st.mode)) {
            out.skipped.push_back(std::move(name));
            continue;
        }
        TScanEntry entry;
        entry.name = std::move(name);
        entry.isDir = S_ISDIR(st.mode);
        entry.size = entry.isDir ? 0 : st.size;
        entry.date = ScanDate(st.mtime);
        entry.inode = st.inode;
        entry.changeTime = st.ctime;
        out.entries.push_back(std::move(entry));
    }
    std::sort(out.entries.begin(), out.entries.end(),
              [](const TScanEntry& a, const TScanEntry& b) { return a.name < b.name; });
    std::sort(out.skipped.begin(), out.skipped.end());
}

namespace {

std::string KeyOf(std::string fullName) {
    while (!fullName.empty() && fullName.back() == '/') fullName.pop_back();
    const size_t cut = fullName.find_last_of('/');
    return cut == std::string::npos ? fullName : fullName.substr(cut + 1);
}

// Each folder is listed once per scan: the listing serves the vanished-file test, the
// change test and the reading of new folders alike.
// A trash folder at a rom path's top (a USB stick that holds only roms) is the desktop's,
// not a set: ".Trash" and ".Trash-<uid>" are left out there.
bool IsTrashFolder(const TScanEntry& entry) {
    if (!entry.isDir) return false;
    if (entry.name == ".Trash") return true;
    constexpr std::string_view prefix = ".Trash-";
    if (entry.name.size() <= prefix.size() || entry.name.compare(0, prefix.size(), prefix) != 0) return false;
    return entry.name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

class TFolderReader {
public:
    explicit TFolderReader(const std::string& root, int threads = 1)
        : root_(root), realRoot_(ResolvedFolder(root)), threads_(threads) {}

    const TScanListing& Listing(const std::string& folder) {
        auto it = listings_.find(folder);
        if (it != listings_.end()) return it->second;
        TScanListing& listing = listings_[folder];
        ListScanFolder(folder, realRoot_, listing, threads_);
        if (folder == root_) std::erase_if(listing.entries, IsTrashFolder);
        return listing;
    }

private:
    std::string root_;
    std::string realRoot_;
    int threads_;
    std::unordered_map<std::string, TScanListing> listings_;
};

// Folder members are signed as files even when they are zips; the calculator's own
// setting comes back on every way out, an exception included.
class TScanInsideZipOff {
public:
    explicit TScanInsideZipOff(TSignatureCalculator& calc) : calc_(calc), previous_(calc.ScanInsideZip()) {
        calc_.SetScanInsideZip(false);
    }
    ~TScanInsideZipOff() { calc_.SetScanInsideZip(previous_); }
    TScanInsideZipOff(const TScanInsideZipOff&) = delete;
    TScanInsideZipOff& operator=(const TScanInsideZipOff&) = delete;

private:
    TSignatureCalculator& calc_;
    bool previous_;
};

TSignatureCalculator& Calculator(const TPath& path) {
    TFilesBd* bd = path.FilesBd();
    TSignatureCalculator* calc = bd != nullptr ? bd->SignatureCalculator() : nullptr;
    if (calc == nullptr) throw ENoPlugInAvailable(_("No plug in specified"));
    return *calc;
}

void Sign(const TPath& path, TSignatureCalculator& calc, const std::string& fileName) {
    if (TFilesBd* bd = path.FilesBd()) ++bd->SignatureCalls;
    calc.Calculate(fileName);
}

bool Exists(const std::string& name, bool wantFolder) {
    TFileStat st;
    if (Fs().Stat(name, st) != 0 || !st.exists) return false;
    return !wantFolder || st.isDir;
}

void LogSkipped(const TPath& path, const std::string& folder, const TScanListing& listing) {
    for (const std::string& name : listing.skipped)
        path.Log(Fmt(_("%1 skipped: not a regular file or folder of the rom path"), {folder + name}));
}

// A zip's listing made before the merge, on one of the scan's threads.
struct TPrelisted {
    bool done = false;
    int code = 0;
    std::string why;  // the failure's file and system text
    TArchiveItems items;
    // The zip measured just after its listing, as the merge would measure it: the
    // merge's thread is spared a system call per zip.
    int statError = 0;
    TFileStat stat;
};

// Lists the zips side by side: each thread takes the next archive in turn; the results
// stay in their slots, so the merge that follows meets them in the folder's order.
int ListZipsInParallel(const std::vector<std::string>& names, std::vector<TPrelisted>& out, int wanted) {
    out.assign(names.size(), TPrelisted{});
    int threads = wanted > 0 ? wanted : static_cast<int>(std::thread::hardware_concurrency());
    // Left to itself, a thread is worth its start for some 64 archives.
    const size_t most = wanted > 0 ? names.size() : (names.size() + 63) / 64;
    threads = std::max(1, static_cast<int>(std::min<size_t>(static_cast<size_t>(threads), most)));
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < names.size();) {
            try {
                out[i].code = TQMZip::ListEntries(names[i], out[i].items, &out[i].why);
                out[i].statError = Fs().Stat(names[i], out[i].stat);
                out[i].done = true;
            } catch (...) {
                // Left to the merge, which lists it again and meets the failure itself.
                out[i] = TPrelisted{};
            }
        }
    };
    return static_cast<int>(RunOnThreads(static_cast<size_t>(std::max(threads, 1)), work));
}

TFile* AddFileFrom(TPath& path, const std::string& fullNameText, uint8_t kind, TFolderReader& reader,
                   const TScanEntry* entry = nullptr, const TPrelisted* listed = nullptr) {
    const std::string fullName = kind == fkFolder ? WithSlash(fullNameText) : fullNameText;
    const std::string key = KeyOf(fullName);
    if (TFile* known = path.Files().Find(key)) return known;

    TFile* file = nullptr;
    switch (kind) {
        case fkPlain: {
            TFileStat st;
            if (Fs().Stat(fullName, st) != 0 || !st.exists)
                throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {key}));
            TSignatureCalculator& calc = Calculator(path);
            file = path.NewFile(key, fkPlain, true);
            file->FullPath = fullName;
            file->Size = st.size;
            Sign(path, calc, fullName);
            // A file whose extension the calculator filters out gives no result: it is
            // listed without rom and without error.
            if (calc.GetCount() == 0) break;
            const TCrcItem& item = calc.GetItem(0);
            file->Size = item.Size;
            if (!item.ErrorText.empty()) {
                file->SetError(item.ErrorText);
            } else {
                TRomFile* romFile = file->AddRomFile(item.Name, item.Signature, 0, item.Size, item.Extension);
                romFile->SetComment(item.Comment);
            }
            break;
        }
        case fkZip: {
            TFileStat st;
            const bool measured = listed != nullptr && listed->done;
            if (measured) st = listed->stat;
            if ((measured ? listed->statError : Fs().Stat(fullName, st)) != 0 || !st.exists)
                throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {fullName}));
            TFilesBd* bd = path.FilesBd();
            TArchiveManager* manager = bd != nullptr ? bd->ArchiveManager() : nullptr;
            if (st.size == 0 && !st.isDir && manager != nullptr && bd->RepairsWhileScanning && !path.IsReadOnly()) {
                // A zero-byte ".zip" holds nothing; it becomes a valid empty archive.
                try {
                    if (Fs().Unlink(fullName) == 0) manager->CreateEmptyArchive(fullName);
                } catch (const qm::EAbortOperation&) {
                    throw;
                } catch (const std::exception& e) {
                    path.Log(e.what());
                }
                if (Fs().Stat(fullName, st) != 0 || !st.exists)
                    throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {fullName}));
            }
            TSignatureCalculator& calc = Calculator(path);
            file = path.NewFile(key, fkZip, true);
            file->FullPath = fullName;
            file->Size = st.size;
            if (listed != nullptr && listed->done && st.size == entry->size) {
                if (TFilesBd* counted = path.FilesBd()) ++counted->SignatureCalls;
                calc.CalculateListed(fullName, listed->code, listed->items, listed->why);
            } else {
                Sign(path, calc, fullName);
                entry = nullptr;  // read now: its date is read now too
            }
            for (const TCrcItem& item : calc.Items()) {
                TRomFile* romFile = file->AddRomFile(item.Name, item.Signature, 0, item.Size, item.Extension);
                romFile->SetComment(item.Comment);
                if (!item.ErrorText.empty()) romFile->SetError(item.ErrorText);
            }
            break;
        }
        case fkFolder: {
            if (!Exists(fullName, true)) throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {key}));
            TSignatureCalculator& calc = Calculator(path);
            file = path.NewFile(key, fkFolder, true);
            file->FullPath = fullName;
            file->Size = 0;
            const TScanListing& listing = reader.Listing(fullName);
            LogSkipped(path, fullName, listing);
            if (listing.error != 0) {
                file->SetError(SysErrorMessage(listing.error));
                break;
            }
            TScanInsideZipOff asFiles(calc);
            for (const TScanEntry& member : listing.entries) {
                if (member.isDir) continue;
                Sign(path, calc, fullName + member.name);
                if (calc.GetCount() == 0) continue;
                const TCrcItem& item = calc.GetItem(0);
                if (!item.ErrorText.empty()) {
                    file->SetError(item.ErrorText);
                } else {
                    TRomFile* romFile =
                        file->AddRomFile(item.Name, item.Signature, member.date, item.Size, item.Extension);
                    romFile->SetComment(item.Comment);
                }
            }
            break;
        }
        default:
            throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {key}));
    }
    if (entry != nullptr && kind == fkZip) {
        // The date the folder's listing gave: no second look at the disk.
        if (entry->date != 0) {
            file->Date = entry->date;
            for (const auto& item : file->RomFiles)
                if (!item.romFile->IsPlaceholder()) item.romFile->Date = file->Date;
        }
        file->Inode = entry->inode;
        file->ChangeTime = entry->changeTime;
    } else {
        file->UpdateDate();
        // Measured before the reading: a file replaced meanwhile is read again next time.
        if (entry != nullptr && kind == fkPlain) {
            file->Inode = entry->inode;
            file->ChangeTime = entry->changeTime;
        }
    }
    return file;
}

// A listed file that the scan may keep as the cache gave it. A file without rom, with a
// rom in error or a flagged rom is read again; a folder also when one of its members is
// new or changed in size or date.
bool HoldsARom(const TFile* file) {
    for (const auto& item : file->RomFiles)
        if (!item.romFile->IsPlaceholder()) return true;
    return false;
}

bool CanKeep(const TPath& path, TFile* file, const TScanEntry& entry, TFolderReader& reader) {
    // (The first rom file found is enough: a count would walk every placeholder.)
    if (!HoldsARom(file) || file->HasRomErrorFlags() || file->HasError() || file->HasRomErrors())
        return false;
    // A date has a resolution of two seconds: an archive rewritten within them still
    // tells by its size. (A plain file's size is its rom's, which may differ from the
    // file on disk.)
    if (file->IsZip() && file->Size > 0 && file->Size != entry.size) return false;
    if (!file->IsFolder()) return path.IsFileUnchanged(file, entry);
    std::unordered_map<std::string_view, const TRomFile*> byName;
    for (const auto& item : file->RomFiles) {
        const TRomFile* romFile = item.romFile.get();
        if (!romFile->IsPlaceholder()) byName.emplace(romFile->StoredName(), romFile);
    }
    const TScanListing& listing = reader.Listing(file->FullPath);
    if (listing.error != 0) return false;
    for (const TScanEntry& member : listing.entries) {
        if (member.isDir) continue;
        auto it = byName.find(member.name);
        if (it == byName.end() || it->second->Size != member.size || it->second->Date != member.date) return false;
    }
    return true;
}

}  // namespace

TFile* TPath::AddFile(const std::string& fullName, uint8_t kind) {
    TFolderReader reader(path_);
    return AddFileFrom(*this, fullName, kind, reader);
}

bool TPath::IsFileUnchanged(const TFile* file, const TScanEntry& entry) const {
    if (file->Date != 0 && file->Date != entry.date) return false;
    // A file replaced by another of the same size and date (rsync -t, cp -p, unzip)
    // is another inode, or the same one changed since: only a cache written before
    // these were kept lacks them.
    if (file->Inode != 0 && entry.inode != 0 &&
        (file->Inode != entry.inode || file->ChangeTime != entry.changeTime))
        return false;
    return file->Name == entry.name;
}

void TPath::Scan(bool rebuild) {
    // The files of a volume that is not there (unplugged, another disk in its place, or
    // only its empty mount point left) are what the cache says, not what the folder holds.
    if (!CacheFile().CheckVolume()) return;
    if (!Exists(path_, true)) return;
    TFolderReader reader(path_, FilesBd() != nullptr ? FilesBd()->ScanThreads : 1);
    const TScanListing& top = reader.Listing(path_);
    if (top.error != 0) {
        // A folder that cannot be read is not an empty one: nothing is dropped.
        Log(Fmt(_("Cannot read %1: %2"), {path_, SysErrorMessage(top.error)}));
        return;
    }
    TFilesBd* bd = FilesBd();
    if (bd != nullptr) bd->DoInfos(Fmt(_("Preparing %1"), {path_}));
    if (rebuild) ClearFiles();

    // Files that could not be read last time are tested as archives once read again.
    std::unordered_set<std::string> erroneous;
    for (const auto& file : files_)
        if (file->HasError() || file->HasRomErrors()) erroneous.insert(LowerCase(file->FullPath));

    cacheFile_->Clear();

    LogSkipped(*this, path_, top);
    std::unordered_map<std::string_view, const TScanEntry*> onDisk;
    onDisk.reserve(top.entries.size());
    for (const TScanEntry& entry : top.entries) onDisk.emplace(entry.name, &entry);

    const int64_t total = static_cast<int64_t>(files_.Count()) + static_cast<int64_t>(top.entries.size());
    int64_t position = 0;
    const auto step = [&] {
        if (owner_ != nullptr) owner_->CheckAbort();
        ++position;
        if (bd != nullptr) bd->DoProgress(position, total);
    };

    // Vanished files, by exact name: a file renamed only in case is dropped here and
    // read again under its new name below. They leave the list together, in one pass,
    // also when Cancel ends the loop.
    std::vector<TFile*> vanished;
    {
        const TFinally dropVanished([&] { DropFiles(vanished); });
        const int count = files_.Count();
        for (int index = 0; index < count; ++index) {
            step();
            TFile* file = files_[index];
            auto it = onDisk.find(file->Name);
            bool keep = it != onDisk.end() && it->second->isDir == file->IsFolder();
            if (keep && file->IsFolder()) {
                const TScanListing& members = reader.Listing(file->FullPath);
                // An unreadable folder loses no member here; it is read again below.
                if (members.error != 0) continue;
                std::unordered_set<std::string_view> present;
                for (const TScanEntry& member : members.entries)
                    if (!member.isDir) present.insert(member.name);
                std::vector<TRomFile*> gone;
                for (const auto& item : file->RomFiles) {
                    TRomFile* romFile = item.romFile.get();
                    if (!romFile->IsPlaceholder() && present.count(romFile->StoredName()) == 0) gone.push_back(romFile);
                }
                for (TRomFile* romFile : gone) file->DropRomFile(romFile);
            }
            if (!keep) vanished.push_back(file);
        }
    }

    // The zips to read are listed first, side by side; the merge below then takes each
    // listing in the folder's order, as a one-thread scan would have made it.
    std::unordered_map<const TScanEntry*, size_t> prelistedAt;
    std::vector<TPrelisted> prelisted;
    // The zips found unchanged while choosing what to list: the merge keeps them without
    // a second look.
    std::unordered_set<const TScanEntry*> keptZips;
    if (bd != nullptr) bd->ScanThreadsUsed = 1;
    if (bd != nullptr && bd->ScanThreads != 1 && bd->ArchiveManager() != nullptr && !bd->ArchiveManager()->OnMessage &&
        bd->SignatureCalculator() != nullptr) {
        std::vector<std::string> names;
        for (const TScanEntry& entry : top.entries) {
            if (entry.isDir || entry.size <= 0 || !SameText(FileExtension(entry.name), ".zip")) continue;
            TFile* file = files_.Find(entry.name);
            if (file != nullptr && CanKeep(*this, file, entry, reader)) {
                keptZips.insert(&entry);
                continue;
            }
            if (names.empty() && !bd->SignatureCalculator()->SignsZipByListing(path_ + entry.name)) break;
            prelistedAt.emplace(&entry, names.size());
            names.push_back(path_ + entry.name);
        }
        if (names.size() > 1) bd->ScanThreadsUsed = ListZipsInParallel(names, prelisted, bd->ScanThreads);
        else prelistedAt.clear();
    }

    // The folder's entries: new files and changed ones are read.
    for (const TScanEntry& entry : top.entries) {
        step();
        if (bd != nullptr) bd->DoInfos(Fmt(_("Loading %1"), {LowerCase(entry.name)}));
        const uint8_t kind = entry.isDir ? fkFolder : SameText(FileExtension(entry.name), ".zip") ? fkZip : fkPlain;
        TFile* file = files_.Find(entry.name);
        try {
            if (file != nullptr && keptZips.count(&entry) == 0 && !CanKeep(*this, file, entry, reader)) {
                DropFile(file);
                file = nullptr;
            }
            if (file == nullptr) {
                auto listed = prelistedAt.find(&entry);
                TPrelisted* pre = listed != prelistedAt.end() ? &prelisted[listed->second] : nullptr;
                // The listing goes once its rom files are made: the listings of a large
                // folder would otherwise all stay until the last zip is taken.
                const TFinally release([pre] {
                    if (pre != nullptr) TArchiveItems().swap(pre->items);
                });
                file = AddFileFrom(*this, path_ + entry.name, kind, reader, &entry, pre);
            } else if (file->IsFolder()) {
                // The cache holds no date of a folder itself.
                file->Date = entry.date;
                file->Size = 0;
            } else {
                // Kept: a file the cache knew without them is measured from now on.
                file->Inode = entry.inode;
                file->ChangeTime = entry.changeTime;
            }
            if (!erroneous.empty() && erroneous.count(LowerCase(file->FullPath)) != 0) file->TestArchive();
        } catch (const qm::EAbortOperation&) {
            throw;
        } catch (const std::exception& e) {
            // One file that vanished or cannot be read does not cost the whole scan: it is
            // listed with its error, and read again (or dropped) by the next scan.
            Log(e.what());
            file = files_.Find(entry.name);
            if (file == nullptr) file = NewFile(entry.name, kind, true);
            file->SetError(e.what());
        }
    }
}

bool TPath::HasChanged() {
    ReadDiskInfo();
    if (!IsVolumeAvailable()) return false;
    if (TFilesBd* bd = FilesBd()) bd->DoInfos(Fmt(_("Check path %1 for changes..."), {path_}));
    if (!cacheFile_->CacheFileExists()) return true;
    struct stat folder;
    if (::stat(path_.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) return true;
    struct stat cache;
    if (::stat(cacheFile_->GetCacheFileName().c_str(), &cache) == 0) {
        const auto older = [](const timespec& a, const timespec& b) {
            return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
        };
        if (older(cache.st_mtim, folder.st_mtim)) return true;
    }
    if (CountDirEntries(path_) != cacheFile_->GetEntryCount()) return true;

    std::unordered_map<std::string_view, TFile*, TSameTextHash, TSameTextEqual> byName;
    for (const auto& file : files_) byName.emplace(file->Name, file.get());
    TFolderReader reader(path_);
    for (const TScanEntry& entry : reader.Listing(path_).entries) {
        auto it = byName.find(entry.name);
        if (it == byName.end()) return true;
        const TFile* file = it->second;
        if (!entry.isDir) {
            if (file->IsFolder() || !IsFileUnchanged(file, entry)) return true;
            continue;
        }
        if (!file->IsFolder()) return true;
        for (const TScanEntry& member : reader.Listing(path_ + entry.name + "/").entries) {
            if (member.isDir) continue;
            const int index = file->RomFiles.IndexOfFileName(member.name, false);
            if (index < 0 || file->RomFiles[index]->Date != member.date) return true;
        }
    }
    return false;
}

void TPath::Reload(bool rebuild) {
    TFilesBd* bd = FilesBd();
    if (bd != nullptr) bd->DoInfos(_("Refreshing..."));
    Load(rebuild);
    if (bd != nullptr && bd->RomsBd() != nullptr) bd->RomsBd()->RecalculateStatus();
}

void TPath::Refresh(bool rebuild, bool skipItself, bool clearErrorFlags) {
    if (!skipItself) {
        Reload(rebuild);
        if (clearErrorFlags) ClearRomErrorFlags();
    }
    if (owner_ == nullptr) return;
    const auto reloadOther = [&](const std::string& text) {
        const int index = owner_->IndexOf(text);
        if (index < 0) return;
        TPath* other = owner_->GetPath(index);
        if (other == this) return;
        other->Reload(false);
        if (clearErrorFlags) other->ClearRomErrorFlags();
    };
    std::string self = path_;
    if (!self.empty()) self.pop_back();
    const size_t cut = self.find_last_of('/');
    if (cut != std::string::npos) reloadOther(self.substr(0, cut + 1));
    // Reloading another path never touches this one's files, but the names are taken
    // first all the same.
    std::vector<std::string> folders;
    for (const auto& file : files_)
        if (file->IsFolder()) folders.push_back(file->FullPath);
    for (const std::string& folder : folders) reloadOther(folder);
}

}  // namespace qm
