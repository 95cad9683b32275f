#pragma once
// Makes the rewrites of many files durable together. A rewrite writes its new file
// beside the old one; alone it flushes it (one fsync, ~50 ms on a real disk) and renames
// it over the old one at once. While a batch is open the rewrite only hands the written
// temporary file over: the batch flushes a group of them in one go (parallel fsyncs,
// which the file system folds into a few journal commits), then renames each over its
// old file, in the order they came, and flushes each folder once.
//
// So that nobody ever sees the old file of a pending rewrite, the batch stands in the
// file-system seam while it is open: a stat of a pending file answers for the new one;
// anything else that touches a pending file, or a folder that holds one, flushes the
// batch first, and so do the archive layer's opens (Settle). A deletion outside the
// scratch folders and every atomic write (caches, settings) flush it first too, so
// nothing that depends on a rewrite becomes durable before the rewrite itself. The
// batch also flushes when it holds too many files or bytes, and when it closes.
//
// A rewrite goes in place only over the very file it was made from (same device, inode,
// size and time): a file that someone else put at that name meanwhile stays, the
// rewrite is dropped, and the file is listed as failed, changed meanwhile (Commit).
// Pending files are known by every name given and by their real name (links resolved),
// so a look through another link, or through none, sees them as well.
//
// A crash at any moment thus leaves each file old or new in full: a temporary file is
// renamed only after it reached the disk. A temporary file that cannot be flushed or
// renamed is removed, its old file stays, and the file is listed as failed (Commit).
// From the first failure until Commit the batch takes nothing more: a later rewrite or
// removal may count on the one that failed (a rom copied elsewhere before it leaves its
// archive), so each is refused and leaves its file as it is.
#include <sys/stat.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace qm {

class TRewriteBatch final : public IFileSystem {
public:
    // Opens a batch over the file system in force and installs it. Inside an open batch
    // a new one joins it: it installs nothing and leaves the flushing to the outer one.
    explicit TRewriteBatch(size_t maxFiles = 256, int64_t maxBytes = int64_t{256} << 20);
    // Flushes what is left (failures are dropped: use Commit to hear of them) and puts
    // the file system back.
    ~TRewriteBatch() override;
    TRewriteBatch(const TRewriteBatch&) = delete;
    TRewriteBatch& operator=(const TRewriteBatch&) = delete;

    // The open batch, or nullptr.
    static TRewriteBatch* Current();
    // Flushes the open batch first when path or something below it is pending; 0, or the
    // errno of path's own failed replacement (its old file is still there).
    static int Settle(const std::string& path);

    // Removing files below folder never waits for the batch (work files).
    void AddScratchFolder(const std::string& folder);
    // What is being done now, kept with each rewrite handed over, so that a failure
    // found later is told as the operation that asked for it.
    void SetOperation(const std::string& text);
    // The file a rewrite was made from, as it was when it was read.
    struct TSource {
        bool exists = false;  // false: there was no file (a new archive)
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t mtimeSec = 0;
        int64_t mtimeNsec = 0;
        static TSource Of(const struct stat& st);
        // The file at path now (links followed); exists false when there is none.
        static TSource OfPath(const std::string& path);
        bool operator==(const TSource& other) const = default;
    };
    // Takes a written and closed temporary file that is to replace target; alias is
    // another name of target (the symbolic link it was reached by), or empty; source is
    // the file the rewrite was made from (null: target as it is now). 0, or the errno of
    // an earlier failure when the batch takes nothing more: the temporary file is then
    // removed and target stays as it is.
    int Defer(const std::string& temporary, const std::string& target, const std::string& alias = {},
              const TSource* source = nullptr);
    // Flushes and renames every pending file now.
    void Flush();
    // The name of the first file whose replacement failed since the last Commit, or "".
    std::string FirstFailure();
    struct TFailure {
        std::string name;       // the name the file was rewritten by
        int err;                // why it stayed as it was
        std::string operation;  // what was being done when it was handed over
        bool changed = false;   // someone else put another file there meanwhile: it stays
    };
    // Flushes, and hands over the files whose replacement failed since the last Commit,
    // the first failure first; the batch then takes rewrites again.
    std::vector<TFailure> Commit();

    int Stat(const std::string& path, TFileStat& out) override;
    int ListDir(const std::string& path, std::vector<TDirEntry>& out) override;
    int ReadFile(const std::string& path, std::string& out) override;
    int RenameNoReplace(const std::string& from, const std::string& to) override;
    int ReplaceWith(const std::string& temporary, const std::string& target) override;
    int Open(const std::string& path, int flags, unsigned mode, int& fd) override {
        return inner_->Open(path, flags, mode, fd);
    }
    int Unlink(const std::string& path) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int WriteFileAtomic(const std::string& path, const std::string& data) override;
    // As WriteFileAtomic, the pending files first; then the pieces go straight to the
    // file system in force, not gathered in memory (a cache of many megabytes).
    int OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer) override;
    int CopyFile(const std::string& from, const std::string& to, bool overwrite) override;
    int64_t FreeSpace(const std::string& path) override { return inner_->FreeSpace(path); }
    bool IsReadOnly(const std::string& path) override { return inner_->IsReadOnly(path); }

private:
    struct TPending {
        std::string temporary;
        std::string target;
        std::string alias;
        std::string operation;
        std::string real;  // target with every link resolved, when that differs
        TSource source;
    };

    // The pending entry named path (by target or alias), or nullptr; the lock is held.
    const TPending* Find(const std::string& path) const;
    // True when path or a file below it is pending; the lock is held.
    bool Covers(const std::string& path) const;
    // Flushes when path is covered; 0 or the errno of path's own failed replacement.
    int SettleLocked(const std::string& path);
    void FlushLocked();
    bool IsScratch(const std::string& path) const;
    // path with every link resolved (the last part too when it is a link); the lock is
    // held.
    std::string RealName(const std::string& path);

    IFileSystem* inner_;
    TRewriteBatch* joined_ = nullptr;  // the outer batch this one joined
    const size_t maxFiles_;
    const int64_t maxBytes_;
    std::recursive_mutex mutex_;
    std::vector<TPending> pending_;
    int64_t pendingBytes_ = 0;
    std::vector<std::string> names_;  // every target and alias pending, sorted
    std::vector<std::string> scratch_;
    std::unordered_map<std::string, std::string> realFolders_;  // folder -> its real path
    std::string operation_;
    struct TFailed {
        std::string target, alias, real;
        int err;
        std::string operation;
        bool changed = false;
    };
    std::vector<TFailed> failed_;
};

}  // namespace qm
