// Bringing a rom path up to date with its folder: vanished files are dropped, new and
// changed files are signed, unchanged ones keep what the cache gave them.
#include "filesdb/filesBdScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <filesystem>
#include <optional>
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

// The date is made where the stat is: the local time of each entry costs more than
// its stat.
TEntryStat EntryStatOf(const struct stat& st) {
    return {true, st.st_mode, static_cast<int64_t>(st.st_size), ScanDate(static_cast<int64_t>(st.st_mtime)),
            static_cast<uint64_t>(st.st_ino), ChangeTimeOf(st)};
}

// Stats the names of a folder, side by side on up to threads threads (0: one per core)
// when the folder is large: a stat is a system call each, and they make most of the
// time of a rescan.
// (Each name's text is followed by a NUL.)
void StatEntries(int dirFd, const std::vector<std::string_view>& names, int threads, std::vector<TEntryStat>& stats) {
    stats.assign(names.size(), TEntryStat{});
    constexpr size_t kBlock = 512;
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t from; (from = next.fetch_add(kBlock)) < names.size();) {
            const size_t to = std::min(names.size(), from + kBlock);
            for (size_t i = from; i < to; ++i) {
                struct stat st;
                if (::fstatat(dirFd, names[i].data(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                stats[i] = EntryStatOf(st);
            }
        }
    };
    const size_t wanted = threads > 0 ? static_cast<size_t>(threads) : std::thread::hardware_concurrency();
    // A thread is worth its start for some thousand names.
    RunOnThreads(std::max<size_t>(1, std::min(wanted, names.size() / 1024)), work);
}

}  // namespace

void ListScanFolder(const std::string& folder, const std::string& realRoot, TScanListing& out, int threads,
                    TListingRoom* room) {
    TListingRoom ownRoom;
    if (room == nullptr) room = &ownRoom;
    out.entries.clear();
    out.skipped.clear();
    out.error = 0;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        out.error = errno;
        return;
    }
    // The names in one text, each ended by a NUL, sorted as views of it: a large folder
    // is listed without a string per name, and its entries made once, in order.
    std::string& text = room->text;
    text.clear();
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
        text.append(e->d_name, std::strlen(e->d_name) + 1);
    }
    std::vector<std::string_view>& names = room->names;
    names.clear();
    for (const char* at = text.data(); at < text.data() + text.size(); at += names.back().size() + 1)
        names.emplace_back(at);
    std::sort(names.begin(), names.end());
    std::vector<TEntryStat>& stats = room->stats;
    StatEntries(::dirfd(dir), names, threads, stats);
    ::closedir(dir);
    out.entries.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = names[i];
        if (!stats[i].found) {
            out.skipped.emplace_back(name);  // vanished since the listing
            continue;
        }
        TEntryStat st = stats[i];
        if (S_ISLNK(st.mode)) {
            char resolved[PATH_MAX];
            const std::string linkName = folder + std::string(name);
            struct stat target;
            // Inside means below the root: the root itself (a loop) is not inside.
            if (::realpath(linkName.c_str(), resolved) == nullptr || std::string(resolved).rfind(realRoot, 0) != 0 ||
                ::stat(resolved, &target) != 0) {
                out.skipped.emplace_back(name);
                continue;
            }
            st = EntryStatOf(target);
        }
        if (!S_ISREG(st.mode) && !S_ISDIR(st.mode)) {
            out.skipped.emplace_back(name);
            continue;
        }
        TScanEntry entry;
        entry.name = name;
        entry.isDir = S_ISDIR(st.mode);
        entry.size = entry.isDir ? 0 : st.size;
        entry.date = st.date;
        entry.inode = st.inode;
        entry.changeTime = st.ctime;
        out.entries.push_back(std::move(entry));
    }
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

// Whether a folder entry's name ends in ".zip" in any case: its extension is ".zip".
bool IsZipName(std::string_view name) { return name.size() >= 4 && SameText(name.substr(name.size() - 4), ".zip"); }

// A message of one value, made as Fmt makes it, for a text shown once for each entry of
// a folder: the translation is looked up and cut once, and the text made in one buffer.
class TEntryText {
public:
    explicit TEntryText(const std::string& format) {
        for (size_t from = 0;;) {
            const size_t at = format.find("%1", from);
            pieces_.push_back(format.substr(from, at == std::string::npos ? std::string::npos : at - from));
            if (at == std::string::npos) break;
            // "%1" followed by digits is "%1" all the same while there is one value.
            from = at + 2;
        }
    }
    // The text with value in lower case in place of "%1".
    const std::string& WithLowerCase(std::string_view value) {
        text_.clear();
        for (size_t i = 0; i < pieces_.size(); ++i) {
            if (i > 0)
                for (const char c : value) text_ += LowerChar(c);
            text_ += pieces_[i];
        }
        return text_;
    }

private:
    std::vector<std::string> pieces_;
    std::string text_;
};

class TFolderReader {
public:
    explicit TFolderReader(const std::string& root, int threads = 1)
        : root_(root), realRoot_(ResolvedFolder(root)), threads_(threads) {}

    // A listing of folder made already, as Listing would make it.
    void Adopt(const std::string& folder, TScanListing&& listing) {
        TScanListing& held = listings_[folder] = std::move(listing);
        if (folder == root_) std::erase_if(held.entries, IsTrashFolder);
    }

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

// Lists a folder's zips on helper threads while the merge takes them in the folder's
// order. The helpers run at most a window of zips ahead of the merge and each reuses
// the slot of a listing already merged, so a large folder's listings are never all
// held at once: what a helper allocates goes back to its own malloc arena and serves
// its next listings, instead of staying there, freed but unusable by the merge, until
// the program ends.
class TZipLister {
public:
    // zips: the folder's entries to list, in the order the merge takes them. threads:
    // the scan's threads, the merging one among them (0: one per core).
    TZipLister(const std::string& folder, std::vector<const TScanEntry*> zips, int wanted)
        : folder_(folder), zips_(std::move(zips)) {
        int threads = wanted > 0 ? wanted : static_cast<int>(std::thread::hardware_concurrency());
        // Left to itself, a thread is worth its start for some 64 archives.
        const size_t most = wanted > 0 ? zips_.size() : (zips_.size() + 63) / 64;
        threads = std::max(1, static_cast<int>(std::min<size_t>(static_cast<size_t>(threads), most)));
        for (size_t k = 0; k < kWindow; ++k) listed_[k].store(kNone, std::memory_order_relaxed);
        try {
            for (int t = 1; t < threads; ++t) helpers_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            // Fewer threads than asked: the merge lists what none of them took.
        }
    }
    ~TZipLister() {
        stop_.store(true);
        Release(zips_.size());
        for (std::thread& helper : helpers_) helper.join();
    }
    TZipLister(const TZipLister&) = delete;
    TZipLister& operator=(const TZipLister&) = delete;

    size_t Count() const { return zips_.size(); }
    const TScanEntry* Zip(size_t index) const { return zips_[index]; }
    int Threads() const { return static_cast<int>(helpers_.size()) + 1; }

    // The listing of zip index, once made; index grows from call to call, and the
    // listings before it are no longer needed.
    const TPrelisted& Take(size_t index) {
        // A zip passed over is still waited for: its slot must be written by no one
        // once the window moves past it.
        while (taken_ <= index) Obtain(taken_++);
        return slots_[index % kWindow];
    }

private:
    static constexpr size_t kWindow = 512;
    static constexpr size_t kStep = kWindow / 8;
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // The merge is done with the zips before index.
    void Release(size_t index) {
        if (released_.load(std::memory_order_relaxed) == index) return;
        released_.store(index, std::memory_order_release);
        released_.notify_all();
    }

    // Waits for the listing of zip index, or makes it when no helper took it yet.
    void Obtain(size_t index) {
        std::atomic<size_t>& listed = listed_[index % kWindow];
        const bool ready = listed.load(std::memory_order_acquire) == index;
        // Room is made now and then, not at every zip: a helper waiting for it then
        // sleeps instead of waking at every step of the merge.
        if (!ready || index % kStep == 0) Release(index);
        if (ready) return;
        size_t unclaimed = index;
        if (next_.compare_exchange_strong(unclaimed, index + 1)) {
            List(index);
            return;
        }
        for (size_t seen; (seen = listed.load(std::memory_order_acquire)) != index;) listed.wait(seen);
    }

    void Work() {
        for (size_t index; !stop_.load(std::memory_order_relaxed) && (index = next_.fetch_add(1)) < zips_.size();) {
            // Room in the window: the merge is done with the listing whose slot this is.
            for (size_t done; index >= (done = released_.load(std::memory_order_acquire)) + kWindow;)
                released_.wait(done);
            if (stop_.load(std::memory_order_relaxed)) return;
            List(index);
        }
    }

    void List(size_t index) {
        TPrelisted& slot = slots_[index % kWindow];
        try {
            const std::string name = folder_ + zips_[index]->name;
            slot.done = false;
            slot.items.clear();
            slot.why.clear();
            slot.code = TQMZip::ListEntries(name, slot.items, &slot.why);
            slot.statError = Fs().Stat(name, slot.stat);
            slot.done = true;
        } catch (...) {
            // Left to the merge, which lists it again and meets the failure itself.
            slot = TPrelisted{};
        }
        listed_[index % kWindow].store(index, std::memory_order_release);
        listed_[index % kWindow].notify_all();
    }

    std::string folder_;
    std::vector<const TScanEntry*> zips_;
    std::array<TPrelisted, kWindow> slots_;  // zip k in slot k % kWindow
    std::array<std::atomic<size_t>, kWindow> listed_;  // the zip a slot holds once listed
    size_t taken_ = 0;                  // the merge's next zip
    std::atomic<size_t> next_{0};       // the first zip no thread took yet
    std::atomic<size_t> released_{0};  // the merge is done with the zips before it
    std::atomic<bool> stop_{false};
    std::vector<std::thread> helpers_;
};

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
    // The folder listed while the cache was read, when nothing changed since.
    std::unique_ptr<TScanListing> early = cacheFile_->TakeListing(files_.Count());
    if (!CacheFile().CheckVolume()) return;
    if (!Exists(path_, true)) return;
    TFolderReader reader(path_, FilesBd() != nullptr ? FilesBd()->ScanThreads : 1);
    if (early && cacheFile_->GetPath() == path_) reader.Adopt(path_, std::move(*early));
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
    // The entries are sorted by name, and the files mostly come in the order of the
    // scan that listed them: each is looked for next to the last one found first.
    size_t hint = 0;
    const auto onDisk = [&](const std::string& name) -> const TScanEntry* {
        const std::vector<TScanEntry>& entries = top.entries;
        if (hint < entries.size() && entries[hint].name == name) return &entries[hint++];
        const auto byName = [](const TScanEntry& entry, const std::string& key) { return entry.name < key; };
        const auto it = std::lower_bound(entries.begin(), entries.end(), name, byName);
        if (it == entries.end() || it->name != name) return nullptr;
        hint = static_cast<size_t>(it - entries.begin()) + 1;
        return &*it;
    };

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
            const TScanEntry* entry = onDisk(file->Name);
            bool keep = entry != nullptr && entry->isDir == file->IsFolder();
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

    // The zips to read are listed on helper threads while the merge below takes each
    // listing in the folder's order, as a one-thread scan would have made it.
    std::optional<TZipLister> lister;
    size_t nextListed = 0;  // the lister's next zip the merge meets
    // The zips found unchanged while choosing what to list: the merge keeps them without
    // a second look.
    std::unordered_set<const TScanEntry*> keptZips;
    if (bd != nullptr) bd->ScanThreadsUsed = 1;
    if (bd != nullptr && bd->ScanThreads != 1 && bd->ArchiveManager() != nullptr && !bd->ArchiveManager()->OnMessage &&
        bd->SignatureCalculator() != nullptr) {
        std::vector<const TScanEntry*> zips;
        for (const TScanEntry& entry : top.entries) {
            if (entry.isDir || entry.size <= 0 || !SameText(FileExtension(entry.name), ".zip")) continue;
            TFile* file = files_.Find(entry.name);
            if (file != nullptr && CanKeep(*this, file, entry, reader)) {
                keptZips.insert(&entry);
                continue;
            }
            if (zips.empty() && !bd->SignatureCalculator()->SignsZipByListing(path_ + entry.name)) break;
            zips.push_back(&entry);
        }
        if (zips.size() > 1) {
            lister.emplace(path_, std::move(zips), bd->ScanThreads);
            bd->ScanThreadsUsed = lister->Threads();
        }
    }

    // The folder's entries: new files and changed ones are read.
    TEntryText loading(_("Loading %1"));
    for (const TScanEntry& entry : top.entries) {
        step();
        if (bd != nullptr) bd->DoInfos(loading.WithLowerCase(entry.name));
        const uint8_t kind = entry.isDir ? fkFolder : IsZipName(entry.name) ? fkZip : fkPlain;
        TFile* file = files_.Find(entry.name);
        size_t listed = SIZE_MAX;
        if (lister && nextListed < lister->Count() && lister->Zip(nextListed) == &entry) listed = nextListed++;
        try {
            if (file != nullptr && keptZips.count(&entry) == 0 && !CanKeep(*this, file, entry, reader)) {
                DropFile(file);
                file = nullptr;
            }
            if (file == nullptr) {
                const TPrelisted* pre = listed < SIZE_MAX ? &lister->Take(listed) : nullptr;
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
